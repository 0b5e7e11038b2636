#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

constexpr std::uint32_t rate = 48000;

struct BadRun {
    std::vector<std::string> arguments;  // "@name": a file of the test directory; "%name": of tests/tool/data
    std::vector<std::string> fragments;  // each must be in the one-line message
};

std::vector<BadRun> badRuns() {
    std::vector<BadRun> runs{
        // Command lines.
        {{}, {"list, process or demo"}},
        {{"mix"}, {"unknown command 'mix'", "list, process or demo"}},
        {{"list", "--yaml"}, {"--yaml", "--json"}},
        {{"demo", "@a", "@b"}, {"not expected", "one output directory"}},
        {{"process", "@stereo.wav", "@out.wav"}, {"--effect is required", "--effect TYPE"}},
        {{"process", "--effect", "Delay", "@stereo.wav"}, {"OUTPUT is required", "INPUT and OUTPUT"}},
        {{"process", "--effect", "Delay", "--volume", "3", "@stereo.wav", "@out.wav"}, {"--volume", "--block-size"}},
        {{"process", "--effect", "Delay", "@stereo.wav", "@out.wav", "--param"}, {"--param", "NAME=VALUE", "missing"}},
        {{"process", "--effect", "Delay", "--param", "delayMs", "@stereo.wav", "@out.wav"},
         {"'delayMs' is not NAME=VALUE"}},
        {{"process", "--effect", "Delay", "--param", "=5", "@stereo.wav", "@out.wav"}, {"'=5' is not NAME=VALUE"}},
        {{"process", "--param", "delayMs=5", "--effect", "Delay", "@stereo.wav", "@out.wav"}, {"before any --effect"}},
        {{"process", "--effect", "Delay", "@stereo.wav", "@out.wav", "--block-size"}, {"--block-size", "1..65536"}},
        {{"process", "--encoding", "mp3", "--effect", "Delay", "@stereo.wav", "@out.wav"},
         {"--encoding", "mp3", "float32,pcm16,pcm24"}},
        {{"process", "--tail", "-1", "--effect", "Delay", "@stereo.wav", "@out.wav"}, {"--tail", "'-1'", "0 to 3600"}},
        {{"process", "--tail", "soon", "--effect", "Delay", "@stereo.wav", "@out.wav"}, {"'soon'", "0 to 3600"}},
        // Effects and parameters.
        {{"process", "--effect", "Reverb", "@stereo.wav", "@out.wav"},
         {"unknown effect 'Reverb'", "Delay, PingPongDelay, Vibrato, Flanger, Chorus", "AudioEffects.Delay"}},
        {{"process", "--effect", "delay", "@stereo.wav", "@out.wav"}, {"unknown effect 'delay'"}},
        {{"process", "--effect", "Other.Delay", "@stereo.wav", "@out.wav"}, {"unknown effect 'Other.Delay'"}},
        {{"process", "--effect", "Chorus", "--param", "delayMs=3", "@stereo.wav", "@out.wav"},
         {"Chorus has no parameter 'delayMs'", "enabled, sweepWidth, frequency"}},
        {{"process", "--effect", "PingPongDelay", "--param", "gain=1", "@stereo.wav", "@out.wav"},
         {"PingPongDelay has no parameter 'gain'", "enabled, delayMs, dryMix, wetMix, feedbackLevel"}},
        // Each --param belongs to the --effect before it, not to any effect of the chain.
        {{"process", "--effect", "Delay", "--effect", "Vibrato", "--param", "delayMs=10", "@stereo.wav", "@out.wav"},
         {"Vibrato has no parameter 'delayMs'"}},
        // Channel counts a node refuses; the one that refuses is named, even behind one that accepts.
        {{"process", "--effect", "PingPongDelay", "@mono.wav", "@out.wav"},
         {"PingPongDelay accepts 2 channels; the input has 1"}},
        {{"process", "--effect", "PingPongDelay", "@six.wav", "@out.wav"},
         {"PingPongDelay accepts 2 channels; the input has 6"}},
        {{"process", "--effect", "Chorus", "@three.wav", "@out.wav"},
         {"Chorus accepts 1 or 2 channels; the input has 3"}},
        {{"process", "--effect", "Delay", "@six.wav", "@out.wav"}, {"Delay accepts 1 or 2 channels; the input has 6"}},
        {{"process", "--effect", "Delay", "--effect", "PingPongDelay", "@mono.wav", "@out.wav"},
         {"PingPongDelay accepts 2 channels; the input has 1"}},
        // Inputs.
        {{"process", "--effect", "Delay", "@absent.wav", "@out.wav"},
         {"cannot read input", "absent.wav", "No such file", "WAV, AIFF, FLAC or OGG"}},
        {{"process", "--effect", "Delay", "@folder.wav", "@out.wav"}, {"cannot read input", "is a directory"}},
        {{"process", "--effect", "Delay", "@notes.wav", "@out.wav"},
         {"libsndfile cannot read", "notes.wav", "WAV, AIFF"}},
        // Outputs.
        {{"process", "--effect", "Delay", "@stereo.wav", "@missing-folder/out.wav"},
         {"cannot write output", "missing-folder/out.wav", "directory must exist and be writable"}},
        {{"process", "--effect", "Delay", "@stereo.wav", "@out.mp3"}, {"out.mp3", ".wav, .aif, .aiff, .flac or .ogg"}},
        {{"process", "--effect", "Delay", "@stereo.wav", "@out"}, {".wav, .aif, .aiff, .flac or .ogg"}},
        {{"process", "--effect", "Delay", "@stereo.wav", "@taken.wav"}, {"cannot write output", "is a directory"}},
        {{"process", "--effect", "Delay", "--encoding", "float32", "@six.wav", "@out.flac"},
         {"FLAC cannot hold float32", "pcm16, pcm24"}},
        {{"process", "--effect", "Delay", "--encoding", "pcm16", "@stereo.wav", "@out.ogg"},
         {"--encoding does not apply to OGG", "Vorbis"}},
    };
    for (const char* size : {"0", "65537", "-1", "1.5", "abc", "", "010x", "99999999999999999999"})
        runs.push_back({{"process", "--block-size", size, "--effect", "Delay", "@stereo.wav", "@out.wav"},
                        {"--block-size", "'" + std::string(size) + "'", "from 1 to 65536"}});
    // Values are parsed strictly: the message names the effect, the value and what it takes.
    const std::vector<std::vector<std::string>> values{
        {"Delay", "enabled", "yes", "true, false, 1 or 0"},
        {"Delay", "enabled", "TRUE", "true, false, 1 or 0"},
        {"PingPongDelay", "enabled", "2", "true, false, 1 or 0"},
        {"Delay", "delayMs", "1.5", "whole number"},
        {"Delay", "delayMs", "-3", "whole number"},
        {"Delay", "delayMs", "4294967296", "whole number"},
        {"PingPongDelay", "delayMs", "12ms", "whole number"},
        {"PingPongDelay", "delayMs", "+12", "whole number"},
        {"Delay", "dryMix", "abc", "finite decimal"},
        {"Delay", "wetMix", "nan", "finite decimal"},
        {"PingPongDelay", "wetMix", "inf", "finite decimal"},
        {"Delay", "feedbackLevel", "", "finite decimal"},
        {"Chorus", "frequency", "0x10", "finite decimal"},
        {"Vibrato", "sweepWidth", " 0.1", "finite decimal"},
        {"Flanger", "sweepWidth", "0.1,", "finite decimal"},
        {"Flanger", "frequency", "1e999", "finite decimal"},
    };
    for (const auto& v : values)
        runs.push_back({{"process", "--effect", v[0], "--param", v[1] + "=" + v[2], "@stereo.wav", "@out.wav"},
                        {v[0] + ":", "'" + v[2] + "'", "parameter " + v[1], v[3]}});
    // Crafted damaged files (tests/tool/data).
    for (const auto& [name, fragment] :
         std::vector<std::pair<std::string, std::string>>{{"empty.wav", "Format not recognised"},
                                                          {"not-audio.wav", "Format not recognised"},
                                                          {"truncated-header.wav", "cannot read input"},
                                                          {"zero-channels.wav", "cannot read input"},
                                                          {"zero-rate.wav", "cannot read input"},
                                                          {"absurd-channels.wav", "cannot read input"},
                                                          {"truncated.flac", "failed"},
                                                          {"corrupt-frames.flac", "failed"}})
        runs.push_back({{"process", "--effect", "Delay", "%" + name, "@out.wav"}, {name, fragment}});
    // File permissions do not stop root.
    if (geteuid() != 0) {
        runs.push_back(
            {{"process", "--effect", "Delay", "@secret.wav", "@out.wav"}, {"cannot read input", "Permission denied"}});
        runs.push_back({{"process", "--effect", "Delay", "@stereo.wav", "@locked/out.wav"},
                        {"cannot write output", "Permission denied"}});
    }
    return runs;
}

