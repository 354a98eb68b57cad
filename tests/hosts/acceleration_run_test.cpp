#include "hosts/acceleration_run.h"
#include "hosts/hosts_file.h"
#include "hosts/main_window_controls.h"
#include "hosts/service_names.h"
#include "platform/net.h"
#include "platform/system.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "tests/hosts/hosts_fixture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "util/process_values.h"
#include "util/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kStart(hosts::kBlockStartMarker);
const std::string kEnd(hosts::kBlockEndMarker);
const std::string kOriginal = "127.0.0.1 localhost\n::1 localhost\n";

Lines serviceNames(bool withRawContentHost) {
    Lines names = util::splitText(hosts::kServiceHostList, util::kCrLf);
    names.emplace_back(hosts::kServiceMainHost);
    if (withRawContentHost)
        names.emplace_back(hosts::kRawContentHost);
    return names;
}

// Where `expected` stands in `lines` as one unbroken stretch; -1 when it does not.
long findStretch(const Lines& lines, const Lines& expected) {
    const auto found = std::search(lines.begin(), lines.end(), expected.begin(), expected.end());
    return found == lines.end() ? -1 : found - lines.begin();
}

// A run's sandbox: no proxy in the environment, no real pauses, the scripted resolver and ping, source 5 selected.
class RunFixture : public hoststest::HostsFixture {
protected:
    void SetUp() override {
        HostsFixture::SetUp();
        for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
            environment_.push_back(std::make_unique<testsupport::ScopedEnvironment>(name, std::nullopt));
        util::setProxyUrl("");
        hosts::setRunWaitHook([this](int milliseconds) {
            std::lock_guard lock(mutex_);
            waits_.push_back(milliseconds);
        });
        platform::setResolverHook([this](const std::string& name) {
            std::lock_guard lock(mutex_);
            lookups_.push_back(name);
            const auto found = addresses_.find(name);
            return found == addresses_.end() ? std::string() : found->second;
        });
        window->setChecked(hosts::kSourceRadioButtons[4], true);
        writeHosts(kOriginal);
    }

    void TearDown() override {
        platform::setResolverHook({});
        platform::setPingHook({});
        hosts::setRunWaitHook({});
        hosts::setRandomHook({});
        // Restored in reverse, so that a variable set twice gets its first value back.
        while (!environment_.empty())
            environment_.pop_back();
        HostsFixture::TearDown();
    }

    void setEnvironment(const std::string& name, const std::optional<std::string>& value) {
        environment_.push_back(std::make_unique<testsupport::ScopedEnvironment>(name, value));
    }

    // Every name resolves to 10.0.0.<its position>, but for the names given with an empty address.
    void resolveAllBut(const std::map<std::string, std::string>& exceptions = {}) {
        const Lines names = serviceNames(true);
        for (std::size_t i = 0; i < names.size(); ++i)
            addresses_[names[i]] = "10.0.0." + std::to_string(i + 1);
        for (const auto& [name, address] : exceptions)
            addresses_[name] = address;
    }

    [[nodiscard]] Lines lookups() {
        std::lock_guard lock(mutex_);
        return lookups_;
    }
    [[nodiscard]] std::vector<int> waits() {
        std::lock_guard lock(mutex_);
        return waits_;
    }

    std::map<std::string, std::string> addresses_;

private:
    std::mutex mutex_;
    Lines lookups_;
    std::vector<int> waits_;
    std::vector<std::unique_ptr<testsupport::ScopedEnvironment>> environment_;
};

// Source 5

