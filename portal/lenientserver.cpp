#include "portal/lenientserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace portal {

void RequestLineMender::Put(char c, std::string& out) {
    switch (part_) {
    case Part::Method:
        if (c == ' ')
            part_ = Part::Path;
        else if (c == '\n')
            part_ = Part::Rest;
        break;
    case Part::Path:
        if (c == '?')
            part_ = Part::Query;
        else if (c == ' ' || c == '\n')
            part_ = Part::Rest;
        break;
    case Part::Query:
        if (c == ' ' || c == '\n') {
            part_ = Part::Rest;
        } else if (c == '&') {
            parameterHasEquals_ = false;
        } else if (c == '?') {
            out += "%3F";
            return;
        } else if (c == '=') {
            if (parameterHasEquals_) {
                out += "%3D";
                return;
            }
            parameterHasEquals_ = true;
        }
        break;
    case Part::Rest:
        break;
    }
    out += c;
}

std::string MendRequestLine(std::string_view line) {
    RequestLineMender mender;
    std::string out;
    for (char c : line)
        mender.Put(c, out);
    return out;
}

namespace {

int Milliseconds(time_t seconds, time_t microseconds) {
    return int(seconds * 1000 + microseconds / 1000);
}

bool WaitFor(int sock, short events, int timeoutMs) {
    pollfd entry{sock, events, 0};
    int ready;
    do
        ready = ::poll(&entry, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void AddressOf(const sockaddr_storage& address, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

// A connection whose incoming request line passes through the mender.
class MendingStream final : public httplib::Stream {
  public:
    MendingStream(int sock, int readTimeoutMs, int writeTimeoutMs)
        : sock_(sock), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs) {}

    bool is_readable() const override {
        return next_ < buffer_.size() || WaitFor(sock_, POLLIN, readTimeoutMs_);
    }
    bool is_writable() const override { return WaitFor(sock_, POLLOUT, writeTimeoutMs_); }

    ssize_t read(char* ptr, size_t size) override {
        if (next_ == buffer_.size()) {
            if (!is_readable())
                return -1;
            char raw[4096];
            ssize_t received;
            do
                received = ::recv(sock_, raw, sizeof raw, 0);
            while (received < 0 && errno == EINTR);
            if (received <= 0)
                return received;
            buffer_.clear();
            next_ = 0;
            for (ssize_t i = 0; i < received; ++i)
                mender_.Put(raw[i], buffer_);
        }
        const size_t count = std::min(size, buffer_.size() - next_);
        std::memcpy(ptr, buffer_.data() + next_, count);
        next_ += count;
        return ssize_t(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable())
            return -1;
        ssize_t sent;
        do
            sent = ::send(sock_, ptr, size, MSG_NOSIGNAL);
        while (sent < 0 && errno == EINTR);
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            AddressOf(address, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            AddressOf(address, ip, port);
    }
    socket_t socket() const override { return sock_; }

  private:
    int sock_;
    int readTimeoutMs_;
    int writeTimeoutMs_;
    RequestLineMender mender_;
    std::string buffer_; // received bytes, mended, from next_ on not yet read
    size_t next_ = 0;
};

} // namespace

bool LenientServer::process_and_close_socket(socket_t sock) {
    bool served;
    {
        MendingStream stream(sock, Milliseconds(read_timeout_sec_, read_timeout_usec_),
                             Milliseconds(write_timeout_sec_, write_timeout_usec_));
        bool closed = false;
        served = process_request(stream, true, closed, nullptr);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return served;
}

} // namespace portal
