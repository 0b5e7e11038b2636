#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

// RF64 keeps a chunk for 64-bit sizes right after "WAVE": "ds64" while the file is RF64,
// "JUNK" once libsndfile has turned a small one back into RIFF.
bool writtenAsRf64(const std::string& start) {
    return start.substr(8, 4) == "WAVE" && (start.substr(12, 4) == "ds64" || start.substr(12, 4) == "JUNK");
}

// Writing 4 GiB is out of the question; the format the output is opened in shows in the hidden
// temporary file's first bytes. One frame per block keeps the run slow enough to interrupt.
TEST(OutputSafetyTool, InterruptedRunLeavesNoFileKeepsTheOldOneAndWouldHaveWrittenRf64) {
    TemporaryDirectory directory;
    writeSound(directory / "in.wav", floatWav, 192000, noise(2, 100, 1, 0.6f));
    std::ofstream(directory / "out.wav") << "the previous result";
    const auto before = entries(directory.path);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        std::string start;  // waits up to 30 s for 16 bytes, or until the tool has ended
        const auto interrupt = [&](pid_t pid) {
            for (int tries = 0; tries < 30000 && start.size() < 16 && waitpid(pid, nullptr, WNOHANG) == 0; ++tries) {
                for (const std::string& name : entries(directory.path))
                    if (name.find(".partial-") != std::string::npos) start = readText(directory / name).substr(0, 16);
                usleep(1000);
            }
            kill(pid, start.size() == 16 ? signal : SIGKILL);
        };
        // 3600 s at 192 kHz of stereo float: about 5.5 GB.
        const ToolRun run = runTool(split("process --block-size 1 --tail 3600 --effect Delay @in.wav @out.wav"),
                                    directory.path, false, "/dev/null", interrupt);
        ASSERT_EQ(start.size(), 16u) << "no temporary output appeared";
        EXPECT_TRUE(writtenAsRf64(start)) << start;
        EXPECT_EQ(run.status, -signal) << "ended by the signal itself";
        EXPECT_EQ(entries(directory.path), before);
        EXPECT_EQ(readText(directory / "out.wav"), "the previous result");
    }
}

// Through a link the linked file is replaced, existing or not, and the link kept; a replaced
// file keeps its mode, a new one follows the umask.
TEST(OutputSafetyTool, ReplacingKeepsLinksAndPermissionsAndNewFilesFollowTheUmask) {
    TemporaryDirectory directory;
    writeSound(directory / "in.wav", floatWav, 44100, noise(2, 5000, 1, 0.6f));
    fs::create_directory(directory / "takes");
    fs::create_symlink("takes/final.wav", directory / "current.wav");
    fs::create_symlink("takes/next.wav", directory / "next.wav");
    const std::pair<std::string, int> modes[] = {
        {"takes/final.wav", 0600}, {"a.wav", 0640}, {"b.wav", 0755}, {"new.wav", 0640}, {"takes/next.wav", 0640}};
    for (const auto& [name, mode] : {modes[0], modes[1], modes[2]}) {
        std::ofstream(directory / name) << "an older file";
        fs::permissions(directory / name, fs::perms(mode));
    }
    const mode_t previous = umask(027);
    for (const char* output : {"current.wav", "next.wav", "a.wav", "b.wav", "new.wav"})
        EXPECT_EQ(runTool(split("process --effect Delay @in.wav @" + std::string(output)), directory.path).status, 0);
    umask(previous);
    for (const auto& [name, mode] : modes) {
        EXPECT_EQ(readSound(directory / name)[0].size(), 5000u) << name;
        EXPECT_EQ(fs::status(directory / name).permissions() & fs::perms::mask, fs::perms(mode)) << name;
    }
    EXPECT_EQ(fs::read_symlink(directory / "current.wav"), "takes/final.wav");
    EXPECT_EQ(fs::read_symlink(directory / "next.wav"), "takes/next.wav");
    EXPECT_EQ(entries(directory.path), split("a.wav b.wav current.wav in.wav new.wav next.wav takes"));
    EXPECT_EQ(entries(directory / "takes"), split("final.wav next.wav"));
}

