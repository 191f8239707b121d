#include "gui/clipboardkeeper.h"

#include <QClipboard>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

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

// The keeper starts with nothing of the program's: descriptors it inherited
// (the web engine's sockets and shared memory among them) would keep the
// engine's helper processes alive for as long as the keeper lives. It gets
// the text through a socket on its standard input, /dev/null for the other
// streams, a session of its own and `/` as its folder.
class SpawnActions {
  public:
    SpawnActions() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~SpawnActions() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    bool Prepare(int input) {
        sigset_t set;
        sigemptyset(&set);
        posix_spawnattr_setsigmask(&attributes_, &set);
        sigfillset(&set);
        posix_spawnattr_setsigdefault(&attributes_, &set);
        return posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                          POSIX_SPAWN_SETSIGDEF) == 0 &&
               posix_spawn_file_actions_adddup2(&actions_, input, STDIN_FILENO) == 0 &&
               posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY,
                                                0) == 0 &&
               posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO) == 0 &&
               posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0 &&
               posix_spawn_file_actions_addchdir_np(&actions_, "/") == 0;
    }
    const posix_spawn_file_actions_t* Actions() const { return &actions_; }
    const posix_spawnattr_t* Attributes() const { return &attributes_; }

  private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

struct Descriptor {
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() {
        if (fd >= 0)
            close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

bool SendAll(int socket, const QByteArray& bytes) {
    const timeval limit{KeeperStartLimitMs / 1000, 0};
    setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t now = send(socket, bytes.constData() + sent,
                                 static_cast<std::size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (now < 0 && errno != EINTR)
            return false;
        sent += std::max<ssize_t>(now, 0);
    }
    return true;
}

// The keeper exits once it holds the clipboard, leaving its detached server
// behind; one that takes too long is given up.
bool KeeperSucceeded(pid_t keeper) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(KeeperStartLimitMs);
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(keeper, &status, WNOHANG);
        if (ended == keeper)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (ended < 0 && errno != EINTR)
            return true; // reaped elsewhere: its outcome is unknown
        if (steady_clock::now() > deadline) {
            kill(keeper, SIGKILL);
            waitpid(keeper, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
}

void StartKeeper(const QByteArray& utf8) {
    const auto lost = [](const char* why) {
        std::fprintf(stderr, "lodestone: %s, so the clipboard empties now\n", why);
    };
    const QString path = KeeperPath();
    if (path.isEmpty())
        return lost("lodestone-clipboard is missing");
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return lost("lodestone-clipboard cannot be started");
    const Descriptor ours(ends[0]);
    Descriptor theirs(ends[1]);
    const QByteArray program = QFile::encodeName(path);
    char* const arguments[] = {const_cast<char*>(program.constData()), nullptr};
    SpawnActions spawn;
    pid_t keeper = 0;
    if (!spawn.Prepare(theirs.fd) || posix_spawn(&keeper, program.constData(), spawn.Actions(),
                                                 spawn.Attributes(), arguments, environ) != 0)
        return lost("lodestone-clipboard cannot be started");
    close(std::exchange(theirs.fd, -1));
    const bool sent = SendAll(ours.fd, utf8);
    shutdown(ours.fd, SHUT_WR);
    if (!KeeperSucceeded(keeper) || !sent)
        lost("lodestone-clipboard could not take the clipboard");
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
