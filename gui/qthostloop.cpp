// The Qt host's event loop: posted work, and the socket notifiers and timers
// that move the program's transfers.

#include "gui/qthost.h"

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <vector>

namespace gui {

namespace {

// The callback that ends a watch may be the watch's own: its objects go
// once control is back in the event loop, and hear nothing before that.
class QtWatch final : public host::Watch {
  public:
    ~QtWatch() override {
        for (const QPointer<QObject>& object : objects_) {
            if (!object)
                continue;
            object->disconnect();
            if (auto* notifier = qobject_cast<QSocketNotifier*>(object))
                notifier->setEnabled(false);
            if (auto* timer = qobject_cast<QTimer*>(object))
                timer->stop();
            object->deleteLater();
        }
    }

    void Own(QObject* object) { objects_.emplace_back(object); }

  private:
    std::vector<QPointer<QObject>> objects_;
};

} // namespace

std::unique_ptr<host::Watch> QtHost::WatchSocket(int socket, int events,
                                                 std::function<void(int ready)> ready) {
    auto watch = std::make_unique<QtWatch>();
    const auto notify = [&](QSocketNotifier::Type type, int event) {
        auto* notifier = new QSocketNotifier(socket, type);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [ready, event] { ready(event); });
        watch->Own(notifier);
    };
    if (events & host::SocketReadable)
        notify(QSocketNotifier::Read, host::SocketReadable);
    if (events & host::SocketWritable)
        notify(QSocketNotifier::Write, host::SocketWritable);
    return watch;
}

std::unique_ptr<host::Watch> QtHost::StartTimer(std::chrono::milliseconds delay,
                                                std::function<void()> due) {
    auto watch = std::make_unique<QtWatch>();
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, std::move(due));
    timer->start(delay);
    watch->Own(timer);
    return watch;
}

void QtHost::ProcessEvents() {
    QCoreApplication::processEvents();
    // Called from work that itself runs from a posted event (a menu item),
    // processEvents leaves the posted events waiting, and the browser's own
    // work with them: its page would stall for the whole wait.
    QCoreApplication::sendPostedEvents();
}

void QtHost::PostWork(std::function<void()> work) {
    // Run as a handler: a window it closes in a box's or menu's nested loop
    // waits until it has returned.
    QMetaObject::invokeMethod(
        application_.get(), [this, work = std::move(work)] { runner_.Run(work); },
        Qt::QueuedConnection);
}

} // namespace gui
