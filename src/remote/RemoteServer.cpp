// Routes, the Host and token rules, commands and the event stream.
#include "remote/RemoteServer.h"

#include "remote/CommandQueue.h"
#include "remote/ConnectionPool.h"
#include "remote/ConnectionStream.h"
#include "remote/StateBoard.h"
#include "remote/Token.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <csignal>
#include <optional>
#include <thread>

#include <pthread.h>
#include <sys/socket.h>

namespace remote {

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr char jsonType[] = "application/json; charset=utf-8";
/// The page may talk only to where it came from, and may not be framed.
constexpr char pagePolicy[] =
    "default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; connect-src 'self'; "
    "img-src data:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
constexpr char refusal[] =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json; charset=utf-8\r\n"
    "Content-Length: 34\r\nConnection: close\r\n\r\n{\"error\": \"too many connections\"}\n";

/// What the thread serving a connection knows about it.
thread_local ConnectionStream* currentConnection = nullptr;
/// Set when the answer to the current request should end its connection.
thread_local bool closeAfterResponse = false;

std::string errorJson(const std::string& message) {
    return json{{"error", message}}.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

void fail(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(errorJson(message), jsonType);
}

/// What the errors that cpp-httplib answers by itself mean.
std::string statusText(int status) {
    switch (status) {
    case 400: return "the request is malformed";
    case 413: return "the body is too large";
    case 414: return "the address is too long";
    case 416: return "no such range";
    case 417: return "expectation not met";
    default: return "the request cannot be served (" + std::to_string(status) + ")";
    }
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

/// What each path accepts; anything else is 404.
struct Route {
    const char* path;
    const char* method;  ///< GET routes also answer HEAD, but the event stream
    bool needsToken;
    bool tokenInQuery;
};
constexpr Route routes[] = {
    {"/", "GET", false, false},
    {"/api/state", "GET", true, false},
    {"/api/adventures", "GET", true, false},
    {"/api/events", "GET", true, true},
    {"/api/key", "POST", true, false},
    {"/api/load", "POST", true, false},
    {"/api/volume", "POST", true, false},
};

const Route* findRoute(const std::string& path) {
    for (const Route& route : routes) {
        if (path == route.path) return &route;
    }
    return nullptr;
}

/// The codes the keyboard delivers for a key named in a request, or nothing
/// for a key the network may not press.
std::optional<std::vector<int>> keyCodes(const std::string& name) {
    static const std::pair<const char*, std::vector<int>> named[] = {
        {"space", {' '}},        {"left", {224, 'K'}},  {"right", {224, 'M'}},
        {"up", {224, 'H'}},      {"down", {224, 'P'}},  {"fadeall", {224, 'S'}},
    };
    for (const auto& [text, codes] : named) {
        if (name == text) return codes;
    }
    // One printable character; '!' and '?' open screens on the terminal,
    // which nobody at the terminal asked for.
    if (name.size() == 1 && name[0] > ' ' && name[0] < 0x7f && name[0] != '!' && name[0] != '?') {
        return std::vector<int>{static_cast<unsigned char>(name[0])};
    }
    return std::nullopt;
}

/// The JSON object in a request's body, or nothing (with the answer set).
std::optional<json> bodyObject(const httplib::Request& req, httplib::Response& res) {
    json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        fail(res, 400, "the body must be a JSON object");
        return std::nullopt;
    }
    return body;
}

/// The server itself: serves each connection with bounded reads and writes,
/// and refuses what the pool cannot take.
class GuardedServer final : public httplib::Server {
public:
    GuardedServer(const ConnectionLimits& limits, std::size_t maxRequests, const std::atomic<bool>& stopping)
        : limits_(limits), maxRequests_(maxRequests), stopping_(stopping) {}

private:
    bool process_and_close_socket(socket_t sock) override {
        if (ConnectionPool::isRefusing()) {
            // Never waits: the accepting thread must go on accepting.
            [[maybe_unused]] ssize_t sent = ::send(sock, refusal, sizeof refusal - 1, MSG_DONTWAIT | MSG_NOSIGNAL);
            ::shutdown(sock, SHUT_RDWR);
            ::close(sock);
            return false;
        }
        ConnectionStream stream(sock, limits_);
        currentConnection = &stream;
        bool served = false;
        for (std::size_t left = maxRequests_; left > 0 && stream.waitForRequest(stopping_); --left) {
            stream.beginRequest();
            closeAfterResponse = false;
            bool closed = false;
            served = process_request(stream, left == 1, closed, {});
            if (!served || closed || closeAfterResponse) break;
        }
        currentConnection = nullptr;
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return served;
    }

    ConnectionLimits limits_;
    std::size_t maxRequests_;
    const std::atomic<bool>& stopping_;
};

}  // namespace

struct RemoteServer::Impl {
    Impl(ServerConfig configuration, CommandQueue& queue, StateBoard& stateBoard)
        : config(std::move(configuration)),
          commands(queue),
          board(stateBoard),
          server(ConnectionLimits{config.requestTimeout, config.idleTimeout, config.writeTimeout,
                                  config.maxRequestBytes},
                 config.maxRequestsPerConnection, stopping) {}

