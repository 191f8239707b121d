// The Qt host's look at the desktop: its top-level windows, theirs and ours,
// and the box owned by one of them.

#include "gui/qthost.h"

#include "gui/gbkstring.h"
#include "gui/hostwindow.h"
#include "gui/messagedialog.h"
#include "gui/x11desktop.h"

#include <QCoreApplication>

namespace gui {

HostWindow* QtHost::OwnWindow(host::WindowHandle handle) const {
    for (const auto& [id, window] : windows_)
        if (window->internalWinId() == handle)
            return window;
    return nullptr;
}

std::vector<host::WindowHandle> QtHost::TopLevelWindows() {
    if (auto stacking = desktop_->StackingOrder())
        return *stacking;
    // Without a window manager's list only the program's own windows are
    // known: the active one first.
    std::vector<host::WindowHandle> handles;
    for (const auto& [id, window] : windows_) {
        const host::WindowHandle handle = window->winId();
        if (window->isActiveWindow())
            handles.insert(handles.begin(), handle);
        else
            handles.push_back(handle);
    }
    return handles;
}

bool QtHost::IsWindowVisible(host::WindowHandle window) {
    if (const HostWindow* own = OwnWindow(window))
        return own->isVisible();
    return desktop_->IsShown(window);
}

std::uint32_t QtHost::WindowProcessId(host::WindowHandle window) {
    if (OwnWindow(window))
        return CurrentProcessId();
    return desktop_->ProcessId(window);
}

std::uint32_t QtHost::CurrentProcessId() {
    return static_cast<std::uint32_t>(QCoreApplication::applicationPid());
}

int QtHost::OwnedMessageBox(host::WindowHandle owner, const text::Text& text,
                            const text::Text& caption, int style) {
    HostWindow* ownWindow = owner ? OwnWindow(owner) : nullptr;
    // A box for a window that does not exist cannot be shown; one for another
    // program's window is shown on its own.
    if (owner && !ownWindow && !desktop_->Exists(owner))
        return 0;
    return RunMessageBox(ownWindow, ToQString(text), ToQString(caption), style);
}

} // namespace gui
