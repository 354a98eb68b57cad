// The real program file, headless, accelerating against hostile stand-ins for the endpoints of the address sources:
// the published lists (sources 2 and 4) and the metadata API (source 1) over HTTPS, the lookup service (source 3)
// over plain HTTP. Whatever the endpoint does, the run ends in bounded time and bounded memory, and the hosts file
// gets no line that is not an address line.

#include "hosts/service_names.h"
#include "tests/hostile/hostile_server.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "util/text.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <map>
#include <optional>
#include <tuple>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using hostile::Hostility;
using testsupport::connectToEntry;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kUserText = "127.0.0.1 localhost\n::1 ip6-localhost\n";
// The program's HttpGet limit for the cases that trickle, instead of its 90 seconds.
constexpr int kGetTimeoutMs = 2000;
// Nothing listens here: an endpoint the case does not serve answers nothing at once.
constexpr int kClosedPort = 9;

struct Source {
    int number;
    const char* name;
    /// The last two lines of an aborted run.
    std::string abortLines;
    hostile::ValidAnswer answer;
};
void PrintTo(const Source& source, std::ostream* out) {
    *out << source.name;
}

// Sixty /32 loopback ranges for every key of the metadata answer: pinged as root, they answer.
std::string loopbackMetadata() {
    std::string ranges;
    for (int i = 2; i < 62; ++i)
        ranges += std::string(ranges.empty() ? "" : ",") + "\"127.0.0." + std::to_string(i) + "/32\"";
    std::string metadata = "{\"verifiable_password_authentication\":true";
    for (const char* key : {"hooks", "web", "api", "git", "packages", "pages", "importer", "actions", "dependabot"})
        metadata += std::string(",\"") + key + "\":[" + ranges + "]";
    return metadata + "}";
}

const std::string kList = "# GitHub Host Start\n140.82.112.3 github.com\n185.199.108.133 raw.githubusercontent.com\n"
                          "140.82.112.5 api.github.com\n# GitHub Host End\n";

const Source kSources[] = {
    {2, "Source2List", "Access error\nPlease try switching the address source: 直接转换\n", {kList}},
    {4, "Source4List", "Access error\nPlease try switching the address source: Auto\n", {kList}},
    {1,
     "Source1Metadata",
     "Access error\nPlease try switching the address source: 实际判断\n",
     {loopbackMetadata(), "application/json; charset=utf-8"}},
};

class HostileEndpoint : public testing::TestWithParam<std::tuple<Source, Hostility>> {
protected:
    void SetUp() override {
        writeFile(hosts, kUserText);
        writeFile(program.settingsPath(), "[获取地址]\nData=" + std::to_string(source().number) + "\n");
        program.environment["CORVANA_HOSTS"] = hosts;
        program.environment["CORVANA_CA_BUNDLE"] = authority.authority().certificateFile;
        program.environment["PATH"] = "/usr/bin:/bin";
    }

    [[nodiscard]] const Source& source() const { return std::get<0>(GetParam()); }
    [[nodiscard]] Hostility hostility() const { return std::get<1>(GetParam()); }

    /// Runs the program with the endpoints of the lists and the metadata API on the server, the lookup service on
    /// a closed port.
    testsupport::ProgramResult run(const hostile::HostileServer& server, std::chrono::milliseconds limit) {
        program.environment["CORVANA_CONNECT_TO"] = connectToEntry("gitlab.com", 443, server.port()) + "," +
                                                    connectToEntry("raw.hellogithub.com", 443, server.port()) + "," +
                                                    connectToEntry("api.github.com", 443, server.port()) + "," +
                                                    connectToEntry("ip-api.com", 80, kClosedPort);
        return program.run({"-asp", "-esp"}, limit + 30s);
    }

    testsupport::ProgramCopy program;
    std::string hosts = program.folder() + "/hosts";
    testsupport::TempDir certificates;
    testsupport::TestCertificateAuthority authority{certificates.path()};
};

const std::vector<std::string> kEndpointNames = {"gitlab.com", "raw.hellogithub.com", "api.github.com"};

