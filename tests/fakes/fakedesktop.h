#pragma once
// A desktop of listed top-level windows; owned boxes are recorded and answer
// with a set button.

#include "host/desktop.h"
#include "host/messagebox.h"

#include <vector>

namespace fakes {

class FakeDesktop final : public host::Desktop {
  public:
    // The desktop's top-level windows, topmost first.
    struct Window {
        host::WindowHandle handle = 0;
        bool visible = true;
        std::uint32_t processId = 0;
    };
    std::vector<Window> windows;
    // Button identifier OwnedMessageBox answers with (0: the box failed).
    int ownedBoxButton = host::IdOk;

    struct OwnedBox {
        host::WindowHandle owner = 0;
        text::Text content;
        int style = 0;
        text::Text caption;
    };
    std::vector<OwnedBox> ownedBoxes;

    std::vector<host::WindowHandle> TopLevelWindows() override;
    bool IsWindowVisible(host::WindowHandle window) override;
    std::uint32_t WindowProcessId(host::WindowHandle window) override;
    std::uint32_t CurrentProcessId() override { return 4242; }
    int OwnedMessageBox(host::WindowHandle owner, const text::Text& text, const text::Text& caption,
                        int style) override;

  private:
    const Window* Find(host::WindowHandle handle) const;
};

} // namespace fakes
