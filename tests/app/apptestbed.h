#pragma once
// The application logic on the fakes of every role it uses, with its web
// requests answered by the fake internet from test sites that stand in for
// the portal and the update pages.

#include "app/linkcapture.h"
#include "app/program.h"
#include "app/units.h"
#include "fakedesktop.h"
#include "fakeinternet.h"
#include "fakenotices.h"
#include "fakewindows.h"
#include "testportal.h"

#include <gtest/gtest.h>

class AppTestBed : public ::testing::Test {
  protected:
    fakes::FakeEventLoop loop;
    fakes::FakeWindows windows{loop};
    fakes::FakeRuntime runtime{windows, loop};
    fakes::FakeTray tray{windows};
    fakes::FakeBrowserFrames frames;
    fakes::FakeNotices notices;
    fakes::FakeDesktop desktop;
    nettest::FakeInternet internet;
    TestPortal portal{"portal.test"};
    TestPortal notice{"notice.test"};
    app::Program program{.runtime = runtime,
                         .loop = loop,
                         .windows = windows,
                         .tray = tray,
                         .frames = frames,
                         .notices = notices,
                         .web = net::WebContext{loop, desktop, internet},
                         .sites = app::Sites{"portal.test", "player.test:8002", "cachea.test",
                                             "cacheb.test:8004", "http://notice.test/notice.html"}};

    AppTestBed() {
        internet.serve =
            [this](const std::string& site, int,
                   const std::string& path) -> std::optional<nettest::FakeInternet::Page> {
            for (TestPortal* server : {&portal, &notice})
                if (site == server->host)
                    return server->Answer(path);
            return std::nullopt;
        };
    }

    void Start() { app::LoadProgram(program); }
    app::Globals& globals() { return program.globals; }

    // The user points at a link in the portal page and clicks it; returns
    // the cancel flag the handler left.
    bool ClickLink(const text::Text& address) {
        windows.HoverLink(app::MainBrowser, address);
        return windows.RequestNewWindow(app::MainBrowser);
    }
    bool PlayLink(const text::Text& hash) {
        return ClickLink("http://portal.test/magnet?info_hash=" + hash);
    }
    bool TorrentLink(const text::Text& hash) {
        return ClickLink("http://portal.test/torrent?info_hash=" + hash);
    }
};
