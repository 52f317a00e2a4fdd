// The remote control through the real player: a pseudo-terminal for the
// keyboard and the screen, its API on a free loopback port.
#include "LoopbackHttp.h"
#include "PlayerInPty.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::PlayerInPty;
using nlohmann::json;
using testsupport::HttpReply;
using testsupport::TempFolder;

/// The player with --remote on a port the system picks, and what it printed.
struct RemotePlayer {
    explicit RemotePlayer(const fs::path& folder, std::vector<std::string> extra = {})
        : player(folder, false, {}, arguments(std::move(extra))) {
        std::smatch found;
        const std::regex address(R"(remote control on http://127\.0\.0\.1:(\d+)/#token=([0-9a-f]+))");
        const bool printed = player.readUntil([&](const std::string& out) { return std::regex_search(out, found, address); });
        if (!printed) throw std::runtime_error("no address printed: " + player.output());
        port = std::stoi(found[1]);
        token = found[2];
        player.readUntil([](const std::string& out) { return out.find("channels active") != std::string::npos; });
    }
    static std::vector<std::string> arguments(std::vector<std::string> extra) {
        std::vector<std::string> all{"--remote", "127.0.0.1:0"};
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    }

    HttpReply get(const std::string& path) { return testsupport::request(port, "GET", path, token); }
    HttpReply post(const std::string& path, const std::string& body) {
        return testsupport::request(port, "POST", path, token, body);
    }
    /// Posts and expects the new state.
    json posted(const std::string& path, const json& body) {
        const HttpReply reply = post(path, body.dump());
        EXPECT_EQ(reply.status, 200) << path << " " << body.dump() << ": " << reply.raw;
        return json::parse(reply.body, nullptr, false);
    }
    bool screenShows(const std::string& part) {
        return player.readUntil([&](const std::string&) { return player.screen().find(part) != std::string::npos; });
    }
    void quit() {
        player.type("\x1b");
        const int status = player.waitForExit();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << player.output();
    }

    PlayerInPty player;
    int port = 0;
    std::string token;
};

std::size_t currentScene(const json& state) {
    for (const json& scene : state["scenes"]) {
        if (scene["current"].get<bool>()) return scene["index"].get<std::size_t>();
    }
    return 99;
}

json element(const json& state, const std::string& name) {
    for (const json& entry : state["elements"]) {
        if (entry["name"] == name) return entry;
    }
    return nullptr;
}

void writeStory(const TempFolder& dir) {
    testsupport::writeSine(dir.path() / "sounds/rain.wav", 3000, 8000);
    dir.write("adventures/story.xml", R"(<story>
        <scene name="Forest" key="F">
            <sound name="Rain" key="r" src="rain.wav" loopCount="-1" fadeOut="2000"/>
            <seq name="Tunes" key="m"><sound src="rain.wav"/><sound src="rain.wav"/></seq>
        </scene>
        <scene name="Tavern" key="T"><sound name="Fire" key="f" src="rain.wav"/></scene>
        <scene name="Cellar" key="C"/>
    </story>)");
}

