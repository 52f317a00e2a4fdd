// The remote control's server in-process: tokens, addresses, the event
// stream's pace, commands nobody takes, and clients that misbehave.
#include "LoopbackHttp.h"
#include "TestFiles.h"
#include "remote/CommandQueue.h"
#include "remote/ListenAddress.h"
#include "remote/QrCode.h"
#include "remote/RemoteServer.h"
#include "remote/StateBoard.h"
#include "remote/Token.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using testsupport::TempFolder;

TEST(RemoteToken, AFileIsMadePrivateWithAFreshTokenAndReadBackUnlessItIsUnsafeOrMalformed) {
    TempFolder dir;
    const std::string path = dir.file("token");
    std::string error;
    const std::optional<std::string> made = remote::tokenFromFile(path, error);
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(made->size(), 32u) << "128 bits as hex";
    EXPECT_EQ(made->find_first_not_of("0123456789abcdef"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(remote::tokenFromFile(path, error), made) << "the next run reads the same token";
    EXPECT_NE(remote::makeToken(), remote::makeToken());

    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_FALSE(remote::tokenFromFile(path, error));
    EXPECT_NE(error.find("chmod 600"), std::string::npos) << error;

    dir.write("short", "abc\n");
    ::chmod(dir.file("short").c_str(), 0600);
    EXPECT_FALSE(remote::tokenFromFile(dir.file("short"), error));
    dir.write("spaced", "token with spaces in it\n");
    ::chmod(dir.file("spaced").c_str(), 0600);
    EXPECT_FALSE(remote::tokenFromFile(dir.file("spaced"), error));
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(remote::tokenFromFile(dir.file("fifo"), error)) << "refused at once, never waited on";
    EXPECT_FALSE(remote::tokenFromFile(dir.file("missing/token"), error));

    EXPECT_TRUE(remote::sameToken("0123456789abcdef", "0123456789abcdef"));
    EXPECT_FALSE(remote::sameToken("0123456789abcdeF", "0123456789abcdef"));
    EXPECT_FALSE(remote::sameToken("0123456789abcde", "0123456789abcdef"));
    EXPECT_FALSE(remote::sameToken("0123456789abcdef0", "0123456789abcdef"));
    EXPECT_FALSE(remote::sameToken("", "0123456789abcdef"));
}

TEST(RemoteAddress, PortAloneIsLoopbackAndOnlyAddressesOfThisMachineAreTaken) {
    std::string error;
    auto parsed = [&](const char* text) { return remote::parseListenAddress(text, error); };
    ASSERT_TRUE(parsed("8080"));
    EXPECT_EQ(parsed("8080")->host, "127.0.0.1");
    EXPECT_EQ(parsed("8080")->port, 8080);
    EXPECT_EQ(parsed("0.0.0.0:80")->host, "0.0.0.0");
    EXPECT_TRUE(parsed("0.0.0.0:80")->isWildcard());
    EXPECT_EQ(parsed("[::1]:9000")->host, "::1");
    EXPECT_EQ(parsed("localhost:9000")->host, "127.0.0.1");
    EXPECT_EQ(remote::hostAndPort("::1", 9000), "[::1]:9000");
    for (const char* bad : {"", "65536", "-1", "80x", "example.com:80", "::1:80", "[127.0.0.1]:80", "1.2.3:80", ":"}) {
        EXPECT_FALSE(parsed(bad)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_EQ(remote::reachableHosts(*parsed("127.0.0.1:1")), std::vector<std::string>{"127.0.0.1"});
}

/// The modules the half blocks draw: true for light, row by row.
std::vector<std::vector<bool>> modulesOf(const std::vector<std::string>& lines) {
    std::vector<std::vector<bool>> rows;
    for (const std::string& line : lines) {
        std::vector<bool> top;
        std::vector<bool> bottom;
        for (std::size_t i = 0; i < line.size();) {
            const std::string_view rest(line.data() + i, line.size() - i);
            bool upper = false;
            bool lower = false;
            if (rest.starts_with("\u2588")) upper = lower = true;
            else if (rest.starts_with("\u2580")) upper = true;
            else if (rest.starts_with("\u2584")) lower = true;
            i += rest.front() == ' ' ? 1 : 3;
            top.push_back(upper);
            bottom.push_back(lower);
        }
        rows.push_back(top);
        rows.push_back(bottom);
    }
    return rows;
}

TEST(RemoteHelp, TheQrCodeIsDrawnLightOnDarkWithItsFinderPatternsInThreeCorners) {
    const std::vector<std::string> lines = remote::qrCodeLines("http://192.168.1.20:8080/#token=0123456789abcdef0123456789abcdef");
    ASSERT_FALSE(lines.empty());
    const std::vector<std::vector<bool>> light = modulesOf(lines);
    const std::size_t size = light[0].size();
    ASSERT_GE(light.size(), size) << "square, with a blank half row at the end";
    ASSERT_EQ((size - 4 - 21) % 4, 0u) << "a QR version's width plus the quiet zone";
    // A finder pattern: a dark 7x7 ring, a light ring, a dark 3x3 core, with
    // the quiet zone of two light modules around the symbol.
    auto finderAt = [&](std::size_t top, std::size_t left) {
        for (std::size_t y = 0; y < 7; ++y) {
            for (std::size_t x = 0; x < 7; ++x) {
                const bool ring = y == 0 || y == 6 || x == 0 || x == 6;
                const bool core = y >= 2 && y <= 4 && x >= 2 && x <= 4;
                if (light[top + y][left + x] != !(ring || core)) return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(finderAt(2, 2));
    EXPECT_TRUE(finderAt(2, size - 9));
    EXPECT_TRUE(finderAt(size - 9, 2));
    EXPECT_FALSE(finderAt(size - 9, size - 9)) << "the fourth corner has none";
    for (std::size_t x = 0; x < size; ++x) EXPECT_TRUE(light[0][x] && light[1][x]) << "quiet zone";

    const std::vector<std::string> help = remote::remoteHelpLines({"http://a:1/#token=x", "http://b:1/#token=x"});
    EXPECT_NE(help[3].find("http://a:1/"), std::string::npos);
    EXPECT_NE(help[4].find("http://b:1/"), std::string::npos);
    EXPECT_TRUE(remote::remoteHelpLines({}).empty());
}

/// A server on a free loopback port with nobody in the main loop's place.
struct ServerOnLoopback {
    explicit ServerOnLoopback(remote::ServerConfig config = {}) {
        config.address.host = "127.0.0.1";
        config.address.port = 0;
        config.token = token;
        config.listAdventures = [] { return std::vector<std::string>{"story.xml"}; };
        server = std::make_unique<remote::RemoteServer>(config, commands, board);
        std::string error;
        if (!server->start(error)) throw std::runtime_error(error);
    }
    int port() const { return server->port(); }

    const std::string token = "0123456789abcdef0123456789abcdef";
    remote::CommandQueue commands;
    remote::StateBoard board;
    std::unique_ptr<remote::RemoteServer> server;
};

TEST(RemoteServer, EventsComeAtMostOncePerIntervalAndTheLastStateAlwaysArrives) {
    ServerOnLoopback remote;
    testsupport::EventStream stream(remote.port(), "/api/events?token=" + remote.token);
    ASSERT_TRUE(stream.nextState(2000)) << "the current state at once";
    EXPECT_EQ(stream.status(), 200);

    // 100 changes within about 100 ms: far more than one per 20 ms.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 1; i <= 100; ++i) {
        remote::StateSnapshot state;
        state.channels = i;
        remote.board.publish(state);
        std::this_thread::sleep_for(1ms);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::vector<std::string> events;
    while (std::optional<std::string> event = stream.nextState(300)) events.push_back(*event);
    ASSERT_FALSE(events.empty());
    EXPECT_NE(events.back().find("\"channels\":100,"), std::string::npos) << events.back();
    const auto allowed = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 20 + 2;
    EXPECT_LE(static_cast<long>(events.size()), allowed) << "events folded into the newest state";
}

TEST(RemoteServer, ACommandNobodyTakesIsWithdrawnAndAnswered503) {
    remote::ServerConfig config;
    config.commandTimeout = 150ms;
    ServerOnLoopback remote(config);
    const testsupport::HttpReply reply = testsupport::request(remote.port(), "POST", "/api/key", remote.token, R"({"key":"b"})");
    EXPECT_EQ(reply.status, 503) << reply.raw;
    EXPECT_FALSE(remote.commands.nextArrival()) << "it must never act after its caller was told it did not";
    EXPECT_FALSE(remote.commands.take());
}

TEST(RemoteServer, ConnectionsBeyondTheLimitAndSlowOrEndlessRequestsAreRefusedWithoutHoldingTheRest) {
    remote::ServerConfig config;
    config.maxConnections = 4;
    config.requestTimeout = 300ms;
    config.idleTimeout = 5s;
    ServerOnLoopback remote(config);
    const int port = remote.port();
    auto stateStatus = [&] { return testsupport::request(port, "GET", "/api/state", remote.token).status; };

    // Four clients that connect and say nothing hold every connection...
    std::vector<int> idle;
    for (int i = 0; i < 4; ++i) idle.push_back(testsupport::connectLoopback(port));
    std::this_thread::sleep_for(50ms);
    const testsupport::HttpReply refused = testsupport::request(port, "GET", "/api/state", remote.token);
    EXPECT_TRUE(refused.status == 503 || refused.status == 0) << refused.raw;
    EXPECT_EQ(refused.headers.count("access-control-allow-origin"), 0u);
    // ...until they leave.
    for (int fd : idle) ::close(fd);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(stateStatus(), 200);

    // A request that never ends its head is cut off after the request timeout.
    const int slow = testsupport::connectLoopback(port);
    const std::string partial = "GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    ASSERT_EQ(::send(slow, partial.data(), partial.size(), MSG_NOSIGNAL), static_cast<ssize_t>(partial.size()));
    EXPECT_EQ(stateStatus(), 200) << "others are served meanwhile";
    const auto start = std::chrono::steady_clock::now();
    char byte = 0;
    while (::recv(slow, &byte, 1, 0) > 0) {
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the slow request was dropped in time";
    ::close(slow);

    // Headers without end: refused once they pass the request's byte budget.
    std::string endless = "GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    for (int i = 0; i < 2000; ++i) endless += "X-Filler-" + std::to_string(i) + ": " + std::string(20, 'x') + "\r\n";
    endless += "\r\n";
    const testsupport::HttpReply flood = testsupport::exchange(port, endless, 3000);
    EXPECT_NE(flood.status, 200) << "a head larger than the budget is not served";
    EXPECT_EQ(stateStatus(), 200);
}

}  // namespace
