#pragma once

#include <stdexcept>
#include <string>

namespace orvane::tools {

/// A failure the user can act on. Its message is one line that says what was wrong and
/// what is accepted; main() prints it and exits with the given status.
class ToolError : public std::runtime_error {
public:
    /// Status for a command line that cannot be understood.
    static constexpr int usageStatus = 2;
    /// Status for everything else that went wrong.
    static constexpr int failureStatus = 1;

    explicit ToolError(const std::string& message, int exitStatus = failureStatus)
        : std::runtime_error(message), status(exitStatus) {}

    int exitStatus() const noexcept { return status; }

private:
    int status;
};

}  // namespace orvane::tools
