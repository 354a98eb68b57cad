#include "util/web_request.h"

#include "tests/support/loopback_proxy.h"
#include "tests/support/loopback_server.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::httpAnswer;
using testsupport::RawHttpServer;
using testsupport::ScriptedResponse;
using Headers = std::vector<std::pair<std::string, std::string>>;

const std::string kMsieAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
const std::string kShareAgent = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                                "Chrome/84.0.4147.105 Safari/537.36";

// The request head's header lines after the request line, in wire order, without Host and Content-Length (the
// transport's own).
std::vector<std::string> headerLines(const std::string& request) {
    std::vector<std::string> lines;
    const std::size_t headEnd = request.find("\r\n\r\n");
    std::size_t at = request.find("\r\n") + 2;
    while (at < headEnd) {
        const std::size_t end = request.find("\r\n", at);
        const std::string line = request.substr(at, end - at);
        if (!line.starts_with("Host:") && !line.starts_with("Content-Length:"))
            lines.push_back(line);
        at = end + 2;
    }
    return lines;
}

std::string requestLine(const std::string& request) {
    return request.substr(0, request.find("\r\n"));
}

std::string bodyOf(const std::string& request) {
    return request.substr(request.find("\r\n\r\n") + 4);
}

// ---- The header and cookie steps as tables.

struct CompleteCase {
    const char* name;
    std::string headers;
    int method;
    std::string expected;
};

void PrintTo(const CompleteCase& c, std::ostream* os) {
    *os << c.name;
}

class CompleteHeaders : public testing::TestWithParam<CompleteCase> {};

