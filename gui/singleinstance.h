#pragma once
// One running program per user. The first start holds a lock in a folder
// private to the user and listens on a local socket beside it; a later start
// asks it to bring its window forward and ends.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <memory>

class QObject;
class QSocketNotifier;

namespace gui {

enum class InstanceClaim {
    Claimed,    // this process is the user's instance
    HandedOver, // the running instance brought its window forward
    NoAnswer,   // an instance runs but did not answer
    NoLock,     // no lock could be had: starting would risk a second instance
};

class SingleInstance final {
  public:
    // `folders`, in order of preference, must be private to the user (their
    // runtime folder, then the folder of the browser profile): other users
    // then never see the lock or the socket. The lock is taken in the first
    // where it can be; an empty entry stands for a folder that is missing.
    explicit SingleInstance(QStringList folders);
    ~SingleInstance();
    Q_DISABLE_COPY_MOVE(SingleInstance)

    // Once claimed, `comeForward` runs on the event loop for every later
    // start, with the activation token the desktop gave that start (Wayland's
    // XDG_ACTIVATION_TOKEN; empty when none); false (the program is closing)
    // lets that start wait for this process to end and then run on its own.
    InstanceClaim Claim(std::function<bool(const QByteArray& activationToken)> comeForward);
    // For the time after the event loop, when nothing would answer.
    void StopAnswering();

  private:
    enum class Lock { Taken, Held, Unavailable };
    Lock TakeLock();
    bool AskRunningInstance() const;
    void Listen();
    void Accept();
    void Serve(int connection);

    QStringList folders_;
    QString refusals_; // why each folder could not hold the lock
    QString socketPath_;
    int lock_ = -1;
    int listener_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QObject> clients_; // parent of the connections being served
    std::function<bool(const QByteArray&)> comeForward_;
};

} // namespace gui
