#pragma once
// Windows without a display: records built from the templates, whose events
// the tests raise as the user and the window system would; closes are posted
// to the fake event loop. With them the roles that hang on windows: the
// tray, the browser frames, and the program's start-up and message loop.

#include "fakeeventloop.h"
#include "host/browserframes.h"
#include "host/runtime.h"
#include "host/tray.h"
#include "host/windows.h"

#include <map>
#include <set>
#include <vector>

namespace fakes {

class FakeWindows final : public host::Windows {
  public:
    explicit FakeWindows(FakeEventLoop& loop) : loop_(loop) {}

    int createdCount = 0;
    int activations = 0;
    std::vector<host::UnitRef> popups;
    // Runs for a window being destroyed, after its handler.
    std::function<void(int window)> destroyed;

    void UseTemplates(std::vector<host::WindowTemplate> templates);
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

    bool LoadWindow(host::UnitRef window, std::optional<host::UnitRef> parent = {},
                    bool modal = false) override;
    bool IsCreated(host::UnitRef unit) override { return Loaded(unit.window); }
    void DestroyUnit(host::UnitRef unit, bool immediately = false) override;
    std::int64_t ReadProperty(host::UnitRef unit, int property, int element = -1) override;
    void WriteProperty(host::UnitRef unit, int property, int element, std::int64_t value) override;
    void PopupMenu(host::UnitRef window, host::UnitRef menu, std::optional<int> x = {},
                   std::optional<int> y = {}) override;

  private:
    using Key = std::pair<int, int>;
    static Key KeyOf(host::UnitRef unit) { return {unit.window, unit.unit}; }
    void Destroy(int window);

    FakeEventLoop& loop_;
    std::vector<host::WindowTemplate> templates_;
    std::set<int> loaded_;
    std::set<int> closing_;
    std::map<Key, std::map<int, std::int64_t>> properties_;
};

// A window operation on a window that is not loaded: the host's fatal error.
void FailUnlessLoaded(const FakeWindows& windows, int window);

class FakeTray final : public host::Tray {
  public:
    explicit FakeTray(FakeWindows& windows);

    bool available = true;
    std::vector<text::Text> tips; // one entry per SetTrayIcon with an icon

    bool IconUp(int window) const { return icons_.count(window) != 0; }

    void SetTrayIcon(host::UnitRef window, const text::ByteSet& icon,
                     const text::Text& tip = {}) override;
    bool HasSystemTray() override { return available; }

  private:
    const FakeWindows& windows_;
    std::set<int> icons_;
};

class FakeBrowserFrames final : public host::BrowserFrames {
  public:
    struct Navigation {
        host::UnitRef frame;
        text::Text url;
    };
    std::vector<Navigation> navigations;

    void Navigate(host::UnitRef frame, const text::Text& url) override {
        navigations.push_back({frame, url});
    }
    void AdoptNewWindow(host::UnitRef frame, host::ComObject& slot) override;

  private:
    std::map<std::pair<int, int>, host::ComObject> browserObjects_;
};

class FakeRuntime final : public host::Runtime {
  public:
    FakeRuntime(FakeWindows& windows, FakeEventLoop& loop) : windows_(windows), loop_(loop) {}

    void StartRuntime(std::vector<host::WindowTemplate> templates) override {
        windows_.UseTemplates(std::move(templates));
    }
    void RegisterCleanup(std::function<void()> routine) override { cleanup_ = std::move(routine); }
    void LoadStartupWindow(int window) override;
    void RunMessageLoop() override;
    [[noreturn]] void FatalRuntimeError(std::optional<int> code,
                                        const text::Text& message) override;

  private:
    FakeWindows& windows_;
    FakeEventLoop& loop_;
    std::function<void()> cleanup_;
};

} // namespace fakes
