#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

constexpr int floatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

// RF64 keeps a chunk for 64-bit sizes right after "WAVE": "ds64" while the file is RF64,
// "JUNK" once libsndfile has turned a small one back into RIFF.
bool writtenAsRf64(const std::string& start) {
    return start.substr(8, 4) == "WAVE" && (start.substr(12, 4) == "ds64" || start.substr(12, 4) == "JUNK");
}

// The first 16 bytes of the hidden temporary output once it has them; nothing when the
// tool ended first or after 30 s.
std::optional<std::string> temporaryStart(const fs::path& folder, pid_t pid) {
    for (int attempt = 0; attempt < 30000; ++attempt) {
        for (const std::string& name : entries(folder)) {
            std::error_code error;
            if (name.starts_with('.') && name.find(".partial-") != std::string::npos &&
                fs::file_size(folder / name, error) >= 16 && !error)
                return readText(folder / name).substr(0, 16);
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return std::nullopt;
}

// Writing 4 GiB is out of the question; the format the output is opened in shows in the
// temporary file's first bytes. One frame per block keeps the run slow enough to interrupt.
TEST(OutputSafetyTool, InterruptedRunLeavesNoFileKeepsTheOldOneAndWouldHaveWrittenRf64) {
    TemporaryDirectory directory;
    writeSound(directory / "in.wav", floatWav, 192000, testSignal(2, 100));
    std::ofstream(directory / "out.wav") << "the previous result";
    const auto before = entries(directory.path);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        // 3600 s at 192 kHz of stereo float: about 5.5 GB.
        const pid_t pid = startTool({"process", "--block-size", "1", "--tail", "3600", "--effect", "Delay",
                                     directory / "in.wav", directory / "out.wav"});
        const std::optional<std::string> start = temporaryStart(directory.path, pid);
        kill(pid, start ? signal : SIGKILL);
        int raw = 0;
        waitpid(pid, &raw, 0);
        ASSERT_TRUE(start) << "no temporary output appeared";
        EXPECT_TRUE(writtenAsRf64(*start)) << *start;
        EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal) << "wait status " << raw;
        EXPECT_EQ(entries(directory.path), before);
        EXPECT_EQ(readText(directory / "out.wav"), "the previous result");
    }
}

TEST(OutputSafetyTool, OutputThroughASymbolicLinkReplacesTheLinkedFileAndKeepsTheLink) {
    TemporaryDirectory directory;
    writeSound(directory / "in.wav", floatWav, 44100, testSignal(2, 5000));
    fs::create_directory(directory / "takes");
    std::ofstream(directory / "takes/final.wav") << "an older take";
    fs::create_symlink("takes/final.wav", directory / "current.wav");
    fs::create_symlink("takes/next.wav", directory / "next.wav");  // its file is made, the link stays
    for (const std::string link : {"current.wav", "next.wav"}) {
        const ToolRun run = runTool({"process", "--effect", "Delay", directory / "in.wav", directory / link});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readSound(directory / link).frames(), 5000u) << link;
    }
    EXPECT_EQ(fs::read_symlink(directory / "current.wav"), "takes/final.wav");
    EXPECT_EQ(fs::read_symlink(directory / "next.wav"), "takes/next.wav");
    EXPECT_EQ(readSound(directory / "takes/final.wav").frames(), 5000u);
    EXPECT_EQ(entries(directory.path), (std::vector<std::string>{"current.wav", "in.wav", "next.wav", "takes"}));
    EXPECT_EQ(entries(directory / "takes"), (std::vector<std::string>{"final.wav", "next.wav"}));
}

