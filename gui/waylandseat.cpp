#include "gui/waylandseat.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace gui {

namespace {

// The Wayland wire format: each message is the object, then its size and
// opcode in one word, then the arguments, all in the host's byte order.
constexpr std::uint32_t DisplayObject = 1;
constexpr std::uint32_t RegistryObject = 2;
constexpr std::uint32_t CallbackObject = 3;
constexpr std::uint32_t SyncRequest = 0;
constexpr std::uint32_t GetRegistryRequest = 1;
constexpr std::uint32_t GlobalEvent = 0;
constexpr auto AnswerTime = std::chrono::milliseconds(2000);

struct Socket {
    explicit Socket(int fd) : fd(fd) {}
    ~Socket() {
        if (fd >= 0)
            ::close(fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    const int fd;
};

std::string SocketPath() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name)
        return {};
    if (name[0] == '/')
        return name;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? std::string(runtime) + "/" + name : std::string();
}

} // namespace

std::optional<bool> WaylandCompositorHasSeat() {
    const std::string path = SocketPath();
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const Socket compositor(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (compositor.fd < 0 ||
        ::connect(compositor.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return std::nullopt;

    // The registry lists the globals; the sync's answer comes after them.
    const std::uint32_t requests[] = {
        DisplayObject, (12u << 16) | GetRegistryRequest, RegistryObject,
        DisplayObject, (12u << 16) | SyncRequest,        CallbackObject};
    if (::send(compositor.fd, requests, sizeof requests, MSG_NOSIGNAL) !=
        static_cast<ssize_t>(sizeof requests))
        return std::nullopt;

    std::vector<unsigned char> received;
    bool seat = false;
    const auto deadline = std::chrono::steady_clock::now() + AnswerTime;
    for (;;) {
        // Whole messages first.
        while (received.size() >= 8) {
            std::uint32_t header[2];
            std::memcpy(header, received.data(), sizeof header);
            const std::size_t size = header[1] >> 16;
            if (size < 8 || size % 4 != 0)
                return std::nullopt;
            if (received.size() < size)
                break;
            if (header[0] == CallbackObject)
                return seat;
            if (header[0] == RegistryObject && (header[1] & 0xffff) == GlobalEvent && size >= 16) {
                std::uint32_t length = 0;
                std::memcpy(&length, received.data() + 12, sizeof length);
                const char* name = reinterpret_cast<const char*>(received.data() + 16);
                seat |= length == sizeof "wl_seat" && 16 + length <= size &&
                        std::memcmp(name, "wl_seat", length) == 0;
            }
            received.erase(received.begin(), received.begin() + static_cast<long>(size));
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait{compositor.fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0)
            return std::nullopt;
        unsigned char buffer[4096];
        const ssize_t got = ::recv(compositor.fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return std::nullopt;
        received.insert(received.end(), buffer, buffer + got);
    }
}

} // namespace gui
