#include "gui/clipboardkeeper.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace gui {

namespace {

constexpr int KeeperStartLimitMs = 5000;

struct Free {
    void operator()(void* block) const { std::free(block); }
};

// A running clipboard manager owns the CLIPBOARD_MANAGER selection.
bool ClipboardManagerRunning() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    constexpr std::string_view name = "CLIPBOARD_MANAGER";
    const std::unique_ptr<xcb_intern_atom_reply_t, Free> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, name.size(), name.data()), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, Free> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

// A private helper, installed in lib/lodestone beside the program's bin/.
// Run from a build tree, the program finds the keeper where it was built: the
// tree is the nearest folder above the program's that holds CMake's cache.
QString KeeperPath() {
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString installed =
        programFolder.filePath(QStringLiteral("../lib/lodestone/lodestone-clipboard"));
    if (QFileInfo(installed).isExecutable())
        return QDir::cleanPath(installed);
    constexpr int BuildTreeDepth = 4;
    QDir folder = programFolder;
    for (int up = 0; up < BuildTreeDepth; ++up) {
        if (folder.exists(QStringLiteral("CMakeCache.txt"))) {
            const QString built = folder.filePath(QStringLiteral("clipboard/lodestone-clipboard"));
            return QFileInfo(built).isExecutable() ? built : QString();
        }
        if (!folder.cdUp())
            break;
    }
    return {};
}

// The text goes through a pipe, out of sight of other users. The keeper exits
// once it holds the clipboard, leaving a detached process of its own behind.
void StartKeeper(const QByteArray& utf8) {
    const QString path = KeeperPath();
    if (path.isEmpty()) {
        std::fputs("lodestone: lodestone-clipboard is missing, so the clipboard empties now\n",
                   stderr);
        return;
    }
    QProcess keeper;
    keeper.setProcessChannelMode(QProcess::ForwardedChannels);
    keeper.start(path, {});
    keeper.write(utf8);
    keeper.closeWriteChannel();
    keeper.waitForFinished(KeeperStartLimitMs);
}

} // namespace

void KeepClipboardText() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        return;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard->mimeData();
    if (!clipboard->ownsClipboard() || !data || !data->hasText())
        return;
    // Qt hands the text to the manager itself as the application ends.
    if (ClipboardManagerRunning())
        return;
    StartKeeper(data->text().toUtf8());
}

} // namespace gui
