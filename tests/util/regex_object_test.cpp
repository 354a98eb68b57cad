#include "util/regex_object.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using util::RegexObject;

struct FirstGroupCase {
    const char* name;
    std::string pattern;
    std::string subject;
    bool quoteMarkers;
    std::string expected;
};

void PrintTo(const FirstGroupCase& c, std::ostream* os) {
    *os << c.name;
}

class FirstGroup : public testing::TestWithParam<FirstGroupCase> {};

// The share-page patterns as the update reads them: group 1 of match 1.
TEST_P(FirstGroup, AnswersGroupOneOfMatchOne) {
    const FirstGroupCase& c = GetParam();
    RegexObject regex;
    ASSERT_TRUE(regex.execute(c.pattern, c.subject, false, true, true, c.quoteMarkers));
    EXPECT_EQ(regex.subMatchText(1, 1), c.expected);
}

const std::string kLongRun(75, 'k');

INSTANTIATE_TEST_SUITE_P(
    SharePatterns, FirstGroup,
    testing::Values(FirstGroupCase{"QuotedFramePath", "#引号(/fn\\?[^#引号]{10,})#引号",
                                   "<a href=\"/fn?short\"></a><iframe src=\"/fn?UjBXa1c9AjEIMQ==\" frameborder=\"0\">",
                                   true, "/fn?UjBXa1c9AjEIMQ=="},
                    FirstGroupCase{"MarkersLeftAlone", "#引号(/fn\\?[^#引号]{10,})#引号",
                                   "<iframe src=\"/fn?UjBXa1c9AjEIMQ==\">", false, ""},
                    FirstGroupCase{"LazyAction", "action':'(.*?)'", "data : { 'action':'downprocess','sign':'x' }",
                                   false, "downprocess"},
                    FirstGroupCase{"LazyAtLeastOne", "url : '/(.+?)'", "url : '/ajaxm.php?file=1',\r\nurl : '/other'",
                                   false, "ajaxm.php?file=1"},
                    FirstGroupCase{"BoundedLazy", "action=(.*?)&sign=(.{10,}?)&p=",
                                   "'action=&sign=" + kLongRun + "&p='+pwd", false, ""},
                    FirstGroupCase{"IgnoresCaseByDefault", "ACTION':'(.*?)'", "action':'Down'", false, "Down"},
                    FirstGroupCase{"ChineseIsOneCharacter", "^(..)", "中文字", false, "中文"}),
    [](const testing::TestParamInfo<FirstGroupCase>& info) { return std::string(info.param.name); });

TEST(RegexObject, BoundedLazyGroupTakesTheShortestSignature) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute("action=(.*?)&sign=(.{10,}?)&p=", "x='action=down&sign=" + kLongRun + "&p=1&p=2'"));
    EXPECT_EQ(regex.subMatchText(1, 2), kLongRun);
    EXPECT_EQ(regex.subMatchCount(), 2);
}

TEST(RegexObject, SignaturePatternNeedsSeventyCharactersBeforeTheSuffix) {
    const std::string signature = std::string(70, 'A') + "_b9_c_c";
    RegexObject regex;
    ASSERT_TRUE(regex.execute("[0-9a-zA-Z\\_]{70,}_c_c", "'sign':'short_c_c','sign':'" + signature + "'"));
    EXPECT_EQ(regex.matchCount(), 1);
    EXPECT_EQ(regex.matchText(1), signature);
}

TEST(RegexObject, BlankLinePatternLeavesOneLineBreakPerRun) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute("(?:^\r|\n$)", "a\r\n\r\n\r\nb\r\nc\r\n\r\nd"));
    EXPECT_EQ(regex.replace(), "a\r\nb\r\nc\r\nd");
}

TEST(RegexObject, AnchorsFollowCrLfLinesOnlyInMultilineMode) {
    const std::string subject = "one\r\ntwo\rthree\nfour";
    RegexObject regex;
    ASSERT_TRUE(regex.execute("^\\w+$", subject));
    EXPECT_EQ(regex.matchCount(), 4);
    EXPECT_EQ(regex.matchText(2), "two");
    EXPECT_EQ(regex.matchText(3), "three");
    ASSERT_TRUE(regex.execute("^\\w+$", subject, false, false));
    EXPECT_EQ(regex.matchCount(), 0);
    ASSERT_TRUE(regex.execute("four$", subject + "\n", false, false));
    EXPECT_EQ(regex.matchCount(), 0);
}

TEST(RegexObject, CaseSensitivityOnlyWhenAsked) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute("ABC", "abc ABC aBc", true));
    EXPECT_EQ(regex.matchCount(), 1);
    EXPECT_EQ(regex.matchText(1), "ABC");
    ASSERT_TRUE(regex.execute("ABC", "abc ABC aBc"));
    EXPECT_EQ(regex.matchCount(), 3);
}

TEST(RegexObject, OutOfRangeAndUnsetGroupsAnswerEmpty) {
    RegexObject regex;
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.replace("x"), "");
    EXPECT_EQ(regex.getPattern(), "");

    ASSERT_TRUE(regex.execute("(a)|(b)", "b"));
    EXPECT_EQ(regex.matchCount(), 1);
    EXPECT_EQ(regex.subMatchCount(), 2);
    EXPECT_EQ(regex.subMatchText(1, 1), "");
    EXPECT_EQ(regex.subMatchText(1, 2), "b");
    EXPECT_EQ(regex.subMatchText(1, 3), "");
    EXPECT_EQ(regex.subMatchText(1, 0), "");
    EXPECT_EQ(regex.subMatchText(2, 2), "");
    EXPECT_EQ(regex.matchText(2), "");
    EXPECT_EQ(regex.matchText(0), "");
    EXPECT_EQ(regex.matchText(-1), "");
}

