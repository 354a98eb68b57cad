#include "util/html_to_text.h"
#include "util/text_utilities.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct HtmlCase {
    const char* name;
    std::string html;
    std::string text;
};

void PrintTo(const HtmlCase& c, std::ostream* os) {
    *os << c.name;
}

class HtmlToText : public testing::TestWithParam<HtmlCase> {};

TEST_P(HtmlToText, RendersPlainText) {
    EXPECT_EQ(util::htmlToText(GetParam().html), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HtmlToText,
    testing::Values(
        HtmlCase{"Paragraphs", "<p>one</p><p>two</p>", "one\r\ntwo"},
        HtmlCase{"LineBreaks", "a<br>b<br/><br>c<br>", "a\r\nb\r\n\r\nc"},
        HtmlCase{"CharacterReferences", "<p>Tom &amp; Jerry &lt;3 &#20013;&#x6587; &quot;x&quot;</p>",
                 "Tom & Jerry <3 中文 \"x\""},
        HtmlCase{"NoBreakSpacesDoNotCollapse", "a&nbsp;&nbsp;b", "a  b"},
        HtmlCase{"WhiteSpaceCollapses", "<div>\r\n  a \n\t <b>b</b>  c</div>", "a b c"},
        HtmlCase{"InlineElementsJoin", "x<b>y</b><span>z</span>", "xyz"},
        HtmlCase{"NestedDivisions", "<div>x<div>y<div>z</div></div>w</div>", "x\r\ny\r\nz\r\nw"},
        HtmlCase{"ListsAndHeadings", "<h1>T</h1><ul><li>one</li><li>two</li></ul>end", "T\r\none\r\ntwo\r\nend"},
        HtmlCase{"TableRowsAndCells", "<table><tr><td>a</td><td> b</td></tr><tr><td>c</td></tr></table>", "a\tb\r\nc"},
        HtmlCase{"PreformattedKeepsItsLines", "<pre>a\n  b\r\n\nc</pre>", "a\r\n  b\r\n\r\nc"},
        HtmlCase{"ScriptsAndStylesDropped", "a<script>var x = '<p>';</script><style>p {}</style>b<!-- c -->", "ab"},
        HtmlCase{"Empty", "", ""}, HtmlCase{"OnlyTags", "<div><p></p></div>", ""},
        HtmlCase{"Garbage", "<<<>>>&&&</div></p><x y=", "<<<>>>&&&"},
        HtmlCase{"InvalidBytes", "a\xFF<b>b</b>",
                 "a\uFFFD"
                 "b"}),
    [](const testing::TestParamInfo<HtmlCase>& info) { return std::string(info.param.name); });

// The update note as the note service answers it: every marked field must survive the conversion intact.
TEST(HtmlToTextNote, MarkersSurviveIntact) {
    const std::string note = "<div><span style=\"font-size:14px\">最新版本【1.2.1.0】最新版本</span></div>"
                             "<div>下载地址【<b>iAbC123</b>】下载地址</div>"
                             "<div>-更新内容</div><p>1. 修复&amp;改进</p><p>2. 其他</p><div>-更新内容</div>";
    const std::string text = util::htmlToText(note);
    EXPECT_EQ(util::textBetween(text, "最新版本【", "】最新版本"), "1.2.1.0");
    EXPECT_EQ(util::textBetween(text, "下载地址【", "】下载地址"), "iAbC123");
    EXPECT_EQ(util::textBetween(text, "-更新内容", "-更新内容"), "\r\n1. 修复&改进\r\n2. 其他\r\n");
}

// The parser stops at 256 open elements; what came before survives and nothing overflows.
TEST(HtmlToTextNote, DeepNestingIsCutAtTheParserLimit) {
    std::string html = "before";
    for (int i = 0; i < 100000; ++i)
        html += "<div>";
    html += "deep";
    EXPECT_EQ(util::htmlToText(html), "before");
}

} // namespace
