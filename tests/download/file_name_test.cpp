#include "download/file_download.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* label;
    std::string link;
    std::string name;
    bool saveable;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.label;
}

class FileNameFromLinkTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNameFromLinkTest, TakesTheLastComponent) {
    const NameCase& c = GetParam();
    const std::string name = download::fileNameFromLink(c.link);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(download::isSaveableName(name), c.saveable);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileNameFromLinkTest,
    ::testing::Values(NameCase{"Release", "https://ghfast.top/https://github.com/o/r/releases/download/v1/a.zip",
                               "a.zip", true},
                      NameCase{"QueryKept", "https://ghfast.top/https://github.com/o/r/archive/main.zip?raw=true&x=1",
                               "main.zip?raw=true&x=1", true},
                      NameCase{"TrailingSlashStays", "https://ghfast.top/https://github.com/o/r/", "r/", false},
                      NameCase{"DoubleTrailingSlash", "https://ghfast.top/https://github.com/o/r//", "r//", false},
                      NameCase{"HostOnly", "https://ghfast.top/https://github.com", "github.com", true},
                      NameCase{"DotDot", "https://ghfast.top/https://github.com/o/..", "..", false},
                      NameCase{"Dot", "https://ghfast.top/https://github.com/o/.", ".", false},
                      NameCase{"Backslashes", "https://ghfast.top/C:\\dir\\file.txt", "file.txt", true},
                      NameCase{"TrailingBackslashGivesNothing", "https://ghfast.top/https://github.com/o\\", "", false},
                      NameCase{"ColonSeparates", "https://ghfast.top/a:b.txt", "b.txt", true},
                      NameCase{"ColonBeforeSlashDoesNotCount", "abc://", "abc://", false},
                      NameCase{"NoSeparator", "file.tar.gz", "file.tar.gz", true},
                      NameCase{"SeparatorAloneAtTheEnd", "name/", "name/", false}, NameCase{"Empty", "", "", false}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
