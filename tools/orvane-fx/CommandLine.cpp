#include "CommandLine.h"

#include <cstddef>

#include "StrictNumber.h"
#include "ToolError.h"

namespace orvane::tools {

namespace {

[[noreturn]] void reject(const std::string& message) { throw ToolError(message, ToolError::usageStatus); }

/// Walks the arguments of one command; options take their value as the next argument or
/// after "=" in the same one ("--block-size=256").
class ArgumentCursor {
public:
    ArgumentCursor(const std::vector<std::string>& arguments, std::size_t first) : all(arguments), next(first) {}

    bool done() const noexcept { return next >= all.size(); }
    std::string take() { return all[next++]; }

    std::string valueOf(const std::string& option, const std::string& inlineValue, bool hasInline,
                        const std::string& expected) {
        if (hasInline) return inlineValue;
        if (done()) reject(option + " needs a value: " + expected);
        return take();
    }

private:
    const std::vector<std::string>& all;
    std::size_t next;
};

void splitOption(const std::string& argument, std::string& name, std::string& value, bool& hasValue) {
    const auto equals = argument.find('=');
    hasValue = argument.rfind("--", 0) == 0 && equals != std::string::npos;
    name = hasValue ? argument.substr(0, equals) : argument;
    value = hasValue ? argument.substr(equals + 1) : std::string();
}

ListOptions parseList(ArgumentCursor& cursor) {
    ListOptions options;
    while (!cursor.done()) {
        const std::string argument = cursor.take();
        if (argument == "--json")
            options.json = true;
        else
            reject("list does not take '" + argument + "'; it accepts only --json");
    }
    return options;
}

DemoOptions parseDemo(ArgumentCursor& cursor) {
    DemoOptions options;
    bool haveDirectory = false;
    bool optionsEnded = false;
    while (!cursor.done()) {
        const std::string argument = cursor.take();
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            reject("demo does not take the option '" + argument + "'; it accepts one output directory");
        } else if (haveDirectory) {
            reject("demo takes one output directory; '" + argument + "' is one too many");
        } else {
            if (argument.empty()) reject("demo's output directory must not be empty");
            options.outputDirectory = argument;
            haveDirectory = true;
        }
    }
    return options;
}

ProcessOptions parseProcess(ArgumentCursor& cursor) {
    ProcessOptions options;
    std::vector<std::string> files;
    bool optionsEnded = false;
    while (!cursor.done()) {
        const std::string argument = cursor.take();
        if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
            files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name;
        std::string inlineValue;
        bool hasInline = false;
        splitOption(argument, name, inlineValue, hasInline);

        if (name == "--block-size") {
            const std::string expected =
                "a whole number of frames from 1 to " + std::to_string(ProcessOptions::maxBlockSize);
            const std::string text = cursor.valueOf(name, inlineValue, hasInline, expected);
            const auto size = StrictNumber::wholeNumber(text, ProcessOptions::maxBlockSize);
            if (!size || *size == 0) reject("block size '" + text + "' is out of range; give " + expected);
            options.blockSize = static_cast<std::uint32_t>(*size);
        } else if (name == "--encoding") {
            const std::string text = cursor.valueOf(name, inlineValue, hasInline, OutputFormat::encodingNames());
            options.encoding = OutputFormat::parseEncoding(text);
            if (!options.encoding)
                reject("unknown encoding '" + text + "'; accepted: " + OutputFormat::encodingNames());
        } else if (name == "--tail") {
            const std::string expected = "a number of seconds from 0 to 3600";
            const std::string text = cursor.valueOf(name, inlineValue, hasInline, expected);
            const auto seconds = StrictNumber::finiteDouble(text);
            if (!seconds || *seconds < 0.0 || *seconds > ProcessOptions::maxTailSeconds)
                reject("tail '" + text + "' is not " + expected);
            options.tailSeconds = *seconds;
        } else if (name == "--effect") {
            const std::string text = cursor.valueOf(name, inlineValue, hasInline, "an effect type such as Delay");
            if (text.empty()) reject("--effect needs an effect type such as Delay; 'orvane-fx list' shows them");
            options.effects.push_back({text, {}});
        } else if (name == "--param") {
            const std::string text = cursor.valueOf(name, inlineValue, hasInline, "NAME=VALUE");
            const auto equals = text.find('=');
            if (equals == std::string::npos || equals == 0)
                reject("--param '" + text + "' is not NAME=VALUE, as in --param delayMs=300");
            if (options.effects.empty())
                reject("--param " + text +
                       " comes before any --effect; each --param applies to the --effect before it");
            options.effects.back().parameters.push_back({text.substr(0, equals), text.substr(equals + 1)});
        } else if (name == "--quiet" && !hasInline) {
            options.quiet = true;
        } else {
            reject("process does not take '" + argument +
                   "'; it accepts --effect, --param, --block-size, --encoding, --tail, --quiet, INPUT and OUTPUT");
        }
    }
    if (files.size() != 2)
        reject("process needs an INPUT and an OUTPUT file; got " + std::to_string(files.size()) + " file name" +
               (files.size() == 1 ? "" : "s"));
    if (options.effects.empty()) reject("process needs at least one --effect TYPE; 'orvane-fx list' shows them");
    options.input = files[0];
    options.output = files[1];
    return options;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    if (arguments.empty()) reject("no command given; use list, process or demo (see orvane-fx --help)");
    const std::string& command = arguments.front();
    ArgumentCursor cursor(arguments, 1);
    if (command == "--help" || command == "-h" || command == "help") {
        commandLine.command = Command::Help;
    } else if (command == "list") {
        commandLine.command = Command::List;
        commandLine.list = parseList(cursor);
    } else if (command == "process") {
        commandLine.command = Command::Process;
        commandLine.process = parseProcess(cursor);
    } else if (command == "demo") {
        commandLine.command = Command::Demo;
        commandLine.demo = parseDemo(cursor);
    } else {
        reject("unknown command '" + command + "'; use list, process or demo (see orvane-fx --help)");
    }
    return commandLine;
}

std::string CommandLine::usage() {
    return R"(Usage:
  orvane-fx list [--json]
      Lists every node type of every registered extension with its parameters.
  orvane-fx process [options] --effect TYPE [--param NAME=VALUE]... [--effect TYPE ...]... INPUT OUTPUT
      Runs INPUT through the effects in the order given and writes OUTPUT.
      --effect TYPE         an effect by short or full name (Delay, AudioEffects.Delay)
      --param NAME=VALUE    sets a parameter of the --effect before it
      --block-size N        frames per block, 1 to 65536 (default 512)
      --encoding E          float32, pcm16 or pcm24 (default: the input's, or the
                            nearest OUTPUT's format holds: float32, for FLAC pcm24)
      --tail SECONDS        silence appended so echoes ring out (default 0)
      --quiet               no progress bar
      OUTPUT's extension picks the format: .wav, .aif, .aiff, .flac or .ogg.
  orvane-fx demo [OUTDIR]
      Runs a synthesised test signal through every effect and writes audio, impulse
      response plots and spectrograms to OUTDIR (default demo-out).
)";
}

}  // namespace orvane::tools
