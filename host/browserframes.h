#pragma once
// The browser frame components: what the application asks of them. Their
// events reach it through the handlers of their templates.

#include "host/windowtemplate.h"
#include "text/text.h"

namespace host {

class BrowserFrames {
  public:
    virtual ~BrowserFrames() = default;

    virtual void Navigate(UnitRef frame, const text::Text& url) = 0;
    virtual void AdoptNewWindow(UnitRef frame, ComObject& slot) = 0;
};

} // namespace host
