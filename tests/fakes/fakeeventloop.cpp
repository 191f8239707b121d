#include "fakeeventloop.h"

#include <algorithm>
#include <poll.h>
#include <vector>

namespace fakes {

void FakeEventLoop::RunPosted() {
    while (!posted_.empty()) {
        const std::function<void()> work = std::move(posted_.front());
        posted_.pop_front();
        work();
    }
}

void FakeEventLoop::ProcessEvents() {
    ++processEventsCalls;
    if (duringEvents)
        duringEvents();
    RunPosted();
    ServeWatches(std::chrono::milliseconds(0));
    RunPosted();
}

class FakeEventLoop::WatchHandle final : public host::Watch {
  public:
    WatchHandle(FakeEventLoop& loop, std::uint64_t id) : loop_(loop), id_(id) {}
    ~WatchHandle() override {
        loop_.sockets_.erase(id_);
        loop_.timers_.erase(id_);
    }

  private:
    FakeEventLoop& loop_;
    std::uint64_t id_;
};

std::unique_ptr<host::Watch> FakeEventLoop::WatchSocket(int socket, int events,
                                                        std::function<void(int)> ready) {
    sockets_[++lastWatch_] = {socket, events, std::move(ready)};
    return std::make_unique<WatchHandle>(*this, lastWatch_);
}

std::unique_ptr<host::Watch> FakeEventLoop::StartTimer(std::chrono::milliseconds delay,
                                                       std::function<void()> due) {
    timers_[++lastWatch_] = {Clock::now() + delay, std::move(due)};
    return std::make_unique<WatchHandle>(*this, lastWatch_);
}

// A callback may end any watch, its own included: each is looked up again
// before it runs.
void FakeEventLoop::ServeWatches(std::chrono::milliseconds wait) {
    for (const auto& [id, timer] : timers_)
        wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(
                                  std::max(timer.due - Clock::now(), Clock::duration::zero())));
    std::vector<pollfd> polled;
    std::vector<std::uint64_t> ids;
    for (const auto& [id, watch] : sockets_) {
        polled.push_back({watch.socket,
                          static_cast<short>(((watch.events & host::SocketReadable) ? POLLIN : 0) |
                                             ((watch.events & host::SocketWritable) ? POLLOUT : 0)),
                          0});
        ids.push_back(id);
    }
    poll(polled.data(), polled.size(), static_cast<int>(wait.count()));
    for (std::size_t i = 0; i < polled.size(); ++i) {
        const short got = polled[i].revents;
        const int ready = ((got & (POLLIN | POLLHUP | POLLERR)) ? host::SocketReadable : 0) |
                          ((got & (POLLOUT | POLLERR)) ? host::SocketWritable : 0);
        const auto watch = sockets_.find(ids[i]);
        if (ready != 0 && watch != sockets_.end()) {
            const auto callback = watch->second.ready;
            callback(ready);
        }
    }
    std::vector<std::uint64_t> due;
    for (const auto& [id, timer] : timers_)
        if (timer.due <= Clock::now())
            due.push_back(id);
    for (const std::uint64_t id : due) {
        const auto timer = timers_.find(id);
        if (timer == timers_.end())
            continue;
        const auto fire = std::move(timer->second.fire);
        timers_.erase(timer);
        fire();
    }
}

bool FakeEventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (true) {
        RunPosted();
        if (done())
            return true;
        if (Clock::now() >= end)
            return false;
        ServeWatches(std::chrono::milliseconds(50));
    }
}

} // namespace fakes
