#include "util/web_request.h"

#include "platform/net.h"
#include "util/text.h"
#include "util/text_utilities.h"

#include <array>
#include <climits>
#include <optional>

namespace util {
namespace {

constexpr int kDefaultTimeoutMs = 15000;
constexpr std::string_view kSetCookie = "Set-Cookie";
constexpr std::string_view kCookieSeparator = "; ";

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool isTokenCharacter(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isHeaderName(std::string_view name) {
    if (name.empty())
        return false;
    for (const char c : name) {
        if (!isTokenCharacter(c))
            return false;
    }
    return true;
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && asciiLower(a) == asciiLower(b);
}

// A header set on the request replaces an earlier one of the same name in its place, as setting a request
// header does; a new name is added at the end.
void setHeader(std::vector<std::pair<std::string, std::string>>& headers, std::string name, std::string value) {
    for (auto& header : headers) {
        if (sameNameIgnoringCase(header.first, name)) {
            header.second = std::move(value);
            return;
        }
    }
    headers.emplace_back(std::move(name), std::move(value));
}

// The trimmed header, or nothing when the request would refuse it (a malformed name, a line break in the value).
std::optional<std::pair<std::string, std::string>> headerOf(std::string_view name, std::string_view value) {
    std::string trimmedName = trimSpaces(name);
    std::string trimmedValue = trimSpaces(value);
    if (!isHeaderName(trimmedName) || trimmedValue.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return std::nullopt;
    return std::pair{std::move(trimmedName), std::move(trimmedValue)};
}

std::string cookieName(std::string_view pair) {
    return trimSpaces(pair.substr(0, pair.find('=')));
}

std::string prepareCookieText(const std::string& text) {
    std::string trimmed = trimSpaces(text);
    if (trimmed.ends_with(';'))
        trimmed.push_back(' ');
    return trimmed;
}

std::string joinCookies(const std::vector<std::string>& pairs) {
    std::string joined;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i > 0)
            joined += kCookieSeparator;
        joined += pairs[i];
    }
    return joined;
}

// Steps 2 to 12 of a request: everything the transport needs, with the caller's cookie text cleaned on the way.
platform::HttpRequest prepareRequest(const std::string& url, const WebRequestOptions& options) {
    platform::HttpRequest request;
    request.method = methodVerb(options.method);
    request.url = url;
    if (options.timeoutSeconds != -1) {
        const int timeoutMs = options.timeoutSeconds <= 0                ? kDefaultTimeoutMs
                              : options.timeoutSeconds >= INT_MAX / 1000 ? INT_MAX
                                                                         : options.timeoutSeconds * 1000;
        request.connectTimeoutMs = timeoutMs;
        request.stallTimeoutMs = timeoutMs;
    }
    request.proxy = options.proxy;
    request.followRedirects = !options.noRedirect;

    std::string headerText = options.headers;
    if (options.completeHeaders)
        headerText = completeRequestHeaders(headerText, url, options.method);
    if (options.normalizeHeaderNames)
        headerText = normalizeRequestHeaderNames(headerText);

    // The transport answers the proxy with Basic credentials (RFC 4648 Base64 of user:password) in every request
    // that reaches the proxy, CONNECT included, and never hands them to the server behind it.
    if (!options.proxy.empty() && !options.proxyUser.empty() && options.proxyCredentialTarget == 1) {
        request.proxyUser = options.proxyUser;
        request.proxyPassword = options.proxyPassword;
    }

    std::vector<std::pair<std::string, std::string>> headers;
    if (options.cookies != nullptr) {
        std::string& cookies = *options.cookies;
        if (!cookies.empty() && textContains(cookies, "Cookie:"))
            cookies = replaceText(cookies, "Cookie:", "", true);
        if (auto header = headerOf("Cookie", cookies))
            setHeader(headers, std::move(header->first), std::move(header->second));
    }
    for (auto& [name, value] : requestHeaderLines(headerText))
        setHeader(headers, std::move(name), std::move(value));
    request.headers = std::move(headers);

    request.body = options.byteBody.empty() ? options.body : options.byteBody;
    return request;
}

WebRequestOptions fetchOptions(int method, const std::string& body, const std::string& headers, std::string* cookies,
                               const std::string& proxy) {
    WebRequestOptions options;
    options.method = method;
    options.body = body;
    options.cookies = cookies;
    options.headers = headers;
    options.proxy = proxy;
    options.timeoutSeconds = 0;
    return options;
}

} // namespace

std::string methodVerb(int method) {
    static constexpr std::array<std::string_view, 8> kVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                                               "OPTIONS", "DELETE", "TRACE", "CONNECT"};
    if (method < 0 || method >= static_cast<int>(kVerbs.size()))
        method = 0;
    return std::string(kVerbs[static_cast<std::size_t>(method)]);
}

