#include "gui/singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

SingleInstance::SingleInstance(const QString& folder)
    : lockPath_(QDir(folder).filePath(QStringLiteral("lodestone.lock"))),
      socketPath_(QDir(folder).filePath(QStringLiteral("lodestone.socket"))) {}

SingleInstance::~SingleInstance() {
    if (server_)
        server_->close(); // removes the socket
    if (lock_ >= 0)
        ::close(lock_);
}

// The kernel drops the lock with its holder, so a crashed instance never
// leaves a lock behind; close-on-exec keeps it out of child processes.
bool SingleInstance::TakeLock() {
    if (lock_ < 0)
        lock_ =
            ::open(QFile::encodeName(lockPath_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return lock_ >= 0 && ::flock(lock_, LOCK_EX | LOCK_NB) == 0;
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
    if (lock_ < 0)
        return;
    // A socket left by a crashed instance would refuse the name.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_)) {
        std::fprintf(stderr,
                     "lodestone: cannot listen on %s, so a second start opens a second "
                     "window\n",
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
                if (client->read(Request.size()) == Request) {
                    comeForward_();
                    client->write(Answer.data(), Answer.size());
                }
                client->disconnectFromServer();
            });
        }
    });
}

InstanceClaim SingleInstance::Claim(std::function<void()> comeForward) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (TakeLock() || lock_ < 0) {
            if (lock_ < 0)
                std::fprintf(stderr,
                             "lodestone: cannot create %s, so a second start opens a "
                             "second window\n",
                             QFile::encodeName(lockPath_).constData());
            comeForward_ = std::move(comeForward);
            Listen();
            return InstanceClaim::Claimed;
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