TEST(RemoteEndToEnd, EveryRouteActsAsTheKeyboardDoesAndTheScreenFollows) {
    TempFolder dir;
    writeStory(dir);
    dir.write("adventures/broken.xml", "<story><scene>");
    dir.write("adventures/notes.txt", "not an adventure");
    fs::create_directories(dir.path() / "adventures/folder.xml");
    RemotePlayer remote(dir.path());

    const HttpReply page = testsupport::request(remote.port, "GET", "/");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.headers.at("content-type"), "text/html; charset=utf-8");
    EXPECT_NE(page.body.find("<title>gloam</title>"), std::string::npos);
    EXPECT_NE(page.headers.at("content-security-policy").find("connect-src 'self'"), std::string::npos);

    json state = json::parse(remote.get("/api/state").body);
    EXPECT_EQ(state, json::parse(R"({"adventure":null,"scenes":[],"elements":[],"channels":0,"volume":1.0})"));
    const json listed = json::parse(remote.get("/api/adventures").body)["adventures"];
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), (std::set<std::string>{"story.xml", "broken.xml"}))
        << "what the chooser lists";

    state = remote.posted("/api/load", {{"file", "story.xml"}});
    EXPECT_EQ(state["adventure"], "story.xml");
    EXPECT_EQ(state["scenes"][0], json::parse(R"({"index":0,"name":"Forest","key":"F","current":true})"));
    EXPECT_EQ(state["elements"].size(), 2u);
    EXPECT_EQ(state["elements"][0]["key"], "m") << "the status screen's order: by key code";
    EXPECT_TRUE(remote.screenShows(">Forest<"));

    state = remote.posted("/api/key", {{"key", "r"}});
    EXPECT_EQ(element(state, "Rain")["state"], "playing");
    EXPECT_GE(state["channels"].get<int>(), 0);
    EXPECT_TRUE(remote.screenShows(" (r P) Rain"));
    state = remote.posted("/api/key", {{"key", "fadeall"}});
    EXPECT_EQ(element(state, "Rain")["fading"], true) << state.dump();
    EXPECT_TRUE(remote.screenShows(" (r F) Rain"));

    state = remote.posted("/api/key", {{"key", "right"}});
    EXPECT_EQ(currentScene(state), 1u);
    EXPECT_TRUE(remote.screenShows(">Tavern<"));
    EXPECT_EQ(currentScene(remote.posted("/api/key", {{"key", "C"}})), 2u);
    EXPECT_EQ(currentScene(remote.posted("/api/key", {{"key", "left"}})), 1u);
    for (const char* nothing : {"up", "down", "space", "z"}) {
        EXPECT_EQ(currentScene(remote.posted("/api/key", {{"key", nothing}})), 1u) << nothing;
    }
    state = remote.posted("/api/volume", {{"volume", 0.25}});
    EXPECT_EQ(state["volume"], 0.25);
    EXPECT_EQ(json::parse(remote.get("/api/state").body), state);

    // Its help screen gives the address and a code to scan; any key goes back.
    remote.player.type("?");
    EXPECT_TRUE(remote.screenShows("http://127.0.0.1:" + std::to_string(remote.port) + "/#token=" + remote.token));
    EXPECT_NE(remote.player.screen().find("\u2588\u2588\u2588"), std::string::npos) << remote.player.screen();
    remote.player.type("x");
    EXPECT_TRUE(remote.screenShows(">Tavern<"));
    remote.quit();
}

