#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>

#include <CLI/CLI.hpp>

#include "StrictNumber.h"
#include "Tool.h"

namespace {

using namespace orvane::tools;
namespace fs = std::filesystem;

// What each command takes, for messages about a command line that does not parse.
const std::map<std::string, std::string> accepted{
    {"", "orvane-fx takes a command: list, process or demo (see orvane-fx --help)"},
    {"list", "list takes only --json"},
    {"demo", "demo takes one output directory (default demo-out)"},
    {"process",
     "process takes --effect TYPE [--preset NAME] [--param NAME=VALUE]..., --block-size 1..65536, --encoding "
     "float32|pcm16|pcm24, "
     "--tail SECONDS, --quiet, "
     "INPUT and OUTPUT (see orvane-fx process --help)"},
};

// Messages end in one line: whatever a library said, its line breaks become spaces.
int fail(std::string message, int status) {
    std::replace(message.begin(), message.end(), '\n', ' ');
    std::replace(message.begin(), message.end(), '\r', ' ');
    std::cerr << "orvane-fx: " << message << std::endl;
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Runs audio files through the AudioEffects extension's effects, as a host does.", "orvane-fx"};
    app.require_subcommand(1);
    app.footer("orvane-fx COMMAND --help shows a command's options.");

    bool json = false;
    CLI::App* list = app.add_subcommand("list", "Lists every effect with its parameters and their defaults.");
    list->add_flag("--json", json, "one JSON document instead of text");

    ProcessOptions options;
    CLI::App* process = app.add_subcommand("process", "Runs INPUT through the effects in the order given into OUTPUT.");
    // Called as each is met, so that a --param lands on the --effect before it.
    process
        ->add_option_function<std::string>(
            "--effect",
            [&](const std::string& type) {
                options.effects.push_back({type, {}, {}});
            },
            "an effect by short or full name (Delay, AudioEffects.Delay); repeat for a chain")
        ->type_name("TYPE")
        ->required()
        ->trigger_on_parse();
    process
        ->add_option_function<std::string>(
            "--preset",
            [&](const std::string& name) {
                if (options.effects.empty())
                    throw CLI::ValidationError("--preset", name +
                                                               " comes before any --effect; a --preset applies to "
                                                               "the --effect before it");
                if (!options.effects.back().preset.empty())
                    throw CLI::ValidationError(
                        "--preset", "one --preset per --effect; " + options.effects.back().type + " has two");
                options.effects.back().preset = name;
            },
            "starts the --effect before it from a named preset (orvane-fx list shows them); its --params apply after")
        ->type_name("NAME")
        ->trigger_on_parse();
    process
        ->add_option_function<std::string>(
            "--param",
            [&](const std::string& setting) {
                const auto equals = setting.find('=');
                if (equals == std::string::npos || equals == 0)
                    throw CLI::ValidationError("--param", "'" + setting + "' is not NAME=VALUE, as in delayMs=300");
                if (options.effects.empty())
                    throw CLI::ValidationError("--param", setting +
                                                              " comes before any --effect; each --param "
                                                              "applies to the --effect before it");
                options.effects.back().parameters.emplace_back(setting.substr(0, equals), setting.substr(equals + 1));
            },
            "sets a parameter of the --effect before it")
        ->type_name("NAME=VALUE")
        ->trigger_on_parse();
    process
        ->add_option_function<std::string>(
            "--block-size",
            [&](const std::string& text) {
                const auto size = StrictNumber::wholeNumber(text, 65536);
                if (!size || *size == 0)
                    throw CLI::ValidationError("--block-size", "'" + text + "' is not a whole number from 1 to 65536");
                options.blockSize = static_cast<std::uint32_t>(*size);
            },
            "frames per block (default 512)")
        ->type_name("1..65536");
    process->add_option("--encoding", options.encoding, "output samples (default: the input's, or the nearest held)")
        ->type_name("E")
        ->check(CLI::IsMember({"float32", "pcm16", "pcm24"}));
    process
        ->add_option_function<std::string>(
            "--tail",
            [&](const std::string& text) {
                const auto seconds = StrictNumber::finite<double>(text);
                if (!seconds || *seconds < 0.0 || *seconds > 3600.0)
                    throw CLI::ValidationError("--tail", "'" + text + "' is not a number of seconds from 0 to 3600");
                options.tailSeconds = *seconds;
            },
            "silence appended so that echoes ring out (default 0)")
        ->type_name("SECONDS");
    process->add_flag("--quiet", options.quiet, "no progress bar");
    process->add_option("INPUT", options.input, "a sound file libsndfile reads (WAV, AIFF, FLAC, OGG, ...)")
        ->required();
    process->add_option("OUTPUT", options.output, "its extension picks the format: .wav, .aif, .aiff, .flac or .ogg")
        ->required();

    std::string directory = "demo-out";
    CLI::App* demo = app.add_subcommand(
        "demo", "Writes audio, response plots, spectrograms and a page (index.html) of every effect.");
    demo->add_option("DIR", directory, "where to write them (default demo-out)");

    if (const std::string command = argc > 1 ? argv[1] : "-";
        command.empty() || (command[0] != '-' && !accepted.count(command)))
        return fail("unknown command '" + command + "'; " + accepted.at(""), 2);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);
        std::string command;
        for (CLI::App* sub : {list, process, demo})
            if (sub->parsed()) command = sub->get_name();
        // A rejected value's message says what is accepted already.
        const bool explained = dynamic_cast<const CLI::ValidationError*>(&error) != nullptr;
        return fail(error.what() + (explained ? "" : "; " + accepted.at(command)), 2);
    }
    try {
        if (list->parsed()) listEffects(json, std::cout);
        if (process->parsed()) processFile(options);
        if (demo->parsed()) {
            // The demo is a script around `orvane-fx process`, sox and matplotlib, installed beside this program.
            std::error_code unknown;
            fs::path self = fs::read_symlink("/proc/self/exe", unknown);
            const std::string script = ((unknown ? fs::path(argv[0]) : self).parent_path() / "orvane-fx-demo").string();
            execlp(script.c_str(), script.c_str(), directory.c_str(), static_cast<char*>(nullptr));
            return fail("cannot start the demo script '" + script + "': " + std::strerror(errno), 1);
        }
        std::cout.flush();
        if (!std::cout) return fail("cannot write to standard output", 1);
        return 0;
    } catch (const ToolError& error) {
        return fail(error.what(), 1);
    } catch (const std::exception& error) {
        return fail(std::string("unexpected failure: ") + error.what(), 1);
    }
}