// Progress shows on a terminal only, for inputs over ten seconds: with its total, or as seconds
// done where the header cannot tell the length (cut short, or a pipe's, which announces
// 0x7FFFF000 bytes). A cut input is warned of. Through a bypass the output is the input as
// libsndfile reads it, and its tail of zeros.
TEST(ProgressTool, ShowsTheTotalOrSecondsDoneOnATerminalOnlyAndWarnsOfACutInput) {
    constexpr int rate = 8000;
    TemporaryDirectory directory;
    for (const auto& [name, seconds] : {std::pair{"long.wav", 11}, {"short.wav", 9}, {"thirty.wav", 30}, {"3.wav", 3}})
        writeSound(directory / name, floatWav, rate, noise(1, seconds * rate, 2, 0.6f));
    std::string cut = readText(directory / "thirty.wav"), piped = readText(directory / "3.wav");
    std::ofstream(directory / "cut.wav") << cut.substr(0, cut.size() - 18 * rate * 4);
    const std::size_t data = piped.find("data");
    for (auto [at, size] : {std::pair{std::size_t{4}, 0x7FFFF000u + data}, {data + 4, 0x7FFFF000u}})
        for (std::size_t i = 0; i < 4; ++i, size >>= 8) piped[at + i] = static_cast<char>(size & 0xFF);
    mkfifo((directory / "fifo").c_str(), 0600);
    fs::copy_file(ORVANE_TOOL_TEST_DATA "/truncated-data.wav", directory / "truncated.wav");
    struct Row {
        std::string input, shown, absent;  // shown and absent: fragments at '|'; nothing shown at all: none
        std::size_t tail = 0;              // frames
        bool terminal = true;
    };
    for (const auto& [input, shown, absent, tail, terminal] :
         std::vector<Row>{{"--tail 0.5 @long.wav", "processing [|100.0%  11.5 s of 11.5 s", "", rate / 2},
                          {"@cut.wav", "shorter than its header says|processing  12.0 s", "%|30.0"},
                          {"/dev/stdin", "processing  3.0 s", "%"},
                          {"--quiet @long.wav", "", ""},
                          {"@short.wav", "", ""},
                          {"@long.wav", "", "", 0, false},
                          {"@truncated.wav", "warning: input|shorter than its header says", "", 0, false}}) {
        SCOPED_TRACE(input);
        const bool isPiped = input == "/dev/stdin";
        const pid_t feeder = isPiped ? fork() : -1;
        if (feeder == 0) {  // a child of its own feeds the FIFO, so that neither side waits on the other
            std::signal(SIGPIPE, SIG_IGN);
            std::ofstream(directory / "fifo") << piped;
            _exit(0);
        }
        const ToolRun run = runTool(split("process --effect Delay --param enabled=false " + input + " @out.wav"),
                                    directory.path, terminal, isPiped ? directory / "fifo" : "/dev/null");
        if (isPiped) waitpid(feeder, nullptr, 0);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_TRUE(!shown.empty() || run.out + run.err == "") << run.out << run.err;
        for (const std::string& fragment : split(shown, '|'))
            EXPECT_NE((run.out + run.err).find(fragment), std::string::npos)
                << fragment << " in " << run.out << run.err;
        for (const std::string& fragment : split(absent, '|'))
            EXPECT_EQ(run.out.find(fragment), std::string::npos) << fragment << " in " << run.out;
        Channels expected = readSound(directory / (isPiped ? "3.wav" : split(input).back().substr(1)));
        for (auto& channel : expected) channel.resize(channel.size() + tail);
        EXPECT_TRUE(sameBits(readSound(directory / "out.wav"), expected));
        // Opened as RF64 in case it is long, a piped output comes out a RIFF file all the same.
        const std::string start = readText(directory / "out.wav").substr(0, 16);
        EXPECT_TRUE(!isPiped || (start.starts_with("RIFF") && writtenAsRf64(start))) << start;
    }
}

}  // namespace
}  // namespace orvane::testing::tool
