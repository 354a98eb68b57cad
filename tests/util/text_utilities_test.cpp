#include "util/text_utilities.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct BlankLinesCase {
    const char* name;
    std::string text;
    std::string variable;
    std::string answer;
};

void PrintTo(const BlankLinesCase& c, std::ostream* os) {
    *os << c.name;
}

class RemoveBlankLines : public testing::TestWithParam<BlankLinesCase> {};

TEST_P(RemoveBlankLines, TrimsTheVariableAndAnswersWithoutBlankLines) {
    const BlankLinesCase& c = GetParam();
    std::string text = c.text;
    EXPECT_EQ(util::removeBlankLines(text), c.answer);
    EXPECT_EQ(text, c.variable);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveBlankLines,
    testing::Values(BlankLinesCase{"TwoBlankLines", "a\r\n\r\n\r\nb", "a\r\n\r\n\r\nb", "a\r\nb"},
                    BlankLinesCase{"ManyRuns", "a\r\n\r\nb\r\n\r\n\r\n\r\nc", "a\r\n\r\nb\r\n\r\n\r\n\r\nc",
                                   "a\r\nb\r\nc"},
                    BlankLinesCase{"BeginsWithTwoLineBreaks", "\r\n\r\na\r\nb", "\r\na\r\nb", "\na\r\nb"},
                    BlankLinesCase{"EndsWithTwoLineBreaks", "a\r\n\r\n", "a\r\n", "a\r"},
                    BlankLinesCase{"OneLineBreakAtEachEnd", "\r\na\r\nb\r\n", "a\r\nb", "a\r\nb"},
                    BlankLinesCase{"OnlyTwoLineBreaks", "\r\n\r\n", "", ""},
                    BlankLinesCase{"OnlyThreeLineBreaks", "\r\n\r\n\r\n", "\r\n", ""},
                    BlankLinesCase{"OnlyOneLineBreak", "\r\n", "", ""}, BlankLinesCase{"Empty", "", "", ""},
                    BlankLinesCase{"NothingToRemove", "中\r\n文", "中\r\n文", "中\r\n文"},
                    BlankLinesCase{"LineOfSpacesStays", "a\r\n \r\nb", "a\r\n \r\nb", "a\r\n \r\nb"},
                    BlankLinesCase{"LineFeedsOnly", "a\n\n\nb", "a\n\n\nb", "a\nb"}),
    [](const testing::TestParamInfo<BlankLinesCase>& info) { return std::string(info.param.name); });

struct BetweenCase {
    const char* name;
    std::string text;
    std::string left;
    std::string right;
    int start;
    bool ignoreCase;
    std::string expected;
};

void PrintTo(const BetweenCase& c, std::ostream* os) {
    *os << c.name;
}

class TextBetween : public testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetween, CutsBetweenTheMarkers) {
    const BetweenCase& c = GetParam();
    EXPECT_EQ(util::textBetween(c.text, c.left, c.right, c.start, c.ignoreCase), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextBetween,
                         testing::Values(BetweenCase{"SetCookieKeepsItsSpace", "Set-Cookie: sid=abc; path=/",
                                                     "Set-Cookie:", ";", 0, false, " sid=abc"},
                                         BetweenCase{"QuoteMarkers", R"({"dom":"https://d.example","url":"?x=1"})",
                                                     "dom#引号:#引号", "#引号", 0, false, "https://d.example"},
                                         BetweenCase{"VersionMarkers", "说明最新版本【1.2.1.0】最新版本", "最新版本【",
                                                     "】最新版本", 0, false, "1.2.1.0"},
                                         BetweenCase{"SameMarkerTwice", "x-更新内容\r\nfix\r\n-更新内容y-更新内容",
                                                     "-更新内容", "-更新内容", 0, false, "\r\nfix\r\n"},
                                         BetweenCase{"RightOnlyBeforeLeft", "]a[b", "[", "]", 0, false, ""},
                                         BetweenCase{"LeftMissing", "a]b", "[", "]", 0, false, ""},
                                         BetweenCase{"AdjacentMarkers", "a[]b", "[", "]", 0, false, ""},
                                         BetweenCase{"FromStartPosition", "[1][2]", "[", "]", 2, false, "2"},
                                         BetweenCase{"StartBelowOneMeansBeginning", "[1][2]", "[", "]", -5, false, "1"},
                                         BetweenCase{"CaseMattersByDefault", "<B>y</b>", "<b>", "</b>", 0, false, ""},
                                         BetweenCase{"IgnoringCase", "<B>y</b>", "<b>", "</B>", 0, true, "y"}),
                         [](const testing::TestParamInfo<BetweenCase>& info) { return std::string(info.param.name); });

TEST(IndexOfText, FindsTheFirstExactElement) {
    const std::vector<std::string> list{"x", "y", "x"};
    EXPECT_EQ(util::indexOfText(list, "x"), 1);
    EXPECT_EQ(util::indexOfText(list, "y"), 2);
    EXPECT_EQ(util::indexOfText(list, "z"), -1);
    EXPECT_EQ(util::indexOfText(list, "X"), -1);
    EXPECT_EQ(util::indexOfText({}, ""), -1);
}

} // namespace
