// The bundle in hosts nobody here wrote: lv2apply (one frame per run), ffmpeg (1024 frames,
// in place), lv2file (37 frames) and GStreamer (its own buffer sizes). Each runs a second of
// noise through every plugin and must write, bit for bit, what orvane-fx writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "PluginHarness.h"
#include "host/AudioBuffer.h"
#include "host/AudioBus.h"
#include "host/AudioBusFormat.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

extern char** environ;

namespace orvane::lv2testing {
namespace {

namespace fs = std::filesystem;
using Controls = std::vector<std::pair<std::string, std::string>>;

constexpr int rate = 48000;
constexpr sf_count_t frames = 48000;

// --- Files and processes ------------------------------------------------------------------

struct Sound {
    int channels = 0;
    int sampleRate = 0;
    std::vector<float> samples;  // interleaved
};

Sound readSound(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path.string() + ": " + sf_strerror(nullptr));
    Sound sound{info.channels, info.samplerate,
                std::vector<float>(static_cast<std::size_t>(info.frames * info.channels))};
    const sf_count_t read = sf_readf_float(file, sound.samples.data(), info.frames);
    sf_close(file);
    sound.samples.resize(static_cast<std::size_t>(read * info.channels));
    return sound;
}

void writeNoise(const fs::path& path, int channels) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<std::size_t>(frames * channels));
    std::uint64_t state = 0x2545F4914F6CDD1Dull + static_cast<std::uint64_t>(channels);
    for (float& sample : samples) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        sample = static_cast<float>(static_cast<std::int64_t>(state >> 40) - (1 << 23)) / 16777216.0f;  // [-0.5, 0.5)
    }
    EXPECT_EQ(sf_writef_float(file, samples.data(), frames), frames);
    sf_close(file);
}

struct Outcome {
    int status = -1;
    std::string output;  // stdout and stderr together
};

// Runs a program (found on PATH) without a shell; its output goes to a file beside the data.
Outcome runProgram(const std::vector<std::string>& arguments, const fs::path& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    Outcome outcome;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(child, &status, 0);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream text(log);
    std::stringstream content;
    content << text.rdbuf();
    outcome.output = content.str();
    return outcome;
}

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && access((fs::path(folder) / program).c_str(), X_OK) == 0) return true;
    return false;
}

// --- The cases ----------------------------------------------------------------------------

struct Case {
    std::string label;
    std::string name;
    Controls controls;   // what the host is told
    Controls reference;  // what orvane-fx is told: the same, or the values clamping gives
};

std::string effectOf(const std::string& label) {
    const std::string mono = "Mono";
    if (label.size() > mono.size() && label.ends_with(mono)) return label.substr(0, label.size() - mono.size());
    return label;
}

std::vector<Case> cases() {
    const std::map<std::string, Controls> custom = {
        {"Delay", {{"delayMs", "350"}, {"dryMix", "0.5"}, {"wetMix", "0.6"}, {"feedbackLevel", "0.45"}}},
        {"PingPongDelay", {{"delayMs", "120"}, {"wetMix", "0.5"}, {"feedbackLevel", "0.7"}}},
        {"Chorus", {{"sweepWidth", "0.04"}, {"frequency", "1.5"}}},
        {"Flanger", {{"sweepWidth", "0.008"}, {"frequency", "0.9"}}},
        {"Vibrato", {{"sweepWidth", "0.004"}, {"frequency", "6"}}},
    };
    // Out of range and NaN (given, then what it means).
    const std::map<std::string, std::pair<Controls, Controls>> clamped = {
        {"Delay",
         {{{"delayMs", "5000"}, {"wetMix", "nan"}, {"dryMix", "-2"}, {"feedbackLevel", "3"}},
          {{"delayMs", "1000"}, {"dryMix", "0"}, {"feedbackLevel", "0.99"}}}},
        {"PingPongDelay",
         {{{"delayMs", "0"}, {"feedbackLevel", "nan"}, {"wetMix", "9"}}, {{"delayMs", "1"}, {"wetMix", "1"}}}},
        {"Chorus", {{{"sweepWidth", "nan"}, {"frequency", "100"}}, {{"frequency", "10"}}}},
        {"Flanger", {{{"sweepWidth", "1"}, {"frequency", "-5"}}, {{"sweepWidth", "0.02"}, {"frequency", "0"}}}},
        {"Vibrato",
         {{{"frequency", "nan"}, {"sweepWidth", "-1"}, {"enabled", "0.3"}},
          {{"sweepWidth", "0"}, {"enabled", "false"}}}},
    };
    std::vector<Case> all;
    for (const lv2::PluginKind& kind : lv2::pluginKinds) {
        const std::string label(kind.label);
        const std::string effect = effectOf(label);
        all.push_back({label, "defaults", {}, {}});
        all.push_back({label, "custom", custom.at(effect), custom.at(effect)});
        all.push_back({label, "clamped", clamped.at(effect).first, clamped.at(effect).second});
    }
    all.push_back({"ChorusMono", "off", {{"enabled", "0"}, {"sweepWidth", "0.04"}}, {{"enabled", "false"}}});
    return all;
}

