#include "net/ownermessagebox.h"

#include "host/messagebox.h"
#include "text/codepage.h"

#include <algorithm>

namespace net {

int ListVisibleWindows(host::Host& host, WindowList& list) {
    // The system's enumeration reports windows to a callback, which is why
    // they were once gathered in a process-wide list; the host hands them
    // back as a whole, so a local list does.
    WindowList visible;
    for (const host::WindowHandle window : host.TopLevelWindows()) {
        if (host.IsWindowVisible(window))
            visible.push_back({window, host.WindowProcessId(window)});
    }
    list = std::move(visible);
    return static_cast<int>(list.size());
}

host::WindowHandle FindProcessWindow(host::Host& host, std::uint32_t processId) {
    WindowList windows;
    ListVisibleWindows(host, windows);
    const auto found = std::ranges::find(windows, processId, &WindowRecord::processId);
    return found != windows.end() ? found->window : 0;
}

int OwnerMessageBox(host::Host& host, const text::Text& message, std::optional<int> style,
                    text::Text* title, std::optional<host::WindowHandle> owner) {
    const host::WindowHandle ownerWindow =
        owner ? *owner : FindProcessWindow(host, host.CurrentProcessId());
    const text::Text caption = title && !title->empty() ? *title : text::Gbk(u8"友情提醒");
    if (title)
        *title = caption;
    return host.OwnedMessageBox(ownerWindow, message, caption,
                                style.value_or(host::BoxIconInformation)) -
           1;
}

} // namespace net
