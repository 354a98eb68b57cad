#pragma once

// A recording HTTP server on raw sockets: it keeps every request's bytes exactly as they came (header order and
// spelling included) and answers with scripted bytes, optionally slowly, cut short, endlessly or not at all.

#include "tests/support/socket_helpers.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

/// The answer to one request.
struct ScriptedResponse {
    ScriptedResponse() = default;
    /// Sends these bytes at once.
    ScriptedResponse(std::string answer) : bytes(std::move(answer)) {}

    /// The whole answer as sent: status line, header lines, empty line, body.
    std::string bytes;
    /// Sends the bytes in pieces of chunkBytes with this pause before each piece.
    int pauseBeforeChunkMs = 0;
    std::size_t chunkBytes = 1;
    /// Closes the connection after this many bytes (a cut-short answer).
    std::size_t cutAfterBytes = std::string::npos;
    /// After the bytes, sends this again and again until the client goes away (an endless body).
    std::string endlessFill;
    /// Reads the request and never answers; the connection stays open until the server stops.
    bool silent = false;
};

/// An answer with the status line, the headers in this order, a Content-Length header and the body.
[[nodiscard]] std::string httpAnswer(int status, const std::vector<std::pair<std::string, std::string>>& headers = {},
                                     const std::string& body = {});

class RawHttpServer {
public:
    using Responder = std::function<ScriptedResponse(const std::string& request)>;

    /// Starts listening on a free port of 127.0.0.1 at once; every request gets a "200 OK" with an empty body
    /// until the test sets an answer.
    RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;
    ~RawHttpServer();

    /// The same answer for every request.
    void setResponse(ScriptedResponse response);
    /// An answer chosen from the request's bytes.
    void setResponder(Responder responder);

    [[nodiscard]] int port() const { return server_->port(); }
    /// "http://127.0.0.1:<port>" followed by the path.
    [[nodiscard]] std::string url(const std::string& path = "/") const;
    /// Every request received so far, byte for byte, in arrival order.
    [[nodiscard]] std::vector<std::string> requests() const;

private:
    void serve(int fd, const std::atomic<bool>& stopping);

    mutable std::mutex lock_;
    Responder responder_;
    std::vector<std::string> requests_;
    std::unique_ptr<ConnectionServer> server_;
};

} // namespace testsupport
