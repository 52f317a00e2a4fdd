// One client connection as cpp-httplib reads and writes it, with hard limits.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

namespace remote {

/// Limits of one connection, whatever the client does.
struct ConnectionLimits {
    /// The whole head and body of a request must arrive within this time.
    std::chrono::milliseconds requestTimeout{3000};
    /// Waiting for the next request on a kept-alive connection.
    std::chrono::milliseconds idleTimeout{5000};
    /// A write that cannot go on for this long drops the connection.
    std::chrono::milliseconds writeTimeout{5000};
    /// Bytes read for one request, head and body together.
    std::size_t maxRequestBytes = 16384;
};

/// A connected socket as a cpp-httplib Stream: reads are buffered, bounded in
/// bytes per request and by the request's deadline, so a slow or endless
/// request fails instead of holding its thread; writes give up after the
/// write timeout. Owns nothing: the socket is closed by the caller. Used by
/// the one thread that serves the connection.
class ConnectionStream final : public httplib::Stream {
public:
    ConnectionStream(int socket, const ConnectionLimits& limits);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return socket_; }

    /// Waits up to the idle timeout for the next request to begin; false when
    /// none comes, the client left, or `stopping` was set meanwhile.
    bool waitForRequest(const std::atomic<bool>& stopping);
    /// A request begins: its deadline and byte budget start now.
    void beginRequest();
    /// True once the client has closed its side or the connection broke
    /// (for a long response such as an event stream). Never waits.
    bool peerGone() const;

    /// This connection's own address, as a Host header would name it
    /// (an IPv4 address reached through an IPv6 socket without its prefix).
    const std::string& localAddress() const { return localAddress_; }
    int localPort() const { return localPort_; }
    bool isLoopback() const;

private:
    /// Milliseconds a read may still wait: the request's deadline.
    int readWaitMs() const;

    int socket_;
    ConnectionLimits limits_;
    std::chrono::steady_clock::time_point deadline_;
    std::size_t budget_ = 0;
    mutable char buffer_[4096];
    mutable std::size_t begin_ = 0;
    mutable std::size_t end_ = 0;
    std::string localAddress_;
    int localPort_ = 0;
};

}  // namespace remote