TEST_F(RunFixture, DirectConversionWritesTheResolvedNamesAfterAnEmptyLine) {
    const std::string unresolved = "github.community";
    resolveAllBut({{unresolved, ""}});
    hosts::runAcceleration(5);

    std::string block = kStart + "\n";
    Lines expectedLog = {"Initialization..."};
    const Lines names = serviceNames(true);
    for (const std::string& name : names) {
        expectedLog.push_back("Loding -> " + name);
        if (name == unresolved) {
            expectedLog.push_back("Error: " + name);
            continue;
        }
        // The raw-content host borrows the avatar host's address.
        const std::string address = addresses_[name == hosts::kRawContentHost ? std::string(hosts::kAvatarHost) : name];
        expectedLog.push_back("Success: " + address);
        block += "\n" + address + " " + name;
    }
    block += "\n" + kEnd;
    for (const char* line : {"Modify HOSTS...", "Refresh DNS...", hoststest::kFlushOutput, "Complete"})
        expectedLog.emplace_back(line);

    EXPECT_EQ(readHosts(), kOriginal + "\n" + block);
    EXPECT_EQ(logLines(), expectedLog);
    const Lines looked = lookups();
    EXPECT_EQ(looked.size(), 40u);
    EXPECT_EQ(std::count(looked.begin(), looked.end(), std::string(hosts::kRawContentHost)), 0);
    EXPECT_EQ(std::count(looked.begin(), looked.end(), "assets-cdn.github.com"), 2);
    EXPECT_EQ(window->progress(hosts::kProgressBar), 100);
    EXPECT_EQ(window->picture(hosts::kPictureBox), hosts::kIdlePicture);
    EXPECT_EQ(window->text(hosts::kStartLink), hosts::kStartLinkIdle);
    EXPECT_EQ(waits(), std::vector<int>{1000});
}

TEST_F(RunFixture, DirectConversionResolvesTheRawContentHostWhenTheAvatarHostDoesNot) {
    resolveAllBut({{std::string(hosts::kAvatarHost), ""}});
    hosts::runAcceleration(5);
    const std::string raw(hosts::kRawContentHost);
    const Lines log = logLines();
    EXPECT_NE(findStretch(log, {"Loding -> " + raw, "Success: " + addresses_[raw]}), -1);
    EXPECT_TRUE(readHosts().ends_with("\n" + addresses_[raw] + " " + raw + "\n" + kEnd));
    EXPECT_EQ(lookups().back(), raw);
}

TEST_F(RunFixture, DirectConversionWithoutRawContentHasFortyLinesAndReplacesAnOldBlock) {
    window->setChecked(hosts::kRawContentCheckBox, false);
    writeHosts(hosts::appendBlock(kOriginal, kStart + "\n1.1.1.1 old.example\n" + kEnd));
    resolveAllBut();
    hosts::runAcceleration(5);
    const std::string text = readHosts();
    ASSERT_TRUE(text.starts_with(kOriginal + "\n" + kStart + "\n\n"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 1 + 1 + 40 + 1);
    EXPECT_EQ(text.find("old.example"), std::string::npos);
    EXPECT_NE(findStretch(logLines(), {"Initialization...", "Refresh DNS...", hoststest::kFlushOutput,
                                       "Remove Complete", "Loding -> github.io"}),
              -1);
}

// Another run writes its block while this one resolves (or this run's clearing could not write): the new block
// takes the place of the one it finds, so that no stale block stands ahead of it.
TEST_F(RunFixture, ABlockWrittenDuringTheRunIsReplacedNotStacked) {
    window->setChecked(hosts::kRawContentCheckBox, false);
    resolveAllBut();
    const std::string otherBlock = kStart + "\n\n1.1.1.1 github.com\n" + kEnd;
    std::once_flag written;
    platform::setResolverHook([&](const std::string& name) {
        std::call_once(written, [&] { writeHosts(hosts::appendBlock(kOriginal, otherBlock)); });
        return addresses_[name];
    });
    hosts::runAcceleration(5);
    const std::string text = readHosts();
    EXPECT_TRUE(text.starts_with(kOriginal + "\n" + kStart + "\n\n" + addresses_["github.io"] + " github.io\n"))
        << text;
    EXPECT_EQ(text.find("1.1.1.1"), std::string::npos) << text;
    EXPECT_EQ(text.find(kStart), text.rfind(kStart)) << text;
}

TEST_F(RunFixture, DirectConversionIntoAnUnwritableFileShowsTheAddressLinesAlone) {
    window->setChecked(hosts::kRawContentCheckBox, false);
    addresses_ = {{"github.io", "10.0.0.1"}, {"github.com", "10.0.0.2"}};
    if (!makeHostsUnwritable())
        GTEST_SKIP() << "the hosts file cannot be made unwritable here";
    testing::internal::CaptureStdout();
    hosts::runAcceleration(5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), folder() + "/tmp/GithubHost.txt\n");
    EXPECT_EQ(
        platform::readTextFile(folder() + "/tmp/GithubHost.txt"),
        "你好，程序无法正常修改Hosts文件\n请将以下文本复制到Hosts文件内：\n\n10.0.0.1 github.io\n10.0.0.2 github.com");
    EXPECT_EQ(readHosts(), kOriginal);
    const Lines log = logLines();
    EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"Modify HOSTS...", "Complete"}));
    EXPECT_TRUE(waits().empty());
}

