#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

constexpr std::uint32_t rate = 48000;

/// A directory with a stereo, a mono, a 3-channel and a 6-channel float WAV and a text file.
class BadInputTool : public ::testing::Test {
protected:
    void SetUp() override {
        writeSound(directory / "stereo.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(2, 4800, rate));
        writeSound(directory / "mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(1, 4800, rate));
        writeSound(directory / "three.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(3, 4800, rate));
        writeSound(directory / "six.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, rate, testSignal(6, 4800, rate));
        { std::ofstream(directory / "notes.wav") << "These are notes about a song, not audio.\n"; }
        before = directory.entries();
    }

    /// Runs the tool and expects a failure with a one-line message holding every fragment,
    /// and the directory exactly as it was: no output, no temporary file.
    void expectFailure(const std::vector<std::string>& arguments, const std::vector<std::string>& fragments) {
        const ToolRun run = runTool(arguments);
        EXPECT_NE(run.status, 0);
        EXPECT_TRUE(isOneLine(run.err)) << "stderr: " << run.err;
        EXPECT_EQ(run.err.rfind("orvane-fx: ", 0), 0u) << run.err;
        for (const std::string& fragment : fragments)
            EXPECT_NE(run.err.find(fragment), std::string::npos) << "missing '" << fragment << "' in: " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(directory.entries(), before);
    }

    std::vector<std::string> process(std::vector<std::string> options, const std::string& input = "stereo.wav",
                                     const std::string& output = "out.wav") {
        std::vector<std::string> arguments{"process"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(directory / input);
        arguments.push_back(directory / output);
        return arguments;
    }

    TemporaryDirectory directory;
    std::vector<std::string> before;
};

TEST_F(BadInputTool, MissingInput) {
    expectFailure(process({"--effect", "Delay"}, "absent.wav"),
                  {"cannot read input", "absent.wav", "no such file", "WAV, AIFF, FLAC or OGG"});
}

TEST_F(BadInputTool, InputThatIsADirectory) {
    fs::create_directory(directory / "folder.wav");
    before = directory.entries();
    expectFailure(process({"--effect", "Delay"}, "folder.wav"), {"cannot read input", "is a directory"});
}

TEST_F(BadInputTool, UnreadableInput) {
    if (geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
    chmod((directory / "stereo.wav").c_str(), 0);
    expectFailure(process({"--effect", "Delay"}), {"cannot read input", "Permission denied"});
}

TEST_F(BadInputTool, FileLibsndfileCannotRead) {
    expectFailure(process({"--effect", "Delay"}, "notes.wav"), {"libsndfile cannot read", "notes.wav", "WAV, AIFF"});
}

TEST_F(BadInputTool, UnknownEffectListsTheKnownOnes) {
    expectFailure(process({"--effect", "Reverb"}),
                  {"unknown effect 'Reverb'", "Delay, PingPongDelay, Vibrato, Flanger, Chorus"});
    expectFailure(process({"--effect", "delay"}), {"unknown effect 'delay'"});
    expectFailure(process({"--effect", "Other.Delay"}), {"unknown effect 'Other.Delay'"});
}

TEST_F(BadInputTool, UnknownParameterListsTheEffectsParameters) {
    expectFailure(process({"--effect", "Chorus", "--param", "delayMs=3"}),
                  {"Chorus has no parameter 'delayMs'", "enabled, sweepWidth, frequency"});
    expectFailure(process({"--effect", "PingPongDelay", "--param", "gain=1"}),
                  {"PingPongDelay has no parameter 'gain'", "enabled, delayMs, dryMix, wetMix, feedbackLevel"});
    // Each --param belongs to the --effect before it, not to any effect of the chain.
    expectFailure(process({"--effect", "Delay", "--effect", "Vibrato", "--param", "delayMs=10"}),
                  {"Vibrato has no parameter 'delayMs'"});
}

TEST_F(BadInputTool, ValuesThatDoNotParse) {
    struct Case {
        const char* effect;
        const char* setting;
        const char* accepted;
    };
    const std::vector<Case> cases{
        {"Delay", "enabled=yes", "true, false, 1 or 0"},
        {"Delay", "enabled=TRUE", "true, false, 1 or 0"},
        {"PingPongDelay", "enabled=2", "true, false, 1 or 0"},
        {"Delay", "delayMs=1.5", "whole number"},
        {"Delay", "delayMs=-3", "whole number"},
        {"Delay", "delayMs=4294967296", "whole number"},
        {"PingPongDelay", "delayMs=12ms", "whole number"},
        {"PingPongDelay", "delayMs=+12", "whole number"},
        {"Delay", "dryMix=abc", "finite decimal"},
        {"Delay", "wetMix=nan", "finite decimal"},
        {"PingPongDelay", "wetMix=inf", "finite decimal"},
        {"Delay", "feedbackLevel=", "finite decimal"},
        {"Chorus", "frequency=0x10", "finite decimal"},
        {"Vibrato", "sweepWidth= 0.1", "finite decimal"},
        {"Flanger", "sweepWidth=0.1,", "finite decimal"},
        {"Flanger", "frequency=1e999", "finite decimal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        const std::string setting = c.setting;
        const std::string name = setting.substr(0, setting.find('='));
        const std::string value = setting.substr(setting.find('=') + 1);
        expectFailure(process({"--effect", c.effect, "--param", setting}),
                      {std::string(c.effect) + ":", "'" + value + "'", name, c.accepted});
    }
}

TEST_F(BadInputTool, ParameterSettingsThatAreNotNameEqualsValue) {
    expectFailure(process({"--effect", "Delay", "--param", "delayMs"}), {"NAME=VALUE"});
    expectFailure(process({"--effect", "Delay", "--param", "=5"}), {"NAME=VALUE"});
    expectFailure(process({"--param", "delayMs=5", "--effect", "Delay"}), {"before any --effect"});
    expectFailure({"process", "--effect", "Delay", directory / "stereo.wav", directory / "out.wav", "--param"},
                  {"--param needs a value", "NAME=VALUE"});
}

TEST_F(BadInputTool, ChannelCountsTheNodeRefuses) {
    expectFailure(process({"--effect", "PingPongDelay"}, "mono.wav"),
                  {"PingPongDelay accepts 2 channels; the input has 1"});
    expectFailure(process({"--effect", "PingPongDelay"}, "six.wav"),
                  {"PingPongDelay accepts 2 channels; the input has 6"});
    expectFailure(process({"--effect", "Chorus"}, "three.wav"), {"Chorus accepts 1 or 2 channels; the input has 3"});
    expectFailure(process({"--effect", "Delay"}, "six.wav"), {"Delay accepts 1 or 2 channels; the input has 6"});
    // The effect that refuses is named, even behind one that accepts.
    expectFailure(process({"--effect", "Delay", "--effect", "PingPongDelay"}, "mono.wav"),
                  {"PingPongDelay accepts 2 channels; the input has 1"});
}

TEST_F(BadInputTool, AnExistingOutputSurvivesAFailedRun) {
    { std::ofstream(directory / "out.wav") << "the previous result"; }
    before = directory.entries();
    expectFailure(process({"--effect", "PingPongDelay"}, "mono.wav"), {"accepts 2 channels"});
    expectFailure(process({"--effect", "Delay", "--param", "wetMix=lots"}), {"wetMix"});
    expectFailure(process({"--effect", "Delay"}, "notes.wav"), {"libsndfile cannot read"});
    EXPECT_EQ(readText(directory / "out.wav"), "the previous result");
}

TEST_F(BadInputTool, OutputThatCannotBeWritten) {
    expectFailure(process({"--effect", "Delay"}, "stereo.wav", "missing-folder/out.wav"),
                  {"cannot write output", "missing-folder/out.wav", "directory must exist and be writable"});
    expectFailure(process({"--effect", "Delay"}, "stereo.wav", "out.mp3"),
                  {"out.mp3", ".wav, .aif, .aiff, .flac or .ogg"});
    expectFailure(process({"--effect", "Delay"}, "stereo.wav", "out"), {".wav, .aif, .aiff, .flac or .ogg"});
    expectFailure(process({"--effect", "Delay", "--encoding", "float32"}, "six.wav", "out.flac"),
                  {"FLAC cannot hold float32", "pcm16, pcm24"});
    expectFailure(process({"--effect", "Delay", "--encoding", "pcm16"}, "stereo.wav", "out.ogg"),
                  {"--encoding does not apply to OGG", "Vorbis"});

    fs::create_directory(directory / "taken.wav");
    before = directory.entries();
    expectFailure(process({"--effect", "Delay"}, "stereo.wav", "taken.wav"), {"cannot write output", "directory"});

    if (geteuid() != 0) {
        fs::create_directory(directory / "locked");
        chmod((directory / "locked").c_str(), 0500);
        before = directory.entries();
        expectFailure(process({"--effect", "Delay"}, "stereo.wav", "locked/out.wav"),
                      {"cannot write output", "Permission denied"});
        EXPECT_TRUE(fs::is_empty(directory / "locked"));
    }
}

TEST_F(BadInputTool, BlockSizeOutOfRange) {
    for (const char* size : {"0", "65537", "-1", "1.5", "abc", "", "99999999999999999999"}) {
        SCOPED_TRACE(size);
        expectFailure(process({"--block-size", size, "--effect", "Delay"}), {"block size", "from 1 to 65536"});
    }
    expectFailure({"process", "--effect", "Delay", directory / "stereo.wav", directory / "out.wav", "--block-size"},
                  {"--block-size needs a value", "1 to 65536"});
}

TEST_F(BadInputTool, OtherOptionsWithBadValues) {
    expectFailure(process({"--encoding", "mp3", "--effect", "Delay"}),
                  {"unknown encoding 'mp3'", "float32, pcm16 or pcm24"});
    expectFailure(process({"--tail", "-1", "--effect", "Delay"}), {"tail '-1'", "0 to 3600"});
    expectFailure(process({"--tail", "soon", "--effect", "Delay"}), {"tail 'soon'", "0 to 3600"});
    expectFailure(process({"--effect", "Delay", "--volume", "3"}), {"'--volume'", "--effect, --param, --block-size"});
    expectFailure(process({}), {"at least one --effect"});
    expectFailure({"process", "--effect", "Delay", directory / "stereo.wav"}, {"INPUT and an OUTPUT"});
    expectFailure({"mix"}, {"unknown command 'mix'", "list, process or demo"});
    expectFailure({}, {"no command given"});
    expectFailure({"list", "--yaml"}, {"--yaml", "--json"});
}

// Crafted damaged files (tests/tool/data): each fails cleanly and leaves nothing behind.
TEST_F(BadInputTool, DamagedFilesFailCleanly) {
    const fs::path data = ORVANE_TOOL_TEST_DATA;
    const std::vector<std::pair<std::string, std::string>> cases{{"empty.wav", "Format not recognised"},
                                                                 {"not-audio.wav", "Format not recognised"},
                                                                 {"truncated-header.wav", "cannot read input"},
                                                                 {"zero-channels.wav", "cannot read input"},
                                                                 {"zero-rate.wav", "cannot read input"},
                                                                 {"absurd-channels.wav", "cannot read input"},
                                                                 {"truncated.flac", "failed"},
                                                                 {"corrupt-frames.flac", "failed"}};
    for (const auto& [name, fragment] : cases) {
        SCOPED_TRACE(name);
        expectFailure({"process", "--effect", "Delay", data / name, directory / "out.wav"}, {name, fragment});
    }
}

// A copy cut off inside its audio: libsndfile reads the frames present; the tool says so,
// and the output holds exactly those frames, processed.
TEST_F(BadInputTool, TruncatedAudioIsProcessedAsFarAsItGoesWithAWarning) {
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
