#include "app/commandline.h"

#include "app/updatecheck.h"
#include "app/version.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace app {

namespace {

constexpr int UsageError = 2;

constexpr std::string_view Usage =
    "Usage: lodestone [--help] [--version] [Qt options]\n"
    "A desktop client for a torrent search portal.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and build stamp and exit\n"
    "\n"
    "Qt's own options work as in every Qt program, for example -platform wayland\n"
    "or -platform xcb; the web engine takes what follows --webEngineArgs.\n"
    "A second start brings the running Lodestone's window forward.\n";

using namespace std::string_view_literals;

// Qt's switches that take a value, and those that stand alone.
constexpr std::array QtValueOptions = {
    "platform"sv,
    "platformpluginpath"sv,
    "platformtheme"sv,
    "plugin"sv,
    "qwindowgeometry"sv,
    "qwindowicon"sv,
    "qwindowtitle"sv,
    "display"sv,
    "geometry"sv,
    "style"sv,
    "stylesheet"sv,
    "session"sv,
    "name"sv,
    "title"sv,
    "qmljsdebugger"sv,
};
constexpr std::array QtFlagOptions = {
    "reverse"sv, "widgetcount"sv, "nograb"sv, "dograb"sv, "sync"sv, "testability"sv,
};

template <std::size_t N>
bool Among(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

CommandLineAnswer Refuse(std::string message) {
    return {UsageError, {}, "lodestone: " + std::move(message) + "\n" + std::string(Usage)};
}

} // namespace

std::string VersionLine() {
    return "Lodestone " + std::string(PackageVersion) + " (build " + std::string(BuildVersion) +
           ")";
}

std::optional<CommandLineAnswer> AnswerCommandLine(std::span<const char* const> arguments) {
    bool help = false;
    bool version = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i] ? arguments[i] : "";
        if (argument == "-h" || argument == "--help") {
            help = true;
            continue;
        }
        if (argument == "--version") {
            version = true;
            continue;
        }
        // Everything after it belongs to the web engine.
        if (argument == "--webEngineArgs")
            break;
        if (argument.size() < 2 || argument[0] != '-')
            return Refuse("unexpected argument '" + std::string(argument) + "'");
        // Qt accepts its switches with one dash or two, the value apart or
        // after '='.
        std::string_view name = argument.substr(argument.starts_with("--") ? 2 : 1);
        const std::size_t equals = name.find('=');
        const bool valueAttached = equals != std::string_view::npos;
        name = name.substr(0, equals);
        if (Among(QtFlagOptions, name) && !valueAttached)
            continue;
        if (!Among(QtValueOptions, name))
            return Refuse("unknown option '" + std::string(argument) + "'");
        if (valueAttached)
            continue;
        if (i + 1 == arguments.size())
            return Refuse("option '" + std::string(argument) + "' needs a value");
        ++i;
    }
    if (help)
        return CommandLineAnswer{0, std::string(Usage), {}};
    if (version)
        return CommandLineAnswer{0, VersionLine() + "\n", {}};
    return std::nullopt;
}

} // namespace app
