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
    EXPECT_EQ(windows.Property(MainWindow, host::PropLeft), 50);
    EXPECT_EQ(windows.Property(MainWindow, host::PropTop), 50);
    EXPECT_EQ(windows.Property(MainWindow, host::PropWidth), 796);
    EXPECT_EQ(windows.Property(MainWindow, host::PropHeight), 603);
    EXPECT_EQ(windows.Property(app::MainBrowser, host::PropWidth), 796);
    EXPECT_EQ(windows.Property(app::MainBrowser, host::PropHeight), 603);
    EXPECT_EQ(windows.Property(app::MainBrowser, host::PropLeft), -1);
    EXPECT_TRUE(tray.IconUp(MainWindow.window));
    ASSERT_EQ(frames.navigations.size(), 1u);
    EXPECT_EQ(frames.navigations[0].frame, app::MainBrowser);
    EXPECT_EQ(frames.navigations[0].url, "http://portal.test/client?v=varnholt&c=0&so=0&t=");
}

TEST_F(ShellTest, MinimisingHidesTheWindowAndKeepsOneTrayIcon) {
    for (int cycle = 0; cycle < 3; ++cycle) {
        windows.Minimise(MainWindow.window);
        EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 0);
        windows.Tray(MainWindow.window, host::TrayLeftUp);
        EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 1);
        // Shown again, but still minimised: it comes back as a task-bar button.
        EXPECT_EQ(windows.Property(MainWindow, host::PropWindowState), host::StateMinimised);
        windows.Restore(MainWindow.window);
    }
    EXPECT_TRUE(tray.IconUp(MainWindow.window));
}

TEST_F(ShellTest, MinimisingWithoutATrayLeavesTheWindowReachable) {
    tray.available = false;
    windows.Minimise(MainWindow.window);
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 1);
}

TEST_F(ShellTest, MovingWithoutMinimisingChangesNothing) {
    const auto tips = tray.tips.size();
    windows.Template(MainWindow.window).onMoved();
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 1);
    EXPECT_EQ(tray.tips.size(), tips);
}

TEST_F(ShellTest, TrayEventsShowPopUpOrDoNothing) {
    windows.Minimise(MainWindow.window);
    windows.Tray(MainWindow.window, host::TrayLeftDoubleClick);
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 0);
    EXPECT_TRUE(windows.popups.empty());

    windows.Tray(MainWindow.window, host::TrayContextMenu);
    ASSERT_EQ(windows.popups.size(), 1u);
    EXPECT_EQ(windows.popups[0], app::TrayMenu);
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 0);
}

TEST_F(ShellTest, TrayMenuHasItsThreeItems) {
    const auto& items = windows.Component(app::TrayMenu).items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].caption, text::Gbk(u8"关于软件"));
    EXPECT_EQ(items[1].caption, text::Gbk(u8"检查更新"));
    EXPECT_EQ(items[2].caption, text::Gbk(u8"退出"));
    EXPECT_FALSE(windows.Component(app::TrayMenu).visible);
    // The page's context menu offers About and the update check everywhere,
    // Exit only where no tray offers it.
    EXPECT_FALSE(items[0].onlyWithoutTray || items[1].onlyWithoutTray);
    EXPECT_TRUE(items[2].onlyWithoutTray);
}

TEST_F(ShellTest, AboutShowsAnInformationBox) {
    windows.ChooseMenuItem(app::TrayMenu, 0);
    ASSERT_EQ(notices.boxes.size(), 1u);
    EXPECT_EQ(notices.boxes[0].style, 64);
    EXPECT_EQ(notices.boxes[0].caption, text::Gbk(u8"软件信息"));
    // The package version and the build stamp the update check compares.
    EXPECT_NE(notices.boxes[0].content.find(text::Gbk(u8"1.0.0（构建 20130906）")),
              std::string::npos);
}

