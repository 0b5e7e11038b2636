#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

constexpr std::uint32_t rate = 48000;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> words;
    std::stringstream stream(text);
    for (std::string word; std::getline(stream, word, separator);) words.push_back(word);
    return words;
}

struct BadRun {
    std::vector<std::string> arguments;  // "@name": in the test directory; "%name": in tests/tool/data
    std::vector<std::string> fragments;  // each must be in the one-line message
};

std::vector<BadRun> badRuns() {
    // Arguments split at spaces ("$": @stereo.wav @out.wav), fragments at '|'.
    const std::vector<std::pair<std::string, std::string>> rows{
        {"", "list, process or demo"},
        {"mix", "unknown command 'mix'|list, process or demo"},
        {"list --yaml", "--yaml|--json"},
        {"demo @a @b", "not expected|one output directory"},
        {"process $", "--effect is required|--effect TYPE"},
        {"process --effect Delay @stereo.wav", "OUTPUT is required|INPUT and OUTPUT"},
        {"process --effect Delay --volume 3 $", "--volume|--block-size"},
        {"process --effect Delay @stereo.wav @out.wav --param", "--param|NAME=VALUE|missing"},
        {"process --effect Delay --param delayMs $", "'delayMs' is not NAME=VALUE"},
        {"process --effect Delay --param =5 $", "'=5' is not NAME=VALUE"},
        {"process --param delayMs=5 --effect Delay $", "before any --effect"},
        {"process --effect Delay @stereo.wav @out.wav --block-size", "--block-size|1..65536"},
        {"process --encoding mp3 --effect Delay $", "--encoding|mp3|float32,pcm16,pcm24"},
        {"process --tail -1 --effect Delay $", "--tail|'-1'|0 to 3600"},
        {"process --tail soon --effect Delay $", "'soon'|0 to 3600"},
        {"process --effect Reverb $",
         "unknown effect 'Reverb'|Delay, PingPongDelay, Vibrato, Flanger, Chorus|AudioEffects.Delay"},
        {"process --effect delay $", "unknown effect 'delay'"},
        {"process --effect Other.Delay $", "unknown effect 'Other.Delay'"},
        {"process --effect Chorus --param delayMs=3 $",
         "Chorus has no parameter 'delayMs'|enabled, sweepWidth, frequency"},
        {"process --effect PingPongDelay --param gain=1 $",
         "PingPongDelay has no parameter 'gain'|enabled, delayMs, dryMix, wetMix, feedbackLevel"},
        // A --param belongs to the --effect before it.
        {"process --effect Delay --effect Vibrato --param delayMs=10 $", "Vibrato has no parameter 'delayMs'"},
        // The node refusing the channel count is named, even behind one that accepts.
        {"process --effect PingPongDelay @mono.wav @out.wav", "PingPongDelay accepts 2 channels; the input has 1"},
        {"process --effect PingPongDelay @six.wav @out.wav", "PingPongDelay accepts 2 channels; the input has 6"},
        {"process --effect Chorus @three.wav @out.wav", "Chorus accepts 1 or 2 channels; the input has 3"},
        {"process --effect Delay @six.wav @out.wav", "Delay accepts 1 or 2 channels; the input has 6"},
        {"process --effect Delay --effect PingPongDelay @mono.wav @out.wav",
         "PingPongDelay accepts 2 channels; the input has 1"},
        {"process --effect Delay @absent.wav @out.wav",
         "cannot read input|absent.wav|No such file|WAV, AIFF, FLAC or OGG"},
        {"process --effect Delay @folder.wav @out.wav", "cannot read input|is a directory"},
        {"process --effect Delay @notes.wav @out.wav", "libsndfile cannot read|notes.wav|WAV, AIFF"},
        {"process --effect Delay @stereo.wav @missing-folder/out.wav",
         "cannot write output|missing-folder/out.wav|directory must exist and be writable"},
        {"process --effect Delay @stereo.wav @out.mp3", "out.mp3|.wav, .aif, .aiff, .flac or .ogg"},
        {"process --effect Delay @stereo.wav @out", ".wav, .aif, .aiff, .flac or .ogg"},
        {"process --effect Delay @stereo.wav @taken.wav", "cannot write output|is a directory"},
        {"process --effect Delay --encoding float32 @six.wav @out.flac", "FLAC cannot hold float32|pcm16, pcm24"},
        {"process --effect Delay --encoding pcm16 @stereo.wav @out.ogg", "--encoding does not apply to OGG|Vorbis"},
        // 3600 s at 192 kHz of stereo float: about 5.5 GB, refused before any work.
        {"process --tail 3600 --effect Delay @fast.wav @out.aiff", "out.aiff|AIFF holds at most 4 GiB|.wav"},
    };
    std::vector<BadRun> runs;
    for (auto [arguments, fragments] : rows) {
        if (arguments.ends_with('$')) arguments.replace(arguments.size() - 1, 1, "@stereo.wav @out.wav");
        runs.push_back({split(arguments, ' '), split(fragments, '|')});
    }
    for (const char* size : {"0", "65537", "-1", "1.5", "abc", "", "010x", "99999999999999999999"})
        runs.push_back({{"process", "--block-size", size, "--effect", "Delay", "@stereo.wav", "@out.wav"},
                        {"--block-size", "'" + std::string(size) + "'", "from 1 to 65536"}});
    // Effect, parameter, value, what it takes.
    for (const char* row : {"Delay|enabled|yes|true, false, 1 or 0", "Delay|enabled|TRUE|true, false, 1 or 0",
                            "PingPongDelay|enabled|2|true, false, 1 or 0", "Delay|delayMs|1.5|whole number",
                            "Delay|delayMs|-3|whole number", "Delay|delayMs|4294967296|whole number",
                            "PingPongDelay|delayMs|12ms|whole number", "PingPongDelay|delayMs|+12|whole number",
                            "Delay|dryMix|abc|finite decimal", "Delay|wetMix|nan|finite decimal",
                            "PingPongDelay|wetMix|inf|finite decimal", "Delay|feedbackLevel||finite decimal",
                            "Chorus|frequency|0x10|finite decimal", "Vibrato|sweepWidth| 0.1|finite decimal",
                            "Flanger|sweepWidth|0.1,|finite decimal", "Flanger|frequency|1e999|finite decimal"}) {
        const auto v = split(row, '|');
        runs.push_back({{"process", "--effect", v[0], "--param", v[1] + "=" + v[2], "@stereo.wav", "@out.wav"},
                        {v[0] + ":", "'" + v[2] + "'", "parameter " + v[1], v[3]}});
    }
    // Crafted damaged files.
    for (const char* row : {"empty.wav|Format not recognised", "not-audio.wav|Format not recognised",
                            "truncated-header.wav|cannot read input", "zero-channels.wav|cannot read input",
                            "zero-rate.wav|cannot read input", "absurd-channels.wav|cannot read input",
                            "truncated.flac|failed", "corrupt-frames.flac|failed"})
        runs.push_back({{"process", "--effect", "Delay", "%" + split(row, '|')[0], "@out.wav"}, split(row, '|')});
    if (geteuid() != 0) {  // permissions do not stop root
        runs.push_back(
            {{"process", "--effect", "Delay", "@secret.wav", "@out.wav"}, {"cannot read input", "Permission denied"}});
        runs.push_back({{"process", "--effect", "Delay", "@stereo.wav", "@locked/out.wav"},
                        {"cannot write output", "Permission denied"}});
    }
    return runs;
}

