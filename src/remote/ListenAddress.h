// Where the remote control listens, as given on the command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace remote {

/// An IP address (literal) and a port; port 0 asks the system for a free one.
struct ListenAddress {
    std::string host = "127.0.0.1";  ///< without brackets
    int port = 0;

    bool isIpv6() const { return host.find(':') != std::string::npos; }
    /// True for 0.0.0.0 and ::, which listen on every interface.
    bool isWildcard() const;
};

/// Parses "[ADDRESS:]PORT": PORT alone listens on 127.0.0.1; ADDRESS is an
/// IPv4 address, an IPv6 address in brackets ("[::1]:8080") or "localhost";
/// PORT is 0 to 65535. Nothing and a message saying why for anything else
/// (host names are refused: the address must be one of this machine's).
std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error);

/// "HOST:PORT" as it appears in a URL and a Host header ("[::1]:8080").
std::string hostAndPort(const std::string& host, int port);

/// The hosts a browser can use to reach `address`: the address itself, or,
/// for a wildcard, this machine's non-loopback addresses (IPv4 first; IPv6
/// only when listening on ::), or 127.0.0.1 when it has none.
std::vector<std::string> reachableHosts(const ListenAddress& address);

}  // namespace remote