struct EndingCase {
    const char* name;
    bool unwritable;
    bool resolvable;
};
void PrintTo(const EndingCase& value, std::ostream* out) {
    *out << value.name;
}

class EspEndings : public RunFixture, public testing::WithParamInterface<EndingCase> {};

TEST_P(EspEndings, CloseTheMainWindowInsteadOfRestoringTheLink) {
    util::setLaunchArguments("-asp-esp");
    window->setText(hosts::kStartLink, hosts::kStartLinkBusy);
    if (GetParam().resolvable)
        resolveAllBut();
    if (GetParam().unwritable && !makeHostsUnwritable())
        GTEST_SKIP() << "the hosts file cannot be made unwritable here";
    testing::internal::CaptureStdout();
    hosts::runAcceleration(5);
    (void)testing::internal::GetCapturedStdout();
    EXPECT_TRUE(mainWindowClosed());
    EXPECT_EQ(window->text(hosts::kStartLink), hosts::kStartLinkBusy);
}

INSTANTIATE_TEST_SUITE_P(Cases, EspEndings,
                         testing::Values(EndingCase{"FinishRun", false, true},
                                         EndingCase{"FallbackEnding", true, true}),
                         [](const auto& info) { return info.param.name; });

// StartAcceleration

class StartAcceleration : public RunFixture {
protected:
    void startAndWait() {
        hosts::startAcceleration();
        ASSERT_TRUE(toolkit->runUntil([this] { return window->text(hosts::kStartLink) == hosts::kStartLinkIdle; }));
    }
};

TEST_F(StartAcceleration, AsksAboutAnEnabledProxyAndTakesItOnYes) {
    setEnvironment("https_proxy", "127.0.0.1:3128");
    util::setProxyUrl("HTTP://old:1");
    toolkit->queueAnswer(ui::kAnswerYes);
    startAndWait();
    ASSERT_EQ(toolkit->messageBoxCount(), 1u);
    const ui::MessageBoxRequest box = toolkit->messageBoxes().front();
    EXPECT_EQ(box.text, "检测到你开启了IE代理：127.0.0.1:3128 是否使用该代理加速？");
    EXPECT_EQ(box.style, 68);
    EXPECT_EQ(box.title, "");
    EXPECT_EQ(box.owner, "MainWindow");
    EXPECT_EQ(util::proxyUrl(), "HTTP://127.0.0.1:3128");
    const Lines log = logLines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 2), (Lines{"Start", "Initialization..."}));
}

TEST_F(StartAcceleration, KeepsTheProxyOnNoAndTakesItWithoutAskingUnderFsp) {
    setEnvironment("http_proxy", "proxy.example:8080");
    util::setProxyUrl("HTTP://old:1");
    toolkit->queueAnswer(ui::kAnswerNo);
    startAndWait();
    EXPECT_EQ(util::proxyUrl(), "HTTP://old:1");

    util::setLaunchArguments("-FSP");
    toolkit->clearMessageBoxes();
    startAndWait();
    EXPECT_EQ(toolkit->messageBoxCount(), 0u);
    EXPECT_EQ(util::proxyUrl(), "HTTP://proxy.example:8080");
}

TEST_F(StartAcceleration, ClearsTheProxyWhenNoneIsSet) {
    util::setProxyUrl("HTTP://old:1");
    startAndWait();
    EXPECT_EQ(util::proxyUrl(), "");
    EXPECT_EQ(toolkit->messageBoxCount(), 0u);
}

TEST_F(StartAcceleration, DoesNothingWhileARunIsGoing) {
    window->setText(hosts::kStartLink, hosts::kStartLinkBusy);
    hosts::startAcceleration();
    toolkit->pump();
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(readHosts(), kOriginal);
}

TEST_F(StartAcceleration, HandsTheLinkBackWhenNoSourceIsSelected) {
    window->setChecked(hosts::kSourceRadioButtons[4], false);
    hosts::startAcceleration();
    EXPECT_EQ(window->text(hosts::kStartLink), hosts::kStartLinkIdle);
    EXPECT_EQ(logLines(), Lines{"Start"});
}

// Sources 2 and 4: published lists over HTTPS, reached through CORVANA_CONNECT_TO with a test authority.

