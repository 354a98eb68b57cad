#pragma once

// Network services: one HTTP transport for every request of the program, the resolver and ICMP echo.
// The transport honours the diagnostics CORVANA_CONNECT_TO, CORVANA_CA_BUNDLE and CORVANA_GET_TIMEOUT_MS; TLS
// certificates are always verified, and a request begun over HTTPS follows no redirect to plain HTTP. Every function
// may be called from any thread; nothing throws.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

/// One HTTP(S) request as the transport sends it.
struct HttpRequest {
    std::string method = "GET";
    std::string url;
    /// Header lines sent in this order, after any the transport must add itself (Host first, Content-Length last
    /// when there is a body). An empty value is sent as "Name:"; a line break in a name or value fails the request.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    /// Empty: a direct connection, whatever the environment says; otherwise "HTTP://host:port".
    std::string proxy;
    std::string proxyUser;
    std::string proxyPassword;
    /// Connect phase limit; 0 means the transport's default (60000 ms).
    int connectTimeoutMs = 0;
    /// Gives up when no byte, or only a trickle, moves for this long once the request is under way; 0: no such limit.
    int stallTimeoutMs = 0;
    /// Gives up when the whole request takes longer; 0 means no such limit.
    int totalTimeoutMs = 0;
    bool followRedirects = true;
    /// Largest body accepted; a longer one aborts the transfer (completed == false). 0 means no limit.
    std::size_t maxBodyBytes = 0;
    /// When set, body bytes are handed here as they arrive instead of being collected; answering false aborts.
    std::function<bool(std::string_view chunk)> onBody;
};

/// What came back. `completed` is false when the transfer failed or was cut short; the parts received are kept.
struct HttpResponse {
    bool completed = false;
    int status = 0;
    /// The final response's header lines joined by CR LF, without the status line.
    std::string headers;
    std::string body;
    /// The transport's reason for a failure; empty on success.
    std::string error;
};

/// Performs one request; never throws. A failed request answers completed == false.
[[nodiscard]] HttpResponse httpRequest(const HttpRequest& request);

/// GET through the proxy text (empty: none); the body whatever the status; empty bytes when nothing came back or
/// the body is longer than 4 MiB. Gives up after 90000 ms (or the shorter CORVANA_GET_TIMEOUT_MS).
[[nodiscard]] std::string httpGetBytes(const std::string& url, const std::string& proxy);
/// The same read in text form: the body, UTF-8 being the system code page; empty text when there is no body.
[[nodiscard]] std::string httpGetText(const std::string& url, const std::string& proxy);

/// The dotted IPv4 text of the name's first address; empty text when the name does not resolve.
[[nodiscard]] std::string resolveHostName(const std::string& name);
/// Round-trip time in whole milliseconds of one ICMP echo; -1 on no reply within the time-out or on a name that
/// does not resolve.
[[nodiscard]] int pingHost(const std::string& host, int timeoutMs = 10000);

/// Replaces the resolver for this process (tests); an empty function restores the system resolver.
void setResolverHook(std::function<std::string(const std::string& name)> hook);
/// Replaces ICMP echo for this process (tests); an empty function restores the real one.
void setPingHook(std::function<int(const std::string& host, int timeoutMs)> hook);

} // namespace platform
