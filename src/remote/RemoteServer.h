// The remote control's HTTP server: the page, the JSON API and the event stream.
#pragma once

#include "remote/ListenAddress.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace remote {

class CommandQueue;
class StateBoard;

/// What the server is told at start.
struct ServerConfig {
    ListenAddress address;
    /// Every API request must carry it (see RemoteServer).
    std::string token;
    /// The adventure files a client may load, as file names, in the order
    /// the chooser lists them. Called on the server's threads.
    std::function<std::vector<std::string>()> listAdventures;

    /// Connections served at once; more are refused at once.
    std::size_t maxConnections = 32;
    /// Event streams open at once (each holds a connection); more get 503,
    /// so that commands always find a free connection.
    std::size_t maxEventStreams = 24;
    /// How long a command waits for the main loop to take it.
    std::chrono::milliseconds commandTimeout{2000};
    /// Time for one request's head and body to arrive.
    std::chrono::milliseconds requestTimeout{3000};
    /// An idle kept-alive connection is closed after this.
    std::chrono::milliseconds idleTimeout{5000};
    std::chrono::milliseconds writeTimeout{5000};
    /// Requests on one connection before it is closed.
    std::size_t maxRequestsPerConnection = 100;
    /// Largest request body.
    std::size_t maxBodyBytes = 4096;
    /// Largest request, head and body.
    std::size_t maxRequestBytes = 16384;
    /// Events on one stream come at most this often; the last state always comes.
    std::chrono::milliseconds eventInterval{20};
    /// A comment line keeps an idle event stream open this often.
    std::chrono::milliseconds keepAliveInterval{15000};
};

/// Serves, on threads of its own:
/// - `GET /`: the control page (it holds no secret; it reads the token from
///   the address's fragment);
/// - `GET /api/state`, `GET /api/adventures`, `GET /api/events` (Server-Sent
///   Events: one `state` event now and after every change);
/// - `POST /api/key`, `/api/load`, `/api/volume`: checked here, applied by the
///   main loop through the command queue; the answer is the state after it.
/// Every request whose Host header does not name the address it came in on
/// is refused (403); every API request needs `Authorization: Bearer TOKEN`
/// (the event stream also takes `?token=`), else 401. Errors are JSON
/// `{"error": "..."}`. No cross-origin headers, no cookies. The server never
/// touches the player: it reads the published state and pushes commands.
class RemoteServer {
public:
    /// `commands` and `board` must outlive the server.
    RemoteServer(ServerConfig config, CommandQueue& commands, StateBoard& board);
    /// Stops the server.
    ~RemoteServer();
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    /// Binds and starts serving. False and a message when the address cannot
    /// be listened on (in use, not this machine's). Main thread.
    bool start(std::string& error);
    /// The port listened on (the one the system chose for port 0).
    int port() const;
    /// The page's address with its token for each host a browser can use.
    std::vector<std::string> pageUrls() const;
    /// Closes the command queue and the state board (every waiter is
    /// answered), stops listening and joins every thread. Idempotent.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// The control page: HTML with its style and script, nothing fetched.
std::string_view remotePage();

}  // namespace remote