TEST_F(ShellTest, ExitPostsTheCloseAndTheLoopEndsAfterCleanUp) {
    windows.ChooseMenuItem(app::TrayMenu, 2);
    EXPECT_TRUE(windows.IsCreated(MainWindow)) << "the close is posted, not immediate";
    loop.ProcessEvents();
    EXPECT_FALSE(windows.IsCreated(MainWindow));
    EXPECT_FALSE(tray.IconUp(MainWindow.window));
}

TEST_F(ShellTest, ClosingTheMainWindowClosesThePlayerWithoutShowingAnything) {
    PlayLink("ABCDEF");
    ASSERT_TRUE(windows.IsCreated(PlayerWindow));
    windows.Close(MainWindow.window);
    EXPECT_TRUE(windows.IsCreated(PlayerWindow)) << "the player's close is posted";
    loop.ProcessEvents(); // the player's destroying handler finds no main window
    EXPECT_FALSE(windows.IsCreated(PlayerWindow));
}

TEST_F(ShellTest, PlayerOpensOnTheUnencodedMagnetAndFitsItsBrowser) {
    const text::Text hash = "0123456789ABCDEF0123456789ABCDEF01234567";
    PlayLink(hash);
    EXPECT_EQ(windows.Property(PlayerWindow, host::PropWidth), 796);
    EXPECT_EQ(windows.Property(PlayerWindow, host::PropHeight), 603);
    EXPECT_EQ(windows.Property(app::PlayerBrowser, host::PropWidth), 806);
    EXPECT_EQ(windows.Property(app::PlayerBrowser, host::PropHeight), 580);
    EXPECT_EQ(windows.Property(app::PlayerBrowser, host::PropLeft), -1);
    EXPECT_EQ(windows.Property(app::PlayerBrowser, host::PropTop), -3);
    EXPECT_EQ(frames.navigations.back().frame, app::PlayerBrowser);
    EXPECT_EQ(frames.navigations.back().url,
              "http://player.test:8002/lumacast/api.html?url=magnet:?xt=urn:btih:" + hash);
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 0);
}

TEST_F(ShellTest, PlayerRefitsOnEveryResizeAndClampsTinyWindows) {
    PlayLink("H");
    windows.Resize(PlayerWindow.window, 1200, 900);
    EXPECT_EQ(windows.Property(app::PlayerBrowser, host::PropWidth), 1210);
    EXPECT_EQ(windows.Property(app::PlayerBrowser, host::PropHeight), 877);
    windows.Resize(PlayerWindow.window, 100, 20);
    EXPECT_EQ(windows.Property(app::PlayerBrowser, host::PropHeight), 0);
}

TEST_F(ShellTest, ClosingThePlayerBringsBackTheHiddenMainWindow) {
    PlayLink("H");
    ASSERT_EQ(windows.Property(MainWindow, host::PropVisible), 0);
    windows.Close(PlayerWindow.window);
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 1);
}

TEST_F(ShellTest, ASecondPlayLinkOnlyActivatesTheOpenPlayer) {
    PlayLink("FIRST");
    windows.Tray(MainWindow.window, host::TrayLeftUp);
    PlayLink("SECOND");
    EXPECT_EQ(windows.createdCount, 2) << "main window and one player";
    EXPECT_EQ(windows.activations, 1);
    EXPECT_EQ(frames.navigations.back().url, app::PlayerUrlPrefix(program.sites) + "FIRST");
    EXPECT_EQ(globals().CapturedInfoHash, "SECOND");
    EXPECT_EQ(windows.Property(MainWindow, host::PropVisible), 0);
}

TEST_F(ShellTest, NoPageOpensAWindowFromEitherFrame) {
    PlayLink("H");
    windows.HoverLink(app::PlayerBrowser, "http://elsewhere.test/popup");
    host::ComObject slot;
    EXPECT_TRUE(windows.RequestNewWindow(app::PlayerBrowser, &slot));
    EXPECT_NE(slot, nullptr) << "the slot holds the frame's own browser object";
    EXPECT_TRUE(windows.RequestNewWindow(app::MainBrowser));
    EXPECT_EQ(windows.createdCount, 2);
}

} // namespace
