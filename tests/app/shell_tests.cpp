// The main window, its tray menu and the player window, driven through the
// fake host as the user and the window system would drive them.

#include "app/linkcapture.h"
#include "app/mainwindow.h"
#include "app/playerwindow.h"
#include "app/units.h"
#include "apptestbed.h"
#include "text/codepage.h"

#include <gtest/gtest.h>

namespace {

using app::MainWindow;
using app::PlayerWindow;

class ShellTest : public AppTestBed {
  protected:
    void SetUp() override { Start(); }
};

TEST_F(ShellTest, StartsWithTheSizedWindowTrayIconAndPortalPage) {
    EXPECT_EQ(host.Property(MainWindow, host::PropLeft), 50);
    EXPECT_EQ(host.Property(MainWindow, host::PropTop), 50);
    EXPECT_EQ(host.Property(MainWindow, host::PropWidth), 796);
    EXPECT_EQ(host.Property(MainWindow, host::PropHeight), 603);
    EXPECT_EQ(host.Property(app::MainBrowser, host::PropWidth), 796);
    EXPECT_EQ(host.Property(app::MainBrowser, host::PropHeight), 603);
    EXPECT_EQ(host.Property(app::MainBrowser, host::PropLeft), -1);
    EXPECT_TRUE(host.trayIcon[MainWindow.window]);
    ASSERT_EQ(host.navigations.size(), 1u);
    EXPECT_EQ(host.navigations[0].frame, app::MainBrowser);
    EXPECT_EQ(host.navigations[0].url, "http://portal.test/client?v=varnholt&c=0&so=0&t=");
}

TEST_F(ShellTest, MinimisingHidesTheWindowAndKeepsOneTrayIcon) {
    for (int cycle = 0; cycle < 3; ++cycle) {
        host.Minimise(MainWindow.window);
        EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 0);
        host.Tray(MainWindow.window, host::TrayLeftUp);
        EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 1);
        // Shown again, but still minimised: it comes back as a task-bar button.
        EXPECT_EQ(host.Property(MainWindow, host::PropWindowState), host::StateMinimised);
        host.Restore(MainWindow.window);
    }
    EXPECT_TRUE(host.trayIcon[MainWindow.window]);
}

TEST_F(ShellTest, MinimisingWithoutATrayLeavesTheWindowReachable) {
    host.trayAvailable = false;
    host.Minimise(MainWindow.window);
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 1);
}

TEST_F(ShellTest, MovingWithoutMinimisingChangesNothing) {
    const auto tips = host.trayTips.size();
    host.Template(MainWindow.window).onMoved();
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 1);
    EXPECT_EQ(host.trayTips.size(), tips);
}

TEST_F(ShellTest, TrayEventsShowPopUpOrDoNothing) {
    host.Minimise(MainWindow.window);
    host.Tray(MainWindow.window, host::TrayLeftDoubleClick);
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 0);
    EXPECT_TRUE(host.popups.empty());

    host.Tray(MainWindow.window, host::TrayContextMenu);
    ASSERT_EQ(host.popups.size(), 1u);
    EXPECT_EQ(host.popups[0], app::TrayMenu);
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 0);
}

TEST_F(ShellTest, TrayMenuHasItsThreeItems) {
    const auto& items = host.Component(app::TrayMenu).items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].caption, text::Gbk(u8"关于软件"));
    EXPECT_EQ(items[1].caption, text::Gbk(u8"检查更新"));
    EXPECT_EQ(items[2].caption, text::Gbk(u8"退出"));
    EXPECT_FALSE(host.Component(app::TrayMenu).visible);
    // The page's context menu offers About and the update check everywhere,
    // Exit only where no tray offers it.
    EXPECT_FALSE(items[0].onlyWithoutTray || items[1].onlyWithoutTray);
    EXPECT_TRUE(items[2].onlyWithoutTray);
}

TEST_F(ShellTest, AboutShowsAnInformationBox) {
    host.ChooseMenuItem(app::TrayMenu, 0);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].style, 64);
    EXPECT_EQ(host.boxes[0].caption, text::Gbk(u8"软件信息"));
    // The package version and the build stamp the update check compares.
    EXPECT_NE(host.boxes[0].content.find(text::Gbk(u8"1.0.0（构建 20130906）")), std::string::npos);
}