// The control: the same answer, served as it should be, is taken. Without it every refusal below could be a
// fixture that reaches nothing.
class WellBehavedEndpoint : public HostileEndpoint {};

TEST_P(WellBehavedEndpoint, IsTaken) {
    if (source().number == 1 && geteuid() != 0)
        GTEST_SKIP() << "source 1 needs ICMP echo on loopback, which needs a raw socket here";
    hostile::HostileServer server(Hostility::WellBehaved, source().answer, &authority, kEndpointNames);
    const auto result = run(server, 30s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string written = readFile(hosts);
    EXPECT_NE(written.find(kUserText + "\n# GitHub Host Start\n"), std::string::npos) << result.out;
    EXPECT_NE(written.find(source().number == 1 ? "127.0.0." : "140.82.112.3 github.com"), std::string::npos)
        << written;
}

INSTANTIATE_TEST_SUITE_P(Sources, WellBehavedEndpoint,
                         testing::Combine(testing::ValuesIn(kSources), testing::Values(Hostility::WellBehaved)),
                         [](const auto& info) { return std::string(std::get<0>(info.param).name); });

// How long a case may take: a trickle is cut by the shortened HttpGet limit on each of the four reads; everything
// else ends without waiting for any limit.
std::chrono::milliseconds limitFor(Hostility hostility) {
    if (hostility == Hostility::OneByteASecond)
        return std::chrono::milliseconds(4 * kGetTimeoutMs) + 15s;
    return 20s;
}

TEST_P(HostileEndpoint, EndsTheRunWithAccessErrorAndWritesNothing) {
    hostile::HostileServer server(hostility(), source().answer, &authority, kEndpointNames);
    if (hostility() == Hostility::OneByteASecond)
        program.environment["CORVANA_GET_TIMEOUT_MS"] = std::to_string(kGetTimeoutMs);
    const auto limit = limitFor(hostility());
    const auto result = run(server, limit);

    EXPECT_FALSE(result.timedOut);
    EXPECT_LT(result.elapsed, limit);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find(source().abortLines), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("Modify HOSTS..."), std::string::npos) << result.out;
    EXPECT_EQ(readFile(hosts), kUserText);
    EXPECT_LT(result.peakMemoryKiB, hostile::kMemoryLimitKiB);
    EXPECT_EQ(server.elsewhere().requestCount(), 0u) << "an https read went on over plain http";
    if (hostile::isCertificateFault(hostility())) {
        EXPECT_EQ(server.requestCount(), 0u) << "a request was sent through a refused certificate";
    }
    RecordProperty("PeakMemoryKiB", std::to_string(result.peakMemoryKiB));
    RecordProperty("ElapsedMs", std::to_string(result.elapsed.count()));
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileEndpoint,
                         testing::Combine(testing::ValuesIn(kSources), testing::ValuesIn(hostile::everyHostility())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    hostile::nameOf(std::get<1>(info.param));
                         });

// Source 3 asks the lookup service once for every name, a second apart, so one run serves the whole table: the
// names in turn get each misbehaviour, an answer whose "query" is no address, or a good answer.

struct LookupAnswer {
    const char* name;
    /// The misbehaviour, which carries the body as its valid answer; none: the body is the answer.
    std::optional<Hostility> hostility;
    /// The JSON answer; "%" stands for the name's number.
    std::string body;
    /// The name gets the body's address; otherwise it gets none.
    bool taken = false;
};

std::vector<LookupAnswer> lookupTable() {
    std::vector<LookupAnswer> table;
    for (const Hostility hostility : hostile::plainHttpHostilities())
        table.push_back({hostile::nameOf(hostility), hostility, R"({"query":"127.0.2.%"})"});
    table.push_back({"LineSmuggledIntoTheAddress", std::nullopt, R"({"query":"127.0.3.%\n6.6.6.6 evil.example"})"});
    table.push_back({"MarkupForTheAddress", std::nullopt, R"({"query":"<b>127.0.3.%</b>"})"});
    table.push_back({"WellBehaved", std::nullopt, R"({"status":"success","query":"127.0.1.%"})", true});
    return table;
}

