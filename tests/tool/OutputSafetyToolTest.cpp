#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ToolHarness.h"

namespace orvane::testing::tool {
namespace {

constexpr int floatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

// Files a runaway output could write before the tool is stopped are capped at this.
constexpr rlim_t sizeCap = 256u << 20;

mode_t currentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

fs::perms permissionsOf(const std::string& path) { return fs::status(path).permissions() & fs::perms::mask; }

// Waits until the directory holds a hidden temporary output of at least minimumBytes and
// answers its path. Nothing when the tool ended first or after 30 s (the tool is then killed).
std::optional<fs::path> waitForTemporary(const TemporaryDirectory& directory, pid_t pid, std::uintmax_t minimumBytes) {
    for (int attempt = 0; attempt < 30000; ++attempt) {
        for (const auto& entry : fs::directory_iterator(directory.path())) {
            const std::string name = entry.path().filename().string();
            std::error_code error;
            if (name.rfind('.', 0) == 0 && name.find(".partial-") != std::string::npos &&
                fs::file_size(entry.path(), error) >= minimumBytes && !error)
                return entry.path();
        }
        int raw = 0;
        if (waitpid(pid, &raw, WNOHANG) == pid) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return std::nullopt;
}

// Sends the signal and answers the status of the ended process.
int signalAndWait(pid_t pid, int signal) {
    kill(pid, signal);
    int raw = 0;
    waitpid(pid, &raw, 0);
    return raw;
}

// A run long enough to be interrupted: a tiny input, a ten-minute tail, one frame per block.
class InterruptedTool : public ::testing::Test {
protected:
    void SetUp() override {
        writeSound(directory / "in.wav", floatWav, 48000, testSignal(2, 100, 48000));
        { std::ofstream(directory / "out.wav") << "the previous result"; }
        before = directory.entries();
    }

    TemporaryDirectory directory;
    std::vector<std::string> before;
};

TEST_F(InterruptedTool, SignalRemovesTheTemporaryFileAndStillEndsTheProgram) {
    const FileSizeLimit limit(sizeCap);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        const pid_t pid = startTool({"process", "--block-size", "1", "--tail", "600", "--effect", "Delay",
                                     directory / "in.wav", directory / "out.wav"});
        ASSERT_TRUE(waitForTemporary(directory, pid, 0)) << "no temporary output appeared";
        const int raw = signalAndWait(pid, signal);
        EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal) << "wait status " << raw;
        EXPECT_EQ(directory.entries(), before);
        EXPECT_EQ(readText(directory / "out.wav"), "the previous result");
    }
}

// The first bytes of a file, without reading a large one whole.
std::string startOf(const fs::path& path, std::size_t bytes) {
    std::ifstream file(path, std::ios::binary);
    std::string start(bytes, '\0');
    file.read(start.data(), static_cast<std::streamsize>(bytes));
    start.resize(static_cast<std::size_t>(file.gcount()));
    return start;
}

// RF64 keeps a chunk for its 64-bit sizes right after "WAVE": "ds64" while the file is RF64,
// "JUNK" once libsndfile has turned it back into RIFF for being small. Plain WAV has "fmt ".
bool writtenAsRf64(const std::string& start) {
    const std::string chunk = start.substr(12, 4);
    return start.substr(8, 4) == "WAVE" && (chunk == "ds64" || chunk == "JUNK");
}

// Writing 4 GiB is out of the question in a test; what matters is the format the output is
// opened in, which shows in the temporary file's first bytes before it is stopped.
TEST_F(InterruptedTool, WavOutputThatMayPassFourGibibytesIsWrittenAsRf64) {
    const FileSizeLimit limit(sizeCap);
    writeSound(directory / "fast.wav", floatWav, 192000, testSignal(2, 100, 192000));
    before = directory.entries();
    // 3600 s at 192 kHz of stereo float samples: about 5.5 GB.
    const pid_t pid =
        startTool({"process", "--tail", "3600", "--effect", "Delay", directory / "fast.wav", directory / "out.wav"});
    const std::optional<fs::path> temporary = waitForTemporary(directory, pid, 16);
    ASSERT_TRUE(temporary) << "no temporary output appeared";
    const std::string start = startOf(*temporary, 16);
    signalAndWait(pid, SIGTERM);
    EXPECT_TRUE(writtenAsRf64(start)) << start;
    EXPECT_EQ(directory.entries(), before);
}

TEST(OutputSafetyTool, SmallWavOutputIsAPlainRiffWav) {
    TemporaryDirectory directory;
    writeSound(directory / "in.wav", floatWav, 44100, testSignal(2, 5000, 44100));
    const ToolRun run = runTool({"process", "--effect", "Delay", directory / "in.wav", directory / "out.wav"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = readText(directory / "out.wav");
    EXPECT_EQ(bytes.substr(0, 16), std::string("RIFF") + bytes.substr(4, 4) + "WAVEfmt ")
        << "a plain WAV header, without room kept for RF64";
    EXPECT_EQ(readSound(directory / "out.wav").format, floatWav);
}

// A pipe's header cannot tell the length, so the output is opened as RF64 in case it is
// long; at 2 seconds it must come out as a RIFF file all the same.
TEST(OutputSafetyTool, OutputOfAPipedInputBelowFourGibibytesIsARiffWav) {
    TemporaryDirectory directory;
    const std::vector<float> samples = testSignal(1, 16000, 8000).front();
    const std::string piped = pipedWav(8000, samples);
    const ToolRun run =
        runTool({"process", "--effect", "Delay", "--param", "enabled=false", "/dev/stdin", directory / "out.wav"},
                nullptr, &piped);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string start = startOf(directory / "out.wav", 16);
    EXPECT_EQ(start.substr(0, 4), "RIFF");
    EXPECT_TRUE(writtenAsRf64(start)) << start;
    const Sound output = readSound(directory / "out.wav");
    EXPECT_EQ(output.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_TRUE(sameSamples(Channels{samples}, output.channels));
}

TEST(OutputSafetyTool, AiffOutputBeyondFourGibibytesIsRefusedBeforeAnyWork) {
    TemporaryDirectory directory;
    writeSound(directory / "in.wav", floatWav, 192000, testSignal(2, 100, 192000));
    const auto before = directory.entries();
    const FileSizeLimit limit(sizeCap);
    const ToolRun run =
        runTool({"process", "--tail", "3600", "--effect", "Delay", directory / "in.wav", directory / "out.aiff"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(isOneLine(run.err)) << run.err;
    for (const char* fragment : {"out.aiff", "AIFF holds at most 4 GiB", ".wav"})
        EXPECT_NE(run.err.find(fragment), std::string::npos) << "missing '" << fragment << "' in: " << run.err;
    EXPECT_EQ(directory.entries(), before);

    // Below the limit an AIFF output is written as ever.
    const ToolRun small =
        runTool({"process", "--tail", "1", "--effect", "Delay", directory / "in.wav", directory / "out.aiff"});
    ASSERT_EQ(small.status, 0) << small.err;
    EXPECT_EQ(readSound(directory / "out.aiff").frames(), 100u + 192000u);
}

TEST(OutputSafetyTool, OutputThroughASymbolicLinkReplacesTheLinkedFileAndKeepsTheLink) {
    TemporaryDirectory directory;
    writeSound(directory / "in.wav", floatWav, 44100, testSignal(2, 5000, 44100));
    fs::create_directory(directory / "takes");
    { std::ofstream(directory / "takes/final.wav") << "an older take"; }
    fs::create_symlink("takes/final.wav", directory / "current.wav");
    // A link to a file that does not exist yet: the file is made, the link stays.
    fs::create_symlink("takes/next.wav", directory / "next.wav");

    for (const std::string link : {"current.wav", "next.wav"}) {
        SCOPED_TRACE(link);
        const ToolRun run = runTool({"process", "--effect", "Delay", directory / "in.wav", directory / link});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(directory / link)));
        EXPECT_EQ(readSound(directory / link).frames(), 5000u);
    }
    EXPECT_EQ(fs::read_symlink(directory / "current.wav"), "takes/final.wav");
    EXPECT_EQ(fs::read_symlink(directory / "next.wav"), "takes/next.wav");
    EXPECT_EQ(readSound(directory / "takes/final.wav").frames(), 5000u);
    EXPECT_EQ(directory.entries(), (std::vector<std::string>{"current.wav", "in.wav", "next.wav", "takes"}));
    std::vector<std::string> takes;
    for (const auto& entry : fs::directory_iterator(directory / "takes"))
        takes.push_back(entry.path().filename().string());
    std::sort(takes.begin(), takes.end());
    EXPECT_EQ(takes, (std::vector<std::string>{"final.wav", "next.wav"}));
}

TEST(OutputSafetyTool, ReplacedOutputKeepsItsPermissionsAndNewOnesFollowTheUmask) {
    TemporaryDirectory directory;
    writeSound(directory / "in.wav", floatWav, 44100, testSignal(2, 5000, 44100));
    for (const auto mode : {fs::perms(0600), fs::perms(0640), fs::perms(0755)}) {
        { std::ofstream(directory / "kept.wav") << "an older file"; }
        fs::permissions(directory / "kept.wav", mode);
        const ToolRun run = runTool({"process", "--effect", "Delay", directory / "in.wav", directory / "kept.wav"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(permissionsOf(directory / "kept.wav"), mode);
        fs::remove(directory / "kept.wav");
    }

    const mode_t previous = umask(027);
    const ToolRun run = runTool({"process", "--effect", "Delay", directory / "in.wav", directory / "new.wav"});
    umask(previous);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(permissionsOf(directory / "new.wav"), fs::perms(0640));
    EXPECT_EQ(currentUmask(), previous);
}

}  // namespace
}  // namespace orvane::testing::tool
