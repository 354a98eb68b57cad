#include "util/text.h"

#include <gtest/gtest.h>

namespace {

TEST(TextContains, IgnoresCaseAndStepsOverMultiByteCharacters) {
    EXPECT_TRUE(util::textContains("-asp-hsp", "-ASP"));
    EXPECT_TRUE(util::textContains("x-dspx", "-dsp"));
    EXPECT_FALSE(util::textContains("AutoModeStart", "automodestart", 1, true));
    EXPECT_TRUE(util::textContains("abc", ""));
    EXPECT_FALSE(util::textContains("", ""));
    // "中" is E4 B8 AD; a needle made of its tail bytes must not match inside it.
    EXPECT_FALSE(util::textContains("\xE4\xB8\xAD", "\xB8\xAD"));
}

TEST(FindText, AnswersOneBasedBytePositions) {
    EXPECT_EQ(util::findText("abcabc", "c"), 3);
    EXPECT_EQ(util::findText("abcabc", "c", 4), 6);
    EXPECT_EQ(util::findText("abc", "d"), -1);
    EXPECT_EQ(util::findText("中a", "a"), 4);
    EXPECT_EQ(util::findText("ABC", "b", 1, true), 2);
}

TEST(SplitText, FollowsTheSeparatorRules) {
    using V = std::vector<std::string>;
    EXPECT_EQ(util::splitText("", "\r\n"), V{});
    EXPECT_EQ(util::splitText("a\r\nb\r\n", "\r\n"), (V{"a", "b"}));
    EXPECT_EQ(util::splitText("a\r\n\r\nb", "\r\n"), (V{"a", "", "b"}));
    EXPECT_EQ(util::splitText("\r\n", "\r\n"), (V{""}));
}

TEST(ReplaceAndSpaces, CoverCountsCaseAndFullWidthSpaces) {
    EXPECT_EQ(util::replaceText("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(util::replaceText("https://A HTTPS://b", "https://", "http://", true), "http://A http://b");
    EXPECT_EQ(util::replaceText("xxx", "x", "y", false, 2), "yyx");
    EXPECT_EQ(util::removeSpaces(" a\u3000b \r\n\t"), "ab\r\n\t");
    EXPECT_EQ(util::trimSpaces("\u3000 a b \u3000"), "a b");
    EXPECT_EQ(util::trimSpaces("\ta "), "\ta");
}

TEST(TextToInt, TakesTheLeadingInteger) {
    EXPECT_EQ(util::textToInt("1200"), 1200);
    EXPECT_EQ(util::textToInt("-5x"), -5);
    EXPECT_EQ(util::textToInt("abc"), 0);
    EXPECT_EQ(util::textToInt(""), 0);
    EXPECT_EQ(util::textToInt("99999999999"), 2147483647);
}

} // namespace
