#pragma once
// A host without a display: windows are records, events run synchronously,
// posted closes and work wait in one queue until the event loop's next turn
// (ProcessEvents, or the end of a driven event), and every visible effect
// (boxes, clipboard, navigation, tray, downloads) is recorded for the tests.

#include "host/host.h"
#include "host/messagebox.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fakes {

class FakeHost final : public host::Host {
  public:
    struct Box {
        text::Text content;
        int style = 0;
        text::Text caption;
    };
    struct Navigation {
        host::UnitRef frame;
        text::Text url;
    };

    // What the host reports.
    bool trayAvailable = true;
    // Results of ShowMessageBox, taken in order; when empty, boxes answer 0.
    std::deque<int> boxAnswers;
    // Runs inside ProcessEvents and inside every box, standing for the events
    // the user causes meanwhile (nested handlers).
    std::function<void()> duringEvents;

    // The desktop's top-level windows, topmost first.
    struct DesktopWindow {
        host::WindowHandle handle = 0;
        bool visible = true;
        std::uint32_t processId = 0;
    };
    std::vector<DesktopWindow> desktop;
    // Button identifier OwnedMessageBox answers with (0: the box failed).
    int ownedBoxButton = host::IdOk;

    // What the application did.
    struct OwnedBox {
        host::WindowHandle owner = 0;
        Box box;
    };
    std::vector<OwnedBox> ownedBoxes;
    std::vector<Box> boxes;
    std::vector<text::Text> clipboard;
    std::vector<Navigation> navigations;
    std::vector<text::Text> downloads;
    std::vector<text::Text> trayTips; // one entry per SetTrayIcon with an icon
    std::map<int, bool> trayIcon;     // per window: an icon is up
    std::vector<host::UnitRef> popups;
    int processEventsCalls = 0;
    int createdCount = 0;
    int activations = 0;
    bool cleanupRan = false;

    // Test drivers.
    const host::WindowTemplate& Template(int window) const;
    const host::ComponentTemplate& Component(host::UnitRef unit) const;
    // The user or the window system acting on a window.
    void Minimise(int window);
    void Restore(int window);
    void Resize(int window, int width, int height);
    void Close(int window);
    void Tray(int window, int trayEvent);
    void ChooseMenuItem(host::UnitRef menu, int item);
    void HoverLink(host::UnitRef frame, text::Text address);
    // Raises the new-window request of a frame, by default as the user's
    // click would; once the handler has answered, the event loop takes its
    // turn and runs the work it posted. Returns the cancel flag.
    bool RequestNewWindow(host::UnitRef frame, host::ComObject* slotOut = nullptr,
                          bool byUser = true);
    std::int64_t Property(host::UnitRef unit, int property) const;
    bool Loaded(int window) const { return loaded_.count(window) != 0; }
    // Serves posted work, sockets and timers (poll(2)) until `done` holds;
    // false when `limit` passed first.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(60));

    // host::Host
    void StartRuntime(std::vector<host::WindowTemplate> templates) override;
    void RegisterCleanup(std::function<void()> routine) override;
    void LoadStartupWindow(int window) override;
    void RunMessageLoop() override;
    void ProcessEvents() override;
    void PostWork(std::function<void()> work) override { posted_.push_back(std::move(work)); }
    std::unique_ptr<host::Watch> WatchSocket(int socket, int events,
                                             std::function<void(int ready)> ready) override;
    std::unique_ptr<host::Watch> StartTimer(std::chrono::milliseconds delay,
                                            std::function<void()> due) override;
    [[noreturn]] void FatalRuntimeError(std::optional<int> code,
                                        const text::Text& message) override;
    bool LoadWindow(host::UnitRef window, std::optional<host::UnitRef> parent = {},
                    bool modal = false) override;
    bool IsCreated(host::UnitRef unit) override;
    void DestroyUnit(host::UnitRef unit, bool immediately = false) override;
    std::int64_t ReadProperty(host::UnitRef unit, int property, int element = -1) override;
    void WriteProperty(host::UnitRef unit, int property, int element, std::int64_t value) override;
    void PopupMenu(host::UnitRef window, host::UnitRef menu, std::optional<int> x = {},
                   std::optional<int> y = {}) override;
    void SetTrayIcon(host::UnitRef window, const text::ByteSet& icon,
                     const text::Text& tip = {}) override;
    bool HasSystemTray() override { return trayAvailable; }
    void Navigate(host::UnitRef frame, const text::Text& url) override;
    void AdoptNewWindow(host::UnitRef frame, host::ComObject& slot) override;
    bool SetClipboardText(const text::Text& text) override;
    int ShowMessageBox(const text::Text& content, int style, const text::Text& caption) override;
    std::vector<host::WindowHandle> TopLevelWindows() override;
    bool IsWindowVisible(host::WindowHandle window) override;
    std::uint32_t WindowProcessId(host::WindowHandle window) override;
    std::uint32_t CurrentProcessId() override { return 4242; }
    int OwnedMessageBox(host::WindowHandle owner, const text::Text& text, const text::Text& caption,
                        int style) override;
    void StartDownload(const text::Text& url) override { downloads.push_back(url); }

  private:
    using Key = std::pair<int, int>;
    using Clock = std::chrono::steady_clock;
    class WatchHandle;
    struct SocketWatch {
        int socket;
        int events;
        std::function<void(int)> ready;
    };
    struct Timer {
        Clock::time_point due;
        std::function<void()> fire;
    };
    void ServeWatches(std::chrono::milliseconds wait);
    void Destroy(int window);
    void RunPosted();
    void Raise(const std::function<void()>& handler);
    static Key KeyOf(host::UnitRef unit) { return {unit.window, unit.unit}; }

    std::vector<host::WindowTemplate> templates_;
    std::function<void()> cleanup_;
    std::set<int> loaded_;
    std::set<int> closing_;
    std::deque<std::function<void()>> posted_;
    std::map<Key, std::map<int, std::int64_t>> properties_;
    std::map<Key, host::ComObject> browserObjects_;
    std::uint64_t lastWatch_ = 0;
    std::map<std::uint64_t, SocketWatch> sockets_;
    std::map<std::uint64_t, Timer> timers_;
};

} // namespace fakes