    void setUp();
    bool hostAllowed(const httplib::Request& req) const;
    bool authorized(const httplib::Request& req, const Route& route) const;
    void answerCommand(httplib::Response& res, Command command);
    void postKey(const httplib::Request& req, httplib::Response& res);
    void postLoad(const httplib::Request& req, httplib::Response& res);
    void postVolume(const httplib::Request& req, httplib::Response& res);
    void getAdventures(httplib::Response& res);
    void getEvents(httplib::Response& res);

    ServerConfig config;
    CommandQueue& commands;
    StateBoard& board;
    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> eventStreams{0};
    GuardedServer server;
    std::thread listener;
    int port = -1;
};

void RemoteServer::Impl::setUp() {
    server.new_task_queue = [this] { return new ConnectionPool(config.maxConnections); };
    server.set_payload_max_length(config.maxBodyBytes);
    server.set_keep_alive_max_count(config.maxRequestsPerConnection);
    server.set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(config.idleTimeout).count());
    server.set_default_headers({{"Cache-Control", "no-store"},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Referrer-Policy", "no-referrer"}});

    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        using Answer = httplib::Server::HandlerResponse;
        // A refused request may leave an unread body behind: its connection ends.
        auto refuse = [&](int status, const std::string& message) {
            fail(res, status, message);
            closeAfterResponse = true;
            return Answer::Handled;
        };
        if (!hostAllowed(req)) return refuse(403, "the Host header does not name this player's address");
        const Route* route = findRoute(req.path);
        if (route == nullptr) return refuse(404, "no such page");
        const bool headAllowed = std::string_view(route->method) == "GET" && !route->tokenInQuery;
        if (req.method != route->method && !(req.method == "HEAD" && headAllowed)) {
            res.set_header("Allow", headAllowed ? "GET, HEAD" : route->method);
            return refuse(405, std::string("use ") + route->method + " here");
        }
        if (route->needsToken && !authorized(req, *route)) {
            res.set_header("WWW-Authenticate", "Bearer");
            return refuse(401, "a valid token is needed: open the address the player printed");
        }
        return Answer::Unhandled;
    });
    // Errors cpp-httplib answers by itself (a request it cannot parse, a body
    // too large) get a JSON body too.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            closeAfterResponse = true;
            fail(res, res.status, statusText(res.status));
            return httplib::Server::HandlerResponse::Handled;
        }));

    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Security-Policy", pagePolicy);
        res.set_content(std::string(remotePage()), "text/html; charset=utf-8");
    });
    server.Get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(board.current()->json, jsonType);
    });
    server.Get("/api/adventures", [this](const httplib::Request&, httplib::Response& res) { getAdventures(res); });
    server.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) { getEvents(res); });
    server.Post("/api/key", [this](const httplib::Request& req, httplib::Response& res) { postKey(req, res); });
    server.Post("/api/load", [this](const httplib::Request& req, httplib::Response& res) { postLoad(req, res); });
    server.Post("/api/volume", [this](const httplib::Request& req, httplib::Response& res) { postVolume(req, res); });
}

