#include "ChildProcess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "ToolError.h"

namespace orvane::tools {

bool ChildProcess::isInstalled(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string_view directories = path ? path : "/usr/bin:/bin";
    while (true) {
        const auto colon = directories.find(':');
        const std::string_view entry = directories.substr(0, colon);
        // An empty entry of PATH stands for the current directory.
        const std::filesystem::path candidate = std::filesystem::path(entry.empty() ? "." : entry) / program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return true;
        if (colon == std::string_view::npos) return false;
        directories.remove_prefix(colon + 1);
    }
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& workingDirectory) {
    // Everything the child needs is built before fork: it only calls async-signal-safe functions.
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    pid = fork();
    if (pid < 0) throw ToolError("cannot start " + program + ": " + std::strerror(errno));
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
        if (chdir(workingDirectory.c_str()) != 0) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (pid > 0) wait();
}

int ChildProcess::wait() {
    if (pid <= 0) return status;
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR) {
            raw = -1;
            break;
        }
    }
    pid = -1;
    if (raw == -1)
        status = -1;
    else if (WIFEXITED(raw))
        status = WEXITSTATUS(raw);
    else if (WIFSIGNALED(raw))
        status = 128 + WTERMSIG(raw);
    return status;
}

}  // namespace orvane::tools