class ListSource : public RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        authority_ = std::make_unique<testsupport::TestCertificateAuthority>(folder());
        server_ = std::make_unique<testsupport::LoopbackServer>(
            authority_->issue("lists", {"gitlab.com", "raw.hellogithub.com", "api.github.com"}));
        server_->server().Get(".*", [this](const httplib::Request&, httplib::Response& response) {
            std::lock_guard lock(answerMutex_);
            response.set_content(answer_, contentType_);
        });
        server_->start();
        setEnvironment("CORVANA_CONNECT_TO",
                       testsupport::connectToEntry("gitlab.com", 443, server_->port()) + "," +
                           testsupport::connectToEntry("raw.hellogithub.com", 443, server_->port()) + "," +
                           testsupport::connectToEntry("api.github.com", 443, server_->port()));
        setEnvironment("CORVANA_CA_BUNDLE", authority_->authority().certificateFile);
    }
    void TearDown() override {
        server_.reset();
        RunFixture::TearDown();
    }
    void answer(std::string body, std::string contentType = "text/plain; charset=utf-8") {
        std::lock_guard lock(answerMutex_);
        answer_ = std::move(body);
        contentType_ = std::move(contentType);
    }
    [[nodiscard]] std::size_t requestCount() const { return server_->requests().size(); }
    [[nodiscard]] int listPort() const { return server_->port(); }

private:
    std::unique_ptr<testsupport::TestCertificateAuthority> authority_;
    std::unique_ptr<testsupport::LoopbackServer> server_;
    std::mutex answerMutex_;
    std::string answer_;
    std::string contentType_;
};

TEST_F(ListSource, Source2CollapsesSpacesKeepsLineBreaksAndLeavesOneStartMarker) {
    answer(kStart + "\n140.82.113.3" + std::string(17, ' ') + "github.com\n" + kStart + "\n185.199.108.133  " +
           "raw.githubusercontent.com\n1.2.3.4" + std::string(40, ' ') + "a.example\n" + kEnd + "\n# tail\n");
    hosts::runAcceleration(2);
    const std::string converted = "\n140.82.113.3 github.com\n\n185.199.108.133 raw.githubusercontent.com\n"
                                  "1.2.3.4 a.example\n" +
                                  kEnd + "\n# tail\n";
    EXPECT_EQ(readHosts(), kOriginal + "\n" + kStart + "\n" + converted);
    EXPECT_NE(findStretch(logLines(), {"Initialization...",
                                       "Initialization ret: " + std::to_string(kStart.size() + 2 + converted.size()),
                                       "Modify HOSTS...", "Refresh DNS..."}),
              -1);
    EXPECT_EQ(window->progress(hosts::kProgressBar), 100);
}

TEST_F(ListSource, Source4TakesTheListsMarkersAsTheManagedOnes) {
    answer("# GitHub520 Host Start\r\n140.82.113.3     github.com\r\n# GitHub520 Host End\r\n");
    hosts::runAcceleration(4);
    EXPECT_EQ(readHosts(), kOriginal + "\n" + kStart + "\r\n140.82.113.3 github.com\r\n" + kEnd + "\r\n");
}

struct BadAnswer {
    const char* name;
    std::string body;
};
void PrintTo(const BadAnswer& value, std::ostream* out) {
    *out << value.name;
}

class ListSourceBadAnswers : public ListSource, public testing::WithParamInterface<BadAnswer> {};

TEST_P(ListSourceBadAnswers, AreRetriedThenAbortTheRunWithNothingWritten) {
    writeHosts(hosts::appendBlock(kOriginal, kStart + "\n1.1.1.1 old.example\n" + kEnd));
    answer(GetParam().body, "text/html; charset=utf-8");
    hosts::runAcceleration(2);
    EXPECT_EQ(readHosts(), kOriginal);
    EXPECT_EQ(requestCount(), 4u);
    const Lines log = logLines();
    EXPECT_EQ(Lines(log.end() - 5, log.end()), (Lines{"Retry...", "Retry...", "Retry...", "Access error",
                                                      "Please try switching the address source: 直接转换"}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "Retry..."), 3);
    EXPECT_EQ(window->text(hosts::kStartLink), hosts::kStartLinkIdle);
    EXPECT_EQ(window->picture(hosts::kPictureBox), hosts::kIdlePicture);
}

