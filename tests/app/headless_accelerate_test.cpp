// The real program file, headless, accelerating from the published lists (sources 2 and 4) through loopback HTTPS
// servers that stand in for the list hosts, and the silent-mode start.

#include "tests/support/loopback_proxy.h"
#include "tests/support/loopback_server.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace testsupport;

const std::string kUserText = "127.0.0.1 localhost\n::1 ip6-localhost\n";
const std::string kGap17(17, ' ');

class HeadlessAccelerate : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(hosts, kUserText);
        program.environment["CORVANA_HOSTS"] = hosts;
        program.environment["CORVANA_CA_BUNDLE"] = authority.authority().certificateFile;
        program.environment["PATH"] = "/usr/bin:/bin";
    }

    // Serves `body` as both published lists and points the program's constant list addresses at the server.
    void serveLists(const std::string& body, const std::string& contentType = "text/plain; charset=utf-8") {
        server.server().Get(".*", [body, contentType](const httplib::Request&, httplib::Response& response) {
            response.set_content(body, contentType);
        });
        server.start();
        program.environment["CORVANA_CONNECT_TO"] = connectToEntry("raw.hellogithub.com", 443, server.port()) + "," +
                                                    connectToEntry("gitlab.com", 443, server.port());
    }

    void selectSource(int source) const {
        writeFile(program.settingsPath(), "[获取地址]\nData=" + std::to_string(source) + "\n");
    }

    ProgramCopy program;
    std::string hosts = program.folder() + "/hosts";
    TempDir certificates;
    TestCertificateAuthority authority{certificates.path()};
    LoopbackServer server{authority.issue("lists", {"raw.hellogithub.com", "gitlab.com"})};
};

TEST_F(HeadlessAccelerate, SourceFourInstallsTheListWithSingleSpaces) {
    serveLists("# GitHub520 Host Start\n140.82.112.3" + kGap17 + "github.com\n185.199.108.133" + kGap17 +
               "raw.githubusercontent.com\n# GitHub520 Host End\n");
    selectSource(4);
    const auto result = program.run({"-asp", "-esp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(hosts), kUserText + "\n# GitHub Host Start\n140.82.112.3 github.com\n185.199.108.133 "
                                           "raw.githubusercontent.com\n# GitHub Host End\n");
    EXPECT_NE(result.out.find("Start\nInitialization...\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Modify HOSTS...\n"), std::string::npos) << result.out;
}

TEST_F(HeadlessAccelerate, SourceTwoEndsWithExactlyOneStartMarker) {
    serveLists("# GitHub Host Start\n# GitHub Host Start\n140.82.112.3  github.com\n# GitHub Host End");
    selectSource(2);
    const auto result = program.run({"-asp", "-esp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string written = readFile(hosts);
    EXPECT_EQ(written, kUserText + "\n# GitHub Host Start\n\n\n140.82.112.3 github.com\n# GitHub Host End");
}

TEST_F(HeadlessAccelerate, AServerThatAnswersNothingAbortsAfterThreeRetries) {
    writeFile(hosts, kUserText + "\n# GitHub Host Start\n1.2.3.4 github.com\n# GitHub Host End");
    // Nothing listens on the port the list host is sent to.
    program.environment["CORVANA_CONNECT_TO"] = connectToEntry("raw.hellogithub.com", 443, 9);
    selectSource(4);
    const auto result = program.run({"-asp", "-esp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Retry...\nRetry...\nRetry...\nAccess error\nPlease try switching the address source: "
                              "Auto\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(readFile(hosts), kUserText) << "the old block was cleared at the start and no new one came";
}

TEST_F(HeadlessAccelerate, AnHtmlPageIsNeverInstalled) {
    serveLists("<html><body><h1>502 Bad Gateway</h1></body></html>", "text/html");
    selectSource(4);
    const auto result = program.run({"-asp", "-esp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Access error"), std::string::npos) << result.out;
    EXPECT_EQ(readFile(hosts), kUserText);
}

TEST_F(HeadlessAccelerate, AnUnwritableHostsFileEndsWithTheFallbackFile) {
    serveLists("# GitHub520 Host Start\n140.82.112.3 github.com\n# GitHub520 Host End\n");
    selectSource(4);
    program.environment["CORVANA_HOSTS"] = program.folder(); // a folder reads as empty text
    const auto result = program.run({"-asp", "-esp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string fallback = readFile(program.temporaryFolder() + "GithubHost.txt");
    EXPECT_NE(fallback.find("你好，程序无法正常修改Hosts文件\n请将以下文本复制到Hosts文件内：\n# GitHub Host Start\n"
                            "140.82.112.3 github.com"),
              std::string::npos)
        << fallback;
    EXPECT_NE(result.out.find(program.temporaryFolder() + "GithubHost.txt"), std::string::npos)
        << "headless, the fallback file's path is printed";
}

TEST_F(HeadlessAccelerate, WithFspTheListRequestGoesThroughTheSystemProxy) {
    serveLists("# GitHub520 Host Start\n140.82.112.3 github.com\n# GitHub520 Host End\n");
    program.environment.erase("CORVANA_CONNECT_TO");
    LoopbackProxy proxy;
    proxy.route("raw.hellogithub.com:443", server.port());
    program.environment["https_proxy"] = "http://127.0.0.1:" + std::to_string(proxy.port());
    selectSource(4);
    const auto result = program.run({"-asp", "-fsp", "-esp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_FALSE(proxy.requests().empty());
    EXPECT_EQ(proxy.requests().front().target, "raw.hellogithub.com:443");
    EXPECT_NE(readFile(hosts).find("140.82.112.3 github.com"), std::string::npos);
}

TEST_F(HeadlessAccelerate, SilentModeClosingLeavesTheAutostartEntryAndAnAutostartLaunchRunsAtOnce) {
    serveLists("# GitHub520 Host Start\n140.82.112.3 github.com\n# GitHub520 Host End\n");
    const std::string withBlock = kUserText + "\n# GitHub Host Start\n1.2.3.4 github.com\n# GitHub Host End";
    writeFile(program.settingsPath(), "[获取地址]\nData=4\n[其余设置]\nAutoMode=1\n");
    // A plain start with silent mode ticked (it clears, which it is told to, and runs nothing by itself): closing
    // leaves the autostart entry.
    writeFile(hosts, withBlock);
    auto result = program.run({"-dsp"}, std::chrono::seconds(20), "Remove Complete");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string entry = readFile(program.autostartFolder() + "Corvana.desktop");
    EXPECT_NE(entry.find("Exec=\"" + program.programPath() + "\" AutoModeStart"), std::string::npos) << entry;
    EXPECT_NE(readFile(program.settingsPath()).find("AutoMode=1"), std::string::npos);
    EXPECT_EQ(readFile(hosts), kUserText) << "a plain start accelerates nothing by itself";

    // Started through the entry: it accelerates at once, without being asked.
    result = program.run({"AutoModeStart"}, std::chrono::seconds(30), "Complete");
    EXPECT_FALSE(result.timedOut);
    EXPECT_NE(result.out.find("Initialization..."), std::string::npos) << result.out;
    EXPECT_NE(readFile(hosts).find("140.82.112.3 github.com"), std::string::npos);

    // Unticked and closed: the entry is gone.
    writeFile(program.settingsPath(), "[获取地址]\nData=4\n[其余设置]\nAutoMode=0\n");
    writeFile(hosts, withBlock);
    result = program.run({"-dsp"}, std::chrono::seconds(20), "Remove Complete");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    struct stat info {};
    EXPECT_NE(stat((program.autostartFolder() + "Corvana.desktop").c_str(), &info), 0);
}

} // namespace