// What one name is answered: its row of the table and its number, both from the name's first place in the list, so
// that a repeated name is answered alike.
struct Assigned {
    std::size_t row = 0;
    std::size_t number = 0;
};

bool isIpv4(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

TEST(HostileLookupService, EveryNameGetsAGoodAddressOrNoneAndNothingElseReachesTheHostsFile) {
    testsupport::ProgramCopy program;
    const std::string hosts = program.folder() + "/hosts";
    writeFile(hosts, kUserText);
    writeFile(program.settingsPath(), "[获取地址]\nData=3\n");

    std::vector<std::string> names = util::splitText(hosts::kServiceHostList, util::kCrLf);
    names.emplace_back(hosts::kServiceMainHost);
    names.emplace_back(hosts::kRawContentHost);
    const std::vector<LookupAnswer> table = lookupTable();
    std::map<std::string, Assigned> assigned;
    std::size_t trickled = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Assigned next{assigned.size() % table.size(), i + 1};
        if (assigned.emplace(names[i], next).second && table[next.row].hostility == Hostility::OneByteASecond)
            ++trickled;
    }

    const hostile::Elsewhere elsewhere({R"({"query":"127.0.9.9"})", "application/json"});
    testsupport::LoopbackServer lookup;
    lookup.server().Get(R"(/json/(.*))", [&](const httplib::Request& request, httplib::Response& response) {
        const std::string name = request.matches[1];
        const auto found = assigned.find(name);
        if (found == assigned.end()) {
            response.status = 404;
            return;
        }
        const LookupAnswer& answer = table[found->second.row];
        const std::string body = util::replaceText(answer.body, "%", std::to_string(found->second.number));
        if (answer.hostility)
            hostile::answerHostile(*answer.hostility, {body, "application/json"}, elsewhere, request, response);
        else
            response.set_content(body, "application/json");
    });
    lookup.start();
    program.environment["CORVANA_HOSTS"] = hosts;
    program.environment["PATH"] = "/usr/bin:/bin";
    program.environment["CORVANA_CONNECT_TO"] = connectToEntry("ip-api.com", 80, lookup.port());
    program.environment["CORVANA_GET_TIMEOUT_MS"] = std::to_string(kGetTimeoutMs);

    // A second before every name, and the shortened limit for each trickled one.
    const auto limit = std::chrono::seconds(names.size()) + std::chrono::milliseconds(trickled * kGetTimeoutMs) + 40s;
    const auto result = program.run({"-asp", "-esp"}, limit + 30s);
    EXPECT_FALSE(result.timedOut);
    EXPECT_LT(result.elapsed, limit);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_LT(result.peakMemoryKiB, hostile::kMemoryLimitKiB);
    RecordProperty("PeakMemoryKiB", std::to_string(result.peakMemoryKiB));
    RecordProperty("ElapsedMs", std::to_string(result.elapsed.count()));

    const std::string written = readFile(hosts);
    ASSERT_EQ(written.rfind(kUserText + "\n# GitHub Host Start\n", 0), 0u) << written;
    const std::vector<std::string> lines =
        util::splitText(written.substr(kUserText.size() + 1 + std::string("# GitHub Host Start\n").size()), "\n");
    ASSERT_EQ(lines.size(), names.size() + 1) << written;
    EXPECT_EQ(lines.back(), "# GitHub Host End");
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Assigned& given = assigned[names[i]];
        const LookupAnswer& answer = table[given.row];
        const std::string expected =
            answer.taken ? "127.0.1." + std::to_string(given.number) + " " + names[i] : " " + names[i];
        EXPECT_EQ(lines[i], expected) << "the answer " << answer.name << " for " << names[i];
        const std::string address = lines[i].substr(0, lines[i].find(' '));
        EXPECT_TRUE(address.empty() || isIpv4(address)) << lines[i];
    }
}

} // namespace
