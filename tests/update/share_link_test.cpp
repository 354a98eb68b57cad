#include "update/share_link.h"

#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "tests/update/share_pages.h"
#include "tests/update/update_site.h"

#include <gtest/gtest.h>

namespace updatetest {
namespace {

const std::string kShareTarget = "/iAbC123xyz";
const std::string kShareLink = "https://" + kShareHost + kShareTarget;
const std::string kPassword = "c0rv";

/// The share site on 127.0.0.1, reached through the program's own addresses.
class ShareLinkTest : public ::testing::Test {
protected:
    UpdateSite site;
    SiteEnvironment environment{site};

    /// What each request was: scheme, host, method, target and body.
    [[nodiscard]] std::vector<std::string> requestLines() const {
        std::vector<std::string> lines;
        for (const SiteRequest& request : site.requests())
            lines.push_back(std::string(request.secure ? "https " : "http ") + request.host + " " + request.method +
                            " " + request.target + (request.body.empty() ? "" : " " + request.body));
        return lines;
    }
};

TEST_F(ShareLinkTest, PublicShareGoesThroughFrameAndEndpointToTheRedirectTarget) {
    servePublicShare(site, kShareTarget);

    EXPECT_EQ(update::resolveShareLink(kShareLink, "", ""), kDirectAddress);

    EXPECT_EQ(requestLines(),
              (std::vector<std::string>{
                  "https " + kShareHost + " GET " + kShareTarget,
                  "https " + kShareHost + " GET /" + kFramePath,
                  "https " + kShareHost + " POST /ajaxm.php action=downprocess&sign=" + kSignature + "&ves=1",
                  "https " + std::string(kFileHost) + " GET " + kFileTarget,
              }));
    const std::vector<SiteRequest> requests = site.requests();
    ASSERT_EQ(requests.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(requests[i].header("User-Agent"),
                  "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                  "Chrome/84.0.4147.105 Safari/537.36");
        EXPECT_EQ(requests[i].header("Referer"), "https://" + kShareHost + "/");
        EXPECT_EQ(requests[i].header("Accept-Language"), "zh-cn");
    }
    EXPECT_EQ(requests[2].header("Content-Type"), "application/x-www-form-urlencoded");
    // The file link's own request, with the headers of an old browser and no redirect followed.
    EXPECT_EQ(requests[3].header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)");
    EXPECT_EQ(requests[3].header("Accept"), "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                                            "application/x-shockwave-flash, application/x-silverlight, */*");
    EXPECT_EQ(requests[3].header("Accept-Language"), "zh-cn");
}

TEST_F(ShareLinkTest, RetiredLabelGivesTheSameRequestsAsTheCurrentOne) {
    servePublicShare(site, kShareTarget);
    const std::string retiredLink = "https://www." + std::string(update::kRetiredShareLabel) + ".com" + kShareTarget;

    EXPECT_EQ(update::resolvePublicShare(kShareLink, ""), kDirectAddress);
    EXPECT_EQ(update::resolvePublicShare(retiredLink, ""), kDirectAddress);

    const std::vector<std::string> lines = requestLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
              std::vector<std::string>(lines.begin(), lines.begin() + 4));
}

TEST_F(ShareLinkTest, SharePageWithoutFramePathAsksTheSiteRoot) {
    site.answer(kShareHost, kShareTarget, {200, {}, "<html><body>no frame here</body></html>"});
    site.answer(kShareHost, "/", {200, {}, framePage()});
    site.answer(kShareHost, "/ajaxm.php", {200, {}, endpointAnswer()});
    site.redirect(kFileHost, kFileTarget, kDirectAddress);

    EXPECT_EQ(update::resolvePublicShare(kShareLink, ""), kDirectAddress);
    ASSERT_GE(site.requests().size(), 2u);
    EXPECT_EQ(site.requests()[1].target, "/");
}

TEST_F(ShareLinkTest, PublicShareNeedsTheFrameSignature) {
    site.answer(kShareHost, kShareTarget, {200, {}, publicSharePage()});
    site.answer(kShareHost, "/" + kFramePath, {200, {}, framePage("downprocess", "tooShort_c_c")});

    EXPECT_EQ(update::resolvePublicShare(kShareLink, ""), "");
    EXPECT_EQ(site.requests().size(), 2u);
}

TEST_F(ShareLinkTest, FrameWithoutActionPostsTheDefaultActionToItsRequestPath) {
    site.answer(kShareHost, kShareTarget, {200, {}, publicSharePage()});
    site.answer(kShareHost, "/" + kFramePath, {200, {}, framePage("", kSignature, "/ajaxm.php?file=77")});
    site.answer(kShareHost, "/ajaxm.php?file=77", {200, {}, endpointAnswer()});
    site.redirect(kFileHost, kFileTarget, kDirectAddress);

    EXPECT_EQ(update::resolvePublicShare(kShareLink, ""), kDirectAddress);
    ASSERT_GE(site.requests().size(), 3u);
    EXPECT_EQ(site.requests()[2].body, "action=downprocess&sign=" + kSignature + "&ves=1");
}

struct ProtectedPageCase {
    const char* name;
    std::string page;
    std::string body;
};

class ProtectedShareBodyTest : public ShareLinkTest, public ::testing::WithParamInterface<ProtectedPageCase> {};

TEST_P(ProtectedShareBodyTest, PostsActionSignatureAndPasswordToTheEndpoint) {
    site.answer(kShareHost, kShareTarget, {200, {}, GetParam().page});
    site.answer(kEndpointHost, "/ajaxm.php", {200, {}, endpointAnswer()});
    site.redirect(kFileHost, kFileTarget, kDirectAddress);

    EXPECT_EQ(update::resolveShareLink(kShareLink, kPassword, ""), kDirectAddress);
    const std::vector<SiteRequest> requests = site.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].host, kEndpointHost);
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].body, GetParam().body);
    EXPECT_EQ(requests[1].header("User-Agent"), "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, "
                                                "like Gecko) Chrome/50.0.2661.87 Safari/537.36");
    EXPECT_EQ(requests[1].header("Referer"), "https://" + kShareHost + "/");
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ProtectedShareBodyTest,
    ::testing::Values(ProtectedPageCase{"ActionAndSignature",
                                        "var pwd = 'x'; data : 'action=downprocess2&sign=AWMGbF1tAzFTX1trUjAA&p='+pwd,",
                                        "action=downprocess2&sign=AWMGbF1tAzFTX1trUjAA&p=" + kPassword},
                      ProtectedPageCase{"EmptyAction", "data : 'action=&sign=AWMGbF1tAzFTX1trUjAA&p='+pwd,",
                                        "action=downprocess&sign=AWMGbF1tAzFTX1trUjAA&p=" + kPassword},
                      ProtectedPageCase{"NoActionOnlyLongSignature", "var skdklds = '" + kSignature + "';",
                                        "action=downprocess&sign=" + kSignature + "&p=" + kPassword}),
    [](const ::testing::TestParamInfo<ProtectedPageCase>& info) { return std::string(info.param.name); });

TEST_F(ShareLinkTest, AnswerThatIsNotJsonButQuotesDomAndUrlServesOnlyTheProtectedVariant) {
    const std::string notJson = "callback({\"zt\":1,\"dom\":\"" + kFileDom + "\",\"url\":\"" + kFileId + "\"})";
    site.answer(kShareHost, kShareTarget, {200, {}, "data : 'action=downprocess&sign=" + kSignature + "&p='"});
    site.answer(kEndpointHost, "/ajaxm.php", {200, {}, notJson});
    site.redirect(kFileHost, kFileTarget, kDirectAddress);
    EXPECT_EQ(update::resolveProtectedShare(kShareLink, kPassword, ""), kDirectAddress);

    site.answer(kShareHost, kShareTarget, {200, {}, publicSharePage()});
    site.answer(kShareHost, "/" + kFramePath, {200, {}, framePage()});
    site.answer(kShareHost, "/ajaxm.php", {200, {}, notJson});
    EXPECT_EQ(update::resolvePublicShare(kShareLink, ""), "");
}

TEST_F(ShareLinkTest, FileLinkWithoutLocationOverHttpsIsAskedOnceMoreOverHttp) {
    site.answer(kShareHost, kShareTarget, {200, {}, "data : 'action=downprocess&sign=" + kSignature + "&p='"});
    site.answer(kEndpointHost, "/ajaxm.php", {200, {}, endpointAnswer()});
    site.answer(kFileHost, kFileTarget, {200, {}, "no redirect over https"});
    const std::string plainTarget = "http://" + std::string(kFileHost) + "/download/plain";
    site.redirect(kFileHost, kFileTarget, plainTarget, false);

    EXPECT_EQ(update::resolveProtectedShare(kShareLink, kPassword, ""), plainTarget);
    const std::vector<SiteRequest> requests = site.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(requests[2].secure);
    EXPECT_FALSE(requests[3].secure);
    EXPECT_EQ(requests[3].target, kFileTarget);
}

TEST_F(ShareLinkTest, PublicVariantDoesNotFallBackToHttp) {
    site.answer(kShareHost, kShareTarget, {200, {}, publicSharePage()});
    site.answer(kShareHost, "/" + kFramePath, {200, {}, framePage()});
    site.answer(kShareHost, "/ajaxm.php", {200, {}, endpointAnswer()});
    site.answer(kFileHost, kFileTarget, {200, {}, "no redirect"});
    site.redirect(kFileHost, kFileTarget, kDirectAddress, false);

    EXPECT_EQ(update::resolvePublicShare(kShareLink, ""), "");
    for (const SiteRequest& request : site.requests())
        EXPECT_TRUE(request.secure) << request.target;
}

TEST_F(ShareLinkTest, RedirectTargetAnswersTheLocationWithoutFollowingIt) {
    site.redirect(kFileHost, "/file/a", "https://" + std::string(kFileHost) + "/elsewhere");
    site.redirect(kFileHost, "/file/relative", "/download/x");
    site.answer(kFileHost, "/file/nolocation", {302, {}, "moved, but where?"});
    site.answer(kFileHost, "/file/ok", {200, {}, "here"});
    const std::string base = "https://" + std::string(kFileHost);

    EXPECT_EQ(update::redirectTarget(base + "/file/a"), base + "/elsewhere");
    EXPECT_EQ(update::redirectTarget(base + "/file/relative"), "/download/x");
    EXPECT_EQ(update::redirectTarget(base + "/file/nolocation"), "");
    EXPECT_EQ(update::redirectTarget(base + "/file/ok"), "");
    EXPECT_EQ(update::redirectTarget(""), "");
    for (const SiteRequest& request : site.requests())
        EXPECT_NE(request.target, "/elsewhere");
}

TEST_F(ShareLinkTest, RedirectTargetRefusesAnUntrustedCertificate) {
    testsupport::TempDir folder;
    const testsupport::CertificateFiles selfSigned =
        testsupport::makeSelfSigned(folder.path(), "intruder", {std::string(kFileHost)});
    testsupport::LoopbackServer intruder(selfSigned);
    intruder.server().Get(".*", [](const httplib::Request&, httplib::Response& response) {
        response.status = 302;
        response.set_header("Location", "https://intruder.example/corvana");
    });
    intruder.start();
    testsupport::ScopedEnvironment connectTo("CORVANA_CONNECT_TO",
                                             testsupport::connectToEntry(kFileHost, 443, intruder.port()));

    EXPECT_EQ(update::redirectTarget(kFileDom + kFileTarget), "");
}

TEST_F(ShareLinkTest, UnreachableOrEmptySharePageAnswersEmpty) {
    site.answer(kShareHost, kShareTarget, {200, {}, ""});
    EXPECT_EQ(update::resolvePublicShare(kShareLink, ""), "");
    EXPECT_EQ(update::resolveProtectedShare(kShareLink, kPassword, ""), "");
    EXPECT_EQ(site.requests().size(), 2u);
}

} // namespace
} // namespace updatetest
