#include "DemoCommand.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <sndfile.h>

#include "ChildProcess.h"
#include "DemoSignal.h"
#include "EffectCatalogue.h"
#include "EffectChain.h"
#include "SoundFileWriter.h"
#include "ToolError.h"

namespace orvane::tools {

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t sampleRate = 48000;
constexpr std::uint32_t blockSize = 512;
constexpr double impulseSeconds = 1.0;

/// Removes the files it was given when the demo ends, however it ends.
class ScratchFiles {
public:
    ScratchFiles() = default;
    ScratchFiles(const ScratchFiles&) = delete;
    ScratchFiles& operator=(const ScratchFiles&) = delete;
    ~ScratchFiles() {
        std::error_code ignored;
        for (const fs::path& file : files) fs::remove(file, ignored);
    }
    const fs::path& add(fs::path file) { return files.emplace_back(std::move(file)); }

private:
    std::vector<fs::path> files;
};

struct Level {
    double peak = 0.0;
    double rms = 0.0;
};

struct Row {
    std::string effect;
    std::string realTimeFactor;
    Level level;
    std::vector<fs::path> files;
};

// Type names come from the registry; only plain characters go into file names.
std::string fileStem(const std::string& typeName) {
    std::string stem;
    for (char c : typeName) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        stem += plain ? c : '_';
    }
    return stem.empty() || stem[0] == '.' ? "effect" + stem : stem;
}

// A gnuplot single-quoted string: only the quote itself needs escaping, by doubling it.
std::string gnuplotString(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

Level measure(const AudioBuffer<float>& signal) {
    Level level;
    double sumOfSquares = 0.0;
    for (std::uint32_t c = 0; c < signal.getNumberOfChannels(); ++c) {
        const float* samples = signal.getChannelData(c);
        for (std::uint32_t f = 0; f < signal.getNumberOfFrames(); ++f) {
            const double sample = samples[f];
            level.peak = std::max(level.peak, std::abs(sample));
            sumOfSquares += sample * sample;
        }
    }
    const double count = static_cast<double>(signal.getNumberOfChannels()) * signal.getNumberOfFrames();
    level.rms = count > 0 ? std::sqrt(sumOfSquares / count) : 0.0;
    return level;
}

void writeFloatWav(const fs::path& path, const AudioBuffer<float>& signal) {
    const std::uint32_t channels = signal.getNumberOfChannels();
    const std::uint32_t frames = signal.getNumberOfFrames();
    std::vector<float> interleaved(std::size_t{channels} * frames);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t f = 0; f < frames; ++f) interleaved[std::size_t{f} * channels + c] = signal.getSample(c, f);
    SoundFileWriter writer(path.string(), SF_FORMAT_WAV | SF_FORMAT_FLOAT, signal.getSampleRate(), channels);
    writer.write(interleaved.data(), frames);
    writer.commit();
}

void writeImpulseData(const fs::path& path, const AudioBuffer<float>& response) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) throw ToolError("cannot write '" + path.string() + "'; the output directory must be writable");
    bool ok = true;
    for (std::uint32_t f = 0; f < response.getNumberOfFrames() && ok; ++f)
        ok = std::fprintf(file, "%.9g %.9g %.9g\n", static_cast<double>(f) / response.getSampleRate(),
                          static_cast<double>(response.getSample(0, f)),
                          static_cast<double>(response.getSample(1, f))) > 0;
    if (std::fclose(file) != 0 || !ok) throw ToolError("writing '" + path.string() + "' failed");
}

void appendImpulsePlot(std::ostream& script, const std::string& title, const std::string& data,
                       const std::string& image) {
    script << "set output " << gnuplotString(image) << "\n"
           << "set multiplot layout 2,1 title " << gnuplotString(title) << "\n"
           << "set ylabel 'left'\n"
           << "plot " << gnuplotString(data) << " using 1:2 with impulses linecolor rgb '#1f5fa8' notitle\n"
           << "set ylabel 'right'\n"
           << "plot " << gnuplotString(data) << " using 1:3 with impulses linecolor rgb '#b8322a' notitle\n"
           << "unset multiplot\n"
           << "set output\n";
}

std::string decibels(double level) {
    if (level <= 0.0) return "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", 20.0 * std::log10(level));
    return text;
}

void printTable(std::ostream& out, const std::vector<Row>& rows) {
    char line[256];
    std::snprintf(line, sizeof line, "%-16s %16s %10s %10s  %s\n", "effect", "real-time factor", "peak dBFS",
                  "RMS dBFS", "files written");
    out << line;
    for (const Row& row : rows) {
        std::string files;
        for (const fs::path& file : row.files) files += (files.empty() ? "" : ", ") + file.string();
        std::snprintf(line, sizeof line, "%-16s %16s %10s %10s  ", row.effect.c_str(), row.realTimeFactor.c_str(),
                      decibels(row.level.peak).c_str(), decibels(row.level.rms).c_str());
        out << line << files << "\n";
    }
    out << "real-time factor: processing time divided by the signal's duration (smaller is faster)\n";
}

void requireTool(const std::string& program, const std::string& purpose, const std::string& package) {
    if (!ChildProcess::isInstalled(program))
        throw ToolError("demo needs " + program + " to " + purpose + ", and it is not on PATH; install the " +
                        "Debian package " + package + " (apt-get install " + package + ")");
}

}  // namespace