bool inRange(const Case& test) {
    for (const auto& [name, value] : test.controls) {
        const float number = std::stof(value);
        for (const lv2::ControlPort& port : pluginType(test.label).controls)
            if (port.symbol == name && !(number >= port.minimum && number <= port.maximum)) return false;
    }
    return true;
}

// --- The hosts ----------------------------------------------------------------------------

struct Paths {
    fs::path input;
    fs::path output;
    fs::path log;
};

std::vector<std::string> lv2apply(const Case& test, const Paths& paths) {
    std::vector<std::string> command = {"lv2apply", "-i", paths.input, "-o", paths.output};
    for (const auto& [name, value] : test.controls) command.insert(command.end(), {"-c", name, value});
    command.push_back(std::string(pluginType(test.label).kind.uri));
    return command;
}

std::vector<std::string> ffmpeg(const Case& test, const Paths& paths) {
    std::string uri(pluginType(test.label).kind.uri);
    std::string escaped;
    for (char c : uri) escaped += c == ':' ? std::string("\\\\:") : std::string(1, c);
    // The WAV reader hands over 4096-byte packets (512 stereo frames): make it 1024 frames.
    std::string filter = "asetnsamples=n=1024:p=0,lv2=p=" + escaped;
    for (std::size_t i = 0; i < test.controls.size(); ++i)
        filter += (i == 0 ? ":c=" : "|") + test.controls[i].first + "=" + test.controls[i].second;
    return {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "warning", "-y",  "-i",        paths.input,
            "-af",    filter,     "-c:a",         "pcm_f32le", "-f",      "wav", paths.output};
}

std::vector<std::string> lv2file(const Case& test, const Paths& paths) {
    std::vector<std::string> command = {"lv2file", "--ignore-clipping", "-b", "37",
                                        "-i",      paths.input,         "-o", paths.output};
    for (const auto& [name, value] : test.controls) command.insert(command.end(), {"-p", name + ":" + value});
    command.push_back(std::string(pluginType(test.label).kind.uri));
    return command;
}

std::vector<std::string> gstreamer(const Case& test, const Paths& paths) {
    std::vector<std::string> command = {"gst-launch-1.0",
                                        "-q",
                                        "filesrc",
                                        "location=" + paths.input.string(),
                                        "!",
                                        "wavparse",
                                        "!",
                                        "audioconvert",
                                        "!",
                                        "urn-orvane-audioeffects-" + test.label};
    for (const auto& [name, value] : test.controls) command.push_back(name + "=" + value);
    command.insert(command.end(), {"!", "audioconvert", "!", "audio/x-raw,format=F32LE", "!", "wavenc", "!", "filesink",
                                   "location=" + paths.output.string()});
    return command;
}

struct Host {
    std::string name;
    std::string program;
    std::vector<std::string> (*command)(const Case&, const Paths&);
    bool takesAnyValue;
};

const std::vector<Host> hosts = {{"lv2apply", "lv2apply", lv2apply, true},
                                 {"ffmpeg", "ffmpeg", ffmpeg, true},
                                 {"lv2file", "lv2file", lv2file, true},
                                 {"gstreamer", "gst-launch-1.0", gstreamer, false}};

// --- The reference ------------------------------------------------------------------------

#ifndef ORVANE_FX
// Without the tool, what it writes for float input: the node's output.
void applyReference(const Controls& controls, auto& node) {
    for (const auto& [name, value] : controls) {
        if (name == "enabled") node.setIsEnabled(value == "true");
        if constexpr (requires { node.setDelayMs(1u); }) {
            if (name == "delayMs") node.setDelayMs(static_cast<unsigned int>(std::stoul(value)));
            if (name == "dryMix") node.setDryMix(std::stof(value));
            if (name == "wetMix") node.setWetMix(std::stof(value));
            if (name == "feedbackLevel") node.setFeedbackLevel(std::stof(value));
        } else {
            if (name == "sweepWidth") node.setSweepWidth(std::stof(value));
            if (name == "frequency") node.setFrequency(std::stof(value));
        }
    }
}
#endif

