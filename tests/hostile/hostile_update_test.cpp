// The update's reads, in-process, against hostile stand-ins for its endpoints: the note that announces the version,
// the share site's page and its file link, and the file host that serves the new program. The chain runs as the
// update check runs it (the note; or the share resolution and the checked download into a scratch run directory),
// without the script that would end the process. Whatever an endpoint does, the chain ends in bounded time and
// memory, and nothing is left for a script to install: the old program file stays as it was.

#include "tests/hostile/hostile_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "update/install_update.h"
#include "update/share_link.h"
#include "update/update_addresses.h"
#include "update/update_check.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;
using hostile::Hostility;

const std::string kShareHost = "www." + std::string(update::kShareLabel) + ".com";
const std::string kEndpointHost = std::string(update::kShareLabel) + ".com";
const std::string kFileHost = "files.corvshare-cdn.com";
const std::string kDownloadCode = "iAbC123xyz";
const std::string kFramePath = "/fn?UzUBa1loVzNRYFY2UTdROlo3ADwJMlM6UDdRNQA0";
const std::string kSignature = "AGNSP1pqAzFRWAQ6UGFWZwBoDzEHM1YnBDhRMFY9AWNQM1NkX2UBaVU2UmVUYFBkB2gDOAJhV2pSYlRm_c_c";
const std::string kFileLink = "/file/?BmFUbFtqUGQLMlY3AjVXZlQ4VGUBbgJgVzRVYFAzAW0";
const std::string kDownloadPath = "/download/corvana-update";
const std::string kDirectAddress = "https://" + kFileHost + kDownloadPath + "?sign=ok";
const std::string kNoteText = "最新版本【2.0.0.0】最新版本";
const std::string kOldProgram = "the program file that runs now";

// The new program: any complete program file for this machine will do.
const std::string& newProgram() {
    static const std::string bytes = testsupport::readFile("/bin/true");
    return bytes;
}

/// Which of the update's reads misbehaves.
struct Target {
    const char* name;
    std::string host;
    /// The request path (without its query) that gets the misbehaviour.
    std::string path;
    /// What that request answers when it behaves.
    hostile::ValidAnswer answer;
    /// The Location of a behaving answer; empty: a 200 with the valid answer.
    std::string location;
    /// What the places a misbehaviour leads to hold; empty: the valid answer. The file link leads to a program, so
    /// that only the way there can keep it from being taken.
    std::string elsewhere;
};
void PrintTo(const Target& target, std::ostream* out) {
    *out << target.name;
}

const std::string kSharePage = "<html><body><iframe class=\"ifr2\" name=\"1\" src=\"" + kFramePath +
                               "\" frameborder=\"0\" scrolling=\"no\"></iframe></body></html>";
const std::string kFramePage = "<script>\n$.ajax({\n type : 'post',\n url : '/ajaxm.php',\n data : { "
                               "'action':'downprocess','sign':'" +
                               kSignature + "','ves':1 },\n dataType : 'json'\n});\n</script>";
const std::string kEndpointAnswer =
    "{\"zt\":1,\"dom\":\"https://" + kFileHost + "\",\"url\":\"" + kFileLink.substr(6) + "\",\"inf\":0}";

const std::vector<Target>& targets() {
    static const std::vector<Target> all = {
        {"Note",
         std::string(update::kNoteHost),
         "/yws/public/note/" + std::string(update::kNoteId),
         {"{\"title\":\"Corvana\",\"content\":\"<div>" + kNoteText + "</div>\"}", "application/json"},
         {},
         {}},
        {"SharePage", kShareHost, "/" + kDownloadCode, {kSharePage, "text/html; charset=utf-8"}, {}, {}},
        {"FileLink", kFileHost, "/file/", {"moved", "text/html"}, kDirectAddress, newProgram()},
        {"ProgramDownload", kFileHost, kDownloadPath, {newProgram(), "application/octet-stream"}, {}, {}},
    };
    return all;
}

// The good answers of the other reads of the chain.
void answerWell(const httplib::Request& request, httplib::Response& response) {
    const std::string host = request.get_header_value("Host");
    if (host == kShareHost && request.path == "/" + kDownloadCode)
        response.set_content(kSharePage, "text/html; charset=utf-8");
    else if (host == kShareHost && request.path == "/" + kFramePath.substr(0, kFramePath.find('?')))
        response.set_content(kFramePage, "text/html; charset=utf-8");
    else if (host == kShareHost && request.path == "/ajaxm.php")
        response.set_content(kEndpointAnswer, "application/json");
    else if (host == kFileHost && request.path == "/file/")
        response.set_redirect(kDirectAddress);
    else if (host == kFileHost && request.path == kDownloadPath)
        response.set_content(newProgram(), "application/octet-stream");
    else
        response.status = 404;
}

