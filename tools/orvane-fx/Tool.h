#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace orvane::tools {

/// A failure the user can act on: one line saying what was wrong and what is accepted.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One --effect TYPE with the --preset and --param NAME=VALUE settings that follow it,
/// values as typed.
struct EffectRequest {
    std::string type;
    std::string preset;  // empty: none
    std::vector<std::pair<std::string, std::string>> parameters;
};

struct ProcessOptions {
    std::uint32_t blockSize = 512;
    std::string encoding;  // empty: the input's
    double tailSeconds = 0.0;
    bool quiet = false;
    std::vector<EffectRequest> effects;
    std::string input;
    std::string output;
};

/// "a, b and c" with last between the last two (", " by default); "none" when empty.
std::string joined(const std::vector<std::string>& items, const char* last = ", ");

/// `orvane-fx list`: every node type of every registered extension, as text or JSON.
void listEffects(bool json, std::ostream& out);
/// `orvane-fx process`. Throws ToolError for anything that stops it, leaving no output.
void processFile(const ProcessOptions& options);

}  // namespace orvane::tools