TEST_F(ShellTest, ExitPostsTheCloseAndTheLoopEndsAfterCleanUp) {
    host.ChooseMenuItem(app::TrayMenu, 2);
    EXPECT_TRUE(host.IsCreated(MainWindow)) << "the close is posted, not immediate";
    host.ProcessEvents();
    EXPECT_FALSE(host.IsCreated(MainWindow));
    EXPECT_FALSE(host.trayIcon.count(MainWindow.window));
}

TEST_F(ShellTest, ClosingTheMainWindowClosesThePlayerWithoutShowingAnything) {
    PlayLink("ABCDEF");
    ASSERT_TRUE(host.IsCreated(PlayerWindow));
    host.Close(MainWindow.window);
    EXPECT_TRUE(host.IsCreated(PlayerWindow)) << "the player's close is posted";
    host.ProcessEvents(); // the player's destroying handler finds no main window
    EXPECT_FALSE(host.IsCreated(PlayerWindow));
}

TEST_F(ShellTest, PlayerOpensOnTheUnencodedMagnetAndFitsItsBrowser) {
    const text::Text hash = "0123456789ABCDEF0123456789ABCDEF01234567";
    PlayLink(hash);
    EXPECT_EQ(host.Property(PlayerWindow, host::PropWidth), 796);
    EXPECT_EQ(host.Property(PlayerWindow, host::PropHeight), 603);
    EXPECT_EQ(host.Property(app::PlayerBrowser, host::PropWidth), 806);
    EXPECT_EQ(host.Property(app::PlayerBrowser, host::PropHeight), 580);
    EXPECT_EQ(host.Property(app::PlayerBrowser, host::PropLeft), -1);
    EXPECT_EQ(host.Property(app::PlayerBrowser, host::PropTop), -3);
    EXPECT_EQ(host.navigations.back().frame, app::PlayerBrowser);
    EXPECT_EQ(host.navigations.back().url,
              "http://player.test:8002/lumacast/api.html?url=magnet:?xt=urn:btih:" + hash);
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 0);
}

TEST_F(ShellTest, PlayerRefitsOnEveryResizeAndClampsTinyWindows) {
    PlayLink("H");
    host.Resize(PlayerWindow.window, 1200, 900);
    EXPECT_EQ(host.Property(app::PlayerBrowser, host::PropWidth), 1210);
    EXPECT_EQ(host.Property(app::PlayerBrowser, host::PropHeight), 877);
    host.Resize(PlayerWindow.window, 100, 20);
    EXPECT_EQ(host.Property(app::PlayerBrowser, host::PropHeight), 0);
}

TEST_F(ShellTest, ClosingThePlayerBringsBackTheHiddenMainWindow) {
    PlayLink("H");
    ASSERT_EQ(host.Property(MainWindow, host::PropVisible), 0);
    host.Close(PlayerWindow.window);
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 1);
}

TEST_F(ShellTest, ASecondPlayLinkOnlyActivatesTheOpenPlayer) {
    PlayLink("FIRST");
    host.Tray(MainWindow.window, host::TrayLeftUp);
    PlayLink("SECOND");
    EXPECT_EQ(host.createdCount, 2) << "main window and one player";
    EXPECT_EQ(host.activations, 1);
    EXPECT_EQ(host.navigations.back().url, app::PlayerUrlPrefix(program.sites) + "FIRST");
    EXPECT_EQ(globals().CapturedInfoHash, "SECOND");
    EXPECT_EQ(host.Property(MainWindow, host::PropVisible), 0);
}

TEST_F(ShellTest, NoPageOpensAWindowFromEitherFrame) {
    PlayLink("H");
    host.HoverLink(app::PlayerBrowser, "http://elsewhere.test/popup");
    host::ComObject slot;
    EXPECT_TRUE(host.RequestNewWindow(app::PlayerBrowser, &slot));
    EXPECT_NE(slot, nullptr) << "the slot holds the frame's own browser object";
    EXPECT_TRUE(host.RequestNewWindow(app::MainBrowser));
    EXPECT_EQ(host.createdCount, 2);
}

} // namespace
