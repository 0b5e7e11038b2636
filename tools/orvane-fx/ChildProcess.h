#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace orvane::tools {

/// A program run as a child process with its arguments handed over as they are, never
/// through a shell.
class ChildProcess {
public:
    /// Whether program is found on PATH as an executable file.
    static bool isInstalled(const std::string& program);

    /// Starts program (looked up on PATH) with arguments in workingDirectory; its standard
    /// output is discarded, its standard error shared. Throws ToolError when it cannot start.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& workingDirectory);
    /// Waits for the child if wait() was not called.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// Waits for the child to end; answers its exit status, or 128 plus the signal that ended it.
    int wait();

private:
    pid_t pid = -1;
    int status = -1;
};

}  // namespace orvane::tools
