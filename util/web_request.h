#pragma once

// The web request helper: one synchronous HTTP(S) request with browser-like default headers, capitalised header
// names, a cookie text sent and merged with the cookies the answer sets, and an optional proxy with credentials.
// TLS certificates are always verified. Header text is lines of "Name: value" separated by CR LF; cookie text is
// "name=value" pairs separated by "; ". Safe to call from any thread; nothing throws.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace util {

/// The header line webFetch sends when the caller gives none.
inline constexpr std::string_view kBrowserUserAgentLine =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/98.0.4758.102 Safari/537.36 Edg/98.0.1108.62";
/// The largest body webRequest collects; a longer answer fails (empty body).
inline constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;

/// The optional parameters of webRequest with their defaults, in their historical order. Pointers are the
/// caller's variables the call writes; nullptr means "not given". (A shared request object cannot be given: every
/// call has its own transfer.)
struct WebRequestOptions {
    /// 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; any other number is GET.
    int method = 0;
    /// Request body text, sent when byteBody is empty.
    std::string body;
    /// In/out: the cookie text sent in a Cookie header (also when empty; every "Cookie:" in it is removed first);
    /// afterwards the merged cookie text. nullptr: no Cookie header, nothing merged.
    std::string* cookies = nullptr;
    /// Out: the pairs of the answer's Set-Cookie lines, or the merged text when cookies are merged.
    std::string* responseCookies = nullptr;
    /// Extra request header lines.
    std::string headers;
    /// Out: the answer's header lines joined by CR LF, without the status line.
    std::string* responseHeaders = nullptr;
    /// Out: the HTTP status; 0 when no answer came.
    int* statusCode = nullptr;
    bool noRedirect = false;
    /// Request body bytes; sent instead of body when not empty.
    std::string byteBody;
    /// "HTTP://host:port"; empty means a direct connection.
    std::string proxy;
    /// -1 keeps the transport's own time-outs; 0 or less 15 seconds; otherwise that many seconds, each for
    /// connecting and for a pause in the answer.
    int timeoutSeconds = 0;
    std::string proxyUser;
    std::string proxyPassword;
    /// 1: the credentials are the proxy's (sent as Basic Proxy-Authorization); 0: the server's, which this
    /// transport does not use.
    int proxyCredentialTarget = 1;
    /// Merge the answer's cookies into *cookies.
    bool mergeCookies = true;
    /// Add the default headers the header text lacks.
    bool completeHeaders = true;
    /// Capitalise every dash-separated word of each header name.
    bool normalizeHeaderNames = true;
};

/// Performs the request and answers the response body as raw bytes, whatever the status; empty bytes when the
/// request failed (no connection, time-out, cut-short or oversized answer).
[[nodiscard]] std::string webRequest(const std::string& url, const WebRequestOptions& options = {});

/// A GET (or the method given) with the fixed browser User-Agent line unless other headers are given, an empty
/// cookie text and a 15-second time-out; answers the body bytes, empty when the request failed.
[[nodiscard]] std::string webFetch(const std::string& url, int method = 0, const std::string& body = {},
                                   const std::string& headers = std::string(kBrowserUserAgentLine),
                                   std::string cookies = {}, const std::string& proxy = {});

/// How a streamed fetch ended.
struct StreamedFetch {
    /// At least one body byte reached the sink.
    bool received = false;
    /// The whole answer arrived and the sink took all of it.
    bool completed = false;
    /// The HTTP status; 0 when no answer came.
    int statusCode = 0;
};

/// webFetch of the URL with webFetch's headers, handing the body to the sink piece by piece as it arrives instead
/// of collecting it; a sink answering false stops the transfer. No size limit applies. The time-out has the
/// meaning of WebRequestOptions::timeoutSeconds (webFetch's is 0: 15 seconds).
[[nodiscard]] StreamedFetch webFetchToSink(const std::string& url, const std::function<bool(std::string_view)>& sink,
                                           const std::string& proxy = {}, int timeoutSeconds = 0);

/// The verb of a method number; GET outside 0-7.
[[nodiscard]] std::string methodVerb(int method);
/// The header text with CR LF and each default line appended that it lacks, searched case-insensitively anywhere
/// in the text: "Accept: */*", "Referer: " + url, "Accept-Language: zh-cn", the MSIE User-Agent line and, for
/// method 1, the form Content-Type line.
[[nodiscard]] std::string completeRequestHeaders(const std::string& headers, const std::string& url, int method);
/// The header text's lines that hold a ":", each name's dash-separated words capitalised, joined by CR LF.
[[nodiscard]] std::string normalizeRequestHeaderNames(const std::string& headers);
/// The header text as (name, value) pairs in sending order: a text without CR LF is one header; otherwise each
/// line but empty ones and "Connection: keep-alive". Names and values are trimmed; a header whose name is not a
/// valid HTTP name, or whose value holds a line break, is refused (left out).
[[nodiscard]] std::vector<std::pair<std::string, std::string>> requestHeaderLines(const std::string& headers);
/// The cookie pairs of the "Set-Cookie" lines (name compared with case) joined by "; "; empty when there are none.
[[nodiscard]] std::string collectResponseCookies(const std::string& responseHeaders);
/// The new pairs, then the old pairs whose names the new ones lack, without "=deleted" pairs and exact
/// duplicates, joined by "; ".
[[nodiscard]] std::string mergeCookieTexts(const std::string& oldCookies, const std::string& newCookies);

} // namespace util
