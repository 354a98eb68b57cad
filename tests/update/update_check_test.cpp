#include "update/update_check.h"

#include "tests/update/probe_run.h"
#include "tests/update/share_pages.h"
#include "tests/update/update_site.h"
#include "update/update_addresses.h"
#include "util/html_to_text.h"
#include "util/text_utilities.h"

#include <gtest/gtest.h>

namespace updatetest {
namespace {

const std::string kDownloadCode = "iAbC123xyz";
const std::string kChanges = "修复了加速后偶尔无法访问的问题";

std::string noteHtml(const std::string& version, const std::string& code = kDownloadCode) {
    return "<div>Corvana 更新公告</div><div>最新版本【" + version + "】最新版本</div><div>下载地址【" + code +
           "】下载地址</div><div>-更新内容</div><div>" + kChanges + "</div><div>-更新内容</div>";
}

/// The change notes as the check cuts them out of the note's text.
std::string changeNotes(const std::string& version) {
    return util::textBetween(util::htmlToText(noteHtml(version)), "-更新内容", "-更新内容");
}

std::string upToDateText(const std::string& local, const std::string& latest) {
    return "当前已是最新版本\r\n本地版本：" + local + "\r\n最新版本：" + latest + "\r\n" + changeNotes(latest);
}

std::string offerText(const std::string& latest) {
    return "有新的版本发布：" + latest +
           "，是否更新至该版本？\r\n为防止更新后出错，这将会把下载链接输出到运行目录下\r\n" + changeNotes(latest);
}

const std::string kUpdateErrorText = "更新时出现错误，请在本程序的运行目录下找到：最新版本下载链接.txt 手动进行更新";

void expectBox(const ui::MessageBoxRequest& box, const std::string& text, int style, const std::string& title) {
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.style, style);
    EXPECT_EQ(box.title, title);
    EXPECT_EQ(box.owner, "MainWindow");
}

/// The version link went to "Loding..." while the check ran and came back enabled with the version.
void expectLinkRestored(const ProbeReport& report, const std::string& version) {
    EXPECT_EQ(report.linkText, "v" + version);
    EXPECT_FALSE(report.linkDisabled);
    EXPECT_EQ(report.linkHistory,
              (std::vector<std::string>{"disabled", "text Loding...", "enabled", "text v" + version}));
}

using Lines = std::vector<std::string>;

class UpdateCheckTest : public ::testing::Test {
protected:
    UpdateSite site;
    ProbeCopy probe{"1.2.1.0"};

    [[nodiscard]] bool shareSiteAsked() const {
        for (const SiteRequest& request : site.requests()) {
            if (request.host != update::kNoteHost)
                return true;
        }
        return false;
    }
};

TEST_F(UpdateCheckTest, SameVersionIsReportedUpToDate) {
    site.note(std::string(update::kNoteId), noteHtml("1.2.1.0"));

    const ProbeReport report = probe.check(site);

    ASSERT_EQ(report.run.exitCode, 3) << report.run.err;
    ASSERT_EQ(report.boxes.size(), 1u);
    expectBox(report.boxes[0], upToDateText("1.2.1.0", "1.2.1.0"), ui::kMbOk, "");
    EXPECT_EQ(report.log, (Lines{"Local Ver: 1.2.1.0", "Get info...", "Update Complete"}));
    expectLinkRestored(report, "1.2.1.0");
    EXPECT_EQ(probe.runDirectoryListing(), Lines{"corvana"});
    ASSERT_EQ(site.requests().size(), 1u);
    EXPECT_EQ(site.requests()[0].target, "/yws/public/note/" + std::string(update::kNoteId));
    EXPECT_FALSE(shareSiteAsked());
}

class NotNewerTest : public UpdateCheckTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NotNewerTest, IsReportedUpToDateWithTheAnnouncedText) {
    site.note(std::string(update::kNoteId), noteHtml(GetParam()));

    const ProbeReport report = probe.check(site, {"yes"});

