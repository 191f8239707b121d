// Lodestone: a desktop client for a torrent search portal.

#include "app/commandline.h"
#include "app/program.h"
#include "gui/qthost.h"
#include "net/curlinternet.h"

#include <cstdio>

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
    app::Program program{host, net::WebContext{host, internet}, {}};
    return app::StartProgram(program);
}
