#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "nodes/ChorusNode.h"
#include "nodes/DelayNode.h"
#include "nodes/FlangerNode.h"
#include "nodes/PingPongDelayNode.h"
#include "nodes/VibratoNode.h"
#include "support/Blocks.h"

namespace orvane::testing::tool {

namespace fs = std::filesystem;

/// A fresh directory, removed with its contents.
struct TemporaryDirectory {
    fs::path path;
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "orvane-fx-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

/// The entries' names, sorted, hidden ones included.
inline std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string readText(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;  // on a terminal: both in out
};

/// Starts orvane-fx with stdin from `in`; stdout and stderr to capture/out and capture/err
/// (/dev/null when empty), or to a new pseudo-terminal whose master lands in *terminal.
/// Signals act by default whatever the runner set, and file sizes are capped so that a
/// runaway output dies of SIGXFSZ instead of filling the disk.
inline pid_t startTool(std::vector<std::string> arguments, const std::string& in = "/dev/null",
                       const std::string& capture = "", int* terminal = nullptr,
                       std::vector<std::string> environment = {}) {
    arguments.insert(arguments.begin(), ORVANE_FX_PROGRAM);
    std::vector<char*> argv;
    for (auto& word : arguments) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t pid = terminal ? forkpty(terminal, nullptr, nullptr, nullptr) : fork();
    if (pid != 0) return pid;
    const auto redirect = [](const std::string& path, int target, int flags) {
        const int fd = open(path.c_str(), flags, 0644);
        if (fd < 0 || dup2(fd, target) < 0) _exit(126);
    };
    redirect(in, STDIN_FILENO, O_RDONLY);
    for (const auto& [fd, name] : {std::pair{STDOUT_FILENO, "/out"}, {STDERR_FILENO, "/err"}})
        if (!terminal) redirect(capture.empty() ? "/dev/null" : capture + name, fd, O_WRONLY | O_CREAT | O_TRUNC);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit cap{256u << 20, 256u << 20};
    setrlimit(RLIMIT_FSIZE, &cap);
    if (!environment.empty()) clearenv();
    for (std::string& entry : environment) putenv(entry.data());
    execv(argv[0], argv.data());
    _exit(127);
}

inline ToolRun runTool(const std::vector<std::string>& arguments, bool onTerminal = false,
                       const std::string& in = "/dev/null", const std::vector<std::string>& environment = {}) {
    TemporaryDirectory capture;
    int terminal = -1;
    const pid_t pid = startTool(arguments, in, capture.path, onTerminal ? &terminal : nullptr, environment);
    if (pid < 0) throw std::runtime_error("cannot start orvane-fx");
    ToolRun run;
    char buffer[4096];
    // Read until EIO, once the child has closed the terminal.
    for (ssize_t got = 0;
         onTerminal && ((got = read(terminal, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR));)
        if (got > 0) run.out.append(buffer, static_cast<std::size_t>(got));
    if (onTerminal) close(terminal);
    int raw = 0;
    waitpid(pid, &raw, 0);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (!onTerminal) run.out = readText(capture / "out"), run.err = readText(capture / "err");
    return run;
}

/// A FIFO fed with the bytes by a child of its own, so that neither side waits on the other.
inline pid_t feedFifo(const std::string& path, const std::string& bytes) {
    mkfifo(path.c_str(), 0600);
    const pid_t feeder = fork();
    if (feeder != 0) return feeder;
    std::signal(SIGPIPE, SIG_IGN);
    const int fifo = open(path.c_str(), O_WRONLY);
    std::size_t written = 0;
    for (ssize_t got = 1; fifo >= 0 && written < bytes.size() && got > 0;)
        if ((got = write(fifo, bytes.data() + written, bytes.size() - written)) > 0)
            written += static_cast<std::size_t>(got);
    _exit(0);
}

/// A WAV file's bytes as a program writing to a pipe makes them: the sizes announce 0x7FFFF000 bytes of samples.
inline std::string asPiped(std::string bytes) {
    const auto put = [&bytes](std::size_t at, std::uint32_t value) {
        for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const std::size_t data = bytes.find("data");
    put(4, 0x7FFFF000u + static_cast<std::uint32_t>(data));
    put(data + 4, 0x7FFFF000u);
    return bytes;
}

struct Sound {
    int format = 0;
    std::uint32_t sampleRate = 0;
    Channels channels;
    std::size_t frames() const { return channels.empty() ? 0 : channels.front().size(); }
};

inline void writeSound(const std::string& path, int format, std::uint32_t sampleRate, const Channels& channels) {
    SF_INFO info{0, static_cast<int>(sampleRate), static_cast<int>(channels.size()), format, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    std::vector<float> interleaved;
    for (std::size_t f = 0; f < channels.front().size(); ++f)
        for (const auto& channel : channels) interleaved.push_back(channel[f]);
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(channels.front().size()));
    sf_close(file);
}

inline Sound readSound(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    const auto channels = static_cast<std::size_t>(info.channels);
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * channels);
    const auto got = static_cast<std::size_t>(sf_readf_float(file, interleaved.data(), info.frames));
    sf_close(file);
    Sound sound{info.format, static_cast<std::uint32_t>(info.samplerate), Channels(channels)};
    for (std::size_t i = 0; i < got * channels; ++i) sound.channels[i % channels].push_back(interleaved[i]);
    return sound;
}

/// Deterministic noise in [-0.6, 0.6), different on every channel.
inline Channels testSignal(std::size_t channels, std::size_t frames) {
    Channels signal(channels, std::vector<float>(frames));
    std::uint32_t seed = 12345;
    for (auto& channel : signal)
        for (float& sample : channel) {
            seed = seed * 1664525u + 1013904223u;
            sample = static_cast<float>(static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 1.2f;
        }
    return signal;
}

using Settings = std::map<std::string, float>;

/// A node of the effect with the settings applied (enabled: non-zero).
inline std::unique_ptr<SingleBusAudioProcessorNode> makeNode(const std::string& effect, const Settings& settings = {}) {
    using namespace orvane::extensions::audioeffects;
    const auto apply = [&settings](auto node) -> std::unique_ptr<SingleBusAudioProcessorNode> {
        for (const auto& [name, value] : settings) {
            if (name == "enabled") node->setIsEnabled(value != 0.0f);
            if constexpr (requires { node->setDelayMs(1u); }) {
                if (name == "delayMs") node->setDelayMs(static_cast<unsigned>(value));
                if (name == "dryMix") node->setDryMix(value);
                if (name == "wetMix") node->setWetMix(value);
                if (name == "feedbackLevel") node->setFeedbackLevel(value);
            } else {
                if (name == "sweepWidth") node->setSweepWidth(value);
                if (name == "frequency") node->setFrequency(value);
            }
        }
        return node;
    };
    if (effect == "Delay") return apply(std::make_unique<DelayNode>(2));
    if (effect == "PingPongDelay") return apply(std::make_unique<PingPongDelayNode>(OVAnyMap{}));
    if (effect == "Vibrato") return apply(std::make_unique<VibratoNode>(2));
    if (effect == "Flanger") return apply(std::make_unique<FlangerNode>(2));
    return apply(std::make_unique<ChorusNode>(2));
}

/// A proper message is one line ending in exactly one newline.
inline bool isOneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

}  // namespace orvane::testing::tool
