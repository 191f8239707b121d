#include "fakehost.h"

#include "host/messagebox.h"

#include <algorithm>
#include <poll.h>
#include <stdexcept>

namespace fakes {

namespace {

struct FatalError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high) {
    return std::min(std::max(value, low), high);
}

} // namespace

const host::WindowTemplate& FakeHost::Template(int window) const {
    for (const auto& t : templates_)
        if (t.window == window)
            return t;
    throw std::logic_error("no such window template");
}

const host::ComponentTemplate& FakeHost::Component(host::UnitRef unit) const {
    for (const auto& c : Template(unit.window).components)
        if (c.unit == unit.unit)
            return c;
    throw std::logic_error("no such component");
}

void FakeHost::Raise(const std::function<void()>& handler) {
    if (handler)
        handler();
}

void FakeHost::Minimise(int window) {
    properties_[{window, 0}][host::PropWindowState] = host::StateMinimised;
    Raise(Template(window).onMoved);
    Raise(Template(window).onResized);
}

void FakeHost::Restore(int window) {
    properties_[{window, 0}][host::PropWindowState] = host::StateNormal;
    Raise(Template(window).onResized);
}

void FakeHost::Resize(int window, int width, int height) {
    properties_[{window, 0}][host::PropWidth] = width;
    properties_[{window, 0}][host::PropHeight] = height;
    Raise(Template(window).onResized);
}

void FakeHost::Close(int window) {
    Destroy(window);
}

void FakeHost::Tray(int window, int trayEvent) {
    if (const auto& handler = Template(window).onTray)
        handler(trayEvent);
}

void FakeHost::ChooseMenuItem(host::UnitRef menu, int item) {
    Component(menu).items.at(item).onChosen();
}

void FakeHost::HoverLink(host::UnitRef frame, text::Text address) {
    Component(frame).onStatusText(address);
}

bool FakeHost::RequestNewWindow(host::UnitRef frame, host::ComObject* slotOut, bool byUser) {
    host::ComObject slot;
    bool cancel = false;
    Component(frame).onNewWindow(slot, cancel, byUser);
    RunPosted();
    if (slotOut)
        *slotOut = slot;
    return cancel;
}

std::int64_t FakeHost::Property(host::UnitRef unit, int property) const {
    const auto unitIt = properties_.find(KeyOf(unit));
    if (unitIt == properties_.end())
        return 0;
    const auto it = unitIt->second.find(property);
    return it == unitIt->second.end() ? 0 : it->second;
}

void FakeHost::StartRuntime(std::vector<host::WindowTemplate> templates) {
    templates_ = std::move(templates);
}

void FakeHost::RegisterCleanup(std::function<void()> routine) {
    cleanup_ = std::move(routine);
}

void FakeHost::LoadStartupWindow(int window) {
    if (!LoadWindow({window, host::WindowUnit}))
        FatalRuntimeError({}, "startup window");
}

void FakeHost::RunMessageLoop() {
    RunPosted();
    if (cleanup_) {
        cleanup_();
        cleanupRan = true;
    }
}

void FakeHost::ProcessEvents() {
    ++processEventsCalls;
    if (duringEvents)
        duringEvents();
    RunPosted();
    ServeWatches(std::chrono::milliseconds(0));
    RunPosted();
}

class FakeHost::WatchHandle final : public host::Watch {
  public:
    WatchHandle(FakeHost& host, std::uint64_t id) : host_(host), id_(id) {}
    ~WatchHandle() override {
        host_.sockets_.erase(id_);
        host_.timers_.erase(id_);
    }

  private:
    FakeHost& host_;
    std::uint64_t id_;
};

std::unique_ptr<host::Watch> FakeHost::WatchSocket(int socket, int events,
                                                   std::function<void(int)> ready) {
    sockets_[++lastWatch_] = {socket, events, std::move(ready)};
    return std::make_unique<WatchHandle>(*this, lastWatch_);
}

std::unique_ptr<host::Watch> FakeHost::StartTimer(std::chrono::milliseconds delay,
                                                  std::function<void()> due) {
    timers_[++lastWatch_] = {Clock::now() + delay, std::move(due)};
    return std::make_unique<WatchHandle>(*this, lastWatch_);
}

// A callback may end any watch, its own included: each is looked up again
// before it runs.
void FakeHost::ServeWatches(std::chrono::milliseconds wait) {
    for (const auto& [id, timer] : timers_)
        wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(
                                  std::max(timer.due - Clock::now(), Clock::duration::zero())));
    std::vector<pollfd> polled;
    std::vector<std::uint64_t> ids;
    for (const auto& [id, watch] : sockets_) {
        polled.push_back({watch.socket,
                          static_cast<short>(((watch.events & host::SocketReadable) ? POLLIN : 0) |
                                             ((watch.events & host::SocketWritable) ? POLLOUT : 0)),
                          0});
        ids.push_back(id);
    }
    poll(polled.data(), polled.size(), static_cast<int>(wait.count()));
    for (std::size_t i = 0; i < polled.size(); ++i) {
        const short got = polled[i].revents;
        const int ready = ((got & (POLLIN | POLLHUP | POLLERR)) ? host::SocketReadable : 0) |
                          ((got & (POLLOUT | POLLERR)) ? host::SocketWritable : 0);
        const auto watch = sockets_.find(ids[i]);
        if (ready != 0 && watch != sockets_.end()) {
            const auto callback = watch->second.ready;
            callback(ready);
        }
    }
    std::vector<std::uint64_t> due;
    for (const auto& [id, timer] : timers_)
        if (timer.due <= Clock::now())
            due.push_back(id);
    for (const std::uint64_t id : due) {
        const auto timer = timers_.find(id);
        if (timer == timers_.end())
            continue;
        const auto fire = std::move(timer->second.fire);
        timers_.erase(timer);
        fire();
    }
}

