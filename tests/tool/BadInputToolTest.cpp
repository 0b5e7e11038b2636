#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

using BadRun = std::pair<std::vector<std::string>, std::vector<std::string>>;  // arguments, message fragments

std::vector<BadRun> badRuns() {
    // The arguments, then the fragments, at '|'. "@x" is x in the test directory, "%x" x in
    // tests/tool/data, "$" stands for @stereo.wav @out.wav, and options come after "process".
    const char* const rows[] = {
        "|list, process or demo", "mix|unknown command 'mix'|list, process or demo", "list --yaml|--yaml|--json",
        "demo @a @b|not expected|one output directory", "$|--effect is required|--effect TYPE",
        "--effect Delay @stereo.wav|OUTPUT is required|INPUT and OUTPUT",
        "--effect Delay --volume 3 $|--volume|--block-size",
        "--effect Delay @stereo.wav @out.wav --param|--param|NAME=VALUE|missing",
        "--effect Delay --param delayMs $|'delayMs' is not NAME=VALUE",
        "--effect Delay --param =5 $|'=5' is not NAME=VALUE", "--param delayMs=5 --effect Delay $|before any --effect",
        "--effect Delay @stereo.wav @out.wav --block-size|--block-size|1..65536",
        "--encoding mp3 --effect Delay $|--encoding|mp3|float32,pcm16,pcm24",
        "--tail -1 --effect Delay $|--tail|'-1'|0 to 3600", "--tail soon --effect Delay $|'soon'|0 to 3600",
        "--effect Reverb $|unknown effect 'Reverb'|Delay, PingPongDelay, Vibrato, Flanger, Chorus|AudioEffects.Delay",
        "--effect delay $|unknown effect 'delay'", "--effect Other.Delay $|unknown effect 'Other.Delay'",
        "--effect Chorus --param delayMs=3 $|Chorus has no parameter 'delayMs'|enabled, sweepWidth, frequency",
        "--effect Chorus --preset loud $|Chorus has no preset 'loud'|subtle, slow-deep, fast-shallow",
        "--preset subtle --effect Chorus $|before any --effect", "--effect Chorus --preset subtle --preset subtle $|one --preset",
        "--effect PingPongDelay --param gain=1 $|PingPongDelay has no parameter 'gain'|enabled, delayMs, dryMix, "
        "wetMix, feedbackLevel",
        // A --param belongs to the --effect before it.
        "--effect Delay --effect Vibrato --param delayMs=10 $|Vibrato has no parameter 'delayMs'",
        // The node refusing the channel count is named, even behind one that accepts.
        "--effect PingPongDelay @mono.wav @out.wav|PingPongDelay accepts 2 channels; the input has 1",
        "--effect PingPongDelay @six.wav @out.wav|PingPongDelay accepts 2 channels; the input has 6",
        "--effect Delay @wide.wav @out.wav|wide.wav' has 65 channels|1 to 64",
        "--effect Delay --effect PingPongDelay @mono.wav @out.wav|PingPongDelay accepts 2 channels; the input has 1",
        "--effect Delay @absent.wav @out.wav|cannot read input|absent.wav|No such file|WAV, AIFF, FLAC or OGG",
        "--effect Delay @folder.wav @out.wav|cannot read input|is a directory",
        "--effect Delay @notes.wav @out.wav|libsndfile cannot read|notes.wav|WAV, AIFF",
        "--effect Delay @stereo.wav @missing-folder/out.wav|cannot write output|missing-folder/out.wav|directory must "
        "exist and be writable",
        "--effect Delay @stereo.wav @out.mp3|out.mp3|.wav, .aif, .aiff, .flac or .ogg",
        "--effect Delay @stereo.wav @out|.wav, .aif, .aiff, .flac or .ogg",
        "--effect Delay @stereo.wav @taken.wav|cannot write output|is a directory",
        "--effect Delay --encoding float32 @six.wav @out.flac|FLAC cannot hold float32|pcm16, pcm24",
        "--effect Delay --encoding pcm16 @stereo.wav @out.ogg|--encoding does not apply to OGG|Vorbis",
        // 3600 s at 192 kHz of stereo float: about 5.5 GB, refused before any work.
        "--tail 3600 --effect Delay @fast.wav @out.aiff|out.aiff|AIFF holds at most 4 GiB|.wav",
        "--effect Delay @secret.wav @out.wav|cannot read input|Permission denied",
        "--effect Delay @stereo.wav @locked/out.wav|cannot write output|Permission denied"};
    std::vector<BadRun> runs;
    for (const char* row : rows) {
        if (geteuid() == 0 && std::string(row).ends_with("Permission denied")) continue;  // root is not stopped
        std::vector<std::string> fields = split(row, '|');
        if (fields[0].starts_with('-') || fields[0] == "$") fields[0] = "process " + fields[0];
        if (fields[0].ends_with('$')) fields[0].replace(fields[0].size() - 1, 1, "@stereo.wav @out.wav");
        runs.push_back({split(fields[0]), {fields.begin() + 1, fields.end()}});
    }
    for (std::string size : {"0", "65537", "-1", "1.5", "abc", "", "010x", "99999999999999999999"})
        runs.push_back({{"process", "--block-size", size, "--effect", "Delay", "@stereo.wav", "@out.wav"},
                        {"--block-size", "'" + size + "'", "from 1 to 65536"}});
    for (const char* row : {"empty.wav|Format not recognised", "not-audio.wav|Format not recognised",
                            "truncated-header.wav|cannot read input", "zero-channels.wav|cannot read input",
                            "zero-rate.wav|cannot read input", "absurd-channels.wav|cannot read input",
                            "truncated.flac|failed", "corrupt-frames.flac|failed"})
        runs.push_back({split("process --effect Delay %" + split(row, '|')[0] + " @out.wav"), split(row, '|')});
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
    return runs;
}

