#include "platform/net.h"
#include "tests/support/loopback_proxy.h"
#include "tests/support/loopback_server.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace testsupport;
using std::chrono::steady_clock;

/// The request head's lines, request line first, without the empty line that ends it.
std::vector<std::string> headLines(const std::string& request) {
    std::vector<std::string> lines;
    const std::size_t headEnd = request.find("\r\n\r\n");
    std::size_t start = 0;
    while (start < headEnd) {
        const std::size_t end = request.find("\r\n", start);
        lines.push_back(request.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

platform::HttpRequest get(const std::string& url) {
    platform::HttpRequest request;
    request.url = url;
    request.totalTimeoutMs = 20000;
    return request;
}

/// Every test starts from an environment that does not steer the transport.
class Transport : public testing::Test {
protected:
    Transport() {
        for (const char* name :
             {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
              "NO_PROXY", "CORVANA_CONNECT_TO", "CORVANA_CA_BUNDLE", "CORVANA_GET_TIMEOUT_MS"})
            environment_.push_back(std::make_unique<ScopedEnvironment>(name, std::nullopt));
    }

    void trustTestAuthority() {
        environment_.push_back(
            std::make_unique<ScopedEnvironment>("CORVANA_CA_BUNDLE", authority_.authority().certificateFile));
    }
    void setEnvironment(const char* name, const std::string& value) {
        environment_.push_back(std::make_unique<ScopedEnvironment>(name, value));
    }

    TempDir dir_;
    TestCertificateAuthority authority_{dir_.path()};

private:
    std::vector<std::unique_ptr<ScopedEnvironment>> environment_;
};

TEST_F(Transport, AnswersStatusHeadersAndBodyOfAnErrorPage) {
    LoopbackServer server;
    server.server().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_header("X-Reason", "gone");
        response.set_content("no such page", "text/plain");
    });
    server.start();

    const platform::HttpResponse response = platform::httpRequest(get(server.url("/missing")));
    EXPECT_TRUE(response.completed);
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.body, "no such page");
    EXPECT_NE(response.headers.find("X-Reason: gone"), std::string::npos);
    EXPECT_EQ(response.headers.find("HTTP/1.1"), std::string::npos);
    EXPECT_EQ(response.headers.find("\n\r\n"), std::string::npos);
    EXPECT_TRUE(response.error.empty());
    EXPECT_EQ(platform::httpGetBytes(server.url("/missing"), ""), "no such page");
    EXPECT_EQ(platform::httpGetText(server.url("/missing"), ""), "no such page");
}

TEST_F(Transport, SendsExactlyTheGivenHeadersInTheirOrder) {
    RawHttpServer server;
    platform::HttpRequest request = get(server.url("/form"));
    request.method = "POST";
    request.body = "a=1&b=2";
    request.headers = {{"Cookie", ""},
                       {"User-Agent", "Mozilla/5.0"},
                       {"Accept", "*/*"},
                       {"Referer", server.url("/form")},
                       {"Accept-Language", "zh-cn"},
                       {"Content-Type", "application/x-www-form-urlencoded"}};
    ASSERT_TRUE(platform::httpRequest(request).completed);

    request = get(server.url("/plain"));
    request.headers = {{"user-agent", "x"}, {"X-Requested-With", "XMLHttpRequest"}};
    ASSERT_TRUE(platform::httpRequest(request).completed);

    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port());
    EXPECT_EQ(headLines(requests[0]),
              (std::vector<std::string>{"POST /form HTTP/1.1", host, "Cookie:", "User-Agent: Mozilla/5.0",
                                        "Accept: */*", "Referer: " + server.url("/form"), "Accept-Language: zh-cn",
                                        "Content-Type: application/x-www-form-urlencoded", "Content-Length: 7"}));
    EXPECT_TRUE(requests[0].ends_with("\r\n\r\na=1&b=2"));
    EXPECT_EQ(headLines(requests[1]), (std::vector<std::string>{"GET /plain HTTP/1.1", host, "user-agent: x",
                                                                "X-Requested-With: XMLHttpRequest"}));
}

