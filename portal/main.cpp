// lodestone-portal: the bundled reference portal. Serves the client page, the
// torrent pages, the player page, two torrent caches and the update notice on
// five loopback ports until SIGTERM or SIGINT.

#include "portal/catalogue.h"
#include "portal/portalserver.h"
#include "portal/readfile.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view Usage =
    "usage: lodestone-portal [--data DIR] [--host ADDRESS] [--base-port N] [--verbose]\n"
    "  --data DIR      the portal's data folder (default: the one in the source tree)\n"
    "  --host ADDRESS  address to listen on and to name in links (default 127.0.0.1)\n"
    "  --base-port N   portal N, player N+1, cache A N+2, cache B N+3, notice N+4\n"
    "                  (default 47801); 0 takes any free ports\n"
    "  --verbose       log one line per request to standard output\n";

struct Options {
    std::string data = LODESTONE_PORTAL_DATA;
    std::string host = "127.0.0.1";
    int basePort = 47801;
    bool verbose = false;
    bool help = false;
};

std::optional<int> ParsePort(const std::string& text) {
    std::size_t used = 0;
    try {
        const int port = std::stoi(text, &used);
        if (used == text.size() && port >= 0 && port <= 65535 - 4)
            return port;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--verbose") {
            options.verbose = true;
        } else if (option == "--help" || option == "-h") {
            options.help = true;
        } else if (option == "--data" && hasValue) {
            options.data = argv[++i];
        } else if (option == "--host" && hasValue) {
            options.host = argv[++i];
        } else if (option == "--base-port" && hasValue) {
            const std::optional<int> port = ParsePort(argv[++i]);
            if (!port)
                return std::nullopt;
            options.basePort = *port;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

int Fail(const std::string& message) {
    std::cerr << "lodestone-portal: " << message << '\n';
    return EXIT_FAILURE;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options || options->help) {
        (options ? std::cout : std::cerr) << Usage;
        return options ? EXIT_SUCCESS : 2;
    }

    // Block the stop signals before any thread starts, so that every thread
    // inherits the mask and only sigwait() below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::string error;
    const std::optional<portal::Catalogue> catalogue =
        portal::Catalogue::Load(options->data, error);
    if (!catalogue)
        return Fail(error);
    const std::string packagePath = options->data + "/download/" + portal::UpdatePackageName();
    std::optional<std::string> package = portal::ReadFile(packagePath);
    if (!package)
        return Fail("cannot read " + packagePath);

    portal::PortalServer server(*catalogue, std::move(*package), options->verbose);
    if (!server.Bind(options->host, options->basePort, error))
        return Fail(error + " (is another portal running?)");
    server.Start();
    const portal::Sites& sites = server.Addresses();
    std::cout << "lodestone-portal ready: portal=" << sites.portal << " player=" << sites.player
              << " cache-a=" << sites.cacheA << " cache-b=" << sites.cacheB
              << " notice=" << sites.notice << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    return EXIT_SUCCESS;
}
