#include "util/code_pages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

const std::string kChineseGbk = "\xD6\xD0\xCE\xC4"
                                "abc";

TEST(CodePages, GbkRoundTripOfChineseText) {
    const std::string wide = util::bytesToWide("中文abc", 65001);
    EXPECT_EQ(wide, "\x2D\x4E\x87\x65"
                    "a\0b\0c\0\0\0"s);
    EXPECT_EQ(util::wideToCodePage(wide, 936), kChineseGbk);
    EXPECT_EQ(util::wideToText(util::bytesToWide(kChineseGbk, 936)), "中文abc");
}

TEST(CodePages, EmptyInputsAnswerEmptyBytes) {
    EXPECT_EQ(util::bytesToWide("", 936), "");
    EXPECT_EQ(util::bytesToWide("\0abc"s, 936), "");
    EXPECT_EQ(util::wideToCodePage("", 936), "");
    EXPECT_EQ(util::wideToCodePage("\0\0a\0"s, 936), "");
    EXPECT_EQ(util::wideToText(""), "");
    EXPECT_EQ(util::utf8ToText(""), "");
}

TEST(CodePages, TextsEndAtTheFirstZero) {
    EXPECT_EQ(util::utf8ToText("ab\0cd"s), "ab");
    EXPECT_EQ(util::wideToText("a\0b\0\0\0c\0"s), "ab");
}

TEST(CodePages, Utf8ToTextKeepsValidTextAndReplacesInvalidBytes) {
    EXPECT_EQ(util::utf8ToText("最新版本【1.2.1.0】😀"), "最新版本【1.2.1.0】😀");
    EXPECT_EQ(util::utf8ToText("a\xFF"
                               "b"),
              "a\uFFFD"
              "b");
    EXPECT_EQ(util::utf8ToText("a\xE4\xB8"), "a\uFFFD\uFFFD");
}

TEST(CodePages, CharactersTheCodePageLacksBecomeQuestionMarks) {
    EXPECT_EQ(util::wideToCodePage(util::bytesToWide("a😀é中", 65001), 936), "a?\xA8\xA6\xD6\xD0");
    EXPECT_EQ(util::wideToCodePage(util::bytesToWide("a中b", 65001), 20127), "a?b");
    // A lone surrogate is no character at all.
    EXPECT_EQ(util::wideToCodePage("a\0\x00\xD8"
                                   "b\0"s,
                                   936),
              "a?b");
    EXPECT_EQ(util::wideToText("a\0\x00\xDC"
                               "b\0"s),
              "a\uFFFD"
              "b");
}

TEST(CodePages, RecognisesWellFormedUtf8) {
    EXPECT_TRUE(util::isValidUtf8(""));
    EXPECT_TRUE(util::isValidUtf8("a中😀\x7F"));
    EXPECT_FALSE(util::isValidUtf8("\xC0\x80"));         // overlong
    EXPECT_FALSE(util::isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(util::isValidUtf8("\xF4\x90\x80\x80")); // beyond U+10FFFF
    EXPECT_FALSE(util::isValidUtf8("\xE4\xB8"));         // cut short
    EXPECT_FALSE(util::isValidUtf8("\x80"));
}

TEST(CodePages, NamesAndUnknownCodePages) {
    EXPECT_EQ(util::codePageName(936), "GBK");
    EXPECT_EQ(util::codePageName(65001), "UTF-8");
    EXPECT_EQ(util::codePageName(1252), "CP1252");
    EXPECT_EQ(util::codePageName(28595), "ISO-8859-5");
    EXPECT_EQ(util::wideToText(util::bytesToWide("\xE9", 1252)), "é");
    EXPECT_EQ(util::bytesToWide("abc", 12345), "");
    EXPECT_EQ(util::wideToCodePage("a\0"s, 12345), "");
}

} // namespace