TEST_F(Transport, RefusesHeadersThatWouldSplitTheRequest) {
    RawHttpServer server;
    platform::HttpRequest request = get(server.url("/"));
    request.headers = {{"X-A", "1\r\nX-Injected: 2"}};
    const platform::HttpResponse response = platform::httpRequest(request);
    EXPECT_FALSE(response.completed);
    EXPECT_FALSE(response.error.empty());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(Transport, FollowsRedirectsOnlyWhenAskedAndOnlyToHttp) {
    LoopbackServer server;
    server.server().Get("/start", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/final");
        response.set_content("moved", "text/plain");
    });
    server.server().Get("/final", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("X-Final", "yes");
        response.set_content("arrived", "text/plain");
    });
    server.server().Get("/to-file", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("file:///etc/passwd");
    });
    server.server().Get("/loop",
                        [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/loop"); });
    server.start();

    platform::HttpResponse followed = platform::httpRequest(get(server.url("/start")));
    EXPECT_TRUE(followed.completed);
    EXPECT_EQ(followed.status, 200);
    EXPECT_EQ(followed.body, "arrived");
    EXPECT_NE(followed.headers.find("X-Final: yes"), std::string::npos);
    EXPECT_EQ(followed.headers.find("Location"), std::string::npos);

    platform::HttpRequest request = get(server.url("/start"));
    request.followRedirects = false;
    const platform::HttpResponse stopped = platform::httpRequest(request);
    EXPECT_TRUE(stopped.completed);
    EXPECT_EQ(stopped.status, 302);
    EXPECT_NE(stopped.headers.find("Location: /final"), std::string::npos);

    const platform::HttpResponse toFile = platform::httpRequest(get(server.url("/to-file")));
    EXPECT_FALSE(toFile.completed);
    EXPECT_EQ(toFile.body.find("root:"), std::string::npos);
    EXPECT_FALSE(platform::httpRequest(get("file:///etc/passwd")).completed);

    EXPECT_FALSE(platform::httpRequest(get(server.url("/loop"))).completed);
    // The first request and ten redirects, then the transport gives up.
    std::size_t loops = 0;
    for (const RecordedRequest& seen : server.requests())
        loops += seen.path == "/loop" ? 1 : 0;
    EXPECT_EQ(loops, 11u);
}

class TransportTls : public Transport {
protected:
    void serveOn(LoopbackServer& server) {
        server.server().Get("/meta", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content("secure " + request.get_header_value("Host"), "text/plain");
        });
        server.start();
    }
};

TEST_F(TransportTls, AnHttpsRequestFollowsNoRedirectToPlainHttp) {
    trustTestAuthority();
    LoopbackServer plain;
    plain.server().Get("/meta", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("in the clear", "text/plain");
    });
    plain.start();
    LoopbackServer server(authority_.issue("server", loopbackNames()));
    server.server().Get("/down", [&plain](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(plain.url("/meta"));
    });
    server.server().Get("/up", [&server](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(server.url("/meta"));
    });
    serveOn(server);

    const platform::HttpResponse downgraded = platform::httpRequest(get(server.url("/down")));
    EXPECT_FALSE(downgraded.completed);
    EXPECT_TRUE(downgraded.body.empty());
    EXPECT_EQ(platform::httpGetBytes(server.url("/down"), ""), "");
    EXPECT_TRUE(plain.requests().empty());

    // Over TLS all the way, and from plain HTTP anywhere, redirects are followed as before.
    EXPECT_EQ(platform::httpRequest(get(server.url("/up"))).body, "secure 127.0.0.1:" + std::to_string(server.port()));
    plain.server().Get("/secure", [&server](const httplib::Request&, httplib::Response& response) {
        response.set_redirect(server.url("/meta"));
    });
    EXPECT_TRUE(platform::httpRequest(get(plain.url("/secure"))).completed);
}

TEST_F(TransportTls, TrustsTheExtraAuthorityBesideTheSystemStore) {
    LoopbackServer server(authority_.issue("server", loopbackNames()));
    serveOn(server);
    EXPECT_FALSE(platform::httpRequest(get(server.url("/meta"))).completed) << "trusted without the extra authority";
    trustTestAuthority();
    const platform::HttpResponse response = platform::httpRequest(get(server.url("/meta")));
    EXPECT_TRUE(response.completed) << response.error;
    EXPECT_EQ(response.body, "secure 127.0.0.1:" + std::to_string(server.port()));
}

struct BadCertificate {
    const char* name;
    CertificateFiles (*make)(const TestCertificateAuthority& authority, const std::string& folder);
};
void PrintTo(const BadCertificate& c, std::ostream* out) {
    *out << c.name;
}

class TransportBadCertificate : public TransportTls, public testing::WithParamInterface<BadCertificate> {};

