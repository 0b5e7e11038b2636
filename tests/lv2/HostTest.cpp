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
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "PluginHarness.h"

extern char** environ;

namespace orvane::lv2testing {
namespace {

namespace fs = std::filesystem;
using Controls = std::vector<std::pair<std::string, std::string>>;

constexpr int rate = 48000;

// Interleaved samples; the channel count and rate lead.
std::vector<float> readSound(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path.string() + ": " + sf_strerror(nullptr));
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    samples.resize(static_cast<std::size_t>(sf_readf_float(file, samples.data(), info.frames) * info.channels));
    sf_close(file);
    samples.insert(samples.begin(), {static_cast<float>(info.channels), static_cast<float>(info.samplerate)});
    return samples;
}

// Runs a program found on PATH without a shell: its exit status (-1: not started) and its
// stdout and stderr together.
std::pair<int, std::string> runProgram(const std::vector<std::string>& arguments, const fs::path& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    int status = -1;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        waitpid(child, &status, 0);
        status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    return {status, text.str()};
}

std::string effectOf(const std::string& label) {
    return label.ends_with("Mono") ? label.substr(0, label.size() - 4) : label;
}

// What the host is given for the plugin, in its own syntax.
std::vector<std::string> command(const std::string& host, const std::string& label, const Controls& controls,
                                 const fs::path& in, const fs::path& out) {
    const std::string uri(pluginType(label).kind.uri);
    std::vector<std::string> words;
    if (host == "lv2apply") words = {"lv2apply", "-i", in, "-o", out};
    if (host == "lv2file") words = {"lv2file", "--ignore-clipping", "-b", "37", "-i", in, "-o", out};
    if (host == "gst-launch-1.0")
        words = {host, "-q",           "filesrc", "location=" + in.string(),         "!", "wavparse",
                 "!",  "audioconvert", "!",       "urn-orvane-audioeffects-" + label};
    std::string filter = "asetnsamples=n=1024:p=0,lv2=p=";  // the WAV reader's packets made 1024 frames
    for (char c : uri) filter += c == ':' ? std::string("\\\\:") : std::string(1, c);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const auto& [name, value] = controls[i];
        if (host == "lv2apply") words.insert(words.end(), {"-c", name, value});
        if (host == "lv2file") words.insert(words.end(), {"-p", name + ":" + value});
        if (host == "gst-launch-1.0") words.push_back(name + "=" + value);
        filter += (i == 0 ? ":c=" : "|") + name + "=" + value;
    }
    if (host == "ffmpeg")
        return {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "warning", "-y",  "-i", in,
                "-af",    filter,     "-c:a",         "pcm_f32le", "-f",      "wav", out};
    if (host == "gst-launch-1.0")
        words.insert(words.end(), {"!", "audioconvert", "!", "audio/x-raw,format=F32LE", "!", "wavenc", "!", "filesink",
                                   "location=" + out.string()});
    else
        words.push_back(uri);
    return words;
}

class Lv2HostTest : public ::testing::TestWithParam<std::tuple<std::string, std::string, std::string>> {};

// Values given to the host, then what they mean to orvane-fx (empty: the same).
using Values = std::map<std::string, std::pair<Controls, Controls>>;
const Values custom = {
    {"Delay", {{{"delayMs", "350"}, {"dryMix", "0.5"}, {"wetMix", "0.6"}, {"feedbackLevel", "0.45"}}, {}}},
    {"PingPongDelay", {{{"delayMs", "120"}, {"wetMix", "0.5"}, {"feedbackLevel", "0.7"}}, {}}},
    {"Chorus", {{{"sweepWidth", "0.04"}, {"frequency", "1.5"}}, {}}},
    {"ChorusMono", {{{"enabled", "0"}, {"sweepWidth", "0.04"}}, {{"enabled", "false"}}}},
    {"Flanger", {{{"sweepWidth", "0.008"}, {"frequency", "0.9"}}, {}}},
    {"Vibrato", {{{"sweepWidth", "0.004"}, {"frequency", "6"}}, {}}}};
