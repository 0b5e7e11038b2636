#pragma once

#include "CommandLine.h"

namespace orvane::tools {

/// `orvane-fx process`: streams a sound file through a chain of effects into another.
class ProcessCommand {
public:
    explicit ProcessCommand(ProcessOptions options);

    /// Does the work; throws ToolError for anything that stops it, leaving no output behind.
    void run();

private:
    ProcessOptions options;
};

}  // namespace orvane::tools
