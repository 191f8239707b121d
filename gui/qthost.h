#pragma once
// The host on Qt 6, every role of it: windows built from the application's
// templates, their events, tray icons, pop-up menus, message boxes, the
// clipboard, the browser frames on Qt WebEngine, the event loop and the
// desktop's windows.

#include "gui/handlerrunner.h"
#include "gui/singleinstance.h"
#include "host/host.h"

#include <QtGlobal>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QApplication;
class QTranslator;
class QWebEngineProfile;

namespace net {
class CookieStore;
}

namespace gui {

class CookieBridge;
class HostWindow;
class PageDownloads;
class X11Desktop;

class QtHost final : public host::Host {
  public:
    // Takes Qt's own switches from the command line; reads nothing else.
    // The browser frames share `cookies` with the program's own requests and
    // downloads.
    QtHost(int& argc, char** argv, net::CookieStore& cookies);
    ~QtHost() override;
    Q_DISABLE_COPY_MOVE(QtHost)

    // Makes this process the user's one instance, whose start-up window a
    // later start brings forward; or hands over to the running instance. To
    // be called before any window is loaded.
    InstanceClaim ClaimInstance();

    // host::Runtime
    void StartRuntime(std::vector<host::WindowTemplate> templates) override;
    void RegisterCleanup(std::function<void()> routine) override;
    void LoadStartupWindow(int window) override;
    void RunMessageLoop() override;
    [[noreturn]] void FatalRuntimeError(std::optional<int> code,
                                        const text::Text& message) override;

    // host::EventLoop
    void ProcessEvents() override;
    void PostWork(std::function<void()> work) override;
    std::unique_ptr<host::Watch> WatchSocket(int socket, int events,
                                             std::function<void(int ready)> ready) override;
    std::unique_ptr<host::Watch> StartTimer(std::chrono::milliseconds delay,
                                            std::function<void()> due) override;

    // host::Windows
    bool LoadWindow(host::UnitRef window, std::optional<host::UnitRef> parent = {},
                    bool modal = false) override;
    bool IsCreated(host::UnitRef unit) override;
    void DestroyUnit(host::UnitRef unit, bool immediately = false) override;
    std::int64_t ReadProperty(host::UnitRef unit, int property, int element = -1) override;
    void WriteProperty(host::UnitRef unit, int property, int element, std::int64_t value) override;
    void PopupMenu(host::UnitRef window, host::UnitRef menu, std::optional<int> x = {},
                   std::optional<int> y = {}) override;

    // host::Tray
    void SetTrayIcon(host::UnitRef window, const text::ByteSet& icon,
                     const text::Text& tip = {}) override;
    bool HasSystemTray() override;

    // host::BrowserFrames
    void Navigate(host::UnitRef frame, const text::Text& url) override;
    void AdoptNewWindow(host::UnitRef frame, host::ComObject& slot) override;

    // host::Notices
    int ShowMessageBox(const text::Text& content, int style,
                       const text::Text& caption = DefaultCaption()) override;
    bool SetClipboardText(const text::Text& text) override;
    void StartDownload(const text::Text& url) override;

    // host::Desktop
    std::vector<host::WindowHandle> TopLevelWindows() override;
    bool IsWindowVisible(host::WindowHandle window) override;
    std::uint32_t WindowProcessId(host::WindowHandle window) override;
    std::uint32_t CurrentProcessId() override;
    int OwnedMessageBox(host::WindowHandle owner, const text::Text& text, const text::Text& caption,
                        int style) override;

    // The browser frames' profile: persistent, named "lodestone", kept in
    // the user's data folder. Made on first use: it starts the web engine.
    QWebEngineProfile* profile();
    // The loaded window, null when it is not loaded.
    HostWindow* Window(int window) const;

  private:
    const host::WindowTemplate* Template(int window) const;
    // Fatal with `message` when the window is not loaded.
    HostWindow& LoadedWindow(int window, const char8_t* message);
    void Activate(HostWindow& window);
    bool BringStartupWindowForward(const QByteArray& activationToken);
    void Destroy(HostWindow& window);
    HostWindow* OwnWindow(host::WindowHandle handle) const;

    std::unique_ptr<QApplication> application_;
    std::vector<std::unique_ptr<QTranslator>> translators_;
    std::unique_ptr<QWebEngineProfile> profile_;
    net::CookieStore& cookies_;
    std::unique_ptr<CookieBridge> cookieBridge_;
    std::unique_ptr<PageDownloads> pageDownloads_;
    std::unique_ptr<X11Desktop> desktop_;
    std::unique_ptr<SingleInstance> instance_;
    int startupWindow_ = 0;
    HandlerRunner runner_;
    std::vector<host::WindowTemplate> templates_;
    std::map<int, HostWindow*> windows_;
    std::function<void()> cleanup_;
    bool loopRunning_ = false;
    bool trayWarned_ = false;
};

} // namespace gui
