#include "gui/singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace gui {

namespace {

// The request, then a line with the start's activation token (empty when it
// has none); an instance that knows only the request answers it all the same.
constexpr QByteArrayView Request = "forward\n";
constexpr qsizetype MaxTokenSize = 256;
constexpr QByteArrayView Answer = "ok\n";
// The running instance may itself be starting or ending; a start waits that
// long for it to answer or to go.
constexpr qint64 WaitLimitMs = 10'000;
constexpr int AnswerLimitMs = 5'000;
constexpr int RetryMs = 100;
// A start sends its request at once. Anything else holding a connection
// (another process of the user's, say) is dropped, and only a few are served
// at a time, so such connections can neither pile up nor keep a start out
// for long: it retries until a place is free.
constexpr int RequestLimitMs = 3'000;
constexpr int MaxConnections = 4;
// Out of descriptors, accepting would fail again at once.
constexpr int AcceptPauseMs = 500;

QByteArray LocalName(const QString& path) {
    return QFile::encodeName(path);
}

// A token is printable text of the compositor's; anything else is not passed on.
QByteArray ActivationToken(const QByteArray& token) {
    const bool printable =
        std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 127; });
    return printable && token.size() <= MaxTokenSize ? token : QByteArray();
}

} // namespace

SingleInstance::SingleInstance(QStringList folders) : folders_(std::move(folders)) {}

SingleInstance::~SingleInstance() {
    StopAnswering();
    if (lock_ >= 0)
        ::close(lock_);
}

// The kernel drops the lock with its holder, so a crashed instance never
// leaves a lock behind; close-on-exec keeps it out of child processes.
SingleInstance::Lock SingleInstance::TakeLock() {
    refusals_.clear();
    for (const QString& folder : std::as_const(folders_)) {
        if (folder.isEmpty()) {
            refusals_ += QStringLiteral("\n  there is no private runtime folder");
            continue;
        }
        const QString lockPath = QDir(folder).filePath(QStringLiteral("lodestone.lock"));
        socketPath_ = QDir(folder).filePath(QStringLiteral("lodestone.socket"));
        const int lock = ::open(LocalName(lockPath).constData(),
                                O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0) {
            lock_ = lock;
            return Lock::Taken;
        }
        const int error = errno;
        if (lock >= 0)
            ::close(lock);
        if (error == EWOULDBLOCK || error == EINTR)
            return Lock::Held;
        refusals_ += QStringLiteral("\n  %1: %2")
                         .arg(lockPath, QString::fromLocal8Bit(std::strerror(error)));
    }
    return Lock::Unavailable;
}

bool SingleInstance::AskRunningInstance() const {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(AnswerLimitMs))
        return false;
    socket.write(Request.data(), Request.size());
    socket.write(ActivationToken(qgetenv("XDG_ACTIVATION_TOKEN")) + '\n');
    if (!socket.waitForBytesWritten(AnswerLimitMs))
        return false;
    while (socket.bytesAvailable() < Answer.size())
        if (!socket.waitForReadyRead(AnswerLimitMs))
            return false;
    return socket.read(Answer.size()) == Answer;
}

// The socket is the program's own rather than Qt's local server, which
// removes its socket file for good when accepting fails (out of descriptors).
void SingleInstance::Listen() {
    const QByteArray path = LocalName(socketPath_);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool listening = listener_ >= 0 && std::size_t(path.size()) < sizeof address.sun_path;
    if (listening) {
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        // A socket left by a crashed instance would refuse the name; the lock
        // says no live instance uses it.
        ::unlink(path.constData());
        listening =
            ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::chmod(path.constData(), 0600) == 0 && ::listen(listener_, MaxConnections) == 0;
    }
    if (!listening) {
        std::fprintf(stderr,
                     "lodestone: cannot listen on %s, so a second start waits for this one\n",
                     path.constData());
        if (listener_ >= 0)
            ::close(std::exchange(listener_, -1));
        return;
    }
    clients_ = std::make_unique<QObject>();
    notifier_ = std::make_unique<QSocketNotifier>(listener_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { Accept(); });
}

void SingleInstance::Accept() {
    for (;;) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection >= 0) {
            if (clients_->children().size() < MaxConnections)
                Serve(connection);
            else
                ::close(connection);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            // The connection stays queued and the socket stays: try again
            // later instead of spinning.
            notifier_->setEnabled(false);
            QTimer::singleShot(AcceptPauseMs, notifier_.get(),
                               [notifier = notifier_.get()] { notifier->setEnabled(true); });
        }
        return;
    }
}

void SingleInstance::Serve(int connection) {
    auto* client = new QLocalSocket(clients_.get());
    if (!client->setSocketDescriptor(connection)) {
        ::close(connection);
        delete client;
        return;
    }
    QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    QTimer::singleShot(RequestLimitMs, client, [client] {
        client->abort();
        client->deleteLater();
    });
    QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
        constexpr qsizetype Longest = Request.size() + MaxTokenSize + 1;
        const QByteArray received = client->peek(Longest);
        const qsizetype end = received.indexOf('\n', Request.size());
        const bool fits = Request.startsWith(QByteArrayView(received.left(Request.size())));
        if (fits && end < 0 && received.size() < Longest)
            return; // the rest is still coming
        // Anything but the one request is dropped unanswered.
        if (fits && end >= 0 &&
            comeForward_(ActivationToken(received.mid(Request.size(), end - Request.size()))))
            client->write(Answer.data(), Answer.size());
        client->disconnectFromServer();
    });
}

void SingleInstance::StopAnswering() {
    notifier_.reset();
    clients_.reset();
    if (listener_ >= 0) {
        ::close(std::exchange(listener_, -1));
        ::unlink(LocalName(socketPath_).constData());
    }
}

InstanceClaim SingleInstance::Claim(std::function<bool(const QByteArray&)> comeForward) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        switch (TakeLock()) {
        case Lock::Taken:
            comeForward_ = std::move(comeForward);
            Listen();
            return InstanceClaim::Claimed;
        case Lock::Unavailable:
            // Running without it could put two instances on one browser profile.
            std::fprintf(stderr,
                         "lodestone: cannot take the lock that keeps Lodestone to one instance "
                         "per user:%s\n",
                         refusals_.toLocal8Bit().constData());
            return InstanceClaim::NoLock;
        case Lock::Held:
            break;
        }
        if (AskRunningInstance())
            return InstanceClaim::HandedOver;
        if (waited.elapsed() > WaitLimitMs) {
            std::fputs("lodestone: Lodestone is already running but does not answer\n", stderr);
            return InstanceClaim::NoAnswer;
        }
        QThread::msleep(RetryMs);
    }
}

} // namespace gui
