#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sndfile.h>

#include "support/Blocks.h"

extern char** environ;

namespace orvane::testing::tool {

namespace fs = std::filesystem;

/// A fresh directory under the system's temporary directory, removed with its contents.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "orvane-fx-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const fs::path& path() const { return root; }
    std::string operator/(const std::string& name) const { return (root / name).string(); }

    /// The names of the directory's entries, sorted; hidden ones included.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path root;
};

/// What a run of orvane-fx left behind.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

/// Runs orvane-fx with the arguments, capturing stdout and stderr in files (so stderr is
/// not a terminal); stdin is /dev/null, or a pipe fed with input when given. environment
/// replaces the inherited one when given.
inline ToolRun runTool(const std::vector<std::string>& arguments, const std::vector<std::string>* environment = nullptr,
                       const std::string* input = nullptr) {
    TemporaryDirectory capture;
    const std::string outPath = capture / "stdout";
    const std::string errPath = capture / "stderr";
    std::vector<std::string> words{ORVANE_FX_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> envCopy = environment ? *environment : std::vector<std::string>{};
    std::vector<char*> envp;
    for (auto& entry : envCopy) envp.push_back(entry.data());
    envp.push_back(nullptr);
    int pipeEnds[2] = {-1, -1};
    if (input && pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    if (input) {
        close(pipeEnds[0]);
        // A tool that stops reading early must fail the test, not kill it with SIGPIPE.
        void (*previousHandler)(int) = std::signal(SIGPIPE, SIG_IGN);
        for (std::size_t written = 0; spawned == 0 && written < input->size();) {
            const ssize_t got = ::write(pipeEnds[1], input->data() + written, input->size() - written);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            written += static_cast<std::size_t>(got);
        }
        close(pipeEnds[1]);
        std::signal(SIGPIPE, previousHandler);
    }
    if (spawned != 0) throw std::runtime_error("cannot start " + words[0]);
    int raw = 0;
    waitpid(pid, &raw, 0);
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    run.out = readText(outPath);
    run.err = readText(errPath);
    return run;
}

/// A mono float WAV as a program writing to a pipe makes it: the header cannot know the
/// length yet and announces 0x7FFFF000 bytes of samples.
inline std::string pipedWav(std::uint32_t sampleRate, const std::vector<float>& samples) {
    std::string bytes;
    const auto put32 = [&bytes](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    const auto put16 = [&bytes](std::uint16_t value) {
        bytes.push_back(static_cast<char>(value & 0xFF));
        bytes.push_back(static_cast<char>(value >> 8));
    };
    bytes += "RIFF";
    put32(0x7FFFF000u + 36u);
    bytes += "WAVEfmt ";
    put32(16);
    put16(3);  // IEEE float
    put16(1);
    put32(sampleRate);
    put32(sampleRate * 4);
    put16(4);
    put16(32);
    bytes += "data";
    put32(0x7FFFF000u);
    for (float sample : samples) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &sample, sizeof bits);
        put32(bits);
    }
    return bytes;
}

/// Starts orvane-fx with stdin from /dev/null and stdout and stderr to /dev/null, every
/// signal at its default action and none blocked, whatever the test runner set up; answers
/// its process id.
inline pid_t startTool(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{ORVANE_FX_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + words[0]);
    return pid;
}

/// Caps the size of files this process and the programs it starts may write, so that a
/// tool that wrongly starts a huge output dies of SIGXFSZ instead of filling the disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit capped = previous;
        if (capped.rlim_max == RLIM_INFINITY || capped.rlim_max > bytes) capped.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &previous); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous{};
};

/// A sound file's shape and its samples as libsndfile reads them into floats.
struct Sound {
    int format = 0;
    std::uint32_t sampleRate = 0;
    Channels channels;

    std::size_t frames() const { return channels.empty() ? 0 : channels.front().size(); }
};

inline void writeSound(const std::string& path, int format, std::uint32_t sampleRate, const Channels& channels) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = static_cast<int>(channels.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write test input " + path + ": " + sf_strerror(nullptr));
    const std::size_t frames = channels.front().size();
    std::vector<float> interleaved(frames * channels.size());
    for (std::size_t f = 0; f < frames; ++f)
        for (std::size_t c = 0; c < channels.size(); ++c) interleaved[f * channels.size() + c] = channels[c][f];
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
}

inline Sound readSound(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    Sound sound{info.format, static_cast<std::uint32_t>(info.samplerate),
                Channels(static_cast<std::size_t>(info.channels), std::vector<float>(static_cast<std::size_t>(got)))};
    for (std::size_t f = 0; f < static_cast<std::size_t>(got); ++f)
        for (std::size_t c = 0; c < sound.channels.size(); ++c)
            sound.channels[c][f] = interleaved[f * sound.channels.size() + c];
    return sound;
}

/// The file's samples as 16-bit integers, interleaved, without any float conversion.
inline std::vector<short> readShorts(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    std::vector<short> samples(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

/// Deterministic music-like test material: two tones per channel plus a little noise,
/// all within [-0.6, 0.6].
inline Channels testSignal(std::size_t channels, std::size_t frames, std::uint32_t sampleRate) {
    Channels signal(channels, std::vector<float>(frames));
    std::uint32_t seed = 12345;
    for (std::size_t c = 0; c < channels; ++c) {
        const double low = 110.0 * static_cast<double>(c + 1);
        const double high = 1234.5 + 100.0 * static_cast<double>(c);
        for (std::size_t f = 0; f < frames; ++f) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
            const double t = static_cast<double>(f) / sampleRate;
            signal[c][f] = static_cast<float>(0.3 * std::sin(2.0 * std::numbers::pi * low * t) +
                                              0.2 * std::sin(2.0 * std::numbers::pi * high * t) + 0.1 * noise);
        }
    }
    return signal;
}

/// The signal followed by frames of silence on every channel.
inline Channels withSilence(Channels signal, std::size_t frames) {
    for (auto& channel : signal) channel.resize(channel.size() + frames, 0.0f);
    return signal;
}

/// Reports the first differing sample instead of two long vectors.
inline ::testing::AssertionResult sameSamples(const Channels& expected, const Channels& actual) {
    if (expected.size() != actual.size())
        return ::testing::AssertionFailure()
               << "channel counts differ: expected " << expected.size() << ", got " << actual.size();
    for (std::size_t c = 0; c < expected.size(); ++c) {
        if (expected[c].size() != actual[c].size())
            return ::testing::AssertionFailure()
                   << "channel " << c << " has " << actual[c].size() << " frames, expected " << expected[c].size();
        for (std::size_t f = 0; f < expected[c].size(); ++f)
            if (expected[c][f] != actual[c][f])
                return ::testing::AssertionFailure() << "channel " << c << " frame " << f << ": expected "
                                                     << expected[c][f] << ", got " << actual[c][f];
    }
    return ::testing::AssertionSuccess();
}

/// Counts the lines of a message; a proper one-line message ends in exactly one newline.
inline bool isOneLine(const std::string& text) {
    return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

}  // namespace orvane::testing::tool
