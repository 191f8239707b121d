#include "net/ownermessagebox.h"

#include "host/messagebox.h"
#include "text/codepage.h"

#include <algorithm>

namespace net {

int ListVisibleWindows(host::Desktop& desktop, WindowList& list) {
    // The system's enumeration reports windows to a callback, which is why
    // they were once gathered in a process-wide list; the host hands them
    // back as a whole, so a local list does.
    WindowList visible;
    for (const host::WindowHandle window : desktop.TopLevelWindows()) {
        if (desktop.IsWindowVisible(window))
            visible.push_back({window, desktop.WindowProcessId(window)});
    }
    list = std::move(visible);
    return static_cast<int>(list.size());
}

host::WindowHandle FindProcessWindow(host::Desktop& desktop, std::uint32_t processId) {
    WindowList windows;
    ListVisibleWindows(desktop, windows);
    const auto found = std::ranges::find(windows, processId, &WindowRecord::processId);
    return found != windows.end() ? found->window : 0;
}

int OwnerMessageBox(host::Desktop& desktop, const text::Text& message, std::optional<int> style,
                    text::Text* title, std::optional<host::WindowHandle> owner) {
    const host::WindowHandle ownerWindow =
        owner ? *owner : FindProcessWindow(desktop, desktop.CurrentProcessId());
    const text::Text caption = title && !title->empty() ? *title : text::Gbk(u8"友情提醒");
    if (title)
        *title = caption;
    return desktop.OwnedMessageBox(ownerWindow, message, caption,
                                   style.value_or(host::BoxIconInformation)) -
           1;
}

} // namespace net
