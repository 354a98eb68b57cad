#include "hosts/clear_acceleration.h"
#include "hosts/hosts_file.h"
#include "hosts/service_names.h"
#include "tests/hosts/hosts_fixture.h"
#include "util/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using hosts::kBlockEndMarker;
using hosts::kBlockStartMarker;

const std::string kStart(kBlockStartMarker);
const std::string kEnd(kBlockEndMarker);

TEST(ServiceHostList, HoldsThirtyNineNamesWithTheAssetHostTwice) {
    const auto names = util::splitText(hosts::kServiceHostList, util::kCrLf);
    ASSERT_EQ(names.size(), 39u);
    EXPECT_FALSE(hosts::kServiceHostList.ends_with("\r\n"));
    EXPECT_EQ(names[13], names[15]);
    EXPECT_EQ(names[30], hosts::kAvatarHost);
    EXPECT_EQ(names.front(), "github.io");
    EXPECT_EQ(names.back(), "github-production-repository-file-5c1aeb.s3.amazonaws.com");
}

struct SpanCase {
    const char* name;
    std::string text;
    std::string expected;
};
void PrintTo(const SpanCase& value, std::ostream* out) {
    *out << value.name;
}

class RemoveMarkedSpans : public testing::TestWithParam<SpanCase> {};

TEST_P(RemoveMarkedSpans, CutsAsTheMarkersSay) {
    EXPECT_EQ(hosts::removeMarkedSpans(GetParam().text, kStart, kEnd), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveMarkedSpans,
    testing::Values(
        SpanCase{"NoMarker", "a\r\nb", "a\r\nb"},
        SpanCase{"OneBlock", "a\r\n" + kStart + "\r\n1 x\r\n" + kEnd, "a\r\n"},
        SpanCase{"TwoBlocks", "a\r\n" + kStart + "\r\n1 x\r\n" + kEnd + "\r\nb\r\n" + kStart + "\r\n2 y\r\n" + kEnd,
                 "a\r\n\r\nb\r\n"},
        SpanCase{"LowerCaseStartIsFound", "a" + util::asciiLower(kStart) + " 1 x " + kEnd + "b", "ab"},
        SpanCase{"LowerCaseEndIsNotCut", "a" + kStart + " 1 x " + util::asciiLower(kEnd),
                 "a" + kStart + " 1 x " + util::asciiLower(kEnd)},
        SpanCase{"StartAfterTheLastEndStays", kStart + "1" + kEnd + "b" + kStart + "2", "b" + kStart + "2"},
        // Last to first: the inner start takes the only end marker, the outer one then has none left.
        SpanCase{"NestedStartKeepsTheOuterOne", "a" + kStart + "1" + kStart + "2" + kEnd + "b", "a" + kStart + "1b"},
        SpanCase{"EndBeforeStartIsNotCut", kEnd + "x" + kStart, kEnd + "x" + kStart},
        SpanCase{"MultiByteTextAround", "中文" + kStart + "x" + kEnd + "字", "中文字"}),
    [](const auto& info) { return info.param.name; });

TEST(HasManagedBlock, NeedsBothMarkersInAnyOrderAndCase) {
    EXPECT_TRUE(hosts::hasManagedBlock(kStart + "\r\n" + kEnd));
    EXPECT_TRUE(hosts::hasManagedBlock(kEnd + "\r\n" + kStart));
    EXPECT_TRUE(hosts::hasManagedBlock(util::asciiLower(kStart + kEnd)));
    EXPECT_FALSE(hosts::hasManagedBlock(kStart));
    EXPECT_FALSE(hosts::hasManagedBlock(kEnd));
    EXPECT_FALSE(hosts::hasManagedBlock(""));
}

class CutManagedBlocks : public testing::TestWithParam<SpanCase> {};

TEST_P(CutManagedBlocks, TakesTheLineBreakAheadOnlyWhenItIsThere) {
    EXPECT_EQ(hosts::cutManagedBlocks(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CutManagedBlocks,
    testing::Values(SpanCase{"LfAhead", "a\n\n" + kStart + "\n1 x\n" + kEnd, "a\n"},
                    SpanCase{"CrLfAhead", "a\r\n\r\n" + kStart + "\r\n1 x\r\n" + kEnd, "a\r\n"},
                    SpanCase{"NothingAhead", kStart + "\n" + kEnd, ""},
                    SpanCase{"NoLineBreakAhead", "a " + kStart + "\n" + kEnd, "a "},
                    SpanCase{"BlockInTheMiddle", "a\n" + kStart + "\n1 x\n" + kEnd + "\nb\n", "a\nb\n"},
                    // Text after the end marker on its line would join the line ahead: the line break stays.
                    SpanCase{"TextAfterTheEndMarker", "a\n" + kStart + "\n" + kEnd + " tail\n", "a\n tail\n"},
                    SpanCase{"TwoBlocks", "a\n" + kStart + "\n" + kEnd + "\n" + kStart + "\n" + kEnd, "a"},
                    // A list's own line break after its end marker: at the end of the file it goes with the block.
                    SpanCase{"ListsLineBreakAtTheEnd", "a\n\n" + kStart + "\n1 x\n" + kEnd + "\n", "a\n"},
                    SpanCase{"ListsCrLfAtTheEnd", "a\r\n\r\n" + kStart + "\r\n" + kEnd + "\r\n", "a\r\n"},
                    SpanCase{"TwoListsAtTheEnd", "a\n" + kStart + "\n" + kEnd + "\n\n" + kStart + "\n" + kEnd + "\n",
                             "a"},
                    SpanCase{"ListInTheMiddle", "a\n" + kStart + "\n" + kEnd + "\n\nb\n", "a\n\nb\n"}),
    [](const auto& info) { return info.param.name; });

} // namespace
