#pragma once
// The page's right-click menu. While the desktop offers no notification area
// it ends with the items of a menu of the window (the tray menu), which then
// have no other door; with a tray it is the browser's own.

#include "host/windowtemplate.h"

class QWebEngineView;

namespace gui {

class HandlerRunner;

// `menu` outlives the view. An item chosen runs its handler once the menu is
// gone, as the tray menu's items do.
void EndPageMenuWithoutTray(QWebEngineView& view, const host::ComponentTemplate& menu,
                            HandlerRunner& runner);

} // namespace gui
