// Name resolution and ICMP echo, each replaceable by a hook for tests.

#include "platform/net.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

using Resolver = std::function<std::string(const std::string&)>;
using Pinger = std::function<int(const std::string&, int)>;

/// A replaceable function, swapped and read under a lock and called outside it.
template <typename Function> class Hook {
public:
    void set(Function function) {
        auto replacement = function ? std::make_shared<const Function>(std::move(function)) : nullptr;
        std::lock_guard guard(lock_);
        current_ = std::move(replacement);
    }
    [[nodiscard]] std::shared_ptr<const Function> get() const {
        std::lock_guard guard(lock_);
        return current_;
    }

private:
    mutable std::mutex lock_;
    std::shared_ptr<const Function> current_;
};

Hook<Resolver>& resolverHook() {
    static Hook<Resolver> hook;
    return hook;
}

Hook<Pinger>& pingHook() {
    static Hook<Pinger> hook;
    return hook;
}

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

std::uint16_t checksum(const unsigned char* data, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (length % 2 != 0)
        sum += static_cast<std::uint32_t>(data[length - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::atomic<std::uint16_t>& sequenceCounter() {
    static std::atomic<std::uint16_t> counter{0};
    return counter;
}

/// What one received packet means for our echo request.
enum class Reply { Unrelated, Answered, Unreachable };

/// A raw socket hands over whole IP packets, echo requests and other processes' replies included.
Reply classifyRawPacket(const unsigned char* packet, std::size_t length, std::uint16_t identifier,
                        std::uint16_t sequence) {
    if (length < 20)
        return Reply::Unrelated;
    const std::size_t ipHeader = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
    if (length < ipHeader + 8)
        return Reply::Unrelated;
    const unsigned char* icmp = packet + ipHeader;
    const auto matches = [&](const unsigned char* echo) {
        return (echo[4] << 8 | echo[5]) == identifier && (echo[6] << 8 | echo[7]) == sequence;
    };
    if (icmp[0] == ICMP_ECHOREPLY)
        return matches(icmp) ? Reply::Answered : Reply::Unrelated;
    if (icmp[0] == ICMP_DEST_UNREACH || icmp[0] == ICMP_TIME_EXCEEDED) {
        // The error quotes our request: its IP header, then its first eight bytes.
        const unsigned char* quoted = icmp + 8;
        const std::size_t quotedLength = length - ipHeader - 8;
        if (quotedLength < 20)
            return Reply::Unrelated;
        const std::size_t quotedHeader = static_cast<std::size_t>(quoted[0] & 0x0F) * 4;
        if (quotedLength < quotedHeader + 8 || quoted[quotedHeader] != ICMP_ECHO)
            return Reply::Unrelated;
        return matches(quoted + quotedHeader) ? Reply::Unreachable : Reply::Unrelated;
    }
    return Reply::Unrelated;
}

/// A datagram ICMP socket hands over only the ICMP part of replies to its own requests; the kernel chose the
/// identifier, so the sequence tells the replies apart.
Reply classifyDatagram(const unsigned char* packet, std::size_t length, std::uint16_t sequence) {
    if (length < 8 || packet[0] != ICMP_ECHOREPLY)
        return Reply::Unrelated;
    return (packet[6] << 8 | packet[7]) == sequence ? Reply::Answered : Reply::Unrelated;
}

int echo(const in_addr& address, int timeoutMs) {
    // A raw socket needs the right to use one; the datagram socket needs the group to be allowed to ping.
    int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    const bool raw = fd >= 0;
    if (!raw)
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    const Socket socket(fd);
    if (fd < 0)
        return -1;

    const std::uint16_t identifier = static_cast<std::uint16_t>(::getpid() & 0xFFFF);
    const std::uint16_t sequence = sequenceCounter().fetch_add(1);
    unsigned char request[8] = {ICMP_ECHO, 0, 0, 0};
    request[4] = static_cast<unsigned char>(identifier >> 8);
    request[5] = static_cast<unsigned char>(identifier & 0xFF);
    request[6] = static_cast<unsigned char>(sequence >> 8);
    request[7] = static_cast<unsigned char>(sequence & 0xFF);
    const std::uint16_t sum = checksum(request, sizeof request);
    request[2] = static_cast<unsigned char>(sum >> 8);
    request[3] = static_cast<unsigned char>(sum & 0xFF);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr = address;
    const auto started = std::chrono::steady_clock::now();
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target) !=
        static_cast<ssize_t>(sizeof request))
        return -1;

    const auto deadline = started + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    unsigned char packet[1500];
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        if (remaining < 0)
            return -1;
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(remaining));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return -1;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        const auto arrived = std::chrono::steady_clock::now();
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return -1;
        }
        const Reply reply = raw ? classifyRawPacket(packet, static_cast<std::size_t>(got), identifier, sequence)
                                : classifyDatagram(packet, static_cast<std::size_t>(got), sequence);
        if (reply == Reply::Unreachable)
            return -1;
        if (reply == Reply::Answered)
            return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(arrived - started).count());
    }
}

} // namespace

std::string resolveHostName(const std::string& name) {
    if (const auto hook = resolverHook().get())
        return (*hook)(name);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found)
        return {};
    std::string dotted;
    char text[INET_ADDRSTRLEN];
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    if (found->ai_family == AF_INET && ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text))
        dotted = text;
    ::freeaddrinfo(found);
    return dotted;
}

int pingHost(const std::string& host, int timeoutMs) {
    if (const auto hook = pingHook().get())
        return (*hook)(host, timeoutMs);
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) != 1) {
        const std::string resolved = resolveHostName(host);
        if (resolved.empty() || ::inet_pton(AF_INET, resolved.c_str(), &address) != 1)
            return -1;
    }
    return echo(address, timeoutMs);
}

void setResolverHook(std::function<std::string(const std::string& name)> hook) {
    resolverHook().set(std::move(hook));
}

void setPingHook(std::function<int(const std::string& host, int timeoutMs)> hook) {
    pingHook().set(std::move(hook));
}

} // namespace platform
