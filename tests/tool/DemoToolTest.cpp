#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

using namespace orvane::extensions::audioeffects;
using nlohmann::json;

const std::vector<std::string> effectNames{"Delay", "PingPongDelay", "Vibrato", "Flanger", "Chorus"};

TEST(DemoTool, WritesAudioAndRealImagesForEveryEffectAndATable) {
    TemporaryDirectory directory;
    const fs::path output = directory / "nested/demo";
    const ToolRun run = runTool({"demo", output});
    ASSERT_EQ(run.status, 0) << run.err;

    std::vector<std::string> expected{"dry.wav"};
    for (const std::string& name : effectNames)
        for (const char* suffix : {".wav", "-impulse.png", "-spectrogram.png"}) expected.push_back(name + suffix);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(entries(output), expected) << "no scratch files are left behind";
    for (const char* fragment : {"real-time factor", "peak", "RMS"})
        EXPECT_NE(run.out.find(fragment), std::string::npos) << fragment;

    const Sound dry = readSound(output / "dry.wav");
    EXPECT_EQ(dry.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(dry.sampleRate, 48000u);
    ASSERT_EQ(dry.channels.size(), 2u);
    EXPECT_TRUE(dry.frames() >= 2u * 48000u && dry.frames() <= 10u * 48000u) << dry.frames();
    for (const std::string& name : effectNames) {
        SCOPED_TRACE(name);
        for (const char* suffix : {"-impulse.png", "-spectrogram.png"}) {
            // The PNG signature, then IHDR with the big-endian width and height.
            const std::string png = readText(output / (name + suffix));
            ASSERT_TRUE(png.size() > 5000 && png.starts_with("\x89PNG\r\n\x1a\n") && png.substr(12, 4) == "IHDR")
                << suffix << ": an image with content, not a blank page";
            for (const auto& [at, low] : {std::pair{16, 300u}, {20, 200u}}) {
                std::uint32_t size = 0;
                for (int i = 0; i < 4; ++i) size = size << 8 | static_cast<unsigned char>(png[at + i]);
                EXPECT_TRUE(size >= low && size <= 4000u) << suffix << " " << size;
            }
        }
        EXPECT_NE(run.out.find("\n" + name + " "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(name + "-spectrogram.png"), std::string::npos);
        // The dry signal through a default node, sample for sample.
        EXPECT_EQ(readSound(output / (name + ".wav")).channels,
                  processInBlocks(*makeNode(name), dry.channels, 48000, 2048));
    }
}

TEST(DemoTool, NamesThePackageOfAMissingDrawingTool) {
    TemporaryDirectory directory;
    const fs::path bin = directory / "bin";
    fs::create_directory(bin);
    const std::vector<std::string> onlyBin{"PATH=" + bin.string()};
    for (const auto& [present, missing] : {std::pair{"sox", "gnuplot-nox"}, {"gnuplot", "package sox"}}) {
        std::stringstream path(std::getenv("PATH"));
        for (std::string folder; std::getline(path, folder, ':');)
            if (fs::exists(fs::path(folder) / present)) {
                fs::create_symlink(fs::path(folder) / present, bin / present);
                break;
            }
        ASSERT_TRUE(fs::exists(bin / present)) << present << " is not installed";
        const ToolRun run = runTool({"demo", directory / "out"}, false, "/dev/null", onlyBin);
        EXPECT_NE(run.status, 0);
        EXPECT_TRUE(isOneLine(run.err)) << run.err;
        EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(directory / "out")) << "nothing is written before the tools are known to exist";
        fs::remove(bin / present);
    }
}

const json& named(const json& array, const std::string& name) {
    for (const json& item : array)
        if (item.at("name") == name) return item;
    throw std::runtime_error("no entry named " + name);
}

TEST(ListTool, JsonHoldsTheFiveTypesWithTheirNodesDefaults) {
    const ToolRun run = runTool({"list", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json extension = named(json::parse(run.out).at("extensions"), "AudioEffects");
    EXPECT_EQ(extension.at("description"), "Basic audio effects such as delay, chorus, flanger, and vibrato.");
    const json& types = extension.at("nodeTypes");
    std::vector<std::string> names;
    for (const json& type : types) names.push_back(type.at("name"));
    EXPECT_EQ(names, (std::vector<std::string>{"AudioEffects.Delay", "AudioEffects.PingPongDelay",
                                               "AudioEffects.Vibrato", "AudioEffects.Flanger", "AudioEffects.Chorus"}));
    const json& pingPong = named(types, "AudioEffects.PingPongDelay");
    EXPECT_EQ(pingPong.at("displayName"), "Ping Pong Delay");
    EXPECT_EQ(pingPong.at("categories"), (json{"Audio Processing", "Effects"}));
    EXPECT_FALSE(pingPong.at("description").get<std::string>().empty());

    DelayNode delay(2);
    PingPongDelayNode pingPongNode{OVAnyMap{}};
    ChorusNode chorus(2);
    FlangerNode flanger(2);
    VibratoNode vibrato(2);
    const auto delays = [](auto& n) {
        return Settings{{"enabled", static_cast<float>(n.getIsEnabled())},
                        {"delayMs", static_cast<float>(n.getDelayMs())},
                        {"dryMix", n.getDryMix()},
                        {"wetMix", n.getWetMix()},
                        {"feedbackLevel", n.getFeedbackLevel()}};
    };
    const auto sweeps = [](auto& n) {
        return Settings{{"enabled", static_cast<float>(n.getIsEnabled())},
                        {"sweepWidth", n.getSweepWidth()},
                        {"frequency", n.getFrequency()}};
    };
    for (const auto& [type, defaults] :
         std::vector<std::pair<std::string, Settings>>{{"Delay", delays(delay)},
                                                       {"PingPongDelay", delays(pingPongNode)},
                                                       {"Chorus", sweeps(chorus)},
                                                       {"Flanger", sweeps(flanger)},
                                                       {"Vibrato", sweeps(vibrato)}}) {
        const json& parameters = named(types, "AudioEffects." + type).at("parameters");
        ASSERT_EQ(parameters.size(), defaults.size()) << type;
        for (const auto& [name, value] : defaults) {
            const json& parameter = named(parameters, name);
            EXPECT_EQ(parameter.at("type"), name == "enabled" ? "boolean" : name == "delayMs" ? "int" : "float");
            EXPECT_EQ(parameter.at("default").is_boolean() ? parameter.at("default").get<bool>()
                                                           : static_cast<float>(parameter.at("default").get<double>()),
                      value)
                << type << "." << name;
        }
    }
    // Ranges come from the type description, which only the ping-pong delay has.
    const json& pingPongDelayMs = named(pingPong.at("parameters"), "delayMs");
    EXPECT_EQ(pingPongDelayMs.at("min"), 1);
    EXPECT_EQ(pingPongDelayMs.at("max"), 1000);
    EXPECT_EQ(static_cast<float>(named(pingPong.at("parameters"), "feedbackLevel").at("max").get<double>()), 0.99f);
    EXPECT_FALSE(named(named(types, "AudioEffects.Delay").at("parameters"), "delayMs").contains("min"));

    const ToolRun text = runTool({"list"});
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* fragment : {"AudioEffects.Delay", "AudioEffects.PingPongDelay", "AudioEffects.Vibrato",
                                 "AudioEffects.Flanger", "AudioEffects.Chorus", "Ping Pong Delay", "feedbackLevel",
                                 "sweepWidth", "min 1 max 1000", "Audio Processing, Effects"})
        EXPECT_NE(text.out.find(fragment), std::string::npos) << fragment;
}

}  // namespace
}  // namespace orvane::testing::tool
