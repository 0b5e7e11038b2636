#pragma once

#include <iosfwd>

#include "CommandLine.h"

namespace orvane::tools {

/// `orvane-fx demo`: runs a synthesised piece of music through every effect with its
/// defaults and writes, per effect, the processed audio, a plot of its impulse response
/// (gnuplot) and a spectrogram of the processed audio (sox), then prints a summary table.
class DemoCommand {
public:
    explicit DemoCommand(DemoOptions options);

    /// Does the work and writes the table to out. Throws ToolError when a file cannot be
    /// written or a drawing tool is missing or fails.
    void run(std::ostream& out) const;

private:
    DemoOptions options;
};

}  // namespace orvane::tools
