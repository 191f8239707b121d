#include "gui/singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace gui {

namespace {

constexpr QByteArrayView Request = "forward\n";
constexpr QByteArrayView Answer = "ok\n";
// The running instance may itself be starting or ending; a start waits that
// long for it to answer or to go.
constexpr qint64 WaitLimitMs = 10'000;
constexpr int AnswerLimitMs = 5'000;
constexpr int RetryMs = 100;

} // namespace

SingleInstance::SingleInstance(const QString& folder) {
    // Without a runtime folder there is nowhere private to meet.
    if (folder.isEmpty())
        return;
    lockPath_ = QDir(folder).filePath(QStringLiteral("lodestone.lock"));
    socketPath_ = QDir(folder).filePath(QStringLiteral("lodestone.socket"));
}

SingleInstance::~SingleInstance() {
    StopAnswering();
    if (lock_ >= 0)
        ::close(lock_);
}

// The kernel drops the lock with its holder, so a crashed instance never
// leaves a lock behind; close-on-exec keeps it out of child processes.
SingleInstance::Lock SingleInstance::TakeLock() {
    if (lock_ < 0 && !lockPath_.isEmpty())
        lock_ =
            ::open(QFile::encodeName(lockPath_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_ < 0)
        return Lock::Unavailable;
    if (::flock(lock_, LOCK_EX | LOCK_NB) == 0)
        return Lock::Taken;
    if (errno == EWOULDBLOCK || errno == EINTR)
        return Lock::Held;
    ::close(std::exchange(lock_, -1));
    return Lock::Unavailable;
}

bool SingleInstance::AskRunningInstance() const {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(AnswerLimitMs))
        return false;
    socket.write(Request.data(), Request.size());
    if (!socket.waitForBytesWritten(AnswerLimitMs))
        return false;
    while (socket.bytesAvailable() < Answer.size())
        if (!socket.waitForReadyRead(AnswerLimitMs))
            return false;
    return socket.read(Answer.size()) == Answer;
}

void SingleInstance::Listen() {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a crashed instance would refuse the name.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_)) {
        std::fprintf(stderr,
                     "lodestone: cannot listen on %s, so a second start waits for this one\n",
                     QFile::encodeName(socketPath_).constData());
        return;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
                if (client->bytesAvailable() < Request.size())
                    return;
                // Anything but the one request is dropped unanswered.
                if (client->read(Request.size()) == Request && comeForward_())
                    client->write(Answer.data(), Answer.size());
                client->disconnectFromServer();
            });
        }
    });
}

void SingleInstance::StopAnswering() {
    if (server_)
        server_->close(); // removes the socket
}

InstanceClaim SingleInstance::Claim(std::function<bool()> comeForward) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        switch (TakeLock()) {
        case Lock::Taken:
            comeForward_ = std::move(comeForward);
            Listen();
            return InstanceClaim::Claimed;
        case Lock::Unavailable:
            std::fputs("lodestone: no private runtime folder to hold the instance lock in, so a "
                       "second start opens a second window\n",
                       stderr);
            return InstanceClaim::Claimed;
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
