// Lodestone: a desktop client for a torrent search portal.

#include "app/commandline.h"
#include "app/program.h"
#include "app/sites_config.h"
#include "gui/qthost.h"
#include "net/curlinternet.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The program users get reads no configuration: where it fetches pages and
// updates from is fixed when it is built. Only the end-to-end tests' build
// takes each server from the environment variable named like its build
// setting, so that the tests can serve them on free ports.
std::string Site(const char* variable, const char* configured) {
#ifdef LODESTONE_SITES_FROM_ENVIRONMENT
    if (const char* given = std::getenv(variable))
        return given;
#else
    (void)variable;
#endif
    return configured;
}

app::Sites ConfiguredSites() {
    return {Site("LODESTONE_PORTAL_HOST", LODESTONE_PORTAL_HOST),
            Site("LODESTONE_PLAYER_HOST", LODESTONE_PLAYER_HOST),
            Site("LODESTONE_CACHE_A_HOST", LODESTONE_CACHE_A_HOST),
            Site("LODESTONE_CACHE_B_HOST", LODESTONE_CACHE_B_HOST),
            Site("LODESTONE_UPDATE_NOTICE_URL", LODESTONE_UPDATE_NOTICE_URL)};
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so that --help and --version need no display.
    if (const auto answer = app::AnswerCommandLine({argv + 1, argv + argc})) {
        std::fputs(answer->out.c_str(), stdout);
        std::fputs(answer->err.c_str(), stderr);
        return answer->exitCode;
    }
    net::CookieStore cookies;
    gui::QtHost host(argc, argv, cookies);
    switch (host.ClaimInstance()) {
    case gui::InstanceClaim::HandedOver:
        return 0;
    case gui::InstanceClaim::NoAnswer:
    case gui::InstanceClaim::NoLock:
        return 1;
    case gui::InstanceClaim::Claimed:
        break;
    }
    net::CurlInternet internet(cookies);
    app::Program program{.runtime = host,
                         .loop = host,
                         .windows = host,
                         .tray = host,
                         .frames = host,
                         .notices = host,
                         .web = net::WebContext{host, host, internet},
                         .sites = ConfiguredSites()};
    return app::StartProgram(program);
}
