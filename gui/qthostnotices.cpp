// The Qt host's notices: message boxes, the clipboard, and the download it
// hands over.

#include "gui/qthost.h"

#include "gui/downloads/downloadwindow.h"
#include "gui/gbkstring.h"
#include "gui/hostwindow.h"
#include "gui/messagedialog.h"
#include "host/messagebox.h"
#include "text/codepage.h"

#include <QClipboard>
#include <QGuiApplication>

namespace gui {

bool QtHost::SetClipboardText(const text::Text& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    const QString unicode = ToQString(text);
    clipboard->setText(unicode);
    // Qt only warns when it cannot take the clipboard over; reading back tells.
    return clipboard->text() == unicode;
}

int QtHost::ShowMessageBox(const text::Text& content, int style, const text::Text& caption) {
    return host::ButtonResult(
        RunMessageBox(nullptr, ToQString(content), ToQString(caption), style));
}

void QtHost::StartDownload(const text::Text& url) {
    // It opens over the program's window that the user sees, if any.
    const QWidget* near = nullptr;
    for (const auto& [id, window] : windows_)
        if (window->isVisible() && !window->isMinimized() && (!near || window->isActiveWindow()))
            near = window;
    StartDownloadWindow(QString::fromStdString(text::GbkToUtf8(url)), cookies_, nullptr, near);
}

} // namespace gui
