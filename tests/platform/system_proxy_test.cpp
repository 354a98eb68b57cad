#include "platform/system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using testsupport::ScopedEnvironment;

constexpr const char* kNames[] = {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY"};

/// Clears the four proxy variables, then sets the given ones.
class ProxyEnvironment {
public:
    using Values = std::vector<std::pair<const char*, const char*>>;
    explicit ProxyEnvironment(const Values& values) {
        for (const char* name : kNames)
            scopes_.push_back(std::make_unique<ScopedEnvironment>(name, std::nullopt));
        for (const auto& [name, value] : values)
            scopes_.push_back(std::make_unique<ScopedEnvironment>(name, value));
    }

private:
    std::vector<std::unique_ptr<ScopedEnvironment>> scopes_;
};

struct ServerCase {
    const char* setting;
    std::string server;
};

void PrintTo(const ServerCase& c, std::ostream* out) {
    *out << '"' << c.setting << '"';
}

class SystemProxyServer : public testing::TestWithParam<ServerCase> {};

TEST_P(SystemProxyServer, IsHostAndPortOnly) {
    ProxyEnvironment environment(ProxyEnvironment::Values{{"http_proxy", GetParam().setting}});
    const platform::SystemProxy proxy = platform::readSystemProxy();
    EXPECT_EQ(proxy.server, GetParam().server);
    EXPECT_EQ(proxy.enabled, !GetParam().server.empty());
}

INSTANTIATE_TEST_SUITE_P(Settings, SystemProxyServer,
                         testing::Values(ServerCase{"http://proxy.lan:3128", "proxy.lan:3128"},
                                         ServerCase{"http://proxy.lan:3128/", "proxy.lan:3128"},
                                         ServerCase{"proxy.lan:8080", "proxy.lan:8080"},
                                         ServerCase{"HTTP://user:p@ss@10.0.0.1:8080/path?q", "10.0.0.1:8080"},
                                         ServerCase{"socks5h://[::1]:1080", "[::1]:1080"}, ServerCase{"", ""}));

TEST(SystemProxy, TakesTheFirstSetVariableInOrder) {
    {
        ProxyEnvironment environment(ProxyEnvironment::Values{});
        EXPECT_FALSE(platform::readSystemProxy().enabled);
        EXPECT_EQ(platform::readSystemProxy().server, "");
    }
    {
        ProxyEnvironment environment(
            ProxyEnvironment::Values{{"HTTP_PROXY", "d:4"}, {"http_proxy", "c:3"}, {"HTTPS_PROXY", "b:2"}});
        EXPECT_EQ(platform::readSystemProxy().server, "b:2");
    }
    {
        ProxyEnvironment environment(
            ProxyEnvironment::Values{{"HTTP_PROXY", "d:4"}, {"https_proxy", "a:1"}, {"HTTPS_PROXY", "b:2"}});
        EXPECT_EQ(platform::readSystemProxy().server, "a:1");
    }
    {
        // An empty variable counts as not set.
        ProxyEnvironment environment(ProxyEnvironment::Values{{"https_proxy", ""}, {"HTTP_PROXY", "d:4"}});
        EXPECT_EQ(platform::readSystemProxy().server, "d:4");
        EXPECT_TRUE(platform::readSystemProxy().enabled);
    }
}

} // namespace
