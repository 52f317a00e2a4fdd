// The tests' loopback HTTP client.
#include "LoopbackHttp.h"

#include <chrono>
#include <cctype>
#include <cstdlib>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

HttpReply parse(const std::string& raw) {
    HttpReply reply;
    reply.raw = raw;
    const auto headEnd = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.", 0) != 0 || headEnd == std::string::npos) return reply;
    reply.status = std::atoi(raw.c_str() + 9);
    std::size_t at = raw.find("\r\n") + 2;
    while (at < headEnd) {
        const std::size_t lineEnd = raw.find("\r\n", at);
        const std::string line = raw.substr(at, lineEnd - at);
        if (const auto colon = line.find(':'); colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::string value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            reply.headers[name] = value;
        }
        at = lineEnd + 2;
    }
    reply.body = raw.substr(headEnd + 4);
    return reply;
}

}  // namespace

int connectLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

HttpReply exchange(int port, const std::string& request, int timeoutMs) {
    const int fd = connectLoopback(port);
    if (fd < 0) return {};
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;  // the server may refuse before reading it all
        sent += static_cast<std::size_t>(n);
    }
    std::string raw;
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, msLeft(until)) <= 0) break;
        char buffer[8192];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        raw.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return parse(raw);
}

HttpReply request(int port, const std::string& method, const std::string& path, const std::string& token,
                  const std::string& body, const std::string& host) {
    std::string text = method + " " + path + " HTTP/1.1\r\nHost: " +
                       (host.empty() ? "127.0.0.1:" + std::to_string(port) : host) + "\r\nConnection: close\r\n";
    if (!token.empty()) text += "Authorization: Bearer " + token + "\r\n";
    if (!body.empty() || method == "POST") {
        text += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    }
    text += "\r\n" + body;
    return exchange(port, text);
}

EventStream::EventStream(int port, const std::string& path) : socket_(connectLoopback(port)) {
    const std::string text =
        "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nAccept: text/event-stream\r\n\r\n";
    if (socket_ >= 0) [[maybe_unused]] ssize_t n = ::send(socket_, text.data(), text.size(), MSG_NOSIGNAL);
}

EventStream::~EventStream() {
    if (socket_ >= 0) ::close(socket_);
}

bool EventStream::pump(int timeoutMs) {
    if (socket_ < 0) return false;
    pollfd ready{socket_, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0) return false;
    char buffer[8192];
    const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    raw_.append(buffer, static_cast<std::size_t>(n));
    if (!headDone_) {
        const auto headEnd = raw_.find("\r\n\r\n");
        if (headEnd == std::string::npos) return true;
        status_ = raw_.rfind("HTTP/1.", 0) == 0 ? std::atoi(raw_.c_str() + 9) : -1;
        raw_.erase(0, headEnd + 4);
        headDone_ = true;
    }
    // Chunks: a hexadecimal size, CR LF, the data, CR LF.
    for (;;) {
        const auto sizeEnd = raw_.find("\r\n");
        if (sizeEnd == std::string::npos) break;
        const std::size_t size = std::strtoul(raw_.c_str(), nullptr, 16);
        if (raw_.size() < sizeEnd + 2 + size + 2) break;
        text_.append(raw_, sizeEnd + 2, size);
        raw_.erase(0, sizeEnd + 2 + size + 2);
    }
    return true;
}

std::optional<std::string> EventStream::nextState(int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto start = text_.find("event: state\ndata: ", consumed_);
        if (start != std::string::npos) {
            const auto end = text_.find("\n\n", start);
            if (end != std::string::npos) {
                consumed_ = end + 2;
                const std::size_t dataAt = start + 19;
                return text_.substr(dataAt, end - dataAt);
            }
        }
        // Nothing more in time, or the stream ended.
        if (!pump(msLeft(until))) return std::nullopt;
    }
}

}  // namespace testsupport