TEST(RemoteEndToEnd, RefusedRequestsChangeNothingAndSayWhy) {
    TempFolder dir;
    writeStory(dir);
    dir.write("adventures/broken.xml", "<story><scene>");
    dir.write("secret.xml", "<story><scene name=\"Outside\"/></story>");
    RemotePlayer remote(dir.path());
    remote.posted("/api/load", {{"file", "story.xml"}});
    const std::string before = remote.get("/api/state").body;
    const int port = remote.port;
    const std::string host = "127.0.0.1:" + std::to_string(port);

    std::vector<HttpReply> replies;
    auto expect = [&](int status, const HttpReply& reply, const std::string& what) {
        EXPECT_EQ(reply.status, status) << what << "\n" << reply.raw;
        if (reply.status >= 400) {
            const json body = json::parse(reply.body, nullptr, false);
            EXPECT_TRUE(body.is_object() && body.contains("error")) << what << ": " << reply.body;
        }
        replies.push_back(reply);
    };
    auto raw = [&](const std::string& head, const std::string& body = "") { return testsupport::exchange(port, head + "\r\n" + body); };

    // The token: only as a Bearer header, and in the query for the event stream only.
    expect(401, testsupport::request(port, "GET", "/api/state"), "no token");
    expect(401, testsupport::request(port, "GET", "/api/state", "0123456789abcdef0123456789abcdef"), "wrong token");
    expect(401, testsupport::request(port, "GET", "/api/state?token=" + remote.token), "query token off the stream");
    expect(401, raw("GET /api/state HTTP/1.1\r\nHost: " + host + "\r\nAuthorization: Basic " + remote.token + "\r\nConnection: close\r\n"), "Basic");
    expect(401, testsupport::request(port, "POST", "/api/key", "", R"({"key":"r"})"), "a key without token");
    expect(401, testsupport::request(port, "GET", "/api/events?token=nope"), "stream, wrong token");
    expect(401, testsupport::request(port, "POST", "/api/key", remote.token.substr(1), R"({"key":"r"})"), "a token too short");
    // Host names another site (DNS rebinding), another port, or none at all.
    expect(403, testsupport::request(port, "GET", "/api/state", remote.token, "", "evil.example:" + std::to_string(port)), "foreign host");
    expect(403, testsupport::request(port, "GET", "/", "", "", "evil.example"), "the page too");
    expect(403, testsupport::request(port, "GET", "/api/state", remote.token, "", "127.0.0.1:1"), "other port");
    expect(403, raw("GET /api/state HTTP/1.1\r\nAuthorization: Bearer " + remote.token + "\r\nConnection: close\r\n"), "no Host");
    expect(403, raw("GET /api/state HTTP/1.1\r\nHost: " + host + "\r\nHost: evil.example\r\nAuthorization: Bearer " + remote.token + "\r\n"), "two Hosts");
    expect(200, testsupport::request(port, "GET", "/api/state", remote.token, "", "localhost:" + std::to_string(port)), "localhost");
    // Paths and methods.
    expect(404, remote.get("/api/nothing"), "unknown");
    expect(404, remote.get("/api/state/../../etc/passwd"), "dots");
    expect(405, remote.get("/api/key"), "GET a command");
    expect(405, remote.post("/api/state", "{}"), "POST the state");
    const HttpReply preflight = raw("OPTIONS /api/key HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://evil.example\r\n"
                                    "Access-Control-Request-Method: POST\r\nConnection: close\r\n");
    expect(405, preflight, "a cross-origin preflight");
    // Keys that open screens or quit, and keys that are no keys.
    for (const char* body : {R"({"key":"!"})", R"({"key":"?"})", R"({"key":"escape"})", R"({"key":"\u001b"})",
                                    R"({"key":"ab"})", R"({"key":""})", R"({"key":5})", R"({"code":"r"})",
                                    R"({"key":"\u00e9"})", "not json", "[]", ""}) {
        expect(400, remote.post("/api/key", body), body);
    }
    // Only a file the chooser lists, by its name.
    for (const char* file : {"../secret.xml", "adventures/story.xml", "..", ".", "/etc/passwd", "missing.xml",
                                    "story.xml/", "..\\secret.xml", "story.xml\\u0000"}) {
        expect(400, remote.post("/api/load", json{{"file", file}}.dump()), file);
    }
    expect(400, remote.post("/api/load", R"({"file":["story.xml"]})"), "a list");
    const HttpReply malformed = remote.post("/api/load", R"({"file":"broken.xml"})");
    expect(422, malformed, "not well-formed");
    EXPECT_EQ(json::parse(malformed.body)["error"], "Selected file isn't well formed xml (open in browser for details)");
    for (const char* body : {R"({"volume":1.5})", R"({"volume":-0.1})", R"({"volume":"loud"})", R"({"volume":null})",
                                    R"({"volume":1e999})"}) {
        expect(400, remote.post("/api/volume", body), body);
    }
    // Too large, malformed, and not HTTP at all.
    expect(413, remote.post("/api/key", R"({"key":"r","pad":")" + std::string(5000, 'x') + "\"}"), "a body over 4 KiB");
    expect(400, raw("GET /api/state\r\nHost: " + host + "\r\n"), "no version");
    expect(400, raw("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03"), "a TLS hello");
    const HttpReply longPath = remote.get("/" + std::string(10000, 'a'));
    EXPECT_TRUE(longPath.status == 414 || longPath.status == 400) << longPath.raw;
    replies.push_back(longPath);

    for (const HttpReply& reply : replies) {
        EXPECT_EQ(reply.headers.count("access-control-allow-origin"), 0u) << reply.raw;
        EXPECT_EQ(reply.headers.count("set-cookie"), 0u) << reply.raw;
    }
    EXPECT_EQ(remote.get("/api/state").body, before) << "nothing refused acted";
    EXPECT_TRUE(remote.screenShows(" (r  ) Rain"));
    EXPECT_EQ(remote.player.screen().find("Outside"), std::string::npos);
    remote.quit();
}

