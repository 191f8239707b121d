#pragma once
// What the program tells or hands the user: message boxes, the clipboard,
// and a download.

#include "text/text.h"

namespace host {

class Notices {
  public:
    virtual ~Notices() = default;

    // No owner and task-modal; returns the button identifier minus one.
    virtual int ShowMessageBox(const text::Text& content, int style,
                               const text::Text& caption = DefaultCaption()) = 0;
    virtual bool SetClipboardText(const text::Text& text) = 0;
    // Offers the user the download of `url` (a GBK text) and returns at once;
    // the download goes on while the program runs.
    virtual void StartDownload(const text::Text& url) = 0;

    static text::Text DefaultCaption();
};

} // namespace host