Sound reference(const Case& test, const fs::path& input, const fs::path& folder) {
#ifdef ORVANE_FX
    const fs::path output = folder / "reference.wav";
    std::vector<std::string> command = {ORVANE_FX, "process", "--effect", effectOf(test.label)};
    for (const auto& [name, value] : test.reference) command.insert(command.end(), {"--param", name + "=" + value});
    command.insert(command.end(), {input, output});
    const Outcome outcome = runProgram(command, folder / "reference.log");
    if (outcome.status != 0) throw std::runtime_error("orvane-fx failed: " + outcome.output);
    return readSound(output);
#else
    using namespace extensions::audioeffects;
    Sound sound = readSound(input);
    const auto channels = static_cast<std::uint32_t>(sound.channels);
    const auto length = static_cast<std::uint32_t>(sound.samples.size() / channels);
    AudioBuffer<float> buffer(channels, length, rate);
    for (std::uint32_t f = 0; f < length; ++f)
        for (std::uint32_t c = 0; c < channels; ++c) buffer.setSample(c, f, sound.samples[f * channels + c]);
    auto run = [&](auto& node) {
        applyReference(test.reference, node);
        AudioBusFormat in{rate, channels, length};
        AudioBusFormat out{};
        node.setBusFormat(in, out);
        AudioBus bus(buffer);
        node.process(bus, bus);
    };
    const std::string effect = effectOf(test.label);
    if (effect == "Delay") {
        DelayNode node(channels);
        run(node);
    } else if (effect == "PingPongDelay") {
        PingPongDelayNode node{OVAnyMap{}};
        run(node);
    } else if (effect == "Chorus") {
        ChorusNode node(channels);
        run(node);
    } else if (effect == "Flanger") {
        FlangerNode node(channels);
        run(node);
    } else {
        VibratoNode node(channels);
        run(node);
    }
    for (std::uint32_t f = 0; f < length; ++f)
        for (std::uint32_t c = 0; c < channels; ++c) sound.samples[f * channels + c] = buffer.getSample(c, f);
    (void)folder;
    return sound;
#endif
}

// --- The test -----------------------------------------------------------------------------

void PrintTo(const Host& host, std::ostream* out) { *out << host.name; }
void PrintTo(const Case& test, std::ostream* out) { *out << test.label << " " << test.name; }

// Every host meets every case, but GStreamer only values inside the ranges: its properties
// refuse the others before the plugin sees them.
std::vector<std::tuple<Host, Case>> hostCases() {
    std::vector<std::tuple<Host, Case>> all;
    for (const Host& host : hosts)
        for (const Case& test : cases())
            if (host.takesAnyValue || inRange(test)) all.emplace_back(host, test);
    return all;
}

class Lv2HostTest : public ::testing::TestWithParam<std::tuple<Host, Case>> {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("orvane-lv2-" + std::to_string(getpid()));
        fs::create_directories(folder);
        const fs::path hostFolder = ORVANE_LV2_HOST_FOLDER;
        setenv("LV2_PATH", (hostFolder / "lv2").c_str(), 1);
        setenv("GST_REGISTRY", (hostFolder / "gst-registry.bin").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path folder;
};

TEST_P(Lv2HostTest, WritesWhatOrvaneFxWrites) {
    const auto& [host, test] = GetParam();
    if (!onPath(host.program))
        GTEST_SKIP() << host.program << " is not installed (scripts/install-deps.sh installs it)";

    const Paths paths{folder / "in.wav", folder / "out.wav", folder / "host.log"};
    writeNoise(paths.input, static_cast<int>(pluginType(test.label).kind.channels));
    const Outcome outcome = runProgram(host.command(test, paths), paths.log);
    ASSERT_EQ(outcome.status, 0) << host.name << " failed:\n" << outcome.output;
    // ffmpeg only warns about a control the plugin does not have, and carries on.
    EXPECT_EQ(outcome.output.find("Unknown option"), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find("rror"), std::string::npos) << outcome.output;

    const Sound produced = readSound(paths.output);
    const Sound expected = reference(test, paths.input, folder);
    ASSERT_EQ(produced.channels, expected.channels);
    ASSERT_EQ(produced.sampleRate, rate);
    ASSERT_EQ(produced.samples.size(), expected.samples.size());
    std::size_t differences = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < produced.samples.size(); ++i) {
        ASSERT_FALSE(std::isnan(produced.samples[i])) << "sample " << i;
        if (std::bit_cast<std::uint32_t>(produced.samples[i]) != std::bit_cast<std::uint32_t>(expected.samples[i]))
            if (differences++ == 0) first = i;
    }
    EXPECT_EQ(differences, 0u) << "first at frame " << first / static_cast<std::size_t>(produced.channels) << ": "
                               << produced.samples[first] << " instead of " << expected.samples[first];
}

INSTANTIATE_TEST_SUITE_P(EveryPlugin, Lv2HostTest, ::testing::ValuesIn(hostCases()), [](const auto& info) {
    const Case& test = std::get<1>(info.param);
    return std::get<0>(info.param).name + "_" + test.label + "_" + test.name;
});

}  // namespace
}  // namespace orvane::lv2testing
