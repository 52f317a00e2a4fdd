// Bounded reads and writes on one client's socket.
#include "remote/ConnectionStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace remote {

namespace {

using std::chrono::steady_clock;

/// The address and port of a socket name, an IPv4-mapped IPv6 address
/// written as the IPv4 address it is.
void describe(const sockaddr_storage& name, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (name.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(name);
        ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        port = ntohs(in.sin_port);
    } else if (name.ss_family == AF_INET6) {
        const auto& in = reinterpret_cast<const sockaddr_in6&>(name);
        if (IN6_IS_ADDR_V4MAPPED(&in.sin6_addr)) {
            ::inet_ntop(AF_INET, &in.sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            ::inet_ntop(AF_INET6, &in.sin6_addr, text, sizeof text);
        }
        port = ntohs(in.sin6_port);
    }
    ip = text;
}

/// poll() on one descriptor, restarted after signals; the revents or 0.
short pollOne(int fd, short events, int timeoutMs) {
    const auto giveUp = steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd entry{fd, events, 0};
        const int polled = ::poll(&entry, 1, timeoutMs);
        if (polled > 0) return entry.revents;
        if (polled == 0 || errno != EINTR) return 0;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - steady_clock::now()).count();
        timeoutMs = static_cast<int>(std::max<long long>(0, left));
    }
}

}  // namespace

ConnectionStream::ConnectionStream(int socket, const ConnectionLimits& limits)
    : socket_(socket), limits_(limits), deadline_(steady_clock::now() + limits.requestTimeout) {
    sockaddr_storage name{};
    socklen_t length = sizeof name;
    if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&name), &length) == 0) {
        describe(name, localAddress_, localPort_);
    }
}

bool ConnectionStream::isLoopback() const {
    return localAddress_ == "::1" || localAddress_.rfind("127.", 0) == 0;
}

int ConnectionStream::readWaitMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - steady_clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, limits_.requestTimeout.count()));
}

bool ConnectionStream::is_readable() const {
    if (begin_ < end_) return true;
    return (pollOne(socket_, POLLIN, readWaitMs()) & (POLLIN | POLLHUP | POLLERR)) != 0;
}

bool ConnectionStream::is_writable() const {
    return (pollOne(socket_, POLLOUT, static_cast<int>(limits_.writeTimeout.count())) & POLLOUT) != 0;
}

ssize_t ConnectionStream::read(char* ptr, size_t size) {
    if (begin_ == end_) {
        // Past its byte budget or its deadline a request is cut off: the
        // parser then answers 400 or drops the connection.
        if (budget_ == 0 || !is_readable()) return -1;
        ssize_t n = 0;
        do {
            n = ::recv(socket_, buffer_, std::min(sizeof buffer_, budget_), 0);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) return n;
        budget_ -= static_cast<std::size_t>(n);
        begin_ = 0;
        end_ = static_cast<std::size_t>(n);
    }
    const std::size_t taken = std::min(size, end_ - begin_);
    std::memcpy(ptr, buffer_ + begin_, taken);
    begin_ += taken;
    return static_cast<ssize_t>(taken);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
    if (!is_writable()) return -1;
    ssize_t n = 0;
    do {
        n = ::send(socket_, ptr, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage name{};
    socklen_t length = sizeof name;
    if (::getpeername(socket_, reinterpret_cast<sockaddr*>(&name), &length) == 0) describe(name, ip, port);
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
    ip = localAddress_;
    port = localPort_;
}

bool ConnectionStream::waitForRequest(const std::atomic<bool>& stopping) {
    if (begin_ < end_) return true;  // the next request came with the last one
    const auto giveUp = steady_clock::now() + limits_.idleTimeout;
    while (!stopping.load()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - steady_clock::now()).count();
        if (left <= 0) return false;
        // In slices, so that a stopping server does not wait for idle clients.
        const short events = pollOne(socket_, POLLIN, static_cast<int>(std::min<long long>(left, 100)));
        if ((events & (POLLHUP | POLLERR)) != 0) return false;
        if ((events & POLLIN) != 0) return true;
    }
    return false;
}

void ConnectionStream::beginRequest() {
    deadline_ = steady_clock::now() + limits_.requestTimeout;
    budget_ = limits_.maxRequestBytes;
}

bool ConnectionStream::peerGone() const {
    const short events = pollOne(socket_, POLLIN | POLLRDHUP, 0);
    if ((events & (POLLRDHUP | POLLHUP | POLLERR)) != 0) return true;
    if ((events & POLLIN) == 0) return false;
    // Readable: either data (a client may send more) or the end of its side.
    char probe = 0;
    const ssize_t n = ::recv(socket_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0;
}

}  // namespace remote
