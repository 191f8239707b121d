#pragma once
// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C, a closed terminal) end the
// program the orderly way, as closing its windows does, not in the middle
// of whatever it was doing.

#include <QtGlobal>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace gui {

class TerminationSignals final {
  public:
    // `terminate` runs on the event loop after the first signal; a second one
    // ends the process at once.
    explicit TerminationSignals(std::function<void()> terminate);
    ~TerminationSignals();
    Q_DISABLE_COPY_MOVE(TerminationSignals)

  private:
    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> terminate_;
};

} // namespace gui
