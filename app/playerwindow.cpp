#include "app/playerwindow.h"

#include "app/linkcapture.h"
#include "app/units.h"
#include "text/codepage.h"

namespace app {

namespace {

constexpr int PlayerWidth = 796;
constexpr int PlayerHeight = 603;

// The browser sits at (-1, -3) and reaches past the right and bottom edges
// of the client area, where it is clipped.
void FitPlayerBrowser(host::Windows& windows) {
    const auto w = windows.ReadProperty(PlayerWindow, host::PropWidth);
    const auto h = windows.ReadProperty(PlayerWindow, host::PropHeight);
    windows.WriteProperty(PlayerBrowser, host::PropWidth, -1,
                          text::TruncateToInteger(double(w) + 10));
    windows.WriteProperty(PlayerBrowser, host::PropHeight, -1,
                          text::TruncateToInteger(double(h) - 23));
}

} // namespace

text::Text PlayerUrlPrefix(const Sites& sites) {
    return text::JoinTexts("http://", sites.player, "/lumacast/api.html?url=magnet:?xt=urn:btih:");
}

host::WindowTemplate PlayerWindowTemplate(Program& program) {
    host::WindowTemplate window;
    window.window = PlayerWindow.window;
    window.caption = text::Gbk(u8"正在播放中....");
    window.rect = {50, 50, 152, 142};
    window.resizable = true;
    window.minimizeButton = true;
    window.maximizeButton = true;
    window.escCloses = true;
    window.onCreated = [&program] {
        OnPlayerWindowCreated(program.windows, program.frames, program.sites,
                              program.globals.CapturedInfoHash);
    };
    window.onResized = [&program] { OnPlayerWindowResized(program.windows); };
    window.onDestroying = [&program] { OnPlayerWindowDestroying(program.windows); };

    host::ComponentTemplate browser =
        BrowserFrameTemplate(program.globals, PlayerBrowser, "PlayerBrowser", {-1, -3, 100, 100},
                             [&program](host::ComObject& slot, bool& cancel, bool) {
                                 OnPlayerBrowserNewWindow(program.frames, slot, cancel);
                             });
    browser.playsOnItsOwn = true;
    window.components = {browser};
    return window;
}

void OnPlayerWindowCreated(host::Windows& windows, host::BrowserFrames& frames, const Sites& sites,
                           const text::Text& infoHash) {
    // Each write resizes at once and refits the browser through the
    // size-changed handler.
    windows.WriteProperty(PlayerWindow, host::PropWidth, -1, PlayerWidth);
    windows.WriteProperty(PlayerWindow, host::PropHeight, -1, PlayerHeight);
    FitPlayerBrowser(windows);
    // The magnet link stands unencoded in the query: the player page expects
    // its "?" and ":" as they are.
    frames.Navigate(PlayerBrowser, text::JoinTexts(PlayerUrlPrefix(sites), infoHash));
}

void OnPlayerWindowResized(host::Windows& windows) {
    FitPlayerBrowser(windows);
}

void OnPlayerWindowDestroying(host::Windows& windows) {
    // When the program is ending the main window has gone first: nothing to show.
    if (!windows.IsCreated(MainWindow))
        return;
    if (windows.ReadProperty(MainWindow, host::PropVisible) == 0)
        windows.WriteProperty(MainWindow, host::PropVisible, -1, 1);
}

void OnPlayerBrowserNewWindow(host::BrowserFrames& frames, host::ComObject& slot, bool& cancel) {
    frames.AdoptNewWindow(PlayerBrowser, slot);
    cancel = true;
}

} // namespace app
