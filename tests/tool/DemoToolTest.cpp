#include <nlohmann/json.hpp>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

using nlohmann::json;

TEST(DemoTool, WritesAudioAndRealImagesForEveryEffectAndATable) {
    TemporaryDirectory directory;
    const fs::path output = directory / "nested/demo";
    const ToolRun run = runTool({"demo", output});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> expected;  // sorted as entries() sorts them
    for (const std::string& name : split("Chorus Delay Flanger PingPongDelay Vibrato"))
        expected.insert(expected.end(), {name + "-impulse.png", name + "-spectrogram.png", name + ".wav"});
    expected.push_back("dry.wav");
    EXPECT_EQ(entries(output), expected) << "no scratch files are left behind";
    for (const char* fragment : {"real-time factor", "peak", "RMS"})
        EXPECT_NE(run.out.find(fragment), std::string::npos) << fragment;
    const SndfileHandle file(output / "dry.wav");
    EXPECT_TRUE(file.format() == floatWav && file.samplerate() == 48000 && file.channels() == 2 &&
                file.frames() >= 2 * 48000 && file.frames() <= 10 * 48000)
        << file.frames() << " frames";
    const Channels dry = readSound(output / "dry.wav");
    for (EffectType type : allEffectTypes) {
        const std::string name = effectName(type);
        for (const char* suffix : {"-impulse.png", "-spectrogram.png"}) {
            const std::string png = readText(output / (name + suffix));
            EXPECT_TRUE(png.size() > 5000 && png.starts_with("\x89PNG\r\n\x1a\n")) << name << suffix;
        }
        EXPECT_NE(run.out.find("\n" + name + " "), std::string::npos) << run.out;
        // The dry signal through a default node, sample for sample.
        EXPECT_TRUE(
            sameBits(readSound(output / (name + ".wav")), processInBlocks(*makeEffect(type, 2), dry, 48000, 2048)))
            << name;
    }
}

// Nothing is written before both drawing tools are known to exist.
TEST(DemoTool, NamesThePackageOfAMissingDrawingTool) {
    TemporaryDirectory directory;
    const std::string path = std::getenv("PATH"), bin = directory / "bin";
    fs::create_directory(bin);
    for (const auto& [present, missing] : {std::pair{"sox", "gnuplot-nox"}, {"gnuplot", "package sox"}}) {
        for (const std::string& folder : split(path, ':'))
            if (fs::exists(folder + "/" + present) && !fs::exists(bin + "/" + present))
                fs::create_symlink(folder + "/" + present, bin + "/" + present);
        ASSERT_TRUE(fs::exists(bin + "/" + present)) << present << " is not installed";
        setenv("PATH", bin.c_str(), 1);
        const ToolRun run = runTool(split("demo @out"), directory.path);
        setenv("PATH", path.c_str(), 1);
        EXPECT_TRUE(run.status != 0 && isOneLine(run.err) && run.err.find(missing) != std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(directory / "out"));
        fs::remove(bin + "/" + present);
    }
}

const json& named(const json& array, const std::string& name) {
    for (const json& item : array)
        if (item.at("name") == name) return item;
    throw std::runtime_error("no entry named " + name);
}

// Ranges come from the type description, which only the ping-pong delay has; help and the plain
// list go to stdout.
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
    EXPECT_FALSE(named(named(types, "AudioEffects.Delay").at("parameters"), "delayMs").contains("min"));
    for (EffectType type : allEffectTypes) {
        const auto node = makeEffect(type, 2);
        const json& parameters = named(types, "AudioEffects." + std::string(effectName(type))).at("parameters");
        EXPECT_EQ(parameters.size(), parameterNames(type).size()) << effectName(type);
        for (const std::string& name : parameterNames(type)) {
            const json& value = named(parameters, name).at("default");
            const char* kind = name == "enabled" ? "boolean" : name == "delayMs" ? "int" : "float";
            EXPECT_EQ(named(parameters, name).at("type"), kind) << name;
            EXPECT_EQ(static_cast<float>(value.is_boolean() ? value.get<bool>() : value.get<double>()),
                      static_cast<float>(getParameter(*node, type, name)))
                << effectName(type) << "." << name;
        }
    }
    for (const char* row : {"--help|process", "list --help|--json", "process --help|--block-size", "demo --help|DIR",
                            "list|min 1 max 1000"}) {
        const ToolRun help = runTool(split(split(row, '|')[0]));
        EXPECT_TRUE(help.status == 0 && help.err.empty() && help.out.find(split(row, '|')[1]) != std::string::npos)
            << row << ": " << help.err << help.out;
    }
}

}  // namespace
}  // namespace orvane::testing::tool
