// A plain HTTP/1.1 client for tests, to 127.0.0.1 only, every wait bounded.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace testsupport {

/// What came back; status 0 when nothing parseable did.
struct HttpReply {
    int status = 0;
    /// Header names in lower case.
    std::map<std::string, std::string> headers;
    std::string body;
    /// Everything the server sent.
    std::string raw;
};

/// A connected TCP socket to 127.0.0.1:`port`, or -1. Closed by the caller.
int connectLoopback(int port);

/// Sends `request` exactly as given and reads until the server closes the
/// connection or `timeoutMs` passes.
HttpReply exchange(int port, const std::string& request, int timeoutMs = 5000);

/// A request with `Host: 127.0.0.1:port` (or `host` when given), `Connection:
/// close`, a Bearer token when given and a JSON body when given.
HttpReply request(int port, const std::string& method, const std::string& path, const std::string& token = "",
                  const std::string& body = "", const std::string& host = "");

/// One Server-Sent Events stream, read as it comes.
class EventStream {
public:
    /// Opens `path` (which carries its token in the query when needed).
    EventStream(int port, const std::string& path);
    ~EventStream();
    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;

    /// The status line's code, once the head has arrived (0 before).
    int status() const { return status_; }
    /// The data of the next `state` event within `timeoutMs`, or nothing.
    std::optional<std::string> nextState(int timeoutMs);
    /// Everything the stream carried so far, chunk framing taken out.
    const std::string& text() const { return text_; }

private:
    /// Reads what arrives within `timeoutMs`; false when nothing did.
    bool pump(int timeoutMs);

    int socket_ = -1;
    int status_ = 0;
    std::string raw_;
    std::string text_;
    std::size_t consumed_ = 0;  ///< of text_, by nextState
    bool headDone_ = false;
};

}  // namespace testsupport