TEST_P(CompleteHeaders, AppendsTheMissingDefaults) {
    const CompleteCase& c = GetParam();
    EXPECT_EQ(util::completeRequestHeaders(c.headers, "http://h/p", c.method), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompleteHeaders,
    testing::Values(
        CompleteCase{"EmptyTextStartsWithAnEmptyLine", "", 0,
                     "\r\nAccept: */*\r\nReferer: http://h/p\r\nAccept-Language: zh-cn\r\nUser-Agent: " + kMsieAgent},
        CompleteCase{"LowerCaseNamesCount", "user-agent: U\r\nreferer: R", 0,
                     "user-agent: U\r\nreferer: R\r\nAccept: */*\r\nAccept-Language: zh-cn"},
        CompleteCase{"FormContentTypeForPost", "user-agent: U\r\nreferer: R", 1,
                     "user-agent: U\r\nreferer: R\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
                     "Content-Type: application/x-www-form-urlencoded"},
        CompleteCase{"XAcceptSuppressesAccept", "X-Accept: 1", 0,
                     "X-Accept: 1\r\nReferer: http://h/p\r\nAccept-Language: zh-cn\r\nUser-Agent: " + kMsieAgent},
        CompleteCase{"GivenContentTypeKept",
                     "Content-type: text/plain\r\nAccept: a\r\nReferer: r\r\n"
                     "Accept-Language: en\r\nUser-Agent: u",
                     1, "Content-type: text/plain\r\nAccept: a\r\nReferer: r\r\nAccept-Language: en\r\nUser-Agent: u"}),
    [](const testing::TestParamInfo<CompleteCase>& info) { return std::string(info.param.name); });

struct NormalizeCase {
    const char* name;
    std::string headers;
    std::string expected;
};

void PrintTo(const NormalizeCase& c, std::ostream* os) {
    *os << c.name;
}

class NormalizeHeaderNames : public testing::TestWithParam<NormalizeCase> {};

TEST_P(NormalizeHeaderNames, CapitalisesEveryWord) {
    EXPECT_EQ(util::normalizeRequestHeaderNames(GetParam().headers), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalizeHeaderNames,
    testing::Values(NormalizeCase{"DashedWords", "x-requested-with: XMLHttpRequest",
                                  "X-Requested-With: XMLHttpRequest"},
                    NormalizeCase{"OtherLettersKeepTheirCase", "content-TYPE: a", "Content-TYPE: a"},
                    NormalizeCase{"SingleWord", "referer: http://x/", "Referer: http://x/"},
                    NormalizeCase{"ValuesUntouched", "accept: text/html; q=x-y", "Accept: text/html; q=x-y"},
                    NormalizeCase{"LinesWithoutColonDropped", "\r\nfoo\r\na: 1\r\n\r\nb-c:2\r\n", "A: 1\r\nB-C:2"},
                    NormalizeCase{"Empty", "", ""}),
    [](const testing::TestParamInfo<NormalizeCase>& info) { return std::string(info.param.name); });

struct LinesCase {
    const char* name;
    std::string headers;
    Headers expected;
};

void PrintTo(const LinesCase& c, std::ostream* os) {
    *os << c.name;
}

class RequestHeaderLines : public testing::TestWithParam<LinesCase> {};

TEST_P(RequestHeaderLines, AnswersTheHeadersToSend) {
    EXPECT_EQ(util::requestHeaderLines(GetParam().headers), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestHeaderLines,
    testing::Values(
        LinesCase{"OneHeaderTrimmed", " X-A :  v 1 \u3000", Headers{{"X-A", "v 1"}}},
        LinesCase{"SingleKeepAliveIsSent", "Connection: keep-alive", Headers{{"Connection", "keep-alive"}}},
        LinesCase{"KeepAliveLineDropped", "A: 1\r\nConnection: keep-alive\r\nB: 2", Headers{{"A", "1"}, {"B", "2"}}},
        LinesCase{"KeepAliveComparedWithCase", "A: 1\r\nConnection: Keep-Alive\r\nconnection: keep-alive",
                  Headers{{"A", "1"}, {"Connection", "Keep-Alive"}, {"connection", "keep-alive"}}},
        LinesCase{"CloseIsSent", "A: 1\r\nConnection: close", Headers{{"A", "1"}, {"Connection", "close"}}},
        LinesCase{"ValueKeepsLaterColons", "\r\nReferer: http://h:1/p", Headers{{"Referer", "http://h:1/p"}}},
        LinesCase{"MalformedNamesRefused", "Bad Name: 1\r\n: 2\r\nGood: 3\r\nA\rB: 4", Headers{{"Good", "3"}}},
        LinesCase{"EmptyText", "", Headers{}}),
    [](const testing::TestParamInfo<LinesCase>& info) { return std::string(info.param.name); });

struct CookieCase {
    const char* name;
    std::string first;
    std::string second;
    std::string expected;
};

void PrintTo(const CookieCase& c, std::ostream* os) {
    *os << c.name;
}

class CollectCookies : public testing::TestWithParam<CookieCase> {};

TEST_P(CollectCookies, TakesThePairOfEachSetCookieLine) {
    EXPECT_EQ(util::collectResponseCookies(GetParam().first), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CollectCookies,
    testing::Values(CookieCase{"AttributesDropped", "Set-Cookie: sid=abc; path=/; HttpOnly", "", "sid=abc"},
                    CookieCase{"TwoLines", "Content-Type: text/html\r\nSet-Cookie: sid=abc; path=/\r\nSet-Cookie: k=v",
                               "", "sid=abc; k=v"},
                    CookieCase{"NameComparedWithCase", "set-cookie: a=1\r\nSET-COOKIE: b=2", "", ""},
                    CookieCase{"NeedsColonAndSpace", "Set-Cookie:a=1", "", ""},
                    CookieCase{"EmptyPairKept", "Set-Cookie: \r\nSet-Cookie: b=2", "", "; b=2"},
                    CookieCase{"NoHeaders", "", "", ""}),
    [](const testing::TestParamInfo<CookieCase>& info) { return std::string(info.param.name); });

class MergeCookies : public testing::TestWithParam<CookieCase> {};

TEST_P(MergeCookies, PutsNewPairsFirst) {
    EXPECT_EQ(util::mergeCookieTexts(GetParam().first, GetParam().second), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, MergeCookies,
                         testing::Values(CookieCase{"NewReplaceOld", "a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
                                         CookieCase{"DeletedDropped", "a=1; b=2", "a=deleted", "b=2"},
                                         CookieCase{"OldDeletedDropped", "a=deleted; b=2", "", "b=2"},
                                         CookieCase{"DuplicatesRemoved", "x=1", "y=2; y=2; z=3", "y=2; z=3; x=1"},
                                         CookieCase{"NamesTrimmedAndCaseKept", " a =1; A=2", "a=3", "a=3; A=2"},
                                         CookieCase{"TrailingSemicolonIsASeparator", "a=1;", "b=2; ", "b=2; a=1"},
                                         CookieCase{"PairWithoutValueIsItsName", "flag; a=1", "flag", "flag; a=1"},
                                         CookieCase{"BothEmpty", "", "", ""}),
                         [](const testing::TestParamInfo<CookieCase>& info) { return std::string(info.param.name); });

TEST(MethodVerb, MapsNumbersOutsideTheTableToGet) {
    EXPECT_EQ(util::methodVerb(0), "GET");
    EXPECT_EQ(util::methodVerb(1), "POST");
    EXPECT_EQ(util::methodVerb(7), "CONNECT");
    EXPECT_EQ(util::methodVerb(8), "GET");
    EXPECT_EQ(util::methodVerb(-1), "GET");
}

// ---- The request as it reaches the wire.

TEST(WebFetchWire, SendsCookieThenTheBrowserHeadersInOrder) {
    RawHttpServer server;
    server.setResponse(httpAnswer(200, {}, "page"));
    const std::string url = server.url("/file.zip");
    EXPECT_EQ(util::webFetch(url), "page");
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requestLine(requests[0]), "GET /file.zip HTTP/1.1");
    EXPECT_EQ(headerLines(requests[0]),
              (std::vector<std::string>{"Cookie:", std::string(util::kBrowserUserAgentLine), "Accept: */*",
                                        "Referer: " + url, "Accept-Language: zh-cn"}));
}

struct WireCase {
    const char* name;
    int method;
    std::string headers;
    std::string body;
    std::string byteBody;
    std::string expectedRequestLine;
    std::vector<std::string> expectedHeaders;
    std::string expectedBody;
};

void PrintTo(const WireCase& c, std::ostream* os) {
    *os << c.name;
}

class WebRequestWire : public testing::TestWithParam<WireCase> {};

TEST_P(WebRequestWire, SendsTheHeadersInTheirOrder) {
    const WireCase& c = GetParam();
    RawHttpServer server;
    server.setResponse(httpAnswer(200, {}, "ok"));
    const std::string url = server.url("/p");
    util::WebRequestOptions options;
    options.method = c.method;
    options.headers = c.headers;
    options.body = c.body;
    options.byteBody = c.byteBody;
    int status = 0;
    options.statusCode = &status;
    const std::string answer = util::webRequest(url, options);
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requestLine(requests[0]), c.expectedRequestLine);
    std::vector<std::string> expected;
    for (const std::string& line : c.expectedHeaders)
        expected.push_back(line == "Referer" ? "Referer: " + url : line);
    EXPECT_EQ(headerLines(requests[0]), expected);
    EXPECT_EQ(bodyOf(requests[0]), c.expectedBody);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer, c.method == 2 ? "" : "ok");
}

const std::vector<std::string> kDefaultLines = {"Accept: */*", "Referer", "Accept-Language: zh-cn",
                                                "User-Agent: " + kMsieAgent};

INSTANTIATE_TEST_SUITE_P(
    Cases, WebRequestWire,
    testing::Values(
        WireCase{"ShareLinkHeaders",
                 0,
                 "user-agent: " + kShareAgent + "\r\nreferer: https://www.share.example/",
                 "",
                 "",
                 "GET /p HTTP/1.1",
                 {"User-Agent: " + kShareAgent, "Referer: https://www.share.example/", "Accept: */*",
                  "Accept-Language: zh-cn"},
                 ""},
        WireCase{"ShareLinkPost",
                 1,
                 "user-agent: " + kShareAgent + "\r\nreferer: https://www.share.example/",
                 "action=downprocess&sign=abc&p=1",
                 "",
                 "POST /p HTTP/1.1",
                 {"User-Agent: " + kShareAgent, "Referer: https://www.share.example/", "Accept: */*",
                  "Accept-Language: zh-cn", "Content-Type: application/x-www-form-urlencoded"},
                 "action=downprocess&sign=abc&p=1"},
        WireCase{"NamesNormalised",
                 0,
                 "x-requested-with: XMLHttpRequest\r\ncontent-TYPE: text/plain",
                 "",
                 "",
                 "GET /p HTTP/1.1",
                 {"X-Requested-With: XMLHttpRequest", "Content-TYPE: text/plain", "Accept: */*", "Referer",
                  "Accept-Language: zh-cn", "User-Agent: " + kMsieAgent},
                 ""},
        WireCase{"XAcceptSuppressesAccept",
                 0,
                 "X-Accept: 1",
                 "",
                 "",
                 "GET /p HTTP/1.1",
                 {"X-Accept: 1", "Referer", "Accept-Language: zh-cn", "User-Agent: " + kMsieAgent},
                 ""},
        WireCase{"KeepAliveNeverSent",
                 0,
                 "Connection: keep-alive\r\nX-B: 2",
                 "",
                 "",
                 "GET /p HTTP/1.1",
                 {"X-B: 2", "Accept: */*", "Referer", "Accept-Language: zh-cn", "User-Agent: " + kMsieAgent},
                 ""},
        WireCase{"CloseSent",
                 0,
                 "Connection: close",
                 "",
                 "",
                 "GET /p HTTP/1.1",
                 {"Connection: close", "Accept: */*", "Referer", "Accept-Language: zh-cn", "User-Agent: " + kMsieAgent},
                 ""},
        WireCase{"MethodEightIsGet", 8, "", "", "", "GET /p HTTP/1.1", kDefaultLines, ""},
        WireCase{"MethodMinusOneIsGet", -1, "", "", "", "GET /p HTTP/1.1", kDefaultLines, ""},
        WireCase{"Head", 2, "", "", "", "HEAD /p HTTP/1.1", kDefaultLines, ""},
        WireCase{"Put", 3, "", "text", "", "PUT /p HTTP/1.1", kDefaultLines, "text"},
        WireCase{"Delete", 5, "", "", "", "DELETE /p HTTP/1.1", kDefaultLines, ""},
        WireCase{"BytesBeforeText",
                 1,
                 "Content-Type: application/octet-stream",
                 "text",
                 std::string("\0\1\2", 3),
                 "POST /p HTTP/1.1",
                 {"Content-Type: application/octet-stream", "Accept: */*", "Referer", "Accept-Language: zh-cn",
                  "User-Agent: " + kMsieAgent},
                 std::string("\0\1\2", 3)}),
    [](const testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

TEST(WebRequestWire, HeadersGoOutAsGivenWhenCompletionIsOff) {
    RawHttpServer server;
    util::WebRequestOptions options;
    options.headers = "accept: text/html\r\nx-b: 2";
    options.completeHeaders = false;
    options.normalizeHeaderNames = false;
    (void)util::webRequest(server.url("/"), options);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(headerLines(server.requests()[0]), (std::vector<std::string>{"accept: text/html", "x-b: 2"}));
}

TEST(WebRequestCookies, CookiePrefixIsRemovedFromTheCallersText) {
    RawHttpServer server;
    std::string cookies = "Cookie: a=1; COOKIE:b=2";
    util::WebRequestOptions options;
    options.cookies = &cookies;
    options.mergeCookies = false;
    (void)util::webRequest(server.url("/"), options);
    EXPECT_EQ(cookies, " a=1; b=2");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(headerLines(server.requests()[0]).front(), "Cookie: a=1; b=2");

    options.mergeCookies = true;
    (void)util::webRequest(server.url("/"), options);
    EXPECT_EQ(cookies, "a=1; b=2");
}

TEST(WebRequestCookies, NoCookieHeaderWhenNoCookieTextIsGiven) {
    RawHttpServer server;
    (void)util::webRequest(server.url("/"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].find("Cookie"), std::string::npos);
}

TEST(WebRequestCookies, SetCookieLinesAreCollectedAndMerged) {
    RawHttpServer server;
    server.setResponse(httpAnswer(
        200, {{"Set-Cookie", "sid=abc; path=/; HttpOnly"}, {"Set-Cookie", "a=deleted"}, {"Set-Cookie", "k=v"}},
        "body"));
    std::string cookies = "a=1; b=2";
    std::string responseCookies;
    std::string responseHeaders;
    util::WebRequestOptions options;
    options.cookies = &cookies;
    options.responseCookies = &responseCookies;
    options.responseHeaders = &responseHeaders;
    EXPECT_EQ(util::webRequest(server.url("/"), options), "body");
    EXPECT_EQ(cookies, "sid=abc; k=v; b=2");
    EXPECT_EQ(responseCookies, cookies);
    EXPECT_NE(responseHeaders.find("Set-Cookie: k=v"), std::string::npos);
    EXPECT_EQ(headerLines(server.requests()[0]).front(), "Cookie: a=1; b=2");

    options.mergeCookies = false;
    cookies = "x=1";
    (void)util::webRequest(server.url("/"), options);
    EXPECT_EQ(cookies, "x=1");
    EXPECT_EQ(responseCookies, "sid=abc; a=deleted; k=v");
}

// ---- Answers, failures, time-outs and redirects.

TEST(WebRequestAnswers, BodyWhateverTheStatusAndEmptyOnFailure) {
    RawHttpServer server;
    server.setResponder([](const std::string& request) {
        if (request.starts_with("GET /missing"))
            return ScriptedResponse(httpAnswer(404, {}, "not here"));
        ScriptedResponse cut(httpAnswer(200, {}, std::string(100, 'x')));
        cut.cutAfterBytes = cut.bytes.size() - 50;
        return cut;
    });
    int status = 0;
    util::WebRequestOptions options;
    options.statusCode = &status;
    EXPECT_EQ(util::webRequest(server.url("/missing"), options), "not here");
    EXPECT_EQ(status, 404);
    EXPECT_EQ(util::webRequest(server.url("/cut"), options), "");

    int closedPort = 0;
    {
        RawHttpServer gone;
        closedPort = gone.port();
    }
    options.timeoutSeconds = 2;
    EXPECT_EQ(util::webRequest("http://127.0.0.1:" + std::to_string(closedPort) + "/", options), "");
    EXPECT_EQ(status, 0);
}

TEST(WebRequestAnswers, BodiesBeyondTheLimitFail) {
    RawHttpServer server;
    ScriptedResponse endless("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    endless.endlessFill = std::string(1 << 16, 'x');
    server.setResponse(endless);
    EXPECT_EQ(util::webRequest(server.url("/")), "");

    const std::string largest(util::kMaxBodyBytes, 'l');
    server.setResponse(httpAnswer(200, {}, largest));
    EXPECT_EQ(util::webRequest(server.url("/")).size(), largest.size());
    server.setResponse(httpAnswer(200, {}, largest + "l"));
    EXPECT_EQ(util::webRequest(server.url("/")), "");
}

struct TimeoutCase {
    const char* name;
    int timeoutSeconds;
    bool answered;
};

void PrintTo(const TimeoutCase& c, std::ostream* os) {
    *os << c.name;
}

class WebRequestTimeout : public testing::TestWithParam<TimeoutCase> {};

// The server waits 1.8 seconds before its first byte: only a 1-second time-out gives up on it.
TEST_P(WebRequestTimeout, CutsOnlyAShorterWait) {
    RawHttpServer server;
    ScriptedResponse slow(httpAnswer(200, {}, "late"));
    slow.pauseBeforeChunkMs = 1800;
    slow.chunkBytes = slow.bytes.size();
    server.setResponse(slow);
    util::WebRequestOptions options;
    options.timeoutSeconds = GetParam().timeoutSeconds;
    EXPECT_EQ(util::webRequest(server.url("/"), options), GetParam().answered ? "late" : "");
}

INSTANTIATE_TEST_SUITE_P(Cases, WebRequestTimeout,
                         testing::Values(TimeoutCase{"OneSecond", 1, false}, TimeoutCase{"Default", 0, true},
                                         TimeoutCase{"Negative", -5, true}, TimeoutCase{"TransportsOwn", -1, true},
                                         TimeoutCase{"Twenty", 20, true}),
                         [](const testing::TestParamInfo<TimeoutCase>& info) { return std::string(info.param.name); });

TEST(WebRequestAnswers, SilentServerIsCutByTheTimeout) {
    RawHttpServer server;
    ScriptedResponse silent;
    silent.silent = true;
    server.setResponse(silent);
    util::WebRequestOptions options;
    options.timeoutSeconds = 1;
    EXPECT_EQ(util::webRequest(server.url("/"), options), "");
}

TEST(WebRequestAnswers, RedirectsFollowedUnlessTurnedOff) {
    RawHttpServer server;
    server.setResponder([](const std::string& request) {
        if (request.starts_with("GET /start"))
            return ScriptedResponse(httpAnswer(302, {{"Location", "/target"}}, "moved"));
        return ScriptedResponse(httpAnswer(200, {}, "final"));
    });
    int status = 0;
    std::string headers;
    util::WebRequestOptions options;
    options.statusCode = &status;
    options.responseHeaders = &headers;
    EXPECT_EQ(util::webRequest(server.url("/start"), options), "final");
    EXPECT_EQ(status, 200);
    options.noRedirect = true;
    EXPECT_EQ(util::webRequest(server.url("/start"), options), "moved");
    EXPECT_EQ(status, 302);
    EXPECT_NE(headers.find("Location: /target"), std::string::npos);
}

// ---- Proxies and TLS.

struct ProxyCase {
    const char* name;
    int target;
    bool authorised;
};

void PrintTo(const ProxyCase& c, std::ostream* os) {
    *os << c.name;
}

class WebRequestProxy : public testing::TestWithParam<ProxyCase> {};

TEST_P(WebRequestProxy, CredentialsReachTheProxyOnlyForTargetOne) {
    RawHttpServer server;
    server.setResponse(httpAnswer(200, {}, "through"));
    testsupport::LoopbackProxy proxy;
    proxy.requireCredentials("user", "pass");
    util::WebRequestOptions options;
    options.proxy = proxy.address();
    options.proxyUser = "user";
    options.proxyPassword = "pass";
    options.proxyCredentialTarget = GetParam().target;
    int status = 0;
    options.statusCode = &status;
    EXPECT_EQ(util::webRequest(server.url("/"), options), GetParam().authorised ? "through" : "");
    EXPECT_EQ(status, GetParam().authorised ? 200 : 407);
    ASSERT_FALSE(proxy.requests().empty());
    const std::string& head = proxy.requests()[0].head;
    EXPECT_EQ(head.find("Proxy-Authorization: Basic dXNlcjpwYXNz\r\n") != std::string::npos, GetParam().authorised);
}

INSTANTIATE_TEST_SUITE_P(Cases, WebRequestProxy,
                         testing::Values(ProxyCase{"Proxy", 1, true}, ProxyCase{"Server", 0, false}),
                         [](const testing::TestParamInfo<ProxyCase>& info) { return std::string(info.param.name); });

class WebRequestTls : public testing::Test {
protected:
    testsupport::TempDir folder;
    testsupport::TestCertificateAuthority authority{folder.path()};
    testsupport::ScopedEnvironment trust{"CORVANA_CA_BUNDLE", authority.authority().certificateFile};
};

TEST_F(WebRequestTls, TunnelsThroughTheProxyWithItsCredentials) {
    testsupport::LoopbackServer server(authority.issue("server", testsupport::loopbackNames()));
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("secure", "text/plain");
    });
    server.start();
    testsupport::LoopbackProxy proxy;
    proxy.requireCredentials("user", "pass");
    util::WebRequestOptions options;
    options.proxy = proxy.address();
    options.proxyUser = "user";
    options.proxyPassword = "pass";
    EXPECT_EQ(util::webRequest(server.url("/"), options), "secure");
    ASSERT_FALSE(proxy.requests().empty());
    EXPECT_EQ(proxy.requests()[0].method, "CONNECT");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(server.requests()[0].headers.contains("Proxy-Authorization"));
}

TEST_F(WebRequestTls, UntrustedCertificatesFailTheRequest) {
    testsupport::LoopbackServer server(
        testsupport::makeSelfSigned(folder.path(), "self", testsupport::loopbackNames()));
    server.server().Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("forged", "text/plain");
    });
    server.start();
    EXPECT_EQ(util::webFetch(server.url("/")), "");
    EXPECT_TRUE(server.requests().empty());
}

// ---- The streamed form.

TEST(WebFetchToSink, HandsTheBodyOverInPieces) {
    RawHttpServer server;
    const std::string body(3 << 20, 'z');
    server.setResponse(httpAnswer(200, {}, body));
    std::string collected;
    int pieces = 0;
    const util::StreamedFetch outcome = util::webFetchToSink(server.url("/big"), [&](std::string_view chunk) {
        collected.append(chunk);
        ++pieces;
        return true;
    });
    EXPECT_TRUE(outcome.received);
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.statusCode, 200);
    EXPECT_EQ(collected, body);
    EXPECT_GT(pieces, 1);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(headerLines(server.requests()[0]),
              (std::vector<std::string>{"Cookie:", std::string(util::kBrowserUserAgentLine), "Accept: */*",
                                        "Referer: " + server.url("/big"), "Accept-Language: zh-cn"}));
}

TEST(WebFetchToSink, SinkCanStopTheTransferAndFailuresSayNothingArrived) {
    RawHttpServer server;
    server.setResponse(httpAnswer(200, {}, std::string(1 << 20, 'z')));
    const util::StreamedFetch stopped = util::webFetchToSink(server.url("/"), [](std::string_view) { return false; });
    EXPECT_TRUE(stopped.received);
    EXPECT_FALSE(stopped.completed);

    ScriptedResponse cut(httpAnswer(200, {}, std::string(1000, 'z')));
    cut.cutAfterBytes = cut.bytes.size() - 10;
    server.setResponse(cut);
    const util::StreamedFetch partial = util::webFetchToSink(server.url("/"), [](std::string_view) { return true; });
    EXPECT_TRUE(partial.received);
    EXPECT_FALSE(partial.completed);

    ScriptedResponse empty(httpAnswer(204));
    server.setResponse(empty);
    const util::StreamedFetch nothing = util::webFetchToSink(server.url("/"), [](std::string_view) { return true; });
    EXPECT_FALSE(nothing.received);
    EXPECT_TRUE(nothing.completed);
}

} // namespace
