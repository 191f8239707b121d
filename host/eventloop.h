#pragma once
// The event loop as the application's asynchronous work sees it: work posted
// for the next turn, and the sockets and moments a transfer waits on.

#include <chrono>
#include <functional>
#include <memory>

namespace host {

// A socket or a moment the event loop watches for asynchronous work; the
// watch ends, and its callback never runs again, when this is destroyed.
class Watch {
  public:
    virtual ~Watch() = default;
};

enum SocketEvent : int { SocketReadable = 1, SocketWritable = 2 };

class EventLoop {
  public:
    virtual ~EventLoop() = default;

    // Dispatches what is waiting in the event queue and returns; handlers may
    // run nested inside it.
    virtual void ProcessEvents() = 0;
    // Runs `work` from the event loop once the running handler has returned:
    // at the next turn of the message loop, or of a ProcessEvents or a box's
    // loop that comes first. What an engine's signal asks for is answered at
    // once; the work it leads to goes here.
    virtual void PostWork(std::function<void()> work) = 0;
    // Calls `ready` from the event loop, with the SocketEvent bits that hold,
    // whenever `socket` becomes readable or writable as `events` asks.
    virtual std::unique_ptr<Watch> WatchSocket(int socket, int events,
                                               std::function<void(int ready)> ready) = 0;
    // Calls `due` once from the event loop after `delay`.
    virtual std::unique_ptr<Watch> StartTimer(std::chrono::milliseconds delay,
                                              std::function<void()> due) = 0;
};

} // namespace host
