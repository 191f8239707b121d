#pragma once
// An event loop without a display: posted work waits in a queue until the
// loop's next turn (ProcessEvents, RunUntil, or a driver of the fake
// windows), and sockets and timers are served with poll(2).

#include "host/eventloop.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>

namespace fakes {

class FakeEventLoop final : public host::EventLoop {
  public:
    // Runs inside ProcessEvents, standing for the events the user causes
    // meanwhile (nested handlers).
    std::function<void()> duringEvents;
    int processEventsCalls = 0;

    // Runs the posted work, and the work it posts, until none is left.
    void RunPosted();
    // Serves posted work, sockets and timers until `done` holds; false when
    // `limit` passed first.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(60));

    void ProcessEvents() override;
    void PostWork(std::function<void()> work) override { posted_.push_back(std::move(work)); }
    std::unique_ptr<host::Watch> WatchSocket(int socket, int events,
                                             std::function<void(int ready)> ready) override;
    std::unique_ptr<host::Watch> StartTimer(std::chrono::milliseconds delay,
                                            std::function<void()> due) override;

  private:
    using Clock = std::chrono::steady_clock;
    class WatchHandle;
    struct SocketWatch {
        int socket;
        int events;
        std::function<void(int)> ready;
    };
    struct Timer {
        Clock::time_point due;
        std::function<void()> fire;
    };
    void ServeWatches(std::chrono::milliseconds wait);

    std::deque<std::function<void()>> posted_;
    std::uint64_t lastWatch_ = 0;
    std::map<std::uint64_t, SocketWatch> sockets_;
    std::map<std::uint64_t, Timer> timers_;
};

} // namespace fakes
