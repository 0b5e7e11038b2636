#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ToolHarness.h"
#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"

namespace orvane::testing::tool {
namespace {

using namespace orvane::extensions::audioeffects;
using nlohmann::json;

const json& findByName(const json& array, const std::string& name) {
    for (const json& item : array)
        if (item.at("name") == name) return item;
    throw std::runtime_error("no entry named " + name);
}

// A listed default, read back as the float a node holds.
float asFloat(const json& value) { return static_cast<float>(value.get<double>()); }

TEST(ListTool, JsonHoldsTheFiveTypesWithTheirNodesDefaults) {
    const ToolRun run = runTool({"list", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json listing = json::parse(run.out);

    const json& extension = findByName(listing.at("extensions"), "AudioEffects");
    EXPECT_EQ(extension.at("description"), "Basic audio effects such as delay, chorus, flanger, and vibrato.");
    std::vector<std::string> names;
    for (const json& type : extension.at("nodeTypes")) names.push_back(type.at("name"));
    EXPECT_EQ(names, (std::vector<std::string>{"AudioEffects.Delay", "AudioEffects.PingPongDelay",
                                               "AudioEffects.Vibrato", "AudioEffects.Flanger", "AudioEffects.Chorus"}));

    const json& types = extension.at("nodeTypes");
    const json& pingPong = findByName(types, "AudioEffects.PingPongDelay");
    EXPECT_EQ(pingPong.at("displayName"), "Ping Pong Delay");
    EXPECT_EQ(pingPong.at("categories"), (json{"Audio Processing", "Effects"}));
    EXPECT_FALSE(pingPong.at("description").get<std::string>().empty());

    DelayNode delay(2);
    PingPongDelayNode pingPongNode{OVAnyMap{}};
    for (const auto& [typeName, enabled, delayMs, dry, wet, feedback] :
         {std::tuple{"AudioEffects.Delay", delay.getIsEnabled(), delay.getDelayMs(), delay.getDryMix(),
                     delay.getWetMix(), delay.getFeedbackLevel()},
          std::tuple{"AudioEffects.PingPongDelay", pingPongNode.getIsEnabled(), pingPongNode.getDelayMs(),
                     pingPongNode.getDryMix(), pingPongNode.getWetMix(), pingPongNode.getFeedbackLevel()}}) {
        SCOPED_TRACE(typeName);
        const json& parameters = findByName(types, typeName).at("parameters");
        ASSERT_EQ(parameters.size(), 5u);
        EXPECT_EQ(findByName(parameters, "enabled").at("type"), "boolean");
        EXPECT_EQ(findByName(parameters, "enabled").at("default").get<bool>(), enabled);
        EXPECT_EQ(findByName(parameters, "delayMs").at("type"), "int");
        EXPECT_EQ(findByName(parameters, "delayMs").at("default").get<unsigned>(), delayMs);
        EXPECT_EQ(asFloat(findByName(parameters, "dryMix").at("default")), dry);
        EXPECT_EQ(asFloat(findByName(parameters, "wetMix").at("default")), wet);
        EXPECT_EQ(asFloat(findByName(parameters, "feedbackLevel").at("default")), feedback);
        EXPECT_EQ(findByName(parameters, "dryMix").at("type"), "float");
    }
    // Ranges come from the type description, which only the ping-pong delay has.
    const json& pingPongDelayMs = findByName(pingPong.at("parameters"), "delayMs");
    EXPECT_EQ(pingPongDelayMs.at("min"), 1);
    EXPECT_EQ(pingPongDelayMs.at("max"), 1000);
    EXPECT_EQ(asFloat(findByName(pingPong.at("parameters"), "feedbackLevel").at("max")), 0.99f);
    EXPECT_FALSE(findByName(findByName(types, "AudioEffects.Delay").at("parameters"), "delayMs").contains("min"));

    ChorusNode chorus(2);
    FlangerNode flanger(2);
    VibratoNode vibrato(2);
    for (const auto& [typeName, sweepWidth, frequency] :
         {std::tuple{"AudioEffects.Chorus", chorus.getSweepWidth(), chorus.getFrequency()},
          std::tuple{"AudioEffects.Flanger", flanger.getSweepWidth(), flanger.getFrequency()},
          std::tuple{"AudioEffects.Vibrato", vibrato.getSweepWidth(), vibrato.getFrequency()}}) {
        SCOPED_TRACE(typeName);
        const json& parameters = findByName(types, typeName).at("parameters");
        ASSERT_EQ(parameters.size(), 3u);
        EXPECT_EQ(findByName(parameters, "enabled").at("default"), true);
        EXPECT_EQ(asFloat(findByName(parameters, "sweepWidth").at("default")), sweepWidth);
        EXPECT_EQ(asFloat(findByName(parameters, "frequency").at("default")), frequency);
    }
}

TEST(ListTool, TextNamesEveryTypeAndParameter) {
    const ToolRun run = runTool({"list"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* fragment : {"AudioEffects.Delay", "AudioEffects.PingPongDelay", "AudioEffects.Vibrato",
                                 "AudioEffects.Flanger", "AudioEffects.Chorus", "Ping Pong Delay", "feedbackLevel",
                                 "sweepWidth", "min 1 max 1000", "Audio Processing, Effects"})
        EXPECT_NE(run.out.find(fragment), std::string::npos) << fragment;
}

}  // namespace
}  // namespace orvane::testing::tool