TEST_P(TransportBadCertificate, IsRefused) {
    trustTestAuthority();
    LoopbackServer server(GetParam().make(authority_, dir_.path()));
    serveOn(server);
    const platform::HttpResponse response = platform::httpRequest(get(server.url("/meta")));
    EXPECT_FALSE(response.completed);
    EXPECT_FALSE(response.error.empty());
    EXPECT_TRUE(response.body.empty());
    EXPECT_TRUE(server.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TransportBadCertificate,
    testing::Values(BadCertificate{"SelfSigned",
                                   [](const TestCertificateAuthority&, const std::string& folder) {
                                       return makeSelfSigned(folder, "self", loopbackNames());
                                   }},
                    BadCertificate{"Expired",
                                   [](const TestCertificateAuthority& authority, const std::string&) {
                                       return authority.issue("expired", loopbackNames(), kExpired);
                                   }},
                    BadCertificate{"WrongName",
                                   [](const TestCertificateAuthority& authority, const std::string&) {
                                       return authority.issue("wrong", {"other.example"});
                                   }}),
    [](const testing::TestParamInfo<BadCertificate>& info) { return std::string(info.param.name); });

TEST_F(TransportTls, ConnectToSendsAFixedHostToTheLoopbackServer) {
    LoopbackServer server(authority_.issue("github", {"api.github.com", "github.com"}));
    serveOn(server);
    trustTestAuthority();
    setEnvironment("CORVANA_CONNECT_TO", " " + connectToEntry("github.com", 443, 1) + "," +
                                             connectToEntry("api.github.com", 443, server.port()));
    const platform::HttpResponse response = platform::httpRequest(get("https://api.github.com/meta"));
    EXPECT_TRUE(response.completed) << response.error;
    EXPECT_EQ(response.body, "secure api.github.com");
}

TEST_F(Transport, AnEmptyProxyMeansDirectWhateverTheEnvironmentSays) {
    LoopbackProxy proxy;
    RawHttpServer server;
    setEnvironment("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.port()));
    setEnvironment("HTTPS_PROXY", "http://127.0.0.1:" + std::to_string(proxy.port()));
    setEnvironment("ALL_PROXY", "http://127.0.0.1:" + std::to_string(proxy.port()));
    EXPECT_TRUE(platform::httpRequest(get(server.url("/direct"))).completed);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(proxy.requests().empty());
}

TEST_F(Transport, GoesThroughTheGivenProxyWithItsCredentials) {
    LoopbackProxy proxy;
    RawHttpServer server;
    server.setResponse(httpAnswer(200, {}, "via proxy"));
    proxy.requireCredentials("user", "pa:ss");
    // Even a listed exception in the environment does not bypass the proxy that was asked for.
    setEnvironment("no_proxy", "127.0.0.1,localhost");

    platform::HttpRequest request = get(server.url("/through"));
    request.proxy = proxy.address();
    EXPECT_EQ(platform::httpRequest(request).status, 407);
    request.proxyUser = "user";
    request.proxyPassword = "pa:ss";
    const platform::HttpResponse response = platform::httpRequest(request);
    EXPECT_TRUE(response.completed) << response.error;
    EXPECT_EQ(response.body, "via proxy");
    const std::vector<ProxiedRequest> seen = proxy.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].method, "GET");
    EXPECT_EQ(seen[1].target, server.url("/through"));
    EXPECT_EQ(headerValue(seen[1].head, "Proxy-Authorization"), "Basic dXNlcjpwYTpzcw==");
}

TEST_F(TransportTls, TunnelsHttpsThroughTheGivenProxy) {
    LoopbackServer server(authority_.issue("github", {"api.github.com"}));
    serveOn(server);
    trustTestAuthority();
    LoopbackProxy proxy;
    proxy.route("api.github.com:443", server.port());
    platform::HttpRequest request = get("https://api.github.com/meta");
    request.proxy = proxy.address();
    const platform::HttpResponse response = platform::httpRequest(request);
    EXPECT_TRUE(response.completed) << response.error;
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "secure api.github.com");
    EXPECT_EQ(response.headers.find("Connection established"), std::string::npos);
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0].method, "CONNECT");
    EXPECT_EQ(proxy.requests()[0].target, "api.github.com:443");
}

