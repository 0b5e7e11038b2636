#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "Effects.h"
#include "SoundFiles.h"
#include "Tool.h"
#include "host/AudioBus.h"

namespace orvane::tools {

namespace {

/// A progress line on stderr, redrawn in place: a bar over a known total, else the seconds
/// of audio done.
class Progress {
public:
    Progress(bool shown, std::optional<std::uint64_t> total, std::uint32_t rate)
        : shown(shown), total(total), rate(rate) {}
    ~Progress() {
        // Stopped by an error: the message starts on a line of its own.
        if (drawn && !finished) std::fputc('\n', stderr);
    }

    void update(std::uint64_t done) {
        if (!shown) return;
        const std::uint64_t step =
            total ? std::min(done, *total) * 1000 / std::max<std::uint64_t>(*total, 1) : done * 10 / rate;
        if (drawn && step == lastStep) return;
        lastStep = step;
        draw(done, total);
    }

    /// The end state, with what was done as the total: a header's length may have been wrong.
    void finish(std::uint64_t done) {
        if (!shown) return;
        draw(done, total ? std::optional(done) : std::nullopt);
        std::fputc('\n', stderr);
        finished = true;
    }

private:
    void draw(std::uint64_t done, std::optional<std::uint64_t> whole) {
        char line[160];
        int width = 0;
        if (whole) {
            done = std::min(done, *whole);
            const int filled = *whole ? static_cast<int>(done * 40 / *whole) : 40;
            const std::string bar = std::string(filled, '#') + std::string(40 - filled, '.');
            width = std::snprintf(line, sizeof line, "processing [%s] %5.1f%%  %.1f s of %.1f s", bar.c_str(),
                                  *whole ? 100.0 * static_cast<double>(done) / static_cast<double>(*whole) : 100.0,
                                  static_cast<double>(done) / rate, static_cast<double>(*whole) / rate);
        } else {
            width = std::snprintf(line, sizeof line, "processing  %.1f s of audio", static_cast<double>(done) / rate);
        }
        // Blanks over the rest of a longer earlier line.
        std::fprintf(stderr, "\r%s%*s", line, std::max(0, lastWidth - width), "");
        std::fflush(stderr);
        lastWidth = std::max(lastWidth, width);
        drawn = true;
    }

