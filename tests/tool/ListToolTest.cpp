#include <nlohmann/json.hpp>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

using nlohmann::json;

const json& named(const json& array, const std::string& name) {
    for (const json& item : array)
        if (item.at("name") == name) return item;
    throw std::runtime_error("no entry named " + name);
}

// Ranges and defaults as the effects' table offers them; the plain list goes to stdout.
TEST(ListTool, JsonHoldsTheFiveTypesWithTheirNodesDefaults) {
    const ToolRun run = runTool({"list", "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json types = named(json::parse(run.out).at("extensions"), "AudioEffects").at("nodeTypes");
    std::vector<std::string> names;
    for (const json& type : types) names.push_back(type.at("name"));
    EXPECT_EQ(names, split("AudioEffects.Delay AudioEffects.PingPongDelay AudioEffects.Vibrato AudioEffects.Flanger "
                           "AudioEffects.Chorus"));
    const json& pingPong = named(types, "AudioEffects.PingPongDelay");
    EXPECT_EQ(pingPong.at("displayName"), "Ping Pong Delay");
    EXPECT_EQ(pingPong.at("categories"), (json{"Audio Processing", "Effects"}));
    const json& delayMs = named(pingPong.at("parameters"), "delayMs");
    EXPECT_TRUE(delayMs.at("min") == 1 && delayMs.at("max") == 1000) << delayMs;
    EXPECT_EQ(named(named(types, "AudioEffects.Flanger").at("parameters"), "sweepWidth").at("max"), 0.02);
    for (EffectType type : allEffectTypes) {
        const auto node = makeEffect(type, 2);
        const json& parameters = named(types, "AudioEffects." + std::string(effectName(type))).at("parameters");
        EXPECT_EQ(parameters.size(), parameterNames(type).size()) << effectName(type);
        for (const std::string& name : parameterNames(type)) {
            const json& value = named(parameters, name).at("default");
            const char* kind = name == "enabled" ? "boolean" : name == "delayMs" ? "int" : "float";
            EXPECT_EQ(named(parameters, name).at("type"), kind) << name;
            // Every number offers a range that holds its default; a switch has none.
            const json& entry = named(parameters, name);
            EXPECT_EQ(entry.contains("min") && entry.contains("max"), !value.is_boolean()) << entry;
            if (!value.is_boolean()) {
                EXPECT_TRUE(entry["min"] <= value && value <= entry["max"]) << entry;
            }
            EXPECT_EQ(static_cast<float>(value.is_boolean() ? value.get<bool>() : value.get<double>()),
                      static_cast<float>(getParameter(*node, type, name)))
                << effectName(type) << "." << name;
        }
    }
    const ToolRun text = runTool({"list"});  // the ranges in the plain listing too
    EXPECT_TRUE(text.status == 0 && text.out.find("min 1 max 1000") != std::string::npos) << text.out;
}

}  // namespace
}  // namespace orvane::testing::tool
