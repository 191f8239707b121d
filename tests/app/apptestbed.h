#pragma once
// The application logic on the fake host, with its web requests going to
// loopback servers that stand in for the portal and the update pages. The
// test build points the program's hosts at these ports (tests/app/CMakeLists.txt).

#include "app/linkcapture.h"
#include "app/program.h"
#include "app/units.h"
#include "fakehost.h"
#include "net/curlinternet.h"
#include "testportal.h"

#include <gtest/gtest.h>

class AppTestBed : public ::testing::Test {
  protected:
    fakes::FakeHost host;
    net::CookieStore cookies;
    net::CurlInternet internet{cookies};
    app::Program program{host, net::WebContext{host, internet}, {}};
    TestPortal portal{"127.0.0.1", 47901};
    TestPortal notice{"127.0.0.1", 47905};

    void Start() { app::LoadProgram(program); }
    app::Globals& globals() { return program.globals; }

    // The user points at a link in the portal page and clicks it; returns
    // the cancel flag the handler left.
    bool ClickLink(const text::Text& address) {
        host.HoverLink(app::MainBrowser, address);
        return host.RequestNewWindow(app::MainBrowser);
    }
    bool PlayLink(const text::Text& hash) {
        return ClickLink("http://127.0.0.1:47901/magnet?info_hash=" + hash);
    }
    bool TorrentLink(const text::Text& hash) {
        return ClickLink("http://127.0.0.1:47901/torrent?info_hash=" + hash);
    }
};
