#include "fakedesktop.h"

namespace fakes {

const FakeDesktop::Window* FakeDesktop::Find(host::WindowHandle handle) const {
    for (const Window& window : windows)
        if (window.handle == handle)
            return &window;
    return nullptr;
}

std::vector<host::WindowHandle> FakeDesktop::TopLevelWindows() {
    std::vector<host::WindowHandle> handles;
    for (const Window& window : windows)
        handles.push_back(window.handle);
    return handles;
}

bool FakeDesktop::IsWindowVisible(host::WindowHandle handle) {
    const Window* window = Find(handle);
    return window && window->visible;
}

std::uint32_t FakeDesktop::WindowProcessId(host::WindowHandle handle) {
    const Window* window = Find(handle);
    return window ? window->processId : 0;
}

int FakeDesktop::OwnedMessageBox(host::WindowHandle owner, const text::Text& text,
                                 const text::Text& caption, int style) {
    ownedBoxes.push_back({owner, text, style, caption});
    return ownedBoxButton;
}

} // namespace fakes