    bool shown;
    std::optional<std::uint64_t> total;
    std::uint32_t rate;
    bool drawn = false;
    bool finished = false;
    std::uint64_t lastStep = 0;
    int lastWidth = 0;
};

}  // namespace

void processFile(const ProcessOptions& options) {
    // Everything that can be checked without audio is checked before any file is touched.
    const Catalogue catalogue = Catalogue::named("AudioEffects");
    std::vector<Effect> chain;
    for (const EffectRequest& request : options.effects) {
        Effect& effect = chain.emplace_back(catalogue.create(request.type));
        if (!effect.processor())
            throw ToolError(effect.info.getFQTypeName() + " is not a single-bus audio effect; only those can run here");
        for (const auto& [name, value] : request.parameters) effect.set(name, value);
    }
    chooseOutputFormat(options.output, options.encoding, SF_FORMAT_WAV | SF_FORMAT_PCM_16);

    InputFile input(options.input);
    if (!input.truncation.empty())
        std::cerr << "orvane-fx: warning: input '" << options.input << "' is shorter than its header says ("
                  << input.truncation << "); processing the " << input.info.frames << " frames it holds\n";
    const FormatChoice output = chooseOutputFormat(options.output, options.encoding, input.info.format);
    const auto channels = static_cast<std::uint32_t>(input.info.channels);
    const auto rate = static_cast<std::uint32_t>(input.info.samplerate);
    const std::uint32_t blockSize = options.blockSize;
    for (Effect& effect : chain) {
        AudioBusFormat inputFormat{rate, channels, blockSize};
        AudioBusFormat outputFormat{};
        // The output file keeps the input's shape, so every stage must keep it too.
        if (!effect.processor()->setBusFormat(inputFormat, outputFormat) || outputFormat.numberOfChannels != channels ||
            outputFormat.sampleRate != rate)
            throw ToolError(effect.info.type + " accepts " + catalogue.acceptedChannels(effect.info, rate, blockSize) +
                            "; the input has " + std::to_string(channels) + " at " + std::to_string(rate) + " Hz");
    }

    const auto tailFrames = static_cast<std::uint64_t>(std::llround(options.tailSeconds * rate));
    const auto inputFrames = static_cast<std::uint64_t>(std::max<sf_count_t>(input.info.frames, 0));
    const std::optional<std::uint64_t> outputFrames =
        input.lengthKnown ? std::optional(inputFrames + tailFrames) : std::nullopt;
    // AIFF cannot become RF64: refused before any work when it is known not to fit.
    const std::optional<std::uint64_t> limit = frameLimit(output.format, channels);
    if ((output.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF && limit && outputFrames && *outputFrames > *limit)
        throw ToolError("cannot write output '" + options.output +
                        "': AIFF holds at most 4 GiB of samples and this output would be longer; write a .wav file "
                        "instead, which becomes RF64 beyond 4 GiB");
    if (!output.note.empty()) std::cerr << "orvane-fx: note: " << output.note << "\n";

    OutputFile writer(options.output, output.format, input.info, outputFrames);
    Progress progress(!options.quiet && static_cast<double>(inputFrames) / rate > 10.0 && isatty(STDERR_FILENO) == 1,
                      outputFrames, rate);

    // Files are read and written many blocks at a time: fewer, larger library calls.
    const std::size_t chunkFrames = std::size_t{blockSize} * std::max<std::size_t>(1, 65536 / blockSize);
    std::vector<float> inputChunk(chunkFrames * channels);
    std::vector<float> outputChunk(chunkFrames * channels);
    AudioBuffer<float> buffers[3];
    for (auto& buffer : buffers) buffer = AudioBuffer<float>(channels, blockSize, rate);

    bool inputEnded = false;
    std::uint64_t tailLeft = tailFrames;
    std::uint64_t framesDone = 0;
    for (;;) {
        std::size_t frames = inputEnded ? 0 : input.read(inputChunk.data(), chunkFrames);
        inputEnded = inputEnded || frames < chunkFrames;
        if (inputEnded) {
            const auto silence = static_cast<std::size_t>(std::min<std::uint64_t>(chunkFrames - frames, tailLeft));
            std::fill_n(inputChunk.begin() + static_cast<std::ptrdiff_t>(frames * channels), silence * channels, 0.0f);
            frames += silence;
            tailLeft -= silence;
        }
        if (frames == 0) break;

        for (std::size_t start = 0; start < frames; start += blockSize) {
            const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(blockSize, frames - start));
            if (buffers[0].getNumberOfFrames() != length) buffers[0].resize(channels, length);
            for (std::uint32_t c = 0; c < channels; ++c)
                for (std::uint32_t f = 0; f < length; ++f)
                    buffers[0].getChannelData(c)[f] = inputChunk[(start + f) * channels + c];
            AudioBuffer<float>* source = &buffers[0];
            for (std::size_t i = 0; i < chain.size(); ++i) {
                AudioBuffer<float>* target = &buffers[1 + i % 2];
                AudioBus inputBus(*source);
                AudioBus outputBus(*target);
                if (!chain[i].processor()->process(inputBus, outputBus))
                    throw ToolError(chain[i].info.type + " failed to process a block");
                source = target;
            }
            for (std::uint32_t c = 0; c < channels; ++c)
                for (std::uint32_t f = 0; f < length; ++f)
                    outputChunk[(start + f) * channels + c] = source->getChannelData(c)[f];
        }
        writer.write(outputChunk.data(), frames);
        framesDone += frames;
        progress.update(framesDone);
    }
    writer.commit();
    progress.finish(framesDone);
}

}  // namespace orvane::tools
