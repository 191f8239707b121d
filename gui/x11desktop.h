#pragma once
// The desktop's top-level windows as the X11 window manager lists them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace gui {

// Empty (false) when the program does not run on an X11 display.
class X11Desktop final {
  public:
    X11Desktop();
    ~X11Desktop();
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    explicit operator bool() const { return connection_ != nullptr; }

    // The managed top-level windows, topmost first; nothing when no window
    // manager publishes its stacking order.
    std::optional<std::vector<std::uint64_t>> StackingOrder() const;
    // Mapped on the screen, or minimised (iconic) by the window manager.
    bool IsShown(std::uint64_t window) const;
    // 0 when the window does not say.
    std::uint32_t ProcessId(std::uint64_t window) const;
    bool Exists(std::uint64_t window) const;

    // Calls `changed` with the window whose frame extents the window manager
    // has set or changed, after Qt has seen the change.
    void WatchFrameExtents(std::function<void(std::uint64_t window)> changed);

  private:
    struct Atoms;
    class ExtentsFilter;
    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::unique_ptr<Atoms> atoms_;
    std::unique_ptr<ExtentsFilter> extentsFilter_;
};

} // namespace gui
