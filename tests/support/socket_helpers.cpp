#include "tests/support/socket_helpers.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

constexpr int kSliceMs = 20;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

int listenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

int connectToLoopback(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool waitReadable(int fd, const std::atomic<bool>& stopping, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stopping) {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, kSliceMs);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
        if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline)
            return false;
    }
    return false;
}

bool sendAll(int fd, std::string_view bytes, const std::atomic<bool>& stopping) {
    while (!bytes.empty() && !stopping) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return bytes.empty();
}

std::string headerValue(std::string_view head, std::string_view name) {
    std::size_t start = head.find("\r\n");
    while (start != std::string_view::npos) {
        start += 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string_view line = head.substr(start, end == std::string_view::npos ? end : end - start);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && sameName(line.substr(0, colon), name)) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ')
                value.remove_prefix(1);
            return std::string(value);
        }
        start = end;
    }
    return {};
}

std::string readRequest(int fd, const std::atomic<bool>& stopping, std::string& extra) {
    std::string bytes = std::move(extra);
    extra.clear();
    char buffer[8192];
    std::size_t headEnd;
    while ((headEnd = bytes.find("\r\n\r\n")) == std::string::npos) {
        if (!waitReadable(fd, stopping, 10000))
            return {};
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return {};
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    headEnd += 4;
    const std::string length = headerValue(std::string_view(bytes).substr(0, headEnd), "Content-Length");
    const std::size_t bodyLength = std::strtoul(length.c_str(), nullptr, 10);
    while (bytes.size() < headEnd + bodyLength) {
        if (!waitReadable(fd, stopping, 10000))
            return {};
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return {};
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    extra = bytes.substr(headEnd + bodyLength);
    bytes.resize(headEnd + bodyLength);
    return bytes;
}

void relay(int a, int b, const std::atomic<bool>& stopping) {
    char buffer[16384];
    while (!stopping) {
        pollfd waiting[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        const int ready = ::poll(waiting, 2, kSliceMs);
        if (ready < 0 && errno != EINTR)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!(waiting[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::recv(waiting[i].fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            if (!sendAll(i == 0 ? b : a, std::string_view(buffer, static_cast<std::size_t>(got)), stopping))
                return;
        }
    }
}

bool pause(int milliseconds, const std::atomic<bool>& stopping) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stopping && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kSliceMs, milliseconds)));
    return !stopping;
}

ConnectionServer::ConnectionServer(Serve serve) : serve_(std::move(serve)) {
    listener_ = listenOnLoopback(port_);
    if (listener_ >= 0)
        acceptor_ = std::thread([this] { acceptLoop(); });
}

ConnectionServer::~ConnectionServer() {
    stop();
}

void ConnectionServer::stop() {
    stopping_ = true;
    if (acceptor_.joinable())
        acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard guard(lock_);
        connections.swap(connections_);
    }
    for (std::thread& connection : connections)
        connection.join();
    if (listener_ >= 0)
        ::close(listener_);
    listener_ = -1;
}

void ConnectionServer::acceptLoop() {
    while (waitReadable(listener_, stopping_)) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard guard(lock_);
        connections_.emplace_back([this, fd] {
            serve_(fd, stopping_);
            ::close(fd);
        });
    }
}

} // namespace testsupport
