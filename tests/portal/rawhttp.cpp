#include "rawhttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace portaltest {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

} // namespace

std::string HttpReply::Header(std::string_view name) const {
    const std::string lowerHead = Lower(head);
    const std::string key = "\r\n" + Lower(name) + ":";
    const std::size_t at = lowerHead.find(key);
    if (at == std::string::npos)
        return {};
    const std::size_t start = head.find_first_not_of(' ', at + key.size());
    return head.substr(start, head.find("\r\n", start) - start);
}

Connection::Connection(const std::string& site) {
    const std::size_t colon = site.rfind(':');
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(std::stoi(site.substr(colon + 1))));
    inet_pton(AF_INET, site.substr(0, colon).c_str(), &address.sin_addr);
    sock_ = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{30, 0}; // a hung server fails the test instead of hanging it
    setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(sock_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(sock_);
        sock_ = -1;
    }
}

Connection::~Connection() {
    if (sock_ >= 0)
        ::close(sock_);
}

bool Connection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(sock_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(std::size_t(sent));
    }
    return true;
}

std::string Connection::Receive(std::size_t limit) {
    std::string received;
    char buffer[8192];
    while (received.size() < limit) {
        const ssize_t count =
            ::recv(sock_, buffer, std::min(sizeof buffer, limit - received.size()), 0);
        if (count <= 0)
            break;
        received.append(buffer, std::size_t(count));
    }
    return received;
}

HttpReply ParseReply(const std::string& raw) {
    HttpReply reply;
    const std::size_t end = raw.find("\r\n\r\n");
    if (!raw.starts_with("HTTP/1.1 ") || end == std::string::npos)
        return reply;
    reply.status = std::stoi(raw.substr(9, 3));
    reply.head = raw.substr(0, end + 2);
    reply.body = raw.substr(end + 4);
    return reply;
}

HttpReply Exchange(const std::string& site, std::string_view request) {
    Connection connection(site);
    if (!connection.Send(request))
        return {};
    return ParseReply(connection.Receive());
}

HttpReply Get(const std::string& site, std::string_view target) {
    return Exchange(site, "GET " + std::string(target) + " HTTP/1.1\r\nHost: " + site + "\r\n\r\n");
}

} // namespace portaltest
