#include "app/mainwindow.h"

#include "app/linkcapture.h"
#include "app/trayicon.h"
#include "app/units.h"
#include "app/updatecheck.h"
#include "app/version.h"
#include "text/codepage.h"

namespace app {

namespace {

constexpr int MainWidth = 796;
constexpr int MainHeight = 603;

text::Text TrayTip() {
    return "Lodestone";
}

void RefreshTrayIcon(host::Tray& tray) {
    tray.SetTrayIcon(MainWindow, TrayIconImage(), TrayTip());
}

} // namespace

text::Text PortalUrl(const Sites& sites) {
    return text::JoinTexts("http://", sites.portal, "/client?v=varnholt&c=0&so=0&t=");
}

text::Text ProductTitle() {
    return text::Gbk(u8"Lodestone 种子搜索");
}

host::WindowTemplate MainWindowTemplate(Program& program) {
    host::WindowTemplate window;
    window.window = MainWindow.window;
    window.caption = ProductTitle();
    window.rect = {50, 50, 226, 202};
    window.resizable = false;
    window.minimizeButton = true;
    window.maximizeButton = false;
    window.escCloses = true;
    window.onCreated = [&program] {
        OnMainWindowCreated(program.windows, program.tray, program.frames, program.sites);
    };
    window.onMoved = [&program] { OnMainWindowMoved(program.windows, program.tray); };
    window.onTray = [&program](int trayEvent) {
        OnMainWindowTray(program.windows, program.tray, trayEvent);
    };
    window.onDestroying = [&program] { OnMainWindowDestroying(program); };

    host::ComponentTemplate label;
    label.unit = TransLabel1.unit;
    label.type = host::ComponentType::TransLabel;
    label.name = text::Gbk(u8"透明标签1");
    label.rect = {520, 0, 272, 64};

    host::ComponentTemplate browser =
        BrowserFrameTemplate(program.globals, MainBrowser, "MainBrowser", {-1, -1, 100, 100},
                             [&program](host::ComObject& slot, bool& cancel, bool byUser) {
                                 OnMainBrowserNewWindow(program, slot, cancel, byUser);
                             });
    browser.pageMenu = TrayMenu.unit;

    host::ComponentTemplate menu;
    menu.unit = TrayMenu.unit;
    menu.type = host::ComponentType::Menu;
    menu.name = "TrayMenu";
    menu.caption = text::Gbk(u8"菜单");
    menu.visible = false;
    menu.items = {
        {text::Gbk(u8"关于软件"), [&program] { OnAboutItem(program.notices); }},
        {text::Gbk(u8"检查更新"), [&program] { OnCheckUpdateItem(program); }},
        {text::Gbk(u8"退出"), [&program] { OnExitItem(program.windows); }, true},
    };

    window.components = {label, browser, menu};
    return window;
}

void OnMainWindowCreated(host::Windows& windows, host::Tray& tray, host::BrowserFrames& frames,
                         const Sites& sites) {
    windows.WriteProperty(MainWindow, host::PropWidth, -1, MainWidth);
    windows.WriteProperty(MainWindow, host::PropHeight, -1, MainHeight);
    RefreshTrayIcon(tray);
    frames.Navigate(MainBrowser, PortalUrl(sites));
    // The browser keeps its position (-1, -1) and takes the window's outer
    // size, so it covers the whole client area; the excess is clipped.
    windows.WriteProperty(MainBrowser, host::PropWidth, -1,
                          windows.ReadProperty(MainWindow, host::PropWidth));
    windows.WriteProperty(MainBrowser, host::PropHeight, -1,
                          windows.ReadProperty(MainWindow, host::PropHeight));
}

void OnMainWindowMoved(host::Windows& windows, host::Tray& tray) {
    if (windows.ReadProperty(MainWindow, host::PropWindowState) != host::StateMinimised)
        return;
    RefreshTrayIcon(tray);
    // Without a notification area a hidden window could never be brought
    // back, so it then stays minimised on the task bar.
    if (tray.HasSystemTray())
        windows.WriteProperty(MainWindow, host::PropVisible, -1, 0);
}

void OnMainWindowTray(host::Windows& windows, host::Tray& tray, int trayEvent) {
    switch (trayEvent) {
    case host::TrayLeftUp:
        windows.WriteProperty(MainWindow, host::PropVisible, -1, 1);
        RefreshTrayIcon(tray);
        break;
    case host::TrayContextMenu:
        windows.PopupMenu(MainWindow, TrayMenu);
        RefreshTrayIcon(tray);
        break;
    default:
        break;
    }
}

void OnMainWindowDestroying(Program& program) {
    EndJobs(program);
    if (program.windows.IsCreated(PlayerWindow))
        program.windows.DestroyUnit(PlayerWindow);
}

void OnAboutItem(host::Notices& notices) {
    const text::Text about =
        text::Gbk(u8"Lodestone 种子搜索客户端\r\n\r\n"
                  u8"在门户页面中搜索种子：点击播放链接即可在线播放，"
                  u8"点击种子链接即可把磁力链接和种子地址复制到剪贴板。\r\n\r\n"
                  u8"版本：") +
        text::Text(PackageVersion) + text::Gbk(u8"（构建 ") + text::Text(BuildVersion) +
        text::Gbk(u8"）");
    notices.ShowMessageBox(about, 64, text::Gbk(u8"软件信息"));
}

void OnCheckUpdateItem(Program& program) {
    CheckForUpdate(program);
}

void OnExitItem(host::Windows& windows) {
    windows.DestroyUnit(MainWindow);
}

} // namespace app
