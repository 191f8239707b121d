#pragma once
// A message box owned by the client's own topmost visible window, so that it
// is modal to that window without the caller having to know it.

#include "host/desktop.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace net {

// One visible top-level window and the process that created it.
struct WindowRecord {
    host::WindowHandle window = 0;
    std::uint32_t processId = 0;
};

using WindowList = std::vector<WindowRecord>;

// Replaces the list's contents with the visible top-level windows of the
// desktop, topmost first, and returns their number.
int ListVisibleWindows(host::Desktop& desktop, WindowList& list);

// The topmost visible window of the process; 0 when it has none.
host::WindowHandle FindProcessWindow(host::Desktop& desktop, std::uint32_t processId);

// Shows `message` and returns the button identifier minus one (OK 0, Cancel
// 1, ..., No 6), -1 when the box could not be shown. Left out: the style is
// the information icon with an OK button; the title (also when empty) is
// "友情提醒", which is stored into the caller's variable when one is given;
// the owner is the topmost visible window of the current process.
int OwnerMessageBox(host::Desktop& desktop, const text::Text& message,
                    std::optional<int> style = {}, text::Text* title = nullptr,
                    std::optional<host::WindowHandle> owner = {});

} // namespace net