DemoCommand::DemoCommand(DemoOptions demoOptions) : options(std::move(demoOptions)) {}

void DemoCommand::run(std::ostream& out) const {
    requireTool("gnuplot", "draw impulse responses", "gnuplot-nox");
    requireTool("sox", "draw spectrograms", "sox");

    const fs::path directory = options.outputDirectory;
    std::error_code error;
    fs::create_directories(directory, error);
    if (error || !fs::is_directory(directory))
        throw ToolError("cannot create the output directory '" + directory.string() +
                        "': " + (error ? error.message() : std::string("a file of that name exists")) +
                        "; give a directory that can be created or written");

    const EffectCatalogue catalogue = EffectCatalogue::ofExtension(EffectCatalogue::effectsExtension);
    const AudioBuffer<float> music = DemoSignal::music(sampleRate);
    const AudioBuffer<float> impulse = DemoSignal::impulse(sampleRate, impulseSeconds);
    const double musicSeconds = static_cast<double>(music.getNumberOfFrames()) / sampleRate;

    std::vector<Row> rows;
    writeFloatWav(directory / "dry.wav", music);
    rows.push_back({"(dry input)", "-", measure(music), {directory / "dry.wav"}});

    ScratchFiles scratch;
    std::ostringstream script;
    // pngcairo draws smoother lines; the plain png terminal serves where gnuplot lacks cairo.
    script << "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
           << "  set terminal pngcairo size 1000,600 noenhanced\n"
           << "} else {\n"
           << "  set terminal png size 1000,600 noenhanced\n"
           << "}\n"
           // A little room left of 0 keeps the direct sound at frame 0 clear of the axis.
           << "set xrange [-0.02:" << impulseSeconds << "]\n"
           << "set xlabel 'time (s)'\n"
           << "set grid\n";

    std::vector<std::string> spectrogramSources;
    for (const NodeTypeInfo& info : catalogue.types()) {
        const std::string stem = fileStem(info.type);
        AudioBuffer<float> processed;
        EffectChain chain;
        chain.append(catalogue.create(info.getFQTypeName()));
        chain.prepare(sampleRate, music.getNumberOfChannels(), blockSize);
        const auto start = std::chrono::steady_clock::now();
        chain.processSignal(music, processed);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

        AudioBuffer<float> response;
        EffectChain impulseChain;
        impulseChain.append(catalogue.create(info.getFQTypeName()));
        impulseChain.prepare(sampleRate, impulse.getNumberOfChannels(), blockSize);
        impulseChain.processSignal(impulse, response);

        const std::string audioName = stem + ".wav";
        const std::string impulseImage = stem + "-impulse.png";
        const std::string spectrogramImage = stem + "-spectrogram.png";
        const std::string impulseData = "." + stem + "-impulse.dat";
        writeFloatWav(directory / audioName, processed);
        writeImpulseData(scratch.add(directory / impulseData), response);
        for (const std::string& image : {impulseImage, spectrogramImage}) fs::remove(directory / image, error);
        appendImpulsePlot(script, info.displayName + ": impulse response, first second at 48 kHz", impulseData,
                          impulseImage);
        spectrogramSources.push_back(audioName);

        char factor[32];
        std::snprintf(factor, sizeof factor, "%.5f", elapsed.count() / musicSeconds);
        rows.push_back({info.type,
                        factor,
                        measure(processed),
                        {directory / audioName, directory / impulseImage, directory / spectrogramImage}});
    }

    const std::string scriptName = ".impulse-responses.gp";
    {
        std::ofstream scriptFile(scratch.add(directory / scriptName));
        scriptFile << script.str();
        if (!scriptFile.flush()) throw ToolError("cannot write '" + (directory / scriptName).string() + "'");
    }

    // The drawing tools run side by side, each in the output directory with plain names.
    std::vector<std::unique_ptr<ChildProcess>> spectrograms;
    auto plotter = std::make_unique<ChildProcess>("gnuplot", std::vector<std::string>{scriptName}, directory.string());
    for (const std::string& source : spectrogramSources) {
        const std::string stem = source.substr(0, source.size() - 4);
        spectrograms.push_back(std::make_unique<ChildProcess>(
            "sox",
            std::vector<std::string>{"-V1", source, "-n", "spectrogram", "-o", stem + "-spectrogram.png", "-t",
                                     stem + " (orvane-fx demo)"},
            directory.string()));
    }
    const int plotStatus = plotter->wait();
    int spectrogramStatus = 0;
    for (auto& child : spectrograms) spectrogramStatus = std::max(spectrogramStatus, child->wait());
    if (plotStatus != 0)
        throw ToolError("gnuplot failed (exit status " + std::to_string(plotStatus) +
                        ") drawing the impulse responses; check that gnuplot-nox is installed and works");
    if (spectrogramStatus != 0)
        throw ToolError("sox failed (exit status " + std::to_string(spectrogramStatus) +
                        ") drawing a spectrogram; check that sox is installed and works");

    for (const Row& row : rows)
        for (const fs::path& file : row.files)
            if (!fs::is_regular_file(file)) throw ToolError("the demo did not produce '" + file.string() + "'");
    printTable(out, rows);
}

}  // namespace orvane::tools
