#pragma once
// The window system beyond the program: the desktop's top-level windows and
// their processes, and a message box owned by any of them.

#include "text/text.h"

#include <cstdint>
#include <vector>

namespace host {

using WindowHandle = std::uint64_t;

class Desktop {
  public:
    virtual ~Desktop() = default;

    // Top-level windows of the desktop, topmost first.
    virtual std::vector<WindowHandle> TopLevelWindows() = 0;
    virtual bool IsWindowVisible(WindowHandle window) = 0;
    virtual std::uint32_t WindowProcessId(WindowHandle window) = 0;
    virtual std::uint32_t CurrentProcessId() = 0;
    // Shows a box owned by `owner` (0: no owner); returns the button
    // identifier, 0 when the box could not be shown.
    virtual int OwnedMessageBox(WindowHandle owner, const text::Text& text,
                                const text::Text& caption, int style) = 0;
};

} // namespace host
