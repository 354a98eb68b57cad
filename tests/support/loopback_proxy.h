#pragma once

// An HTTP proxy on 127.0.0.1 for tests: CONNECT tunnels and plain absolute-URI requests, each recorded, so that a
// test can prove a request went through it. It only ever connects to 127.0.0.1.

#include "tests/support/socket_helpers.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

/// One request the proxy was asked to carry.
struct ProxiedRequest {
    std::string method;
    /// "host:port" for CONNECT, the absolute URI otherwise.
    std::string target;
    /// The request head as it came, with the Proxy-Authorization line if any.
    std::string head;
};

class LoopbackProxy {
public:
    /// Starts listening on a free port of 127.0.0.1 at once.
    LoopbackProxy();
    LoopbackProxy(const LoopbackProxy&) = delete;
    LoopbackProxy& operator=(const LoopbackProxy&) = delete;
    ~LoopbackProxy();

    [[nodiscard]] int port() const { return server_->port(); }
    /// The proxy text the program uses: "HTTP://127.0.0.1:<port>".
    [[nodiscard]] std::string address() const;
    /// Sends requests for host:port (such as "api.github.com:443") to 127.0.0.1:loopbackPort. Targets on
    /// 127.0.0.1 or localhost go to their own port; any other target is answered with 502.
    void route(const std::string& hostAndPort, int loopbackPort);
    /// Answers 407 unless the request carries Basic credentials for this user and password.
    void requireCredentials(const std::string& user, const std::string& password);
    /// Every request received so far, in arrival order.
    [[nodiscard]] std::vector<ProxiedRequest> requests() const;

private:
    void serve(int fd, const std::atomic<bool>& stopping);
    [[nodiscard]] int portFor(const std::string& hostAndPort) const;

    mutable std::mutex lock_;
    std::map<std::string, int> routes_;
    std::string expectedAuthorization_;
    std::vector<ProxiedRequest> requests_;
    std::unique_ptr<ConnectionServer> server_;
};

} // namespace testsupport