// Out of range and NaN: GStreamer's properties refuse them before the plugin sees them.
const Values clamped = {
    {"Delay",
     {{{"delayMs", "5000"}, {"wetMix", "nan"}, {"dryMix", "-2"}, {"feedbackLevel", "3"}},
      {{"delayMs", "1000"}, {"dryMix", "0"}, {"feedbackLevel", "0.99"}}}},
    {"PingPongDelay",
     {{{"delayMs", "0"}, {"feedbackLevel", "nan"}, {"wetMix", "9"}}, {{"delayMs", "1"}, {"wetMix", "1"}}}},
    {"Chorus", {{{"sweepWidth", "nan"}, {"frequency", "100"}}, {{"frequency", "10"}}}},
    {"Flanger", {{{"sweepWidth", "1"}, {"frequency", "-5"}}, {{"sweepWidth", "0.02"}, {"frequency", "0"}}}},
    {"Vibrato",
     {{{"frequency", "nan"}, {"sweepWidth", "-1"}, {"enabled", "0.3"}}, {{"sweepWidth", "0"}, {"enabled", "false"}}}}};

TEST_P(Lv2HostTest, WritesWhatOrvaneFxWrites) {
    const auto& [host, label, values] = GetParam();
    if (values == "clamped" && host == "gst-launch-1.0") GTEST_SKIP() << "GStreamer refuses values out of range";
    const Values& table = values == "clamped" ? clamped : custom;
    const std::pair<Controls, Controls> none;
    const auto& [given, meaning] = values == "defaults"    ? none
                                   : table.contains(label) ? table.at(label)
                                                           : table.at(effectOf(label));
    const fs::path folder = fs::temp_directory_path() / ("orvane-lv2-" + std::to_string(getpid()));
    fs::create_directories(folder);
    setenv("LV2_PATH", ORVANE_LV2_HOST_FOLDER "/lv2", 1);
    setenv("GST_REGISTRY", ORVANE_LV2_HOST_FOLDER "/gst-registry.bin", 1);
    const auto channels = static_cast<int>(pluginType(label).kind.channels);
    SF_INFO info{0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open((folder / "in.wav").c_str(), SFM_WRITE, &info);
    const std::vector<float> samples = noise(1, static_cast<std::size_t>(rate * channels), 0, 0.5f).front();
    sf_writef_float(file, samples.data(), rate);
    sf_close(file);

    const auto [status, output] =
        runProgram(command(host, label, given, folder / "in.wav", folder / "out.wav"), folder / "log");
    if (status == -1) GTEST_SKIP() << host << " is not installed (scripts/install-deps.sh installs it)";
    ASSERT_EQ(status, 0) << host << " failed:\n" << output;
    // ffmpeg only warns about a control the plugin does not have, and carries on.
    EXPECT_EQ(output.find("Unknown option"), std::string::npos) << output;
    EXPECT_EQ(output.find("rror"), std::string::npos) << output;

    std::vector<std::string> reference = {ORVANE_FX, "process", "--effect", effectOf(label)};
    for (const auto& [name, value] : meaning.empty() ? given : meaning)
        reference.insert(reference.end(), {"--param", name + "=" + value});
    reference.insert(reference.end(), {folder / "in.wav", folder / "reference.wav"});
    const auto [fxStatus, fxOutput] = runProgram(reference, folder / "reference.log");
    ASSERT_EQ(fxStatus, 0) << fxOutput;
    std::vector<std::uint32_t> produced, expected;
    for (float sample : readSound(folder / "out.wav")) produced.push_back(std::bit_cast<std::uint32_t>(sample));
    for (float sample : readSound(folder / "reference.wav")) expected.push_back(std::bit_cast<std::uint32_t>(sample));
    EXPECT_EQ(produced, expected);
    fs::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(EveryPlugin, Lv2HostTest,
                         ::testing::Combine(::testing::Values("lv2apply", "ffmpeg", "lv2file", "gst-launch-1.0"),
                                            ::testing::Values("Delay", "PingPongDelay", "Chorus", "Flanger", "Vibrato",
                                                              "DelayMono", "ChorusMono", "FlangerMono", "VibratoMono"),
                                            ::testing::Values("defaults", "custom", "clamped")),
                         [](const auto& info) {
                             const std::string host = std::get<0>(info.param);
                             return host.substr(0, host.find('-')) + "_" + std::get<1>(info.param) + "_" +
                                    std::get<2>(info.param);
                         });

}  // namespace
}  // namespace orvane::lv2testing