// Each bad run ends with a one-line message and leaves the directory as it was: no output,
// no temporary file, the earlier output untouched.
TEST(BadInputTool, EndsWithAOneLineMessageAndLeavesEverythingAsItWas) {
    TemporaryDirectory directory;
    for (const auto& [name, channels] :
         {std::pair{"stereo.wav", 2}, {"mono.wav", 1}, {"three.wav", 3}, {"six.wav", 6}, {"secret.wav", 2}})
        writeSound(directory / name, SF_FORMAT_WAV | (channels == 6 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT), rate,
                   testSignal(channels, 4800));
    writeSound(directory / "fast.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 192000, testSignal(2, 100));
    chmod((directory / "secret.wav").c_str(), 0);
    std::ofstream(directory / "notes.wav") << "These are notes about a song, not audio.\n";
    std::ofstream(directory / "out.wav") << "the previous result";
    for (const char* folder : {"folder.wav", "taken.wav", "locked"}) fs::create_directory(directory / folder);
    chmod((directory / "locked").c_str(), 0500);
    const std::vector<std::string> before = entries(directory.path);

    for (BadRun bad : badRuns()) {
        std::string shown;
        for (std::string& argument : bad.arguments) {
            shown += " " + argument;
            if (argument.starts_with('@')) argument = directory / argument.substr(1);
            if (argument.starts_with('%')) argument = std::string(ORVANE_TOOL_TEST_DATA "/") + argument.substr(1);
        }
        SCOPED_TRACE("orvane-fx" + shown);
        const ToolRun run = runTool(bad.arguments);
        EXPECT_NE(run.status, 0);
        EXPECT_TRUE(isOneLine(run.err)) << run.err;
        EXPECT_TRUE(run.err.starts_with("orvane-fx: ")) << run.err;
        for (const std::string& fragment : bad.fragments)
            EXPECT_NE(run.err.find(fragment), std::string::npos) << "missing '" << fragment << "' in: " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(entries(directory.path), before);
        EXPECT_TRUE(fs::is_empty(directory / "locked"));
        EXPECT_EQ(readText(directory / "out.wav"), "the previous result");
    }
}

// A copy cut off inside its audio: the frames present are processed, with a warning.
TEST(BadInputTool, TruncatedAudioIsProcessedAsFarAsItGoesWithAWarning) {
    TemporaryDirectory directory;
    const std::string input = ORVANE_TOOL_TEST_DATA "/truncated-data.wav";
    const ToolRun run = runTool({"process", "--effect", "Delay", input, directory / "out.wav"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: input"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("shorter than its header says"), std::string::npos) << run.err;
    const Sound in = readSound(input);
    const Sound out = readSound(directory / "out.wav");
    EXPECT_EQ(out.channels.size(), in.channels.size());
    EXPECT_EQ(out.frames(), in.frames());
}

}  // namespace
}  // namespace orvane::testing::tool
