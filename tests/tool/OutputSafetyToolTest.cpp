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

// A pipe's WAV header announces 0x7FFFF000 bytes: on a terminal the progress shows seconds
// done without a total, and the output, opened as RF64 in case it is long, comes out a RIFF
// file holding the input. A file cut off inside its audio is processed as far as it goes,
// with a warning.
TEST(ProgressTool, TrustsNoLengthAPipeOrACutFileAnnounces) {
    constexpr int rate = 8000;
    TemporaryDirectory directory;
    writeSound(directory / "3.wav", floatWav, rate, noise(1, 3 * rate, 2, 0.6f));
    std::string piped = readText(directory / "3.wav");
    const std::size_t data = piped.find("data");
    for (auto [at, size] : {std::pair{std::size_t{4}, 0x7FFFF000u + data}, {data + 4, 0x7FFFF000u}})
        for (std::size_t i = 0; i < 4; ++i, size >>= 8) piped[at + i] = static_cast<char>(size & 0xFF);
    mkfifo((directory / "fifo").c_str(), 0600);
    fs::copy_file(ORVANE_TOOL_TEST_DATA "/truncated-data.wav", directory / "truncated.wav");
    for (const bool isPiped : {true, false}) {
        const pid_t feeder = isPiped ? fork() : -1;
        if (feeder == 0) {  // a child of its own feeds the FIFO, so that neither side waits on the other
            std::signal(SIGPIPE, SIG_IGN);
            std::ofstream(directory / "fifo") << piped;
            _exit(0);
        }
        const std::string input = isPiped ? "/dev/stdin" : "@truncated.wav";
        const ToolRun run = runTool(split("process --effect Delay --param enabled=false " + input + " @out.wav"),
                                    directory.path, isPiped, isPiped ? directory / "fifo" : "/dev/null");
        if (isPiped) waitpid(feeder, nullptr, 0);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        const std::string shown = isPiped ? "processing  3.0 s" : "warning: input";
        EXPECT_NE((run.out + run.err).find(shown), std::string::npos) << run.out << run.err;
        EXPECT_EQ(run.out.find('%'), std::string::npos) << run.out;
        EXPECT_TRUE(
            sameBits(readSound(directory / "out.wav"), readSound(directory / (isPiped ? "3.wav" : "truncated.wav"))));
        const std::string start = readText(directory / "out.wav").substr(0, 16);
        EXPECT_TRUE(!isPiped || (start.starts_with("RIFF") && writtenAsRf64(start))) << start;
    }
}

}  // namespace
}  // namespace orvane::testing::tool
