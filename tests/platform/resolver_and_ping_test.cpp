#include "platform/net.h"

#include <arpa/inet.h>
#include <atomic>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool icmpSocketsAvailable() {
    for (const int type : {SOCK_RAW, SOCK_DGRAM}) {
        const int fd = ::socket(AF_INET, type, IPPROTO_ICMP);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    return false;
}

/// Restores the real resolver and ping at the end of each test.
class Hooks : public testing::Test {
protected:
    void TearDown() override {
        platform::setResolverHook({});
        platform::setPingHook({});
    }
};

TEST_F(Hooks, ResolverAnswersFromTheHookUntilItIsRemoved) {
    EXPECT_EQ(platform::resolveHostName("localhost"), "127.0.0.1");
    platform::setResolverHook([](const std::string& name) { return name == "github.com" ? "1.2.3.4" : ""; });
    EXPECT_EQ(platform::resolveHostName("github.com"), "1.2.3.4");
    EXPECT_EQ(platform::resolveHostName("localhost"), "");
    platform::setResolverHook({});
    EXPECT_EQ(platform::resolveHostName("localhost"), "127.0.0.1");
}

TEST_F(Hooks, PingHookReplacesTheEcho) {
    platform::setPingHook([](const std::string& host, int timeoutMs) { return host == "a" ? timeoutMs / 10 : -1; });
    EXPECT_EQ(platform::pingHost("a", 500), 50);
    EXPECT_EQ(platform::pingHost("b"), -1);
}

TEST_F(Hooks, PingResolvesANameThroughTheResolverFirst) {
    if (!icmpSocketsAvailable())
        GTEST_SKIP() << "no ICMP socket may be opened here";
    std::vector<std::string> asked;
    platform::setResolverHook([&asked](const std::string& name) {
        asked.push_back(name);
        return name == "loopback.test" ? "127.0.0.1" : "";
    });
    EXPECT_GE(platform::pingHost("loopback.test", 5000), 0);
    EXPECT_EQ(platform::pingHost("unresolvable.test", 5000), -1);
    EXPECT_EQ(asked, (std::vector<std::string>{"loopback.test", "unresolvable.test"}));
}

TEST(PingHost, GetsAnEchoFromLoopbackForEveryThreadAtOnce) {
    if (!icmpSocketsAvailable())
        GTEST_SKIP() << "no ICMP socket may be opened here";
    EXPECT_GE(platform::pingHost("127.0.0.1", 5000), 0);
    constexpr int kThreads = 16;
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&answered] {
            for (int round = 0; round < 5; ++round) {
                if (platform::pingHost("127.0.0.1", 5000) >= 0)
                    ++answered;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(answered, kThreads * 5);
}

} // namespace