TEST(OutputSafetyTool, ReplacedOutputKeepsItsPermissionsAndNewOnesFollowTheUmask) {
    TemporaryDirectory directory;
    writeSound(directory / "in.wav", floatWav, 44100, testSignal(2, 5000));
    for (const auto mode : {fs::perms(0600), fs::perms(0640), fs::perms(0755)}) {
        std::ofstream(directory / "kept.wav") << "an older file";
        fs::permissions(directory / "kept.wav", mode);
        const ToolRun run = runTool({"process", "--effect", "Delay", directory / "in.wav", directory / "kept.wav"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(fs::status(directory / "kept.wav").permissions() & fs::perms::mask, mode);
        fs::remove(directory / "kept.wav");
    }
    const mode_t previous = umask(027);
    const ToolRun run = runTool({"process", "--effect", "Delay", directory / "in.wav", directory / "new.wav"});
    umask(previous);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fs::status(directory / "new.wav").permissions() & fs::perms::mask, fs::perms(0640));
}

// Progress shows on a terminal only: with its total for inputs over ten seconds, as seconds
// done when the header cannot tell the length.
class ProgressTool : public ::testing::Test {
protected:
    static constexpr std::uint32_t rate = 8000;
    void SetUp() override {
        for (const auto& [name, seconds] : {std::pair{"long.wav", 11}, {"short.wav", 9}, {"thirty.wav", 30}})
            writeSound(directory / name, floatWav, rate, testSignal(1, seconds * rate));
    }
    ToolRun onTerminal(std::vector<std::string> arguments, const std::string& in = "/dev/null") {
        arguments.insert(arguments.begin(), "process");
        arguments.push_back(directory / "out.wav");
        return runTool(arguments, true, in);
    }
    TemporaryDirectory directory;
};

TEST_F(ProgressTool, FinishedBarShowsInputAndTailAsTheTotal) {
    const ToolRun run = onTerminal({"--tail", "0.5", "--effect", "Delay", directory / "long.wav"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("processing ["), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("100.0%  11.5 s of 11.5 s"), std::string::npos) << run.out;
    EXPECT_EQ(readSound(directory / "out.wav").frames(), 11u * rate + rate / 2);
}

TEST_F(ProgressTool, TruncatedInputShowsSecondsDoneWithoutATotal) {
    const std::string whole = readText(directory / "thirty.wav");
    std::ofstream(directory / "cut.wav", std::ios::binary) << whole.substr(0, whole.size() - 18u * rate * 4u);
    const ToolRun run = onTerminal({"--effect", "Delay", directory / "cut.wav"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("shorter than its header says"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("processing  12.0 s"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('%'), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("30.0"), std::string::npos) << run.out;
    EXPECT_EQ(readSound(directory / "out.wav").frames(), 12u * rate);
}

// A pipe's header announces 0x7FFFF000 bytes: the bar must not believe it, and the output,
// opened as RF64 in case it is long, comes out a RIFF file all the same.
TEST_F(ProgressTool, PipedInputShowsSecondsDoneAndGivesARiffWav) {
    const Channels samples = testSignal(1, 3 * rate);
    writeSound(directory / "in.wav", floatWav, rate, samples);
    const pid_t feeder = feedFifo(directory / "fifo", asPiped(readText(directory / "in.wav")));
    const ToolRun run = onTerminal({"--effect", "Delay", "--param", "enabled=false", "/dev/stdin"}, directory / "fifo");
    waitpid(feeder, nullptr, 0);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("processing  3.0 s"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('%'), std::string::npos) << run.out;
    const std::string start = readText(directory / "out.wav").substr(0, 16);
    EXPECT_TRUE(start.starts_with("RIFF") && writtenAsRf64(start)) << start;
    const Sound output = readSound(directory / "out.wav");
    EXPECT_EQ(output.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_EQ(output.channels, samples);
}

TEST_F(ProgressTool, SilencedByQuietAbsentForShortInputsAndWhenStderrIsNoTerminal) {
    for (const auto& [quiet, input, terminal] :
         {std::tuple{true, "long.wav", true}, {false, "short.wav", true}, {false, "long.wav", false}}) {
        std::vector<std::string> arguments{"process", "--effect", "Delay", directory / input, directory / "out.wav"};
        if (quiet) arguments.push_back("--quiet");
        const ToolRun run = runTool(arguments, terminal);
        EXPECT_EQ(run.status, 0) << input;
        EXPECT_EQ(run.out + run.err, "") << input;
    }
}

}  // namespace
}  // namespace orvane::testing::tool
