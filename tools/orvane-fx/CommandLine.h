#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "OutputFormat.h"

namespace orvane::tools {

/// One --param NAME=VALUE, with the value still as typed.
struct ParameterSetting {
    std::string name;
    std::string value;
};

/// One --effect TYPE with the --param settings that follow it.
struct EffectRequest {
    std::string type;
    std::vector<ParameterSetting> parameters;
};

struct ListOptions {
    bool json = false;
};

struct ProcessOptions {
    static constexpr std::uint32_t defaultBlockSize = 512;
    static constexpr std::uint32_t maxBlockSize = 65536;
    static constexpr double maxTailSeconds = 3600.0;

    std::uint32_t blockSize = defaultBlockSize;
    std::optional<Encoding> encoding;
    double tailSeconds = 0.0;
    bool quiet = false;
    std::vector<EffectRequest> effects;
    std::string input;
    std::string output;
};

struct DemoOptions {
    std::string outputDirectory = "demo-out";
};

/// The parsed command line of orvane-fx.
class CommandLine {
public:
    enum class Command { Help, List, Process, Demo };

    /// Parses the arguments after the program name. Throws ToolError with the usage status
    /// for anything it does not accept, saying what it accepts instead.
    static CommandLine parse(const std::vector<std::string>& arguments);
    /// The usage text printed by --help.
    static std::string usage();

    Command command = Command::Help;
    ListOptions list;
    ProcessOptions process;
    DemoOptions demo;
};

}  // namespace orvane::tools
