// The real program file, headless, with the two sources that ask outside services: the automatic selection from the
// metadata API's ranges (pinging loopback addresses) and the per-name lookup. Loopback servers stand in for the API
// and the lookup service.

#include "hosts/service_names.h"
#include "tests/support/loopback_server.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "util/text.h"

#include <gtest/gtest.h>

#include <set>
#include <unistd.h>

namespace {

using namespace testsupport;

const std::string kUserText = "127.0.0.1 localhost\n";

class HeadlessSources : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(hosts, kUserText);
        program.environment["CORVANA_HOSTS"] = hosts;
        program.environment["CORVANA_CA_BUNDLE"] = authority.authority().certificateFile;
        program.environment["PATH"] = "/usr/bin:/bin";
    }

    void start(const std::string& metadata, std::function<std::string(const std::string&)> lookup) {
        api.server().Get("/meta", [metadata](const httplib::Request&, httplib::Response& response) {
            response.set_content(metadata, "application/json; charset=utf-8");
        });
        lookupService.server().Get(
            R"(/json/(.*))", [lookup](const httplib::Request& request, httplib::Response& response) {
                response.set_content(lookup(request.matches[1]), "application/json; charset=utf-8");
            });
        api.start();
        lookupService.start();
        program.environment["CORVANA_CONNECT_TO"] = connectToEntry("api.github.com", 443, api.port()) + "," +
                                                    connectToEntry("ip-api.com", 80, lookupService.port());
    }

    // The address of every line of the block, by host name, in order.
    std::vector<std::pair<std::string, std::string>> blockLines() const {
        std::vector<std::pair<std::string, std::string>> lines;
        bool inside = false;
        for (const std::string& line : util::splitText(readFile(hosts), "\n")) {
            if (line == "# GitHub Host Start") {
                inside = true;
            } else if (line == "# GitHub Host End") {
                inside = false;
            } else if (inside) {
                const auto space = line.find(' ');
                lines.emplace_back(line.substr(space + 1), line.substr(0, space));
            }
        }
        return lines;
    }

    ProgramCopy program;
    std::string hosts = program.folder() + "/hosts";
    TempDir certificates;
    TestCertificateAuthority authority{certificates.path()};
    LoopbackServer api{authority.issue("api", {"api.github.com"})};
    LoopbackServer lookupService;
};

TEST_F(HeadlessSources, AutomaticSelectionPointsEveryNameAtTheFastestLoopbackCandidate) {
    if (geteuid() != 0)
        GTEST_SKIP() << "ICMP echo on loopback needs a raw socket here";
    // Sixty /32 ranges per key: thirty are examined, about one in five becomes a candidate.
    std::string ranges;
    std::set<std::string> offered;
    for (int i = 2; i < 62; ++i) {
        ranges += std::string(ranges.empty() ? "" : ",") + "\"127.0.0." + std::to_string(i) +
                  "/32\",\"2a0a::" + std::to_string(i) + "/64\"";
        offered.insert("127.0.0." + std::to_string(i));
    }
    std::string metadata = "{\"verifiable_password_authentication\":true";
    for (const char* key : {"hooks", "web", "api", "git", "packages", "pages", "importer", "actions", "dependabot"})
        metadata += std::string(",\"") + key + "\":[" + ranges + "]";
    metadata += "}";
    offered.insert("127.0.0.1");
    start(metadata, [](const std::string&) { return R"({"status":"success","query":"127.0.0.1"})"; });
    writeFile(program.settingsPath(), "[获取地址]\nData=1\n");

    const auto result = program.run({"-asp", "-esp"}, std::chrono::seconds(60));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const auto lines = blockLines();
    ASSERT_EQ(lines.size(), 41u) << result.out; // 39 names, the raw-content host (ticked by default), the main host
    const std::string chosen = lines.front().second;
    EXPECT_EQ(offered.count(chosen), 1u) << chosen;
    const auto names = util::splitText(hosts::kServiceHostList, "\r\n");
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(lines[i], std::make_pair(names[i], chosen));
    EXPECT_EQ(lines[39], std::make_pair(std::string(hosts::kRawContentHost), chosen));
    EXPECT_EQ(lines[40], std::make_pair(std::string(hosts::kServiceMainHost), std::string("127.0.0.1")));
    EXPECT_NE(result.out.find("Sever: " + chosen + "\nSever: 127.0.0.1\n"), std::string::npos) << result.out;
}

TEST_F(HeadlessSources, PerNameLookupReplacesAnIpv6AnswerWithTheMainSitesAddress) {
    start("{}", [](const std::string& name) {
        if (name == "github.blog")
            return std::string(R"({"query":"2606:50c0:8000::153"})");
        if (name == "github.com")
            return std::string(R"({"query":"127.0.0.1"})");
        return R"({"query":"127.0.1.)" + std::to_string(name.size()) + "\"}";
    });
    writeFile(program.settingsPath(), "[获取地址]\nData=3\n");

    const auto result = program.run({"-asp", "-esp"}, std::chrono::seconds(120));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Wait -> 3/41\nLoding...\nErr - 2606:50c0:8000::153\ngithub.blog -> 127.0.0.1\n"),
              std::string::npos)
        << result.out;
    const auto lines = blockLines();
    ASSERT_EQ(lines.size(), 41u) << result.out;
    EXPECT_EQ(lines[2], std::make_pair(std::string("github.blog"), std::string("127.0.0.1")));
    EXPECT_EQ(lines[0], std::make_pair(std::string("github.io"), std::string("127.0.1.9")));
    EXPECT_EQ(lines[39], std::make_pair(std::string(hosts::kServiceMainHost), std::string("127.0.0.1")));
    EXPECT_EQ(lines[40].first, std::string(hosts::kRawContentHost));
    // "3" is written for this source at the start of every run.
    EXPECT_NE(readFile(program.settingsPath()).find("Data=3"), std::string::npos);
}

} // namespace
