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
void FitPlayerBrowser(Program& program) {
    host::Host& host = program.host;
    const auto w = host.ReadProperty(PlayerWindow, host::PropWidth);
    const auto h = host.ReadProperty(PlayerWindow, host::PropHeight);
    host.WriteProperty(PlayerBrowser, host::PropWidth, -1, text::TruncateToInteger(double(w) + 10));
    host.WriteProperty(PlayerBrowser, host::PropHeight, -1,
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
    window.onCreated = [&program] { OnPlayerWindowCreated(program); };
    window.onResized = [&program] { OnPlayerWindowResized(program); };
    window.onDestroying = [&program] { OnPlayerWindowDestroying(program); };

    window.components = {BrowserFrameTemplate(program, PlayerBrowser, "PlayerBrowser",
                                              {-1, -3, 100, 100}, OnPlayerBrowserNewWindow)};
    return window;
}

void OnPlayerWindowCreated(Program& program) {
    host::Host& host = program.host;
    // Each write resizes at once and refits the browser through the
    // size-changed handler.
    host.WriteProperty(PlayerWindow, host::PropWidth, -1, PlayerWidth);
    host.WriteProperty(PlayerWindow, host::PropHeight, -1, PlayerHeight);
    FitPlayerBrowser(program);
    // The magnet link stands unencoded in the query: the player page expects
    // its "?" and ":" as they are.
    host.Navigate(PlayerBrowser, text::JoinTexts(PlayerUrlPrefix(program.sites),
                                                 program.globals.CapturedInfoHash));
}

void OnPlayerWindowResized(Program& program) {
    FitPlayerBrowser(program);
}

void OnPlayerWindowDestroying(Program& program) {
    host::Host& host = program.host;
    // When the program is ending the main window has gone first: nothing to show.
    if (!host.IsCreated(MainWindow))
        return;
    if (host.ReadProperty(MainWindow, host::PropVisible) == 0)
        host.WriteProperty(MainWindow, host::PropVisible, -1, 1);
}

void OnPlayerBrowserNewWindow(Program& program, host::ComObject& slot, bool& cancel, bool) {
    program.host.AdoptNewWindow(PlayerBrowser, slot);
    cancel = true;
}

} // namespace app
