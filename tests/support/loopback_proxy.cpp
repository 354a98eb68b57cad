#include "tests/support/loopback_proxy.h"

#include <cstdlib>
#include <unistd.h>

namespace testsupport {
namespace {

std::string base64(const std::string& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        text += {kAlphabet[n >> 18], kAlphabet[n >> 12 & 63], kAlphabet[n >> 6 & 63], kAlphabet[n & 63]};
    }
    if (i + 1 == bytes.size()) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
        text += {kAlphabet[n >> 18], kAlphabet[n >> 12 & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8;
        text += {kAlphabet[n >> 18], kAlphabet[n >> 12 & 63], kAlphabet[n >> 6 & 63], '='};
    }
    return text;
}

const std::string kBadGateway = "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

} // namespace

LoopbackProxy::LoopbackProxy()
    : server_(std::make_unique<ConnectionServer>(
          [this](int fd, const std::atomic<bool>& stopping) { serve(fd, stopping); })) {}

LoopbackProxy::~LoopbackProxy() {
    server_->stop();
}

std::string LoopbackProxy::address() const {
    return "HTTP://127.0.0.1:" + std::to_string(port());
}

void LoopbackProxy::route(const std::string& hostAndPort, int loopbackPort) {
    std::lock_guard guard(lock_);
    routes_[hostAndPort] = loopbackPort;
}

void LoopbackProxy::requireCredentials(const std::string& user, const std::string& password) {
    std::lock_guard guard(lock_);
    expectedAuthorization_ = "Basic " + base64(user + ":" + password);
}

std::vector<ProxiedRequest> LoopbackProxy::requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

int LoopbackProxy::portFor(const std::string& hostAndPort) const {
    const std::size_t colon = hostAndPort.rfind(':');
    if (colon == std::string::npos)
        return -1;
    const std::string host = hostAndPort.substr(0, colon);
    const int port = std::atoi(hostAndPort.c_str() + colon + 1);
    std::lock_guard guard(lock_);
    if (const auto found = routes_.find(hostAndPort); found != routes_.end())
        return found->second;
    return host == "127.0.0.1" || host == "localhost" ? port : -1;
}

void LoopbackProxy::serve(int fd, const std::atomic<bool>& stopping) {
    std::string extra;
    const std::string request = readRequest(fd, stopping, extra);
    if (request.empty())
        return;
    const std::size_t lineEnd = request.find("\r\n");
    const std::string requestLine = request.substr(0, lineEnd);
    const std::size_t firstSpace = requestLine.find(' ');
    const std::size_t secondSpace = requestLine.find(' ', firstSpace + 1);
    if (firstSpace == std::string::npos || secondSpace == std::string::npos)
        return;
    ProxiedRequest record{requestLine.substr(0, firstSpace),
                          requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1),
                          request.substr(0, request.find("\r\n\r\n") + 4)};
    std::string expected;
    {
        std::lock_guard guard(lock_);
        requests_.push_back(record);
        expected = expectedAuthorization_;
    }
    if (!expected.empty() && headerValue(record.head, "Proxy-Authorization") != expected) {
        sendAll(fd,
                "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"test\"\r\n"
                "Content-Length: 0\r\nConnection: close\r\n\r\n",
                stopping);
        return;
    }

    if (record.method == "CONNECT") {
        const int port = portFor(record.target);
        const int upstream = port > 0 ? connectToLoopback(port) : -1;
        if (upstream < 0) {
            sendAll(fd, kBadGateway, stopping);
            return;
        }
        if (sendAll(fd, "HTTP/1.1 200 Connection established\r\n\r\n", stopping) &&
            (extra.empty() || sendAll(upstream, extra, stopping)))
            relay(fd, upstream, stopping);
        ::close(upstream);
        return;
    }

    // An absolute URI: http://host:port/path goes out as "/path" to that host.
    const std::string& uri = record.target;
    const std::size_t hostStart = uri.find("://");
    if (hostStart == std::string::npos) {
        sendAll(fd, kBadGateway, stopping);
        return;
    }
    const std::size_t pathStart = uri.find('/', hostStart + 3);
    std::string hostAndPort =
        uri.substr(hostStart + 3, pathStart == std::string::npos ? pathStart : pathStart - hostStart - 3);
    if (hostAndPort.find(':') == std::string::npos)
        hostAndPort += ":80";
    const int port = portFor(hostAndPort);
    const int upstream = port > 0 ? connectToLoopback(port) : -1;
    if (upstream < 0) {
        sendAll(fd, kBadGateway, stopping);
        return;
    }
    const std::string path = pathStart == std::string::npos ? "/" : uri.substr(pathStart);
    const std::string forwarded =
        record.method + " " + path + requestLine.substr(secondSpace) + request.substr(lineEnd);
    if (sendAll(upstream, forwarded + extra, stopping))
        relay(fd, upstream, stopping);
    ::close(upstream);
}

} // namespace testsupport