class HostileUpdateEndpoint : public testing::TestWithParam<std::tuple<Target, Hostility>> {
protected:
    void SetUp() override { testsupport::writeFile(runDirectory_.file("corvana"), kOldProgram); }

    [[nodiscard]] const Target& target() const { return std::get<0>(GetParam()); }
    [[nodiscard]] Hostility hostility() const { return std::get<1>(GetParam()); }

    testsupport::TempDir certificates_;
    testsupport::TestCertificateAuthority authority_{certificates_.path()};
    testsupport::TempDir runDirectory_;
};

// How long a case may take: the trickle is cut when the transport sees less than a byte a second for the web
// helper's fifteen seconds (five for the file link's redirect, which gives up after twenty in all); everything
// else ends without waiting for a limit.
std::chrono::milliseconds limitFor(Hostility hostility) {
    return hostility == Hostility::OneByteASecond ? 35s : 20s;
}

TEST_P(HostileUpdateEndpoint, EndsInBoundedTimeAndLeavesNothingToInstall) {
    const hostile::Elsewhere elsewhere(target().elsewhere.empty()
                                           ? target().answer
                                           : hostile::ValidAnswer{target().elsewhere, "application/octet-stream"});
    const bool wellBehaved = hostility() == Hostility::WellBehaved;
    testsupport::LoopbackServer server(hostile::certificateFor(
        hostility(), authority_, {std::string(update::kNoteHost), kShareHost, kEndpointHost, kFileHost},
        certificates_.path()));
    const auto handler = [&](const httplib::Request& request, httplib::Response& response) {
        if (request.get_header_value("Host") != target().host || request.path != target().path)
            answerWell(request, response);
        else if (wellBehaved && !target().location.empty())
            response.set_redirect(target().location);
        else
            hostile::answerHostile(hostility(), target().answer, elsewhere, request, response);
    };
    server.server().Get(".*", handler);
    server.server().Post(".*", handler);
    server.start();
    std::string connectTo;
    for (const std::string& host : {std::string(update::kNoteHost), kShareHost, kEndpointHost, kFileHost})
        connectTo += (connectTo.empty() ? "" : ",") + testsupport::connectToEntry(host, 443, server.port());
    const testsupport::ScopedEnvironment connect("CORVANA_CONNECT_TO", connectTo);
    const testsupport::ScopedEnvironment caBundle("CORVANA_CA_BUNDLE", authority_.authority().certificateFile);

    const bool measured = hostile::resetPeakMemory();
    const auto started = std::chrono::steady_clock::now();
    bool succeeded = false;
    if (std::string(target().name) == "Note") {
        const std::string note = update::fetchNoteText(std::string(update::kNoteId));
        succeeded = !note.empty();
        EXPECT_EQ(note, wellBehaved ? kNoteText : "");
    } else {
        // As the check does it: the share link resolved, then the download checked before anything could use it.
        const std::string address =
            update::resolveShareLink(std::string(update::kShareLinkBase) + kDownloadCode, "", "");
        succeeded = !address.empty() && update::downloadUpdate(address, runDirectory_.path(), "corvana");
    }
    const auto elapsed = std::chrono::steady_clock::now() - started;
    const long peak = hostile::peakMemoryKiB();

    EXPECT_EQ(succeeded, wellBehaved);
    EXPECT_LT(elapsed, limitFor(hostility()));
    if (measured) {
        EXPECT_LT(peak, hostile::kMemoryLimitKiB);
    }
    EXPECT_EQ(testsupport::readFile(runDirectory_.file("corvana")), kOldProgram) << "the program file was replaced";
    if (wellBehaved && std::string(target().name) != "Note") {
        EXPECT_TRUE(testsupport::readFile(runDirectory_.file("ProgramUpdateTemp/corvana")) == newProgram());
    } else {
        EXPECT_EQ(testsupport::listFolder(runDirectory_.path()), "corvana") << "something was left to install";
    }
    EXPECT_EQ(elsewhere.requestCount(), 0u) << "an https read went on over plain http";
    if (hostile::isCertificateFault(hostility())) {
        EXPECT_TRUE(server.requests().empty()) << "a request was sent through a refused certificate";
    }
    RecordProperty("PeakMemoryKiB", std::to_string(peak));
    RecordProperty("ElapsedMs", std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
}

std::vector<Hostility> withControl() {
    std::vector<Hostility> cases{Hostility::WellBehaved};
    const auto& all = hostile::everyHostility();
    cases.insert(cases.end(), all.begin(), all.end());
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileUpdateEndpoint,
                         testing::Combine(testing::ValuesIn(targets()), testing::ValuesIn(withControl())),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    hostile::nameOf(std::get<1>(info.param));
                         });

} // namespace
