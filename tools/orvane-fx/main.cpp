#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "DemoCommand.h"
#include "ListCommand.h"
#include "ProcessCommand.h"
#include "ToolError.h"

namespace {

// Messages end in one line: whatever a library said, its line breaks become spaces.
void reportError(const std::string& message) {
    std::string line = message;
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::cerr << "orvane-fx: " << line << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace orvane::tools;
    try {
        const CommandLine commandLine = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
        switch (commandLine.command) {
            case CommandLine::Command::Help:
                std::cout << CommandLine::usage();
                break;
            case CommandLine::Command::List:
                ListCommand(commandLine.list).run(std::cout);
                break;
            case CommandLine::Command::Process:
                ProcessCommand(commandLine.process).run();
                break;
            case CommandLine::Command::Demo:
                DemoCommand(commandLine.demo).run(std::cout);
                break;
        }
        std::cout.flush();
        if (!std::cout) {
            reportError("cannot write to standard output");
            return ToolError::failureStatus;
        }
        return 0;
    } catch (const ToolError& error) {
        reportError(error.what());
        return error.exitStatus();
    } catch (const std::exception& error) {
        reportError(std::string("unexpected failure: ") + error.what());
        return ToolError::failureStatus;
    }
}