bool RemoteServer::Impl::hostAllowed(const httplib::Request& req) const {
    // Against DNS rebinding: a page from another site that got its name to
    // point here still sends that name.
    if (currentConnection == nullptr || req.get_header_value_count("Host") != 1) return false;
    const std::string host = lowered(req.get_header_value("Host"));
    const std::string& local = currentConnection->localAddress();
    const int localPort = currentConnection->localPort();
    const std::string withPort = hostAndPort(local, localPort);
    if (host == withPort) return true;
    // Browsers leave out the default port.
    if (localPort == 80 && host == withPort.substr(0, withPort.size() - 3)) return true;
    return currentConnection->isLoopback() && host == "localhost:" + std::to_string(localPort);
}

bool RemoteServer::Impl::authorized(const httplib::Request& req, const Route& route) const {
    const std::string header = req.get_header_value("Authorization");
    if (req.get_header_value_count("Authorization") == 1 && header.size() > 7 &&
        lowered(header.substr(0, 7)) == "bearer ") {
        std::string_view given(header);
        given.remove_prefix(7);
        while (!given.empty() && (given.front() == ' ' || given.front() == '\t')) given.remove_prefix(1);
        while (!given.empty() && (given.back() == ' ' || given.back() == '\t')) given.remove_suffix(1);
        return sameToken(given, config.token);
    }
    if (route.tokenInQuery && req.get_param_value_count("token") == 1) {
        return sameToken(req.get_param_value("token"), config.token);
    }
    return false;
}

void RemoteServer::Impl::answerCommand(httplib::Response& res, Command command) {
    const std::optional<std::uint64_t> ticket = commands.push(std::move(command));
    if (!ticket) return fail(res, 503, "too many commands are waiting");
    const std::optional<CommandOutcome> outcome = commands.await(*ticket, config.commandTimeout);
    if (!outcome) {
        return fail(res, 503, "the player did not take the command in time (is a menu open on its screen?)");
    }
    if (outcome->status != 200) return fail(res, outcome->status, outcome->error);
    res.set_content(outcome->state->json, jsonType);
}

void RemoteServer::Impl::postKey(const httplib::Request& req, httplib::Response& res) {
    std::optional<json> body = bodyObject(req, res);
    if (!body) return;
    const auto key = body->find("key");
    if (key == body->end() || !key->is_string()) return fail(res, 400, "give the key as {\"key\": \"b\"}");
    const std::optional<std::vector<int>> codes = keyCodes(key->get<std::string>());
    if (!codes) {
        return fail(res, 400,
                    "not a key the remote control presses: one printable character other than ! and ?, or space, "
                    "left, right, up, down, fadeall");
    }
    Command command;
    command.kind = Command::Kind::Key;
    command.codes = *codes;
    answerCommand(res, std::move(command));
}

void RemoteServer::Impl::postLoad(const httplib::Request& req, httplib::Response& res) {
    std::optional<json> body = bodyObject(req, res);
    if (!body) return;
    const auto file = body->find("file");
    if (file == body->end() || !file->is_string()) return fail(res, 400, "give the file as {\"file\": \"forest.xml\"}");
    const std::string name = file->get<std::string>();
    if (name.find_first_of(std::string("/\\\0", 3)) != std::string::npos || name == "." || name == "..") {
        return fail(res, 400, "give a file name from /api/adventures, not a path");
    }
    const std::vector<std::string> listed = config.listAdventures ? config.listAdventures() : std::vector<std::string>{};
    if (std::find(listed.begin(), listed.end(), name) == listed.end()) {
        return fail(res, 400, "the adventures folder lists no such file");
    }
    Command command;
    command.kind = Command::Kind::Load;
    command.file = name;
    answerCommand(res, std::move(command));
}

void RemoteServer::Impl::postVolume(const httplib::Request& req, httplib::Response& res) {
    std::optional<json> body = bodyObject(req, res);
    if (!body) return;
    const auto volume = body->find("volume");
    if (volume == body->end() || !volume->is_number()) return fail(res, 400, "give the volume as {\"volume\": 0.7}");
    const double value = volume->get<double>();
    if (!(value >= 0.0 && value <= 1.0)) return fail(res, 400, "the volume goes from 0 to 1");
    Command command;
    command.kind = Command::Kind::Volume;
    command.volume = static_cast<float>(value);
    answerCommand(res, std::move(command));
}