// Each bad run ends with a one-line message and leaves the directory as it was: no output,
// no temporary file, the earlier output untouched.
TEST(BadInputTool, EndsWithAOneLineMessageAndLeavesEverythingAsItWas) {
    TemporaryDirectory directory;
    const std::tuple<const char*, std::size_t, int> sounds[] = {{"stereo.wav", 2, 48000}, {"mono.wav", 1, 48000},
                                                                {"wide.wav", 65, 48000},  {"six.wav", 6, 48000},
                                                                {"secret.wav", 2, 48000}, {"fast.wav", 2, 192000}};
    for (const auto& [name, channels, rate] : sounds)
        writeSound(directory / name, SF_FORMAT_WAV | (channels == 6 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT), rate,
                   noise(channels, 4800, 1, 0.6f));
    chmod((directory / "secret.wav").c_str(), 0);
    std::ofstream(directory / "notes.wav") << "These are notes about a song, not audio.\n";
    std::ofstream(directory / "out.wav") << "the previous result";
    for (const char* folder : {"folder.wav", "taken.wav", "locked"}) fs::create_directory(directory / folder);
    chmod((directory / "locked").c_str(), 0500);
    const std::vector<std::string> before = entries(directory.path);
    for (const auto& [arguments, fragments] : badRuns()) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const ToolRun run = runTool(arguments, directory.path);
        EXPECT_NE(run.status, 0);
        EXPECT_TRUE(isOneLine(run.err) && run.err.starts_with("orvane-fx: ")) << run.err;
        for (const std::string& fragment : fragments)
            EXPECT_NE(run.err.find(fragment), std::string::npos) << "missing '" << fragment << "' in: " << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(entries(directory.path), before);
        EXPECT_TRUE(fs::is_empty(directory / "locked"));
        EXPECT_EQ(readText(directory / "out.wav"), "the previous result");
    }
}

}  // namespace
}  // namespace orvane::testing::tool
