#include "hosts/hosts_file.h"
#include "hosts/list_text.h"
#include "util/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kStart(hosts::kBlockStartMarker);
const std::string kEnd(hosts::kBlockEndMarker);
const std::string kUserText = "127.0.0.1 localhost\n";

TEST(LooksLikeHostsList, RefusesAnAddressFollowedByZeroBytes) {
    EXPECT_TRUE(hosts::looksLikeHostsList("# list\n140.82.113.3 github.com\n"));
    EXPECT_FALSE(hosts::looksLikeHostsList(std::string("140.82.113.3\0\0\x17 github.com\n", 27)));
}

struct MarkerCase {
    const char* name;
    std::string list;
};
void PrintTo(const MarkerCase& value, std::ostream* out) {
    *out << value.name;
}

class Source2StartMarkers : public testing::TestWithParam<MarkerCase> {};

// A start marker left inside the list would make clearing cut from it and leave the block's head in the hosts file.
TEST_P(Source2StartMarkers, LeaveOneAtTheTopAndTheBlockClearsWhole) {
    const hosts::Block block = hosts::listBlock(2, GetParam().list);
    EXPECT_EQ(block.text, kStart + "\r\n\n1.2.3.4 a.example\n\n5.6.7.8 b.example\n" + kEnd + "\n# tail");
    EXPECT_EQ(hosts::cutManagedBlocks(hosts::appendBlock(kUserText, block.fileText)), kUserText + "\n# tail");
}

INSTANTIATE_TEST_SUITE_P(
    Lists, Source2StartMarkers,
    testing::Values(MarkerCase{"ItsOwnTwice", kStart + "\n1.2.3.4  a.example\n" + kStart + "\n5.6.7.8 b.example\n" +
                                                  kEnd + "\n# tail"},
                    MarkerCase{"OneThatCollapsingMakes",
                               kStart + "\n1.2.3.4 a.example\n# GitHub  Host   Start\n5.6.7.8 b.example\n" + kEnd +
                                   "\n# tail"},
                    MarkerCase{"InLowerCase", kStart + "\n1.2.3.4 a.example\n" + util::asciiLower(kStart) +
                                                  "\n5.6.7.8 b.example\n" + kEnd + "\n# tail"},
                    MarkerCase{"OneThatRemovingMakes", "# GitHub Host " + kStart + "Start\n1.2.3.4 a.example\n" +
                                                           kStart + "\n5.6.7.8 b.example\n" + kEnd + "\n# tail"}),
    [](const auto& info) { return info.param.name; });

} // namespace
