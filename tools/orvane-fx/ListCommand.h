#pragma once

#include <iosfwd>

#include "CommandLine.h"

namespace orvane::tools {

/// `orvane-fx list`: every node type of every registered extension, as text or as one
/// JSON document.
class ListCommand {
public:
    explicit ListCommand(ListOptions options);

    /// Writes the listing to out.
    void run(std::ostream& out) const;

private:
    ListOptions options;
};

}  // namespace orvane::tools
