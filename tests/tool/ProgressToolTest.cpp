#include <gtest/gtest.h>

#include <pty.h>
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

// Runs orvane-fx with a pseudo-terminal as its stdout and stderr; nothing when the
// system offers no pseudo-terminal.
std::optional<TerminalRun> runOnTerminal(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{ORVANE_FX_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
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