void RemoteServer::Impl::getAdventures(httplib::Response& res) {
    json names = json::array();
    if (config.listAdventures) {
        for (const std::string& name : config.listAdventures()) names.push_back(name);
    }
    res.set_content(json{{"adventures", std::move(names)}}.dump(-1, ' ', false, json::error_handler_t::replace),
                    jsonType);
}

void RemoteServer::Impl::getEvents(httplib::Response& res) {
    if (eventStreams.fetch_add(1) >= config.maxEventStreams) {
        eventStreams.fetch_sub(1);
        return fail(res, 503, "too many event streams are open");
    }
    ConnectionStream* connection = currentConnection;
    struct Progress {
        std::uint64_t sentVersion = 0;
        Clock::time_point lastEvent{};
        Clock::time_point lastWrite = Clock::now();
    };
    auto progress = std::make_shared<Progress>();
    res.set_header("X-Accel-Buffering", "no");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, connection, progress](std::size_t, httplib::DataSink& sink) {
            if (progress->sentVersion == 0 && !sink.write("retry: 2000\n\n", 13)) return false;
            const auto keepAliveAt = progress->lastWrite + config.keepAliveInterval;
            // Waits in slices, so that a client that left is noticed.
            std::shared_ptr<const StateSnapshot> state =
                board.waitNewer(progress->sentVersion, std::min(keepAliveAt, Clock::now() + std::chrono::milliseconds(500)));
            if (board.closed()) {
                sink.done();
                return true;
            }
            if (connection != nullptr && connection->peerGone()) return false;
            if (state->version > progress->sentVersion) {
                // At most one event per interval: changes in between fold
                // into the newest state, which is always sent.
                const auto allowed = progress->lastEvent + config.eventInterval;
                if (Clock::now() < allowed) {
                    std::this_thread::sleep_until(allowed);
                    state = board.current();
                }
                const std::string event = "event: state\ndata: " + state->json + "\n\n";
                if (!sink.write(event.data(), event.size())) return false;
                progress->sentVersion = state->version;
                progress->lastEvent = progress->lastWrite = Clock::now();
            } else if (Clock::now() >= keepAliveAt) {
                if (!sink.write(": keep-alive\n\n", 14)) return false;
                progress->lastWrite = Clock::now();
            }
            return true;
        },
        [this](bool) { eventStreams.fetch_sub(1); });
}

RemoteServer::RemoteServer(ServerConfig config, CommandQueue& commands, StateBoard& board)
    : impl_(std::make_unique<Impl>(std::move(config), commands, board)) {
    impl_->setUp();
}

RemoteServer::~RemoteServer() { stop(); }

bool RemoteServer::start(std::string& error) {
    const ListenAddress& address = impl_->config.address;
    if (address.port == 0) {
        impl_->port = impl_->server.bind_to_any_port(address.host);
    } else if (impl_->server.bind_to_port(address.host, address.port)) {
        impl_->port = address.port;
    }
    if (impl_->port <= 0) {
        error = "cannot listen on " + hostAndPort(address.host, address.port) +
                " (is the port in use, or the address not one of this machine's?)";
        return false;
    }
    // Signals belong to the main thread (the terminal's handlers).
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &previous);
    impl_->listener = std::thread([this] { impl_->server.listen_after_bind(); });
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    // Until it runs, stop() could not end it.
    for (int i = 0; i < 2000 && !impl_->server.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int RemoteServer::port() const { return impl_->port; }

std::vector<std::string> RemoteServer::pageUrls() const {
    std::vector<std::string> urls;
    for (const std::string& host : reachableHosts(impl_->config.address)) {
        urls.push_back("http://" + hostAndPort(host, impl_->port) + "/#token=" + impl_->config.token);
    }
    return urls;
}

void RemoteServer::stop() {
    impl_->stopping = true;
    impl_->commands.close();
    impl_->board.close();
    if (impl_->listener.joinable()) {
        impl_->server.stop();
        impl_->listener.join();
    }
}

}  // namespace remote
