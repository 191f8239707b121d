#pragma once
// The page's context menu ends with the items of a menu of the window (the
// tray menu), so that they can be reached from the keyboard on every desktop;
// an item marked `onlyWithoutTray` joins them only while the desktop offers
// no notification area, where it has no other door.
//
// The menu key and Shift+F10 open the program's own menu at the focused
// element, whatever the page does with its context menu.

#include "host/windowtemplate.h"

class QWebEngineView;

namespace gui {

class HandlerRunner;

// `menu` outlives the view. An item chosen runs its handler once the menu is
// gone, as the tray menu's items do.
void EndPageMenu(QWebEngineView& view, const host::ComponentTemplate& menu, HandlerRunner& runner);

} // namespace gui
