// Lodestone: a desktop client for a torrent search portal.

#include "app/program.h"
#include "gui/qthost.h"
#include "net/curlinternet.h"

int main(int argc, char* argv[]) {
    net::CookieStore cookies;
    gui::QtHost host(argc, argv, cookies);
    net::CurlInternet internet(cookies);
    app::Program program{host, net::WebContext{host, internet}, {}};
    return app::StartProgram(program);
}
