#pragma once

// An HTTP or HTTPS server on 127.0.0.1 (cpp-httplib) for tests: handlers set by the test, every request recorded.

#include "tests/support/test_certificates.h"

#include <httplib.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

/// One request the server received. httplib keeps headers by name, so their wire order is lost here; use
/// RawHttpServer where order matters.
struct RecordedRequest {
    std::string method;
    std::string path;
    httplib::Headers headers;
    std::string body;
};

class LoopbackServer {
public:
    /// A plain HTTP server.
    LoopbackServer();
    /// An HTTPS server presenting this certificate.
    explicit LoopbackServer(const CertificateFiles& certificate);
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer();

    /// The server, to set handlers on before start().
    [[nodiscard]] httplib::Server& server() { return *server_; }
    /// Binds a free port and serves on a thread of its own; returns once it accepts connections.
    void start();
    /// Stops serving and joins the thread; also done at the end of the scope.
    void stop();

    [[nodiscard]] int port() const { return port_; }
    /// "http(s)://127.0.0.1:<port>" followed by the path.
    [[nodiscard]] std::string url(const std::string& path = "/") const;
    /// Every request received so far, in arrival order.
    [[nodiscard]] std::vector<RecordedRequest> requests() const;

private:
    bool secure_ = false;
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex lock_;
    std::vector<RecordedRequest> requests_;
};

/// A CORVANA_CONNECT_TO entry that sends connections for host:hostPort to 127.0.0.1:loopbackPort.
[[nodiscard]] std::string connectToEntry(const std::string& host, int hostPort, int loopbackPort);

} // namespace testsupport
