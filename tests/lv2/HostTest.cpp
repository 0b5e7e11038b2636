// The bundle in hosts nobody here wrote: lv2apply (one frame per run), ffmpeg (1024 frames,
// in place), lv2file (37 frames) and GStreamer (its own buffer sizes). Each runs a second of
// noise through every plugin and must write, bit for bit, what orvane-fx writes. How values
// out of range are limited is the plugin's own code, tested in-process (PluginTest).

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "PluginHarness.h"
#include "tool/ToolHarness.h"

namespace orvane::lv2testing {
namespace {

using namespace testing::tool;
using Controls = std::vector<std::pair<std::string, std::string>>;

constexpr int rate = 48000;

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

// Values away from the defaults, as the host and orvane-fx are both given them.
const std::map<std::string, Controls> custom = {
    {"Delay", {{"delayMs", "350"}, {"dryMix", "0.5"}, {"wetMix", "0.6"}, {"feedbackLevel", "0.45"}}},
    {"PingPongDelay", {{"delayMs", "120"}, {"wetMix", "0.5"}, {"feedbackLevel", "0.7"}}},
    {"Chorus", {{"sweepWidth", "0.04"}, {"frequency", "1.5"}}},
    {"ChorusMono", {{"enabled", "0"}, {"sweepWidth", "0.04"}}},
    {"Flanger", {{"sweepWidth", "0.008"}, {"frequency", "0.9"}}},
    {"Vibrato", {{"sweepWidth", "0.004"}, {"frequency", "6"}}}};

TEST_P(Lv2HostTest, WritesWhatOrvaneFxWrites) {
    const auto& [host, label, values] = GetParam();
    const Controls given =
        values == "defaults" ? Controls{} : custom.at(custom.contains(label) ? label : effectOf(label));
    const TemporaryDirectory folder;
    setenv("LV2_PATH", ORVANE_LV2_HOST_FOLDER "/lv2", 1);
    setenv("GST_REGISTRY", ORVANE_LV2_HOST_FOLDER "/gst-registry.bin", 1);
    const auto channels = static_cast<std::size_t>(pluginType(label).kind.channels);
    writeSound(folder / "in.wav", floatWav, rate, noise(channels, rate, 0, 0.5f));

    const ToolRun run = runProgram(command(host, label, given, folder / "in.wav", folder / "out.wav"));
    if (run.status == 127) GTEST_SKIP() << host << " is not installed (scripts/install-deps.sh installs it)";
    ASSERT_EQ(run.status, 0) << host << " failed:\n" << run.out << run.err;
    // ffmpeg only warns about a control the plugin does not have, and carries on.
    EXPECT_EQ((run.out + run.err).find("Unknown option"), std::string::npos) << run.err;
    EXPECT_EQ((run.out + run.err).find("rror"), std::string::npos) << run.out << run.err;

    std::vector<std::string> reference = {"process", "--effect", effectOf(label)};
    for (const auto& [name, value] : given) reference.insert(reference.end(), {"--param", name + "=" + value});
    reference.insert(reference.end(), {folder / "in.wav", folder / "reference.wav"});
    const ToolRun fx = runTool(reference);
    ASSERT_EQ(fx.status, 0) << fx.err;
    EXPECT_EQ(SndfileHandle(folder / "out.wav").samplerate(), rate);
    EXPECT_TRUE(testing::sameBits(readSound(folder / "out.wav"), readSound(folder / "reference.wav")));
}
INSTANTIATE_TEST_SUITE_P(EveryPlugin, Lv2HostTest,
                         ::testing::Combine(::testing::Values("lv2apply", "ffmpeg", "lv2file", "gst-launch-1.0"),
                                            ::testing::Values("Delay", "PingPongDelay", "Chorus", "Flanger", "Vibrato",
                                                              "DelayMono", "ChorusMono", "FlangerMono", "VibratoMono"),
                                            ::testing::Values("defaults", "custom")),
                         [](const auto& info) {
                             const std::string host = std::get<0>(info.param);
                             return host.substr(0, host.find('-')) + "_" + std::get<1>(info.param) + "_" +
                                    std::get<2>(info.param);
                         });

}  // namespace
}  // namespace orvane::lv2testing