    ASSERT_EQ(report.run.exitCode, 3) << report.run.err;
    ASSERT_EQ(report.boxes.size(), 1u);
    expectBox(report.boxes[0], upToDateText("1.2.1.0", GetParam()), ui::kMbOk, "");
    EXPECT_EQ(report.log.back(), "Update Complete");
    EXPECT_FALSE(shareSiteAsked());
}

// Older, equal with fewer parts, empty, and texts that are no version at all.
INSTANTIATE_TEST_SUITE_P(Announced, NotNewerTest,
                         ::testing::Values("1.2.0.9", "1.2.1", "", "1.3.0.0 beta", "v1.3", "1..3", "新版本"));

TEST_F(UpdateCheckTest, NewerVersionDeclinedWritesNothing) {
    // 1.10.0.0 is the smaller text but the higher version.
    site.note(std::string(update::kNoteId), noteHtml("1.10.0.0"));

    const ProbeReport report = probe.check(site, {"no"});

    ASSERT_EQ(report.run.exitCode, 3) << report.run.err;
    ASSERT_EQ(report.boxes.size(), 1u);
    expectBox(report.boxes[0], offerText("1.10.0.0"), ui::kMbYesNo + ui::kMbIconInformation, "");
    EXPECT_EQ(report.log, (Lines{"Local Ver: 1.2.1.0", "Get info...", "Update Complete"}));
    expectLinkRestored(report, "1.2.1.0");
    EXPECT_EQ(probe.runDirectoryListing(), Lines{"corvana"});
    EXPECT_FALSE(shareSiteAsked());
}

TEST_F(UpdateCheckTest, AcceptedUpdateWithUnresolvableShareKeepsTheLinkFile) {
    site.note(std::string(update::kNoteId), noteHtml("1.10.0.0"));
    site.answer(kShareHost, "/" + kDownloadCode, {200, {}, "<html><body>文件取消分享了</body></html>"});
    testsupport::writeFile(probe.folder() + "/最新版本下载链接.txt",
                           "an older link file that is longer than the new one");

    const ProbeReport report = probe.check(site, {"yes"});

    ASSERT_EQ(report.run.exitCode, 3) << report.run.err;
    ASSERT_EQ(report.boxes.size(), 2u);
    expectBox(report.boxes[0], offerText("1.10.0.0"), ui::kMbYesNo + ui::kMbIconInformation, "");
    expectBox(report.boxes[1], kUpdateErrorText, ui::kMbIconError, "");
    EXPECT_EQ(report.log, (Lines{"Local Ver: 1.2.1.0", "Get info...", "Please wait...", "Error", "Update Complete"}));
    expectLinkRestored(report, "1.2.1.0");
    EXPECT_EQ(testsupport::readFile(probe.folder() + "/最新版本下载链接.txt"),
              "1.10.0.0 - 下面是Corvana最新版本的下载链接，如果程序自动更新出现了问题，可以使用下面的链接手动下载。\n" +
                  std::string(update::kShareLinkBase) + kDownloadCode);
    EXPECT_EQ(probe.runDirectoryListing(), (Lines{"corvana", "最新版本下载链接.txt"}));
    EXPECT_TRUE(shareSiteAsked());
}

TEST_F(UpdateCheckTest, TamperedDownloadIsNotInstalledAndReportedAsError) {
    site.note(std::string(update::kNoteId), noteHtml("1.10.0.0"));
    servePublicShare(site, "/" + kDownloadCode);
    site.answer(kFileHost, "/download/corvana-update?sign=ok",
                {200, {}, probe.programBytes().substr(0, probe.programBytes().size() - 4096)});

    const ProbeReport report = probe.check(site, {"yes"});

    ASSERT_EQ(report.run.exitCode, 3) << "the check must return when nothing was installed";
    ASSERT_EQ(report.boxes.size(), 2u);
    expectBox(report.boxes[1], kUpdateErrorText, ui::kMbIconError, "");
    EXPECT_EQ(report.log, (Lines{"Local Ver: 1.2.1.0", "Get info...", "Please wait...", "Error", "Update Complete"}));
    expectLinkRestored(report, "1.2.1.0");
    EXPECT_TRUE(testsupport::readFile(probe.programPath()) == probe.programBytes()) << "the program file changed";
    EXPECT_EQ(probe.runDirectoryListing(), (Lines{"corvana", "最新版本下载链接.txt"}));
    EXPECT_EQ(site.requests().back().target, "/download/corvana-update?sign=ok");
}