INSTANTIATE_TEST_SUITE_P(Answers, ListSourceBadAnswers,
                         testing::Values(BadAnswer{"Nothing", ""},
                                         BadAnswer{"HtmlErrorPage",
                                                   "<!DOCTYPE html>\n<html><body>502 Bad Gateway</body></html>\n"},
                                         BadAnswer{"AddressWithoutName", "# list\n140.82.113.3\n"},
                                         BadAnswer{"NotAnAddress", "github.com 140.82.113.3\n"}),
                         [](const auto& info) { return info.param.name; });

TEST_F(ListSource, Source4AbortsWithItsOwnHintAndEndsTheProgramUnderEsp) {
    util::setLaunchArguments("-esp");
    answer("");
    hosts::runAcceleration(4);
    EXPECT_EQ(logLines().back(), "Please try switching the address source: Auto");
    EXPECT_TRUE(mainWindowClosed());
}

// Source 1: the metadata API over HTTPS and the lookup service over plain HTTP, both on loopback.

class AutomaticSource : public ListSource {
protected:
    void SetUp() override {
        ListSource::SetUp();
        lookup_.server().Get(R"(/json/(.*))", [this](const httplib::Request& request, httplib::Response& response) {
            const std::string name = request.matches[1];
            std::lock_guard lock(mainSiteMutex_);
            response.set_content(name == "github.com" ? mainSiteAnswer_ : R"({"status":"fail"})", "application/json");
        });
        lookup_.start();
        setEnvironment("CORVANA_CONNECT_TO", testsupport::connectToEntry("api.github.com", 443, listPort()) + "," +
                                                 testsupport::connectToEntry("ip-api.com", 80, lookup_.port()));
        answer(R"({"verifiable_password_authentication":false,)"
               R"("hooks":["1.0.0.1/22","1.0.0.2/22","2a0a:a440::/29","1.0.0.3/20","1.0.0.4/20","1.0.0.5/24"],)"
               R"("web":["2.0.0.1/20","2.0.0.2/20","2.0.0.3/20","2.0.0.4/20","2.0.0.5/20","2.0.0.6/20","2.0.0.7/20"],)"
               R"("api":["1.0.0.1/22","3.0.0.1/20"],"git":[],"packages":[],"pages":["4.0.0.1/22"],)"
               R"("importer":[],"actions":["5.0.0.1/32","5.0.0.2/32","5.0.0.3/32","5.0.0.4/32"],"dependabot":[]})",
               "application/json");
        hosts::setRandomHook([this](int low, int high) {
            EXPECT_EQ(low, 1);
            EXPECT_EQ(high, 5);
            static constexpr int kDraws[] = {3, 1, 3, 3, 1, 3, 1, 3};
            return kDraws[static_cast<std::size_t>(draws_.fetch_add(1)) % std::size(kDraws)];
        });
        platform::setPingHook([this](const std::string& host, int timeoutMs) {
            EXPECT_EQ(timeoutMs, 100);
            pinged_.push_back(host);
            const auto found = pingTimes_.find(host);
            return found == pingTimes_.end() ? -1 : found->second;
        });
    }
    void answerMainSite(std::string body) {
        std::lock_guard lock(mainSiteMutex_);
        mainSiteAnswer_ = std::move(body);
    }

    testsupport::LoopbackServer lookup_;
    std::mutex mainSiteMutex_;
    std::string mainSiteAnswer_ = R"({"status":"success","query":"20.205.243.166"})";
    std::atomic<int> draws_{0};
    std::map<std::string, int> pingTimes_;
    Lines pinged_;
};

