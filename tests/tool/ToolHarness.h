#pragma once

// Runs the built orvane-fx in a child process, and reads and writes the sound files it works on.
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <sndfile.hh>

#include "support/NodeTesting.h"

namespace orvane::testing::tool {

namespace fs = std::filesystem;
constexpr int floatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

/// A fresh directory, removed with its contents (made writable first: some tests lock it).
struct TemporaryDirectory {
    std::string pattern = (fs::temp_directory_path() / "orvane-fx-test-XXXXXX").string();
    fs::path path = mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("mkdtemp failed");
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

/// The pieces between separators; empty ones only where the separator is not a space.
inline std::vector<std::string> split(const std::string& text, char separator = ' ') {
    std::vector<std::string> pieces;
    std::istringstream stream(text);
    for (std::string piece; std::getline(stream, piece, separator);)
        if (!piece.empty() || separator != ' ') pieces.push_back(piece);
    return pieces;
}

/// The entries' names, sorted, hidden ones included.
inline std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

struct ToolRun {
    int status = -1;       // minus the signal that ended it, if one did
    std::string out, err;  // on a terminal: both in out
};

/// Runs orvane-fx to its end with stdin from `in`, and stdout and stderr captured or on a new
/// pseudo-terminal; whileRunning gets its process id. "@x" in the arguments stands for x in
/// `folder`, "%x" for x in tests/tool/data. Signals act by default whatever the runner set, and
/// file sizes are capped so that a runaway output dies of SIGXFSZ instead of filling the disk.
inline ToolRun runTool(std::vector<std::string> arguments, const fs::path& folder = {}, bool onTerminal = false,
                       const std::string& in = "/dev/null", const std::function<void(pid_t)>& whileRunning = {}) {
    arguments.insert(arguments.begin(), ORVANE_FX_PROGRAM);
    std::vector<char*> argv;
    for (std::string& word : arguments) {
        if (word.starts_with('@')) word = (folder / word.substr(1)).string();
        if (word.starts_with('%')) word = ORVANE_TOOL_TEST_DATA "/" + word.substr(1);
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    FILE* const out = tmpfile();
    FILE* const err = tmpfile();
    int terminal = -1;
    const pid_t pid = onTerminal ? forkpty(&terminal, nullptr, nullptr, nullptr) : fork();
    if (pid == 0) {
        const int input = open(in.c_str(), O_RDONLY);
        if (input < 0 || dup2(input, 0) < 0 || (!onTerminal && (dup2(fileno(out), 1) < 0 || dup2(fileno(err), 2) < 0)))
            _exit(126);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(signal, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const rlimit cap{256u << 20, 256u << 20};
        setrlimit(RLIMIT_FSIZE, &cap);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0 || !out || !err) throw std::runtime_error("cannot start orvane-fx");
    if (whileRunning) whileRunning(pid);
    ToolRun run;
    char buffer[4096];
    // Read until EIO, once the child has closed the terminal.
    for (ssize_t got = 0;
         onTerminal && ((got = read(terminal, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR));)
        if (got > 0) run.out.append(buffer, static_cast<std::size_t>(got));
    int raw = 0;
    waitpid(pid, &raw, 0);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
    if (!onTerminal) run.out = readText("/proc/self/fd/" + std::to_string(fileno(out)));
    if (!onTerminal) run.err = readText("/proc/self/fd/" + std::to_string(fileno(err)));
    close(terminal), fclose(out), fclose(err);
    return run;
}

/// A proper message is one line ending in exactly one newline.
inline bool isOneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

inline void writeSound(const std::string& path, int format, int sampleRate, const Channels& channels) {
    SndfileHandle file(path, SFM_WRITE, format, static_cast<int>(channels.size()), sampleRate);
    if (!file.rawHandle()) throw std::runtime_error("cannot write " + path + ": " + file.strError());
    std::vector<float> interleaved;
    for (std::size_t f = 0; f < channels[0].size(); ++f)
        for (const auto& channel : channels) interleaved.push_back(channel[f]);
    file.writef(interleaved.data(), static_cast<sf_count_t>(channels[0].size()));
}

/// The samples of a sound file; SndfileHandle(path) tells its format and rate.
inline Channels readSound(const std::string& path) {
    SndfileHandle file(path);
    if (!file.rawHandle()) throw std::runtime_error("cannot read " + path + ": " + file.strError());
    Channels channels(static_cast<std::size_t>(file.channels()));
    std::vector<float> interleaved(static_cast<std::size_t>(file.frames() * file.channels()));
    interleaved.resize(static_cast<std::size_t>(file.readf(interleaved.data(), file.frames()) * file.channels()));
    for (std::size_t i = 0; i < interleaved.size(); ++i) channels[i % channels.size()].push_back(interleaved[i]);
    return channels;
}

}  // namespace orvane::testing::tool