std::string completeRequestHeaders(const std::string& headers, const std::string& url, int method) {
    std::string text = headers;
    const auto complete = [&text](std::string_view searched, const std::string& line) {
        if (!textContains(text, searched))
            text += std::string(kCrLf) + line;
    };
    complete("Accept:", "Accept: */*");
    complete("Referer:", "Referer: " + url);
    complete("Accept-Language:", "Accept-Language: zh-cn");
    complete("User-Agent:", "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
    if (method == 1)
        complete("Content-Type:", "Content-Type: application/x-www-form-urlencoded");
    return text;
}

std::string normalizeRequestHeaderNames(const std::string& headers) {
    std::string out;
    for (const std::string& line : splitText(headers, kCrLf)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = line.substr(0, colon);
        for (std::size_t at = 0; at < name.size(); ++at) {
            if (at == 0 || name[at - 1] == '-')
                name[at] = upperAscii(name[at]);
        }
        if (!out.empty())
            out += kCrLf;
        out += name;
        out.append(line, colon, std::string::npos);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> requestHeaderLines(const std::string& headers) {
    std::vector<std::pair<std::string, std::string>> lines;
    const auto nameAndValue = [](std::string_view line) {
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return std::pair{line, std::string_view()};
        return std::pair{line.substr(0, colon), line.substr(colon + 1)};
    };
    if (headers.find(kCrLf) == std::string::npos) {
        const auto [name, value] = nameAndValue(headers);
        if (auto header = headerOf(name, value))
            lines.push_back(std::move(*header));
        return lines;
    }
    for (const std::string& line : splitText(headers, kCrLf)) {
        if (line.empty())
            continue;
        const auto [name, value] = nameAndValue(line);
        if (trimSpaces(name) == "Connection" && trimSpaces(value) == "keep-alive")
            continue;
        if (auto header = headerOf(name, value))
            lines.push_back(std::move(*header));
    }
    return lines;
}

std::string collectResponseCookies(const std::string& responseHeaders) {
    std::string cookies;
    for (const std::string& line : splitText(responseHeaders, kCrLf)) {
        const std::size_t separator = line.find(": ");
        if (separator == std::string::npos || std::string_view(line).substr(0, separator) != kSetCookie)
            continue;
        const std::string pair = line.find(';') == std::string::npos
                                     ? trimSpaces(replaceText(line, "Set-Cookie:", "", true))
                                     : trimSpaces(textBetween(line, "Set-Cookie:", ";"));
        cookies += pair;
        cookies += kCookieSeparator;
    }
    if (cookies.ends_with(kCookieSeparator))
        cookies.resize(cookies.size() - kCookieSeparator.size());
    return cookies;
}

std::string mergeCookieTexts(const std::string& oldCookies, const std::string& newCookies) {
    std::vector<std::string> pairs = splitText(prepareCookieText(newCookies), kCookieSeparator);
    for (const std::string& old : splitText(prepareCookieText(oldCookies), kCookieSeparator)) {
        const std::string name = cookieName(old);
        bool known = false;
        for (const std::string& pair : pairs)
            known = known || cookieName(pair) == name;
        if (!known)
            pairs.push_back(old);
    }
    std::vector<std::string> kept;
    for (std::string& pair : pairs) {
        if (!pair.ends_with("=deleted"))
            kept.push_back(std::move(pair));
    }
    std::vector<std::string> unique;
    for (std::string& pair : splitText(joinCookies(kept), kCookieSeparator)) {
        if (indexOfText(unique, pair) == -1)
            unique.push_back(std::move(pair));
    }
    return joinCookies(unique);
}

std::string webRequest(const std::string& url, const WebRequestOptions& options) {
    try {
        platform::HttpRequest request = prepareRequest(url, options);
        request.maxBodyBytes = kMaxBodyBytes;
        platform::HttpResponse response = platform::httpRequest(request);

        std::string body = response.completed ? std::move(response.body) : std::string();
        if (options.responseHeaders != nullptr)
            *options.responseHeaders = response.headers;
        if (options.statusCode != nullptr)
            *options.statusCode = response.status;
        std::string cookies = collectResponseCookies(response.headers);
        if (options.mergeCookies && options.cookies != nullptr) {
            cookies = mergeCookieTexts(*options.cookies, cookies);
            *options.cookies = cookies;
        }
        if (options.responseCookies != nullptr)
            *options.responseCookies = std::move(cookies);
        return body;
    } catch (...) {
        return {};
    }
}

std::string webFetch(const std::string& url, int method, const std::string& body, const std::string& headers,
                     std::string cookies, const std::string& proxy) {
    return webRequest(url, fetchOptions(method, body, headers, &cookies, proxy));
}

StreamedFetch webFetchToSink(const std::string& url, const std::function<bool(std::string_view)>& sink,
                             const std::string& proxy, int timeoutSeconds) {
    StreamedFetch outcome;
    try {
        std::string cookies;
        WebRequestOptions options = fetchOptions(0, {}, std::string(kBrowserUserAgentLine), &cookies, proxy);
        options.timeoutSeconds = timeoutSeconds;
        platform::HttpRequest request = prepareRequest(url, options);
        request.onBody = [&outcome, &sink](std::string_view chunk) {
            if (chunk.empty())
                return true;
            outcome.received = true;
            return sink && sink(chunk);
        };
        const platform::HttpResponse response = platform::httpRequest(request);
        outcome.completed = response.completed;
        outcome.statusCode = response.status;
    } catch (...) {
        outcome.completed = false;
    }
    return outcome;
}

} // namespace util
