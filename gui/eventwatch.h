#pragma once
// The event loop's watches on Qt: socket notifiers and single-shot timers
// for the transfers the application starts without waiting.

#include "host/host.h"

#include <chrono>
#include <functional>
#include <memory>

namespace gui {

std::unique_ptr<host::Watch> WatchSocket(int socket, int events,
                                         std::function<void(int ready)> ready);
std::unique_ptr<host::Watch> StartTimer(std::chrono::milliseconds delay, std::function<void()> due);

} // namespace gui
