#pragma once
// The notification area: one icon per window, whose events reach the
// window's tray handler.

#include "host/windowtemplate.h"
#include "text/byteset.h"
#include "text/text.h"

namespace host {

class Tray {
  public:
    virtual ~Tray() = default;

    // Added, modified, or removed when `icon` is empty. The tip is cut to 62
    // bytes.
    virtual void SetTrayIcon(UnitRef window, const text::ByteSet& icon,
                             const text::Text& tip = {}) = 0;
    // False when the desktop offers no notification area.
    virtual bool HasSystemTray() = 0;
};

} // namespace host
