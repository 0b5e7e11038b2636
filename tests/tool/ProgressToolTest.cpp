#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

constexpr std::uint32_t rate = 8000;

struct TerminalRun {
    int status = -1;
    std::string output;  // stdout and stderr, both the terminal
};

// Runs orvane-fx with a pseudo-terminal as its stdout and stderr, and stdin from the
// given file (the terminal when none); nothing when the system offers no pseudo-terminal.
std::optional<TerminalRun> runOnTerminal(const std::vector<std::string>& arguments,
                                         const std::string& standardInput = {}) {
    std::vector<std::string> words{ORVANE_FX_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        if (!standardInput.empty()) {
            const int input = open(standardInput.c_str(), O_RDONLY);
            if (input < 0 || dup2(input, STDIN_FILENO) < 0) _exit(126);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    TerminalRun run;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got > 0) {
            run.output.append(buffer, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EIO once the child has closed the terminal
        }
    }
    close(terminal);
    int raw = 0;
    waitpid(pid, &raw, 0);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return run;
}

class ProgressTool : public ::testing::Test {
protected:
    void SetUp() override {
        writeSound(directory / "long.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(1, 11 * rate, rate));
        writeSound(directory / "short.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(1, 9 * rate, rate));
        writeSound(directory / "thirty.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, testSignal(1, 30 * rate, rate));
    }
    TemporaryDirectory directory;
};

TEST_F(ProgressTool, ShownOnATerminalForInputsLongerThanTenSeconds) {
    const auto run = runOnTerminal({"process", "--effect", "Delay", directory / "long.wav", directory / "out.wav"});
    if (!run) GTEST_SKIP() << "no pseudo-terminal available";
    EXPECT_EQ(run->status, 0) << run->output;
    EXPECT_NE(run->output.find("processing ["), std::string::npos) << run->output;
    EXPECT_NE(run->output.find("100.0%"), std::string::npos) << run->output;
    EXPECT_EQ(readSound(directory / "out.wav").frames(), 11u * rate);
}

// The header of a cut-off file promises more than it holds: no total is shown, and the
// end state names what was actually done.
TEST_F(ProgressTool, TruncatedInputShowsSecondsDoneWithoutATotal) {
    const std::string whole = readText(directory / "thirty.wav");
    const std::size_t header = whole.size() - 30u * rate * 4u;
    { std::ofstream(directory / "cut.wav", std::ios::binary) << whole.substr(0, header + 12u * rate * 4u); }
    const auto run = runOnTerminal({"process", "--effect", "Delay", directory / "cut.wav", directory / "out.wav"});
    if (!run) GTEST_SKIP() << "no pseudo-terminal available";
    EXPECT_EQ(run->status, 0) << run->output;
    EXPECT_NE(run->output.find("shorter than its header says"), std::string::npos) << run->output;
    EXPECT_NE(run->output.find("processing  12.0 s"), std::string::npos) << run->output;
    EXPECT_EQ(run->output.find('%'), std::string::npos) << run->output;
    EXPECT_EQ(run->output.find("30.0"), std::string::npos) << run->output;
    EXPECT_EQ(readSound(directory / "out.wav").frames(), 12u * rate);
}

// A pipe's header announces 0x7FFFF000 bytes; the bar must not believe it.
TEST_F(ProgressTool, PipedInputShowsSecondsDoneWithoutATotal) {
    const std::string bytes = pipedWav(rate, testSignal(1, 3 * rate, rate).front());
    mkfifo((directory / "fifo").c_str(), 0600);
    // The FIFO is fed by a child of its own, so that neither side waits on the other.
    const pid_t feeder = fork();
    ASSERT_GE(feeder, 0);
    if (feeder == 0) {
        const int fifo = open((directory / "fifo").c_str(), O_WRONLY);
        std::size_t written = 0;
        while (fifo >= 0 && written < bytes.size()) {
            const ssize_t got = write(fifo, bytes.data() + written, bytes.size() - written);
            if (got <= 0) break;
            written += static_cast<std::size_t>(got);
        }
        _exit(written == bytes.size() ? 0 : 1);
    }
    const auto run =
        runOnTerminal({"process", "--effect", "Delay", "/dev/stdin", directory / "out.wav"}, directory / "fifo");
    int fed = 0;
    waitpid(feeder, &fed, 0);
    if (!run) GTEST_SKIP() << "no pseudo-terminal available";
    EXPECT_EQ(run->status, 0) << run->output;
    EXPECT_NE(run->output.find("processing  3.0 s"), std::string::npos) << run->output;
    EXPECT_EQ(run->output.find('%'), std::string::npos) << run->output;
    EXPECT_EQ(readSound(directory / "out.wav").frames(), 3u * rate);
}

// With a tail, the total is input plus tail, and the finished bar shows it full.
TEST_F(ProgressTool, FinishedBarShowsTheFramesDoneAsTheTotal) {
    const auto run =
        runOnTerminal({"process", "--tail", "0.5", "--effect", "Delay", directory / "long.wav", directory / "out.wav"});
    if (!run) GTEST_SKIP() << "no pseudo-terminal available";
    EXPECT_EQ(run->status, 0) << run->output;
    EXPECT_NE(run->output.find("100.0%  11.5 s of 11.5 s"), std::string::npos) << run->output;
}

TEST_F(ProgressTool, SilencedByQuietAndAbsentForShortInputs) {
    const auto quiet =
        runOnTerminal({"process", "--quiet", "--effect", "Delay", directory / "long.wav", directory / "quiet.wav"});
    if (!quiet) GTEST_SKIP() << "no pseudo-terminal available";
    EXPECT_EQ(quiet->status, 0) << quiet->output;
    EXPECT_EQ(quiet->output, "");

    const auto shortInput =
        runOnTerminal({"process", "--effect", "Delay", directory / "short.wav", directory / "short-out.wav"});
    ASSERT_TRUE(shortInput);
    EXPECT_EQ(shortInput->status, 0) << shortInput->output;
    EXPECT_EQ(shortInput->output, "");
}

TEST_F(ProgressTool, AbsentWhenStderrIsNotATerminal) {
    const ToolRun run = runTool({"process", "--effect", "Delay", directory / "long.wav", directory / "out.wav"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace orvane::testing::tool