struct NoteFailure {
    const char* name;
    SiteAnswer answer;
};

class NoteFailureTest : public UpdateCheckTest, public ::testing::WithParamInterface<NoteFailure> {};

TEST_P(NoteFailureTest, EndsWithTheErrBox) {
    site.answer(std::string(update::kNoteHost), "/yws/public/note/" + std::string(update::kNoteId), GetParam().answer);

    const ProbeReport report = probe.check(site, {"yes"});

    ASSERT_EQ(report.run.exitCode, 3) << report.run.err;
    ASSERT_EQ(report.boxes.size(), 1u);
    expectBox(report.boxes[0], "获取最新版本失败，请过会再试~", ui::kMbIconError, "Err");
    EXPECT_EQ(report.log, (Lines{"Local Ver: 1.2.1.0", "Get info...", "Update Err"}));
    expectLinkRestored(report, "1.2.1.0");
}

INSTANTIATE_TEST_SUITE_P(Answers, NoteFailureTest,
                         ::testing::Values(NoteFailure{"Empty", {200, {}, ""}},
                                           NoteFailure{"NotJson", {200, {}, "<html>busy</html>"}},
                                           NoteFailure{"WithoutContent", {200, {}, "{\"title\":\"Corvana\"}"}},
                                           NoteFailure{"EmptyContent", {200, {}, "{\"content\":\"\"}"}}),
                         [](const ::testing::TestParamInfo<NoteFailure>& info) {
                             return std::string(info.param.name);
                         });

struct VersionCase {
    const char* announced;
    const char* local;
    bool newer;
};

void PrintTo(const VersionCase& version, std::ostream* out) {
    *out << '"' << version.announced << "\" over \"" << version.local << '"';
}

class VersionOrderTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionOrderTest, ComparesNumbersPartByPart) {
    EXPECT_EQ(update::isNewerVersion(GetParam().announced, GetParam().local), GetParam().newer);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionOrderTest,
    ::testing::Values(VersionCase{"1.10.0.0", "1.2.1.0", true}, VersionCase{"1.2.1.0", "1.10.0.0", false},
                      VersionCase{"1.2.1.0", "1.2.1.0", false}, VersionCase{"1.2.1.1", "1.2.1.0", true},
                      VersionCase{"1.2.1", "1.2.1.0", false}, VersionCase{"1.2.1.0.1", "1.2.1.0", true},
                      VersionCase{"01.02.01.00", "1.2.1.0", false},
                      VersionCase{"99999999999999999999.0", "9999999999999999999.9", true},
                      VersionCase{" 1.3.0.0\r\n", "1.2.1.0", true}, VersionCase{"", "1.2.1.0", false},
                      VersionCase{"1.3.0.0-beta", "1.2.1.0", false}, VersionCase{"1.3.", "1.2.1.0", false},
                      VersionCase{".1.3", "1.2.1.0", false}, VersionCase{"-1", "1.2.1.0", false},
                      VersionCase{"1.0.0.0", "", true}, VersionCase{"", "", false}));

TEST(FetchNoteTextTest, TakesTheIdentifierFromBothShareLinkForms) {
    UpdateSite site;
    SiteEnvironment environment(site);
    const std::string id = "0123456789abcdef0123456789abcdef";
    site.note(id, "<p>最新版本【1.3.0.0】最新版本 &amp; more</p>");
    const std::string host(update::kNoteHost);

    for (const std::string& given : {id, "http://" + host + "/noteshare?id=" + id,
                                     "https://" + host + "/ynoteshare/index.html?id=" + id + "&type=note&_time=1"})
        EXPECT_EQ(update::fetchNoteText(given), "最新版本【1.3.0.0】最新版本 & more") << given;
    for (const SiteRequest& request : site.requests())
        EXPECT_EQ(request.target, "/yws/public/note/" + id);
    EXPECT_EQ(site.requests().size(), 3u);
}

} // namespace
} // namespace updatetest
