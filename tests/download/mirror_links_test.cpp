#include "download/mirror_hosts.h"
#include "download/mirror_links.h"

#include <gtest/gtest.h>

namespace {

struct MirrorCase {
    const char* label;
    std::string input;
    int mirror;
    bool blank;
    std::vector<std::string> lines;
    std::vector<std::string> links;
};

void PrintTo(const MirrorCase& c, std::ostream* os) {
    *os << c.label;
}

class BuildMirrorLinksTest : public ::testing::TestWithParam<MirrorCase> {};

TEST_P(BuildMirrorLinksTest, FormsOneLinkPerLine) {
    const MirrorCase& c = GetParam();
    const auto result = download::buildMirrorLinks(c.input, c.mirror);
    ASSERT_EQ(!result.has_value(), c.blank);
    if (c.blank)
        return;
    std::vector<std::string> lines;
    std::vector<std::string> links;
    for (const auto& line : *result) {
        lines.push_back(line.line);
        links.push_back(line.mirrorLink);
    }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(links, c.links);
}

const std::string kRelease = "https://github.com/o/r/releases/download/v1/a.zip";

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildMirrorLinksTest,
    ::testing::Values(
        MirrorCase{"Empty", "", 1, true, {}, {}}, MirrorCase{"SpacesOnly", "  \xE3\x80\x80 ", 1, true, {}, {}},
        MirrorCase{"LineBreaksOnly", "\r\n\r\n\r\n", 1, false, {}, {}},
        MirrorCase{"SpacesAndLineBreaks",
                   " \r\n\xE3\x80\x80\r\n",
                   2,
                   false,
                   {" ", "\xE3\x80\x80"},
                   {"https://gh-proxy.com/ ", "https://gh-proxy.com/\xE3\x80\x80"}},
        MirrorCase{"MirrorOneKeepsTheSlash", kRelease, 1, false, {kRelease}, {"https://ghfast.top/" + kRelease}},
        MirrorCase{"MirrorTwoKeepsTheSlash", kRelease, 2, false, {kRelease}, {"https://gh-proxy.com/" + kRelease}},
        MirrorCase{"MirrorFive", kRelease, 5, false, {kRelease}, {"https://gh.llkk.cc/" + kRelease}},
        MirrorCase{"LeadingAndInnerSpacesKept",
                   " https://github.com/a b",
                   3,
                   false,
                   {" https://github.com/a b"},
                   {"https://ghproxy.net/ https://github.com/a b"}},
        MirrorCase{"BlankLinesBetweenLinks",
                   "https://github.com/a\r\n\r\n\r\nhttps://github.com/b\r\n\r\nc",
                   4,
                   false,
                   {"https://github.com/a", "https://github.com/b", "c"},
                   {"https://github.moeyy.xyz/https://github.com/a", "https://github.moeyy.xyz/https://github.com/b",
                    "https://github.moeyy.xyz/c"}},
        // Several blank lines around the links leave no stray CR or LF in the first or the last link.
        MirrorCase{"BlankLinesAround",
                   "\r\n\r\n\r\nhttps://github.com/a\r\nhttps://github.com/b\r\n\r\n\r\n",
                   1,
                   false,
                   {"https://github.com/a", "https://github.com/b"},
                   {"https://ghfast.top/https://github.com/a", "https://ghfast.top/https://github.com/b"}},
        MirrorCase{"QueryKept",
                   "https://github.com/a?x=1&y=%20",
                   1,
                   false,
                   {"https://github.com/a?x=1&y=%20"},
                   {"https://ghfast.top/https://github.com/a?x=1&y=%20"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(MirrorPrefixTest, EveryMirrorJoinsWithASlash) {
    for (int mirror = 1; mirror <= 5; ++mirror)
        EXPECT_EQ(download::mirrorPrefix(mirror),
                  "https://" + std::string(download::kMirrorHosts[static_cast<std::size_t>(mirror - 1)]) + "/");
    EXPECT_EQ(download::mirrorPrefix(0), "");
    EXPECT_EQ(download::mirrorPrefix(6), "");
}

} // namespace
