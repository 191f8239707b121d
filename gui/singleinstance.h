#pragma once
// One running program per user. The first start holds a lock in the user's
// runtime folder and listens on a local socket beside it; a later start asks
// it to bring its window forward and ends.

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class QLocalServer;

namespace gui {

enum class InstanceClaim {
    Claimed,    // this process is the user's instance
    HandedOver, // the running instance brought its window forward
    NoAnswer,   // an instance runs but did not answer
};

class SingleInstance final {
  public:
    // `folder` must be private to the user (their runtime folder): other
    // users then never see the lock or the socket.
    explicit SingleInstance(const QString& folder);
    ~SingleInstance();
    Q_DISABLE_COPY_MOVE(SingleInstance)

    // Once claimed, `comeForward` runs on the event loop for every later
    // start; false (the program is closing) lets that start wait for this
    // process to end and then run on its own.
    InstanceClaim Claim(std::function<bool()> comeForward);
    // For the time after the event loop, when nothing would answer.
    void StopAnswering();

  private:
    enum class Lock { Taken, Held, Unavailable };
    Lock TakeLock();
    bool AskRunningInstance() const;
    void Listen();

    QString lockPath_;
    QString socketPath_;
    int lock_ = -1;
    std::unique_ptr<QLocalServer> server_;
    std::function<bool()> comeForward_;
};

} // namespace gui