TEST(RemoteEndToEnd, RemoteAndKeyboardKeysActInArrivalOrderAndTheStreamFollowsTheKeyboardWithin100Ms) {
    TempFolder dir;
    dir.write("adventures/rooms.xml",
              R"(<a><scene name="A" key="a"/><scene name="B" key="b"/><scene name="C" key="c"/></a>)");
    RemotePlayer remote(dir.path());
    remote.posted("/api/load", {{"file", "rooms.xml"}});

    // Each round a keyboard key arrives, then a remote key that does not
    // commute with it, both while the player stands still (stopped), so that
    // both wait when it goes on; the remote's answer is the state after both,
    // in the order they came.
    struct Round {
        const char* typed;
        const char* posted;
        std::size_t expected;
    };
    for (const Round& round : {Round{"b", "right", 2}, Round{"c", "left", 1}, Round{"a", "right", 1},
                               Round{"c", "left", 1}, Round{"b", "right", 2}, Round{"a", "left", 0}}) {
        remote.player.stop();
        remote.player.type(round.typed);
        ASSERT_TRUE(remote.player.readUntil([&](const std::string&) { return remote.player.inputWaiting() == 1; }));
        const std::string body = json{{"key", round.posted}}.dump();
        const int client = testsupport::connectLoopback(remote.port);
        const std::string request = "POST /api/key HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(remote.port) +
                                    "\r\nAuthorization: Bearer " + remote.token + "\r\nContent-Length: " +
                                    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        ASSERT_EQ(::send(client, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
        remote.player.resume();
        std::string reply;
        char buffer[4096];
        for (ssize_t n = 0; (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, static_cast<std::size_t>(n));
        ::close(client);
        const json state = json::parse(reply.substr(reply.find("\r\n\r\n") + 4), nullptr, false);
        EXPECT_EQ(currentScene(state), round.expected) << round.typed << " typed, then " << round.posted << " posted";
    }

    testsupport::EventStream stream(remote.port, "/api/events?token=" + remote.token);
    std::optional<std::string> first = stream.nextState(2000);
    ASSERT_TRUE(first);
    EXPECT_EQ(stream.status(), 200);
    for (const char* key : {"b", "c", "a"}) {
        const auto typed = std::chrono::steady_clock::now();
        remote.player.type(key);
        std::optional<std::string> event;
        while ((event = stream.nextState(1000)) && currentScene(json::parse(*event)) != std::string("abc").find(key)) {
        }
        const auto took = std::chrono::steady_clock::now() - typed;
        ASSERT_TRUE(event) << "no event for key " << key;
        EXPECT_LT(took, 100ms) << "key " << key;
        remote.player.readFor(0);
    }
    remote.quit();
}

TEST(RemoteEndToEnd, WithoutRemoteNothingListensAndBadOptionsStopBeforeTheScreenIsTaken) {
    TempFolder dir;
    {
        PlayerInPty plain(dir.path());
        ASSERT_TRUE(plain.readUntil([](const std::string& out) { return out.find("0 channels active") != std::string::npos; }));
        std::size_t sockets = 0;
        for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(plain.pid()) + "/fd")) {
            std::error_code error;
            if (fs::read_symlink(entry.path(), error).string().rfind("socket:", 0) == 0) ++sockets;
        }
        EXPECT_EQ(sockets, 0u) << "no socket of any kind without --remote";
        plain.type("\x1b");
        EXPECT_EQ(plain.waitForExit(), 0);
    }

    // A port that is taken.
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string busy = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    };
    for (const Case& bad : {Case{{"--remote", "99999"}, 2, "gloam: --remote 99999: '99999' is not a port"},
                            Case{{"--remote", "example.com:80"}, 2, "is not an IP address"},
                            Case{{"--remote"}, 2, "gloam: option --remote needs a value"},
                            Case{{"--bogus"}, 2, "gloam: unknown option '--bogus'"},
                            Case{{"--remote-token-file", "t"}, 2, "only with --remote"},
                            Case{{"--remote", busy}, 1, "gloam: cannot listen on " + busy},
                            Case{{"--remote", "0", "--remote-token-file", "missing/token"}, 1, "cannot create missing/token"}}) {
        PlayerInPty player(dir.path(), false, {}, bad.arguments);
        const int status = player.waitForExit();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == bad.exitCode) << bad.message << ": " << player.output();
        EXPECT_NE(player.output().find(bad.message), std::string::npos) << player.output();
        EXPECT_EQ(player.output().find(e2e::clearSequence), std::string::npos) << "the screen was never taken";
        EXPECT_EQ(player.mode().c_lflag, player.initialMode().c_lflag);
    }
    ::close(taken);

    // A token file keeps the same address from one run to the next.
    std::string tokens[2];
    for (std::string& token : tokens) {
        RemotePlayer remote(dir.path(), {"--remote-token-file", "token"});
        token = remote.token;
        remote.quit();
    }
    EXPECT_EQ(tokens[0], tokens[1]);
    struct stat info {};
    ASSERT_EQ(::stat((dir.path() / "token").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