bool FakeHost::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (true) {
        RunPosted();
        if (done())
            return true;
        if (Clock::now() >= end)
            return false;
        ServeWatches(std::chrono::milliseconds(50));
    }
}

void FakeHost::FatalRuntimeError(std::optional<int>, const text::Text& message) {
    throw FatalError(message);
}

bool FakeHost::LoadWindow(host::UnitRef window, std::optional<host::UnitRef> parent, bool) {
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

bool FakeHost::IsCreated(host::UnitRef unit) {
    return Loaded(unit.window);
}

void FakeHost::DestroyUnit(host::UnitRef unit, bool immediately) {
    if (!Loaded(unit.window))
        FatalRuntimeError({}, "window not loaded");
    if (immediately) {
        Destroy(unit.window);
        return;
    }
    closing_.insert(unit.window);
    posted_.push_back([this, window = unit.window] { Destroy(window); });
}

void FakeHost::Destroy(int window) {
    if (!Loaded(window))
        return;
    Raise(Template(window).onDestroying);
    loaded_.erase(window);
    closing_.erase(window);
    trayIcon.erase(window);
    std::erase_if(properties_, [window](const auto& entry) { return entry.first.first == window; });
}

void FakeHost::RunPosted() {
    while (!posted_.empty()) {
        const std::function<void()> work = std::move(posted_.front());
        posted_.pop_front();
        work();
    }
}

std::int64_t FakeHost::ReadProperty(host::UnitRef unit, int property, int) {
    if (!Loaded(unit.window))
        FatalRuntimeError({}, "window not loaded");
    return Property(unit, property);
}

void FakeHost::WriteProperty(host::UnitRef unit, int property, int, std::int64_t value) {
    if (!Loaded(unit.window))
        FatalRuntimeError({}, "window not loaded");
    if (property == host::PropWidth || property == host::PropHeight)
        value = Clamp(value, 0, 32627);
    properties_[KeyOf(unit)][property] = value;
    if (unit.unit == host::WindowUnit &&
        (property == host::PropWidth || property == host::PropHeight))
        Raise(Template(unit.window).onResized);
}

void FakeHost::PopupMenu(host::UnitRef window, host::UnitRef menu, std::optional<int>,
                         std::optional<int>) {
    if (!Loaded(window.window))
        FatalRuntimeError({}, "window not loaded");
    popups.push_back(menu);
}

void FakeHost::SetTrayIcon(host::UnitRef window, const text::ByteSet& icon, const text::Text& tip) {
    if (!Loaded(window.window))
        FatalRuntimeError({}, "window not loaded");
    trayIcon[window.window] = !icon.empty();
    if (!icon.empty())
        trayTips.push_back(tip.substr(0, 62));
}

void FakeHost::Navigate(host::UnitRef frame, const text::Text& url) {
    navigations.push_back({frame, url});
}

void FakeHost::AdoptNewWindow(host::UnitRef frame, host::ComObject& slot) {
    auto& object = browserObjects_[KeyOf(frame)];
    if (!object)
        object = std::make_shared<host::BrowserObject>();
    slot = object;
}

bool FakeHost::SetClipboardText(const text::Text& text) {
    clipboard.push_back(text);
    return true;
}

int FakeHost::ShowMessageBox(const text::Text& content, int style, const text::Text& caption) {
    boxes.push_back({content, style, caption});
    if (duringEvents)
        duringEvents();
    if (boxAnswers.empty())
        return 0;
    const int answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
}

std::vector<host::WindowHandle> FakeHost::TopLevelWindows() {
    std::vector<host::WindowHandle> handles;
    for (const auto& w : desktop)
        handles.push_back(w.handle);
    return handles;
}

bool FakeHost::IsWindowVisible(host::WindowHandle window) {
    for (const auto& w : desktop)
        if (w.handle == window)
            return w.visible;
    return false;
}

std::uint32_t FakeHost::WindowProcessId(host::WindowHandle window) {
    for (const auto& w : desktop)
        if (w.handle == window)
            return w.processId;
    return 0;
}

int FakeHost::OwnedMessageBox(host::WindowHandle owner, const text::Text& text,
                              const text::Text& caption, int style) {
    ownedBoxes.push_back({owner, {text, style, caption}});
    return ownedBoxButton;
}

} // namespace fakes
