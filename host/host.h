#pragma once
// The services the application logic asks of its host: windows built from
// templates, the event loop, the tray, message boxes, the clipboard, the
// browser frames and the few window-system lookups. The Qt host implements
// it for real; tests use a fake that records the calls.

#include "host/windowtemplate.h"
#include "text/byteset.h"
#include "text/text.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace host {

using WindowHandle = std::uint64_t;

// A socket or a moment the event loop watches for asynchronous work; the
// watch ends, and its callback never runs again, when this is destroyed.
class Watch {
  public:
    virtual ~Watch() = default;
};

enum SocketEvent : int { SocketReadable = 1, SocketWritable = 2 };

class Host {
  public:
    virtual ~Host() = default;

    // Start-up and the message loop.
    virtual void StartRuntime(std::vector<WindowTemplate> templates) = 0;
    virtual void RegisterCleanup(std::function<void()> routine) = 0;
    virtual void LoadStartupWindow(int window) = 0;
    // Returns when no window is loaded any more.
    virtual void RunMessageLoop() = 0;
    // Dispatches what is waiting in the event queue and returns; handlers may
    // run nested inside it.
    virtual void ProcessEvents() = 0;
    // Runs `work` from the event loop once the running handler has returned:
    // at the next turn of the message loop, or of a ProcessEvents or a box's
    // loop that comes first. What an engine's signal asks for is answered at
    // once; the work it leads to goes here.
    virtual void PostWork(std::function<void()> work) = 0;
    // Calls `ready` from the event loop, with the SocketEvent bits that hold,
    // whenever `socket` becomes readable or writable as `events` asks.
    virtual std::unique_ptr<Watch> WatchSocket(int socket, int events,
                                               std::function<void(int ready)> ready) = 0;
    // Calls `due` once from the event loop after `delay`.
    virtual std::unique_ptr<Watch> StartTimer(std::chrono::milliseconds delay,
                                              std::function<void()> due) = 0;
    // Shows the error box and ends the process with exit code -1; the
    // clean-up routine does not run.
    [[noreturn]] virtual void FatalRuntimeError(std::optional<int> code,
                                                const text::Text& message) = 0;

    // Windows and components.
    virtual bool LoadWindow(UnitRef window, std::optional<UnitRef> parent = {},
                            bool modal = false) = 0;
    virtual bool IsCreated(UnitRef unit) = 0;
    // Closes the window after the running handler has returned (or at once
    // when `immediately`); IsCreated stays true until then.
    virtual void DestroyUnit(UnitRef unit, bool immediately = false) = 0;
    virtual std::int64_t ReadProperty(UnitRef unit, int property, int element = -1) = 0;
    virtual void WriteProperty(UnitRef unit, int property, int element, std::int64_t value) = 0;
    // Pops the menu up at the cursor (+3, +3) unless x or y is given, and
    // returns when it has closed.
    virtual void PopupMenu(UnitRef window, UnitRef menu, std::optional<int> x = {},
                           std::optional<int> y = {}) = 0;
    // One tray icon per window: added, modified, or removed when `icon` is
    // empty. The tip is cut to 62 bytes.
    virtual void SetTrayIcon(UnitRef window, const text::ByteSet& icon,
                             const text::Text& tip = {}) = 0;
    // False when the desktop offers no notification area.
    virtual bool HasSystemTray() = 0;

    // The browser frame component.
    virtual void Navigate(UnitRef frame, const text::Text& url) = 0;
    virtual void AdoptNewWindow(UnitRef frame, ComObject& slot) = 0;

    // Clipboard and message boxes. ShowMessageBox has no owner and is
    // task-modal; it returns the button identifier minus one.
    virtual bool SetClipboardText(const text::Text& text) = 0;
    virtual int ShowMessageBox(const text::Text& content, int style,
                               const text::Text& caption = DefaultCaption()) = 0;

    // Window-system lookups and the owned message box: top-level windows of
    // the desktop, topmost first.
    virtual std::vector<WindowHandle> TopLevelWindows() = 0;
    virtual bool IsWindowVisible(WindowHandle window) = 0;
    virtual std::uint32_t WindowProcessId(WindowHandle window) = 0;
    virtual std::uint32_t CurrentProcessId() = 0;
    // Shows a box owned by `owner` (0: no owner); returns the button
    // identifier, 0 when the box could not be shown.
    virtual int OwnedMessageBox(WindowHandle owner, const text::Text& text,
                                const text::Text& caption, int style) = 0;

    // Offers the user the download of `url` (a GBK text) and returns at once;
    // the download goes on while the program runs. A host without a download
    // facility ignores the request.
    virtual void StartDownload(const text::Text& url) { (void)url; }

    static text::Text DefaultCaption();
};

} // namespace host
