#pragma once

// Plain socket steps shared by the raw recording server and the proxy. Every wait is cut into short slices so that
// a stop request is seen at once.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace testsupport {

/// A listening socket on 127.0.0.1 with a free port; -1 on failure.
[[nodiscard]] int listenOnLoopback(int& port);
/// A connection to 127.0.0.1:port; -1 on failure.
[[nodiscard]] int connectToLoopback(int port);
/// Waits until the socket can be read; false when stopping or when timeoutMs (negative: forever) passed.
[[nodiscard]] bool waitReadable(int fd, const std::atomic<bool>& stopping, int timeoutMs = -1);
/// Sends everything; false when the peer went away or stopping was asked for.
bool sendAll(int fd, std::string_view bytes, const std::atomic<bool>& stopping);
/// Reads one request: the head up to the empty line and a Content-Length body. Empty on failure.
[[nodiscard]] std::string readRequest(int fd, const std::atomic<bool>& stopping, std::string& extra);
/// The value of a header in a request head (name without case), empty when absent.
[[nodiscard]] std::string headerValue(std::string_view head, std::string_view name);
/// Copies bytes both ways until either side closes.
void relay(int a, int b, const std::atomic<bool>& stopping);
/// Sleeps in short slices; false when stopping was asked for.
bool pause(int milliseconds, const std::atomic<bool>& stopping);

/// Accepts connections on 127.0.0.1 on its own thread and serves each on a thread of its own; the socket is closed
/// when the routine returns. Stopping joins every thread.
class ConnectionServer {
public:
    using Serve = std::function<void(int fd, const std::atomic<bool>& stopping)>;
    explicit ConnectionServer(Serve serve);
    ConnectionServer(const ConnectionServer&) = delete;
    ConnectionServer& operator=(const ConnectionServer&) = delete;
    ~ConnectionServer();

    [[nodiscard]] int port() const { return port_; }
    void stop();

private:
    void acceptLoop();

    Serve serve_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex lock_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

} // namespace testsupport