TEST_F(AutomaticSource, SamplesPingsUntilFourAnswersAndTakesTheLaterOfEqualTimes) {
    // hooks: 3 of 6 examined (the 1st taken, the 3rd an IPv6 range); web: 2 of 7 (the 1st taken); api: 1 of 2 (a
    // duplicate, dropped later); pages: 0 of 1; actions: 2 of 4 (the 2nd taken). A 1 ms reply is no answer.
    pingTimes_ = {{"1.0.0.1", 1}, {"2.0.0.1", 30}, {"5.0.0.2", 30}, {"20.205.243.166", 12}};
    hosts::runAcceleration(1);
    EXPECT_EQ(draws_.load(), 3 + 2 + 1 + 2);
    EXPECT_EQ(pinged_, (Lines{"1.0.0.1", "2.0.0.1", "5.0.0.2", "20.205.243.166"}));
    const Lines log = logLines();
    EXPECT_NE(findStretch(log, {"Loding...",
                                "Success: 1.0.0.1",
                                "Loding...",
                                "Success: 2.0.0.1",
                                "Loding...",
                                "Success: 1.0.0.1",
                                "Loding...",
                                "Loding...",
                                "Loding...",
                                "Loding...",
                                "Loding...",
                                "Success: 5.0.0.2",
                                "Loding...",
                                "Loding...",
                                "Loding...",
                                "Success: 20.205.243.166",
                                "3 Ping > 1.0.0.1",
                                "-> 1ms",
                                "2 Ping > 2.0.0.1",
                                "-> 30ms",
                                "1 Ping > 5.0.0.2",
                                "-> 30ms",
                                "0 Ping > 20.205.243.166",
                                "-> 12ms",
                                "Loding...",
                                "Sever: 20.205.243.166",
                                "Sever: 20.205.243.166"}),
              -1);

    // Four answers stop the pinging; of two equal times the later wins.
    pingTimes_ = {{"1.0.0.1", 40}, {"2.0.0.1", 20}, {"5.0.0.2", 20}, {"20.205.243.166", 25}};
    pinged_.clear();
    draws_ = 0;
    writeHosts(kOriginal);
    hosts::runAcceleration(1);
    EXPECT_EQ(pinged_, (Lines{"1.0.0.1", "2.0.0.1", "5.0.0.2", "20.205.243.166"}));
    std::string block = kStart;
    for (const std::string& name : serviceNames(false)) {
        if (name != hosts::kServiceMainHost)
            block += "\n5.0.0.2 " + name;
    }
    block += "\n5.0.0.2 " + std::string(hosts::kRawContentHost) + "\n20.205.243.166 github.com\n" + kEnd;
    EXPECT_EQ(readHosts(), kOriginal + "\n" + block);
}

TEST_F(AutomaticSource, StopsAtTheFourthAnswer) {
    answer(R"({"hooks":["1.0.0.1/22","1.0.0.2/22","1.0.0.3/22","1.0.0.4/22","1.0.0.5/22","1.0.0.6/22",)"
           R"("1.0.0.7/22","1.0.0.8/22","1.0.0.9/22","1.0.0.10/22"]})",
           "application/json");
    hosts::setRandomHook([](int, int) { return 3; });
    pingTimes_ = {{"1.0.0.1", 9}, {"1.0.0.2", 8}, {"1.0.0.3", 7}, {"1.0.0.4", 6}, {"1.0.0.5", 2}};
    hosts::runAcceleration(1);
    EXPECT_EQ(pinged_, (Lines{"1.0.0.1", "1.0.0.2", "1.0.0.3", "1.0.0.4"}));
    EXPECT_NE(findStretch(logLines(), {"Sever: 1.0.0.4", "Sever: 20.205.243.166"}), -1);
}

TEST_F(AutomaticSource, NoAnsweringCandidateAbortsWithNothingWritten) {
    hosts::runAcceleration(1);
    EXPECT_EQ(readHosts(), kOriginal);
    const Lines log = logLines();
    EXPECT_EQ(Lines(log.end() - 3, log.end()),
              (Lines{"Loding...", "Access error", "Please try switching the address source: 实际判断"}));
    EXPECT_EQ(window->text(hosts::kStartLink), hosts::kStartLinkIdle);
}

TEST_F(AutomaticSource, OnlyAddressesReachTheBlockWhateverTheAnswersHold) {
    // A range that names a host and a lookup answer that smuggles in a line for another name.
    answer(R"({"hooks":["localhost/32","1.0.0.1/22","1.0.0.2/22","1.0.0.3/22"]})", "application/json");
    answerMainSite(R"({"query":"20.205.243.166\n6.6.6.6 evil.example"})");
    hosts::setRandomHook([](int, int) { return 3; });
    pingTimes_ = {{"localhost", 2}, {"1.0.0.1", 9}};
    hosts::runAcceleration(1);
    EXPECT_EQ(pinged_, (Lines{"1.0.0.1", ""}));
    const std::string written = readHosts();
    EXPECT_NE(written.find("\n1.0.0.1 github.io\n"), std::string::npos) << written;
    EXPECT_NE(written.find("\n github.com\n" + kEnd), std::string::npos) << written;
    EXPECT_EQ(written.find("evil.example"), std::string::npos) << written;
    EXPECT_EQ(written.find("localhost github"), std::string::npos) << written;
}

