// The Qt host's tray icon.

#include "gui/qthost.h"

#include "gui/gbkstring.h"
#include "gui/hostwindow.h"
#include "host/traytip.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <cstdio>
#include <utility>

namespace gui {

namespace {

// Every image of an icon file, so that the tray takes the size it asks for
// rather than a scaled one.
QIcon IconOfAllSizes(const text::ByteSet& bytes) {
    QIcon icon;
    if (bytes.empty())
        return icon;
    QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    do {
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    } while (reader.jumpToNextImage());
    return icon;
}

} // namespace

void QtHost::SetTrayIcon(host::UnitRef window, const text::ByteSet& icon, const text::Text& tip) {
    HostWindow& owner = LoadedWindow(window.window, u8"指定窗口或窗口组件不存在或尚未载入");
    // Away from X11, Qt's stand-in for a missing notification area is an X11
    // window; there the icon is left out until the desktop offers a tray.
    const bool trayPossible = QGuiApplication::platformName() == QStringLiteral("xcb") ||
                              QSystemTrayIcon::isSystemTrayAvailable();
    owner.SetTrayIcon(trayPossible ? IconOfAllSizes(icon) : QIcon(), ToQString(host::TrayTip(tip)));
}

bool QtHost::HasSystemTray() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (!available && !std::exchange(trayWarned_, true))
        std::fputs("lodestone: the desktop has no notification area for the tray icon\n", stderr);
    return available;
}

} // namespace gui