// Every bad run ends with a one-line message and leaves the directory as it was: no output,
// no temporary file, and the earlier output untouched.
TEST(BadInputTool, EndsWithAOneLineMessageAndLeavesEverythingAsItWas) {
    TemporaryDirectory directory;
    writeSound(directory / "stereo.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(2, 4800, rate));
    writeSound(directory / "mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(1, 4800, rate));
    writeSound(directory / "three.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(3, 4800, rate));
    writeSound(directory / "six.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, rate, testSignal(6, 4800, rate));
    writeSound(directory / "secret.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(2, 4800, rate));
    chmod((directory / "secret.wav").c_str(), 0);
    { std::ofstream(directory / "notes.wav") << "These are notes about a song, not audio.\n"; }
    { std::ofstream(directory / "out.wav") << "the previous result"; }
    for (const char* folder : {"folder.wav", "taken.wav", "locked"}) fs::create_directory(directory / folder);
    chmod((directory / "locked").c_str(), 0500);
    const std::vector<std::string> before = directory.entries();

    for (BadRun bad : badRuns()) {
        std::string shown;
        for (std::string& argument : bad.arguments) {
            shown += " " + argument;
            if (argument.rfind('@', 0) == 0) argument = directory / argument.substr(1);
            if (argument.rfind('%', 0) == 0) argument = (fs::path(ORVANE_TOOL_TEST_DATA) / argument.substr(1)).string();
        }
        SCOPED_TRACE("orvane-fx" + shown);
        const ToolRun run = runTool(bad.arguments);
        EXPECT_NE(run.status, 0);
        EXPECT_TRUE(isOneLine(run.err)) << "stderr: " << run.err;
        EXPECT_EQ(run.err.rfind("orvane-fx: ", 0), 0u) << run.err;
        for (const std::string& fragment : bad.fragments)
            EXPECT_NE(run.err.find(fragment), std::string::npos) << "missing '" << fragment << "' in: " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(directory.entries(), before);
        EXPECT_TRUE(fs::is_empty(directory / "locked"));
        EXPECT_EQ(readText(directory / "out.wav"), "the previous result");
    }
}

// A copy cut off inside its audio: libsndfile reads the frames present; the tool says so,
// and the output holds exactly those frames, processed.
TEST(BadInputTool, TruncatedAudioIsProcessedAsFarAsItGoesWithAWarning) {
    TemporaryDirectory directory;
    const fs::path input = fs::path(ORVANE_TOOL_TEST_DATA) / "truncated-data.wav";
    const ToolRun run = runTool({"process", "--effect", "Delay", input, directory / "out.wav"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: input"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("shorter than its header says"), std::string::npos) << run.err;
    const Sound in = readSound(input);
    const Sound out = readSound(directory / "out.wav");
    ASSERT_EQ(out.channels.size(), in.channels.size());
    EXPECT_EQ(out.channels.front().size(), in.channels.front().size());
}

}  // namespace
}  // namespace orvane::testing::tool