TEST_F(AutomaticSource, MetadataThatNeverComesIsRetriedThreeTimes) {
    answer("");
    hosts::runAcceleration(1);
    const Lines log = logLines();
    EXPECT_EQ(Lines(log.end() - 5, log.end()),
              (Lines{"Retry", "Retry", "Retry", "Access error", "Please try switching the address source: 实际判断"}));
}

// Source 3: the lookup service for every name.

class LookupSource : public RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        lookup_.server().Get(R"(/json/(.*))", [](const httplib::Request& request, httplib::Response& response) {
            const std::string name = request.matches[1];
            std::string address = "10.3.0." + std::to_string(name.size());
            if (name == "api.github.com")
                address = "2606:50c0:8000::154";
            if (name == "github.com")
                address = "20.205.243.166";
            if (name == "github.blog") {
                response.set_content("not json", "text/plain");
                return;
            }
            response.set_content(R"({"query":")" + address + R"("})", "application/json");
        });
        lookup_.start();
        setEnvironment("CORVANA_CONNECT_TO", testsupport::connectToEntry("ip-api.com", 80, lookup_.port()));
        window->setChecked(hosts::kSourceRadioButtons[2], true);
    }

    testsupport::LoopbackServer lookup_;
};

// The lookup service is reached in the clear; what stands in "query" goes before a name only when it is an address.
class LookupSourceUnsafeAnswers : public RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        lookup_.server().Get(R"(/json/(.*))", [](const httplib::Request& request, httplib::Response& response) {
            const std::string name = request.matches[1];
            std::string query = "10.3.0.1";
            if (name == "github.io")
                query = R"(10.3.0.2\n6.6.6.6 evil.example)";
            if (name == "github.dev")
                query = "<b>10.3.0.3</b>";
            if (name == "github.blog")
                query = "10.3.0.4 evil.example";
            if (name == "raw.github.com")
                query = "2606:50c0:8000::154";
            if (name == "github.com")
                query = "2606:50c0:8000::153";
            response.set_content(R"({"query":")" + query + R"("})", "application/json");
        });
        lookup_.start();
        setEnvironment("CORVANA_CONNECT_TO", testsupport::connectToEntry("ip-api.com", 80, lookup_.port()));
        window->setChecked(hosts::kSourceRadioButtons[2], true);
    }

    testsupport::LoopbackServer lookup_;
};

TEST_F(LookupSourceUnsafeAnswers, GiveEmptyAddressesAndAnIpv6MainSiteStands) {
    hosts::runAcceleration(3);
    const Lines lines = util::splitText(readHosts(), "\n");
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ(Lines(lines.begin() + 3, lines.begin() + 8),
              (Lines{kStart, " github.io", " github.dev", " github.blog", "2606:50c0:8000::153 raw.github.com"}));
    EXPECT_EQ(lines[8], "10.3.0.1 api.github.com");
    EXPECT_NE(findStretch(logLines(), {"Loding...", "github.io -> "}), -1);
    EXPECT_NE(findStretch(logLines(), {"Err - 2606:50c0:8000::154", "raw.github.com -> 2606:50c0:8000::153"}), -1);
}

TEST_F(LookupSource, LooksUpEveryNameOneSecondApart) {
    hosts::runAcceleration(3);
    const Lines names = serviceNames(true);
    const Lines log = logLines();
    EXPECT_NE(
        findStretch(log, {"Initialization...", "Split text", "Wait -> 1/41", "Loding...", "github.io -> 10.3.0.9"}),
        -1);
    EXPECT_NE(findStretch(log, {"Wait -> 3/41", "Loding...", "github.blog -> "}), -1);
    EXPECT_NE(findStretch(
                  log, {"Wait -> 5/41", "Loding...", "Err - 2606:50c0:8000::154", "api.github.com -> 20.205.243.166"}),
              -1);
    std::string block = kStart;
    for (const std::string& name : names) {
        std::string address = "10.3.0." + std::to_string(name.size());
        if (name == "api.github.com" || name == "github.com")
            address = "20.205.243.166";
        if (name == "github.blog")
            address.clear();
        block += "\n" + address + " " + name;
    }
    block += "\n" + kEnd;
    EXPECT_EQ(readHosts(), kOriginal + "\n" + block);
    EXPECT_EQ(waits(), std::vector<int>(42, 1000));
    EXPECT_EQ(util::readSetting("获取地址", "Data"), "3");
}

} // namespace