TEST_F(Transport, StallAndTotalTimeOutsEndTheRequest) {
    RawHttpServer silent;
    ScriptedResponse nothing;
    nothing.silent = true;
    silent.setResponse(nothing);
    platform::HttpRequest request = get(silent.url("/"));
    request.totalTimeoutMs = 0;
    request.stallTimeoutMs = 1000;
    auto started = steady_clock::now();
    EXPECT_FALSE(platform::httpRequest(request).completed);
    EXPECT_LT(steady_clock::now() - started, std::chrono::seconds(10));

    // Bytes keep coming, so only the total limit can end it.
    RawHttpServer trickling;
    ScriptedResponse slow("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(100000, 'x'));
    slow.pauseBeforeChunkMs = 100;
    slow.chunkBytes = 10;
    trickling.setResponse(slow);
    request = get(trickling.url("/"));
    request.stallTimeoutMs = 1000;
    request.totalTimeoutMs = 1500;
    started = steady_clock::now();
    const platform::HttpResponse response = platform::httpRequest(request);
    EXPECT_FALSE(response.completed);
    EXPECT_EQ(response.status, 200);
    EXPECT_FALSE(response.body.empty()) << "the part received is kept";
    EXPECT_LT(steady_clock::now() - started, std::chrono::seconds(10));
}

// A one-second stall limit beside an equal connect limit: libcurl's own once-a-second speed check would often let
// the late answer through.
TEST_F(Transport, AStallIsNoticedWithinItsLimit) {
    RawHttpServer late;
    ScriptedResponse answer("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlate");
    answer.pauseBeforeChunkMs = 1800;
    answer.chunkBytes = answer.bytes.size();
    late.setResponse(answer);
    platform::HttpRequest request = get(late.url("/"));
    request.connectTimeoutMs = 1000;
    request.stallTimeoutMs = 1000;
    const platform::HttpResponse response = platform::httpRequest(request);
    EXPECT_FALSE(response.completed);
    EXPECT_EQ(response.body, "");
    EXPECT_FALSE(response.error.empty());
}

TEST_F(Transport, BodiesBeyondTheLimitAbort) {
    RawHttpServer declared;
    declared.setResponse(httpAnswer(200, {}, std::string(100000, 'x')));
    platform::HttpRequest request = get(declared.url("/"));
    request.maxBodyBytes = 1000;
    const platform::HttpResponse tooLong = platform::httpRequest(request);
    EXPECT_FALSE(tooLong.completed);
    EXPECT_LE(tooLong.body.size(), 1000u);

    RawHttpServer endless;
    ScriptedResponse stream("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    stream.endlessFill = std::string(4096, 'y');
    endless.setResponse(stream);
    request = get(endless.url("/"));
    request.maxBodyBytes = 100000;
    const platform::HttpResponse unbounded = platform::httpRequest(request);
    EXPECT_FALSE(unbounded.completed);
    EXPECT_LE(unbounded.body.size(), 100000u);

    request.maxBodyBytes = 0;
    request = get(declared.url("/"));
    EXPECT_EQ(platform::httpRequest(request).body.size(), 100000u);
}

TEST_F(Transport, GetTakesBodiesUpToFourMebibytesAndGivesUpAtItsLimit) {
    RawHttpServer server;
    const std::string largest(std::size_t{4} << 20, 'g');
    server.setResponse(httpAnswer(200, {}, largest));
    EXPECT_EQ(platform::httpGetBytes(server.url("/"), "").size(), largest.size());
    server.setResponse(httpAnswer(200, {}, largest + "g"));
    EXPECT_EQ(platform::httpGetBytes(server.url("/"), ""), "");
    ScriptedResponse endless("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    endless.endlessFill = std::string(65536, 'e');
    server.setResponse(endless);
    EXPECT_EQ(platform::httpGetBytes(server.url("/"), ""), "");

    // The diagnostic shortens the 90 seconds for a server that never answers.
    ScriptedResponse nothing;
    nothing.silent = true;
    server.setResponse(nothing);
    setEnvironment("CORVANA_GET_TIMEOUT_MS", "1000");
    const auto started = steady_clock::now();
    EXPECT_EQ(platform::httpGetBytes(server.url("/"), ""), "");
    EXPECT_LT(steady_clock::now() - started, std::chrono::seconds(10));
}

TEST_F(Transport, StreamsTheBodyToTheReceiverWhichMayStopIt) {
    RawHttpServer server;
    server.setResponse(httpAnswer(200, {}, std::string(300000, 'z')));
    std::string streamed;
    platform::HttpRequest request = get(server.url("/"));
    request.onBody = [&streamed](std::string_view chunk) {
        streamed += chunk;
        return true;
    };
    platform::HttpResponse response = platform::httpRequest(request);
    EXPECT_TRUE(response.completed);
    EXPECT_EQ(streamed, std::string(300000, 'z'));
    EXPECT_TRUE(response.body.empty());

    int chunks = 0;
    request.onBody = [&chunks](std::string_view) { return ++chunks < 2; };
    response = platform::httpRequest(request);
    EXPECT_FALSE(response.completed);
    EXPECT_EQ(chunks, 2);

    request.onBody = [](std::string_view) -> bool { throw std::runtime_error("receiver failed"); };
    EXPECT_FALSE(platform::httpRequest(request).completed);
}

TEST_F(Transport, ACutShortAnswerIsNotCompleteAndGetAnswersNothing) {
    RawHttpServer server;
    ScriptedResponse cut(httpAnswer(200, {}, std::string(1000, 'c')));
    cut.cutAfterBytes = cut.bytes.size() - 500;
    server.setResponse(cut);
    const platform::HttpResponse response = platform::httpRequest(get(server.url("/")));
    EXPECT_FALSE(response.completed);
    EXPECT_EQ(response.body, std::string(500, 'c'));
    EXPECT_EQ(platform::httpGetBytes(server.url("/"), ""), "");
    EXPECT_EQ(platform::httpGetBytes("http://127.0.0.1:1/", ""), "");
}

} // namespace
