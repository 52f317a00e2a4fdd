// Parsing the listening address and finding the machine's own addresses.
#include "remote/ListenAddress.h"

#include <charconv>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace remote {

namespace {

bool isIpv4(const std::string& text) {
    in_addr address{};
    return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool isIpv6(const std::string& text) {
    in6_addr address{};
    return ::inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

}  // namespace

bool ListenAddress::isWildcard() const {
    if (isIpv6()) {
        in6_addr address{};
        return ::inet_pton(AF_INET6, host.c_str(), &address) == 1 && IN6_IS_ADDR_UNSPECIFIED(&address);
    }
    return host == "0.0.0.0";
}

std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error) {
    ListenAddress result;
    std::string_view portText = text;
    if (auto colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            result.host = std::string(host.substr(1, host.size() - 2));
            if (!isIpv6(result.host)) {
                error = "'" + result.host + "' is not an IPv6 address";
                return std::nullopt;
            }
        } else if (host == "localhost") {
            result.host = "127.0.0.1";
        } else {
            result.host = std::string(host);
            if (!isIpv4(result.host)) {
                error = isIpv6(result.host) ? "write an IPv6 address in brackets, as [" + result.host + "]:PORT"
                                            : "'" + result.host + "' is not an IP address of this machine (give one "
                                                                  "such as 127.0.0.1, 192.168.1.20 or 0.0.0.0)";
                return std::nullopt;
            }
        }
    }
    int port = -1;
    const char* end = portText.data() + portText.size();
    auto [at, problem] = std::from_chars(portText.data(), end, port);
    if (portText.empty() || problem != std::errc() || at != end || port < 0 || port > 65535) {
        error = "'" + std::string(portText) + "' is not a port (0 to 65535)";
        return std::nullopt;
    }
    result.port = port;
    return result;
}

std::string hostAndPort(const std::string& host, int port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::vector<std::string> reachableHosts(const ListenAddress& address) {
    if (!address.isWildcard()) return {address.host};
    std::vector<std::string> v4;
    std::vector<std::string> v6;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
            if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
                continue;
            }
            char text[INET6_ADDRSTRLEN] = {};
            if (entry->ifa_addr->sa_family == AF_INET) {
                const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
                if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) v4.emplace_back(text);
            } else if (entry->ifa_addr->sa_family == AF_INET6 && address.isIpv6()) {
                const auto* in = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
                // Link-local addresses need a zone that no browser bar takes.
                if (IN6_IS_ADDR_LINKLOCAL(&in->sin6_addr)) continue;
                if (::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text) != nullptr) v6.emplace_back(text);
            }
        }
        ::freeifaddrs(list);
    }
    v4.insert(v4.end(), v6.begin(), v6.end());
    if (v4.empty()) v4.emplace_back(address.isIpv6() ? "::1" : "127.0.0.1");
    return v4;
}

}  // namespace remote