TEST(RegexObject, NoMatchIsStillASuccessfulRun) {
    RegexObject regex;
    EXPECT_TRUE(regex.execute("(x)", "abc"));
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.subMatchCount(), 0);
    EXPECT_EQ(regex.matchText(1), "");
    EXPECT_EQ(regex.replace("-"), "abc");
}

TEST(RegexObject, InvalidPatternAnswersFalseAndForgetsTheEarlierRun) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute("(b)", "abc"));
    EXPECT_FALSE(regex.execute("(b", "abc"));
    EXPECT_EQ(regex.getPattern(), "(b");
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.subMatchCount(), 0);
    EXPECT_EQ(regex.matchText(1), "");
    EXPECT_EQ(regex.subMatchText(1, 1), "");
    EXPECT_EQ(regex.replace("x"), "");
}

TEST(RegexObject, QuoteMarkersBecomeQuotesInThePattern) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute("#引号(\\w+)#引号", "say \"hi\"", false, true, true, true));
    EXPECT_EQ(regex.getPattern(), "\"(\\w+)\"");
    EXPECT_EQ(regex.matchText(1), "\"hi\"");
}

struct ReplaceCase {
    const char* name;
    std::string pattern;
    std::string subject;
    bool global;
    std::string replacement;
    std::string expected;
};

void PrintTo(const ReplaceCase& c, std::ostream* os) {
    *os << c.name;
}

class Replace : public testing::TestWithParam<ReplaceCase> {};

TEST_P(Replace, ReplacesLikeAScriptEngine) {
    const ReplaceCase& c = GetParam();
    RegexObject regex;
    ASSERT_TRUE(regex.execute(c.pattern, c.subject, false, true, c.global));
    EXPECT_EQ(regex.replace(c.replacement), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Replace,
    testing::Values(ReplaceCase{"Global", "o", "foo boo", true, "0", "f00 b00"},
                    ReplaceCase{"FirstOnly", "o", "foo boo", false, "0", "f0o boo"},
                    ReplaceCase{"EmptyMatchesBetweenCharacters", "x*", "abc", true, "-", "-a-b-c-"},
                    ReplaceCase{"EmptyMatchesStepWholeCharacters", "x*", "中文", true, "-", "-中-文-"},
                    ReplaceCase{"LazyEmptyMatches", "a*?", "aa", true, "-", "-a-a-"},
                    ReplaceCase{"ReplacementIsPlainText", "(b)", "abc", true, "$1\\1", "a$1\\1c"},
                    ReplaceCase{"LineStartsIncludeTheEnd", "^", "a\nb\n", true, ">", ">a\n>b\n>"}),
    [](const testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

TEST(RegexObject, PositionIsFoundFromTheMatchStart) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute("b(c)", "abcabc"));
    int position = 0;
    EXPECT_EQ(regex.matchText(2, &position), "bc");
    EXPECT_EQ(position, 4);
    EXPECT_EQ(regex.subMatchText(1, 1, &position), "c");
    EXPECT_EQ(position, 2);
    EXPECT_EQ(regex.matchText(3, &position), "");
    EXPECT_EQ(position, -2);
    ASSERT_TRUE(regex.execute("a(x?)", "ab"));
    EXPECT_EQ(regex.subMatchText(1, 1, &position), "");
    EXPECT_EQ(position, -2);
}

TEST(RegexObject, InvalidUtf8NeverMatchesButNeverFails) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute(".", "a\xFF\xE4\xB8 b"));
    EXPECT_EQ(regex.matchCount(), 3);
    ASSERT_TRUE(regex.execute("x*", "\xC3"));
    EXPECT_EQ(regex.replace("-"), "-\xC3-");
}

TEST(RegexObject, CloneKeepsItsOwnMatches) {
    RegexObject regex;
    ASSERT_TRUE(regex.execute("(\\d+)", "a12b345"));
    const RegexObject copy = regex.clone();
    ASSERT_TRUE(regex.execute("z", "zz"));
    EXPECT_EQ(copy.matchCount(), 2);
    EXPECT_EQ(copy.subMatchText(2, 1), "345");
    EXPECT_EQ(copy.getPattern(), "(\\d+)");
}

TEST(RegexObject, RunawayBacktrackingFailsTheRunInsteadOfHanging) {
    RegexObject regex;
    EXPECT_FALSE(regex.execute("(a+)+$", std::string(5000, 'a') + "!"));
    EXPECT_EQ(regex.matchCount(), 0);
}

TEST(RegexObject, MegabytePagesNeverGrowTheMachineStack) {
    const std::string run(std::size_t{1} << 20, 'a');
    RegexObject regex;
    ASSERT_TRUE(regex.execute("action':'(.*?)'", "x\r\naction':'" + run + "'"));
    EXPECT_EQ(regex.subMatchText(1, 1), run);
    // One backtracking entry per repetition of a group: beyond the bounded stack the run fails cleanly.
    EXPECT_FALSE(regex.execute("^((?:a|b)*?)'", run + "'"));
}

} // namespace
