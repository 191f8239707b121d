#include "fakewindows.h"

#include <algorithm>
#include <stdexcept>

namespace fakes {

namespace {

struct FatalError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Raise(const std::function<void()>& handler) {
    if (handler)
        handler();
}

} // namespace

void FailUnlessLoaded(const FakeWindows& windows, int window) {
    if (!windows.Loaded(window))
        throw FatalError("window not loaded");
}

void FakeWindows::UseTemplates(std::vector<host::WindowTemplate> templates) {
    templates_ = std::move(templates);
}

const host::WindowTemplate& FakeWindows::Template(int window) const {
    for (const auto& t : templates_)
        if (t.window == window)
            return t;
    throw std::logic_error("no such window template");
}

const host::ComponentTemplate& FakeWindows::Component(host::UnitRef unit) const {
    for (const auto& c : Template(unit.window).components)
        if (c.unit == unit.unit)
            return c;
    throw std::logic_error("no such component");
}

void FakeWindows::Minimise(int window) {
    properties_[{window, 0}][host::PropWindowState] = host::StateMinimised;
    Raise(Template(window).onMoved);
    Raise(Template(window).onResized);
}

void FakeWindows::Restore(int window) {
    properties_[{window, 0}][host::PropWindowState] = host::StateNormal;
    Raise(Template(window).onResized);
}

void FakeWindows::Resize(int window, int width, int height) {
    properties_[{window, 0}][host::PropWidth] = width;
    properties_[{window, 0}][host::PropHeight] = height;
    Raise(Template(window).onResized);
}

void FakeWindows::Close(int window) {
    Destroy(window);
}

void FakeWindows::Tray(int window, int trayEvent) {
    if (const auto& handler = Template(window).onTray)
        handler(trayEvent);
}

void FakeWindows::ChooseMenuItem(host::UnitRef menu, int item) {
    Component(menu).items.at(item).onChosen();
}

void FakeWindows::HoverLink(host::UnitRef frame, text::Text address) {
    Component(frame).onStatusText(address);
}

bool FakeWindows::RequestNewWindow(host::UnitRef frame, host::ComObject* slotOut, bool byUser) {
    host::ComObject slot;
    bool cancel = false;
    Component(frame).onNewWindow(slot, cancel, byUser);
    loop_.RunPosted();
    if (slotOut)
        *slotOut = slot;
    return cancel;
}

std::int64_t FakeWindows::Property(host::UnitRef unit, int property) const {
    const auto unitIt = properties_.find(KeyOf(unit));
    if (unitIt == properties_.end())
        return 0;
    const auto it = unitIt->second.find(property);
    return it == unitIt->second.end() ? 0 : it->second;
}

bool FakeWindows::LoadWindow(host::UnitRef window, std::optional<host::UnitRef> parent, bool) {
    if (parent && !Loaded(parent->window))
        return false;
    if (Loaded(window.window)) {
        if (!closing_.count(window.window)) {
            ++activations;
            properties_[KeyOf(window)][host::PropWindowState] = host::StateNormal;
            return true;
        }
        Destroy(window.window);
    }
    const host::WindowTemplate& t = Template(window.window);
    auto setRect = [this](host::UnitRef unit, const host::Rect& rect) {
        auto& p = properties_[KeyOf(unit)];
        p[host::PropLeft] = rect.left;
        p[host::PropTop] = rect.top;
        p[host::PropWidth] = rect.width;
        p[host::PropHeight] = rect.height;
        p[host::PropVisible] = 1;
    };
    setRect(window, t.rect);
    for (const auto& c : t.components)
        setRect({window.window, c.unit}, c.rect);
    loaded_.insert(window.window);
    ++createdCount;
    Raise(t.onCreated);
    return true;
}

void FakeWindows::DestroyUnit(host::UnitRef unit, bool immediately) {
    FailUnlessLoaded(*this, unit.window);
    if (immediately) {
        Destroy(unit.window);
        return;
    }
    closing_.insert(unit.window);
    loop_.PostWork([this, window = unit.window] { Destroy(window); });
}

void FakeWindows::Destroy(int window) {
    if (!Loaded(window))
        return;
    Raise(Template(window).onDestroying);
    loaded_.erase(window);
    closing_.erase(window);
    std::erase_if(properties_, [window](const auto& entry) { return entry.first.first == window; });
    if (destroyed)
        destroyed(window);
}

std::int64_t FakeWindows::ReadProperty(host::UnitRef unit, int property, int) {
    FailUnlessLoaded(*this, unit.window);
    return Property(unit, property);
}

void FakeWindows::WriteProperty(host::UnitRef unit, int property, int, std::int64_t value) {
    FailUnlessLoaded(*this, unit.window);
    if (property == host::PropWidth || property == host::PropHeight)
        value = std::clamp<std::int64_t>(value, 0, 32627);
    properties_[KeyOf(unit)][property] = value;
    if (unit.unit == host::WindowUnit &&
        (property == host::PropWidth || property == host::PropHeight))
        Raise(Template(unit.window).onResized);
}

void FakeWindows::PopupMenu(host::UnitRef window, host::UnitRef menu, std::optional<int>,
                            std::optional<int>) {
    FailUnlessLoaded(*this, window.window);
    popups.push_back(menu);
}

// Destroying a window takes its icon down.
FakeTray::FakeTray(FakeWindows& windows) : windows_(windows) {
    windows.destroyed = [this](int window) { icons_.erase(window); };
}

void FakeTray::SetTrayIcon(host::UnitRef window, const text::ByteSet& icon, const text::Text& tip) {
    FailUnlessLoaded(windows_, window.window);
    if (icon.empty()) {
        icons_.erase(window.window);
        return;
    }
    icons_.insert(window.window);
    tips.push_back(tip.substr(0, 62));
}

void FakeBrowserFrames::AdoptNewWindow(host::UnitRef frame, host::ComObject& slot) {
    auto& object = browserObjects_[{frame.window, frame.unit}];
    if (!object)
        object = std::make_shared<host::BrowserObject>();
    slot = object;
}

void FakeRuntime::LoadStartupWindow(int window) {
    if (!windows_.LoadWindow({window, host::WindowUnit}))
        FatalRuntimeError({}, "startup window");
}

void FakeRuntime::RunMessageLoop() {
    loop_.RunPosted();
    if (cleanup_)
        cleanup_();
}

void FakeRuntime::FatalRuntimeError(std::optional<int>, const text::Text& message) {
    throw FatalError(message);
}

} // namespace fakes
