#pragma once
// Window templates: what the application declares about its windows and their
// components, and which of its handlers each event runs. The host builds the
// windows from them.

#include "text/text.h"

#include <functional>
#include <memory>
#include <vector>

namespace host {

// Names a window (unit 0) or one of its components.
struct UnitRef {
    int window = 0;
    int unit = 0;
    friend bool operator==(const UnitRef&, const UnitRef&) = default;
};

constexpr int WindowUnit = 0;

// Property indices understood by ReadProperty and WriteProperty.
enum Property : int {
    PropLeft = 0,
    PropTop = 1,
    PropWidth = 2,
    PropHeight = 3,
    PropVisible = 5,
    PropWindowState = 18,
};

enum WindowState : int { StateNormal = 0, StateMinimised = 2, StateMaximised = 3 };

// Tray notification types handed to a window's tray handler.
enum TrayEvent : int { TrayLeftUp = 1, TrayLeftDoubleClick = 2, TrayContextMenu = 3 };

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The browser object a frame hands out through AdoptNewWindow. Shared
// ownership stands for the reference count of the original object model.
class BrowserObject {
  public:
    virtual ~BrowserObject() = default;
};
using ComObject = std::shared_ptr<BrowserObject>;

enum class ComponentType { TransLabel, WebBrowserFrame, Menu };

enum class FrameBorder {
    None = 0,
    SunkenClient = 1,
    RaisedDialog = 2,
    ThinStatic = 3,
    SunkenInDialog = 4,
    SingleLine = 5
};

struct MenuItemTemplate {
    text::Text caption;
    std::function<void()> onChosen;
    // Offered at the end of the page's context menu only while the desktop has
    // no notification area (Exit: with a tray, a slip there never ends the
    // program).
    bool onlyWithoutTray = false;
};

struct ComponentTemplate {
    int unit = 0;
    ComponentType type = ComponentType::TransLabel;
    text::Text name;
    Rect rect;
    bool visible = true;
    text::Text caption; // label text, or the caption of a menu

    // WebBrowserFrame
    FrameBorder border = FrameBorder::ThinStatic;
    bool silent = true;
    bool offline = false;
    bool dropTarget = true;
    bool registerAsBrowser = false;
    std::function<void(text::Text& statusText)> onStatusText;
    // `byUser`: the request came from the user's own input (a click or a key),
    // not from a script acting on its own.
    std::function<void(ComObject& slot, bool& cancel, bool byUser)> onNewWindow;
    // A menu of the same window whose items end the page's context menu, so
    // that the keyboard reaches them on every desktop (0: none).
    int pageMenu = 0;
    // Its pages may start sound and video without a click of their own: the
    // frame was opened by the user's click to play.
    bool playsOnItsOwn = false;

    // Menu: its items, one level below it. A hidden top-level menu adds no
    // menu bar and serves only as a pop-up.
    std::vector<MenuItemTemplate> items;
};

struct WindowTemplate {
    int window = 0;
    text::Text caption;
    Rect rect;
    bool resizable = false; // fixed or resizable border
    bool minimizeButton = true;
    bool maximizeButton = true;
    bool escCloses = true;
    std::function<void()> onCreated;
    std::function<void()> onMoved; // also raised when the window is minimised
    std::function<void()> onResized;
    std::function<void(int trayEvent)> onTray;
    std::function<void()> onDestroying;
    std::vector<ComponentTemplate> components;
};

} // namespace host
