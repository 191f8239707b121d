#pragma once
// The program's own command line: --help and --version. Qt's switches
// (-platform wayland, -style …) and the web engine's (after --webEngineArgs)
// are left for them.

#include <optional>
#include <span>
#include <string>

namespace app {

// What to print and the exit code, when the command line asks for something
// other than running the program.
struct CommandLineAnswer {
    int exitCode = 0;
    std::string out;
    std::string err;
};

// `arguments` leaves out the program name. Empty when the program is to run.
std::optional<CommandLineAnswer> AnswerCommandLine(std::span<const char* const> arguments);

// "Lodestone <package version> (build <build stamp>)".
std::string VersionLine();

} // namespace app
