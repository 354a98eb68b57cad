#include "util/json_object.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using util::JsonObject;

const char* const kDocument = R"({
  "content": "x",
  "half": 1.5, "two": 2, "twoPointZero": 2.0, "thousand": 1e3, "huge": 1e21, "big": 1e20, "tiny": 1e-7,
  "small": -0.000001, "long": 123456789012, "yes": true, "no": false, "nothing": null,
  "list": [1, "a", [2, 3], null, {"k": 1}, true],
  "inner": {"b": [0, 1, {"c": "deep"}], "0": "zero"},
  "odd name": "odd", "text": "中文\\\"q\""
})";

struct PathCase {
    const char* name;
    std::string path;
    std::string text;
    int type;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

class JsonPath : public testing::TestWithParam<PathCase> {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(document.parse(kDocument)); }
    static JsonObject document;
};

JsonObject JsonPath::document;

TEST_P(JsonPath, AnswersTheScriptTextAndType) {
    const PathCase& c = GetParam();
    EXPECT_EQ(document.getText(c.path), c.text);
    EXPECT_EQ(document.typeOf(c.path), c.type);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonPath,
    testing::Values(
        PathCase{"String", "content", "x", 6}, PathCase{"MissingMember", "absent", "", 0},
        PathCase{"ThroughMissingMember", "absent.more", "", -1}, PathCase{"ThroughNull", "nothing.more", "", -1},
        PathCase{"NullMember", "nothing", "", 0}, PathCase{"Fraction", "half", "1.5", 2},
        PathCase{"Integer", "two", "2", 2}, PathCase{"WholeFraction", "twoPointZero", "2", 2},
        PathCase{"WholeExponent", "thousand", "1000", 2}, PathCase{"Huge", "huge", "1e+21", 2},
        PathCase{"Big", "big", "100000000000000000000", 2}, PathCase{"Tiny", "tiny", "1e-7", 2},
        PathCase{"Small", "small", "-0.000001", 2}, PathCase{"Long", "long", "123456789012", 2},
        PathCase{"True", "yes", "true", 1}, PathCase{"False", "no", "false", 1},
        PathCase{"ArrayJoined", "list", "1,a,2,3,,[object Object],true", 5},
        PathCase{"Object", "inner", "[object Object]", 4}, PathCase{"Nested", "inner.b[2].c", "deep", 6},
        PathCase{"Index", "list[1]", "a", 6}, PathCase{"IndexBeyond", "list[9]", "", 0},
        PathCase{"IndexOnObject", "inner[0]", "zero", 6}, PathCase{"SingleQuoted", "['odd name']", "odd", 6},
        PathCase{"DoubleQuoted", "[\"odd name\"]", "odd", 6}, PathCase{"QuotedThenDotted", "['inner'].b[1]", "1", 2},
        PathCase{"MemberOfString", "content.more", "", 0}, PathCase{"EscapesDecoded", "text", "中文\\\"q\"", 6},
        PathCase{"Document", "", "[object Object]", 4}, PathCase{"EmptyStep", "inner..b", "", -1},
        PathCase{"OpenBracket", "list[", "", -1}, PathCase{"BadIndex", "list[x]", "", -1}),
    [](const testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST(JsonObject, CountsArraysOnly) {
    JsonObject json;
    ASSERT_TRUE(json.parse(R"({"a": [1, 2, 3], "o": {"x": 1}, "s": "abc"})"));
    EXPECT_EQ(json.count("a"), 3);
    EXPECT_EQ(json.count("o"), 0);
    EXPECT_EQ(json.count("s"), 0);
    EXPECT_EQ(json.count("missing"), 0);
    EXPECT_EQ(json.count(), 0);
}

TEST(JsonObject, NewObjectIsAnEmptyDocument) {
    const JsonObject json;
    EXPECT_EQ(json.toText(), "{}");
    EXPECT_EQ(json.typeOf(), 4);
    EXPECT_EQ(json.getText("x"), "");
}

struct RefusedCase {
    const char* name;
    std::string text;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedText : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedText, LeavesANullDocument) {
    JsonObject json;
    ASSERT_TRUE(json.parse(R"({"a": [1]})"));
    EXPECT_FALSE(json.parse(GetParam().text));
    EXPECT_EQ(json.getText("a"), "");
    EXPECT_EQ(json.getText(), "");
    EXPECT_EQ(json.count("a"), 0);
    EXPECT_EQ(json.typeOf(), 0);
    EXPECT_EQ(json.typeOf("a"), -1);
    EXPECT_EQ(json.toText(), "");
    EXPECT_EQ(json.getObject("a").toText(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedText,
    testing::Values(RefusedCase{"Empty", ""}, RefusedCase{"Null", " null "}, RefusedCase{"Unclosed", "{"},
                    RefusedCase{"MissingValue", "{\"a\": }"}, RefusedCase{"TrailingText", "{} x"},
                    RefusedCase{"Html", "<html>"}, RefusedCase{"SingleQuotes", "{'a': 1}"},
                    RefusedCase{"NestedTenThousandDeep", std::string(10000, '[') + std::string(10000, ']')}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST(JsonObject, DeepButBoundedNestingParses) {
    const int depth = JsonObject::kMaxDepth;
    JsonObject json;
    ASSERT_TRUE(json.parse(std::string(depth, '[') + "\"[{\"" + std::string(depth, ']')));
    EXPECT_EQ(json.getText(), "[{");
    EXPECT_FALSE(json.parse(std::string(depth + 1, '[') + std::string(depth + 1, ']')));
}

TEST(JsonObject, ToTextIsCompactAndKeepsMemberOrder) {
    JsonObject json;
    ASSERT_TRUE(json.parse("{ \"z\" : 1, \"a\" : \"中文\\u0041\", \"m\" : [ 1, 2.5, 3.0, { \"k\" : null } ], "
                           "\"e\": \"\\\\\\n\" }"));
    EXPECT_EQ(json.toText(), R"({"z":1,"a":"中文A","m":[1,2.5,3,{"k":null}],"e":"\\\n"})");
}

TEST(JsonObject, ScalarDocumentsAreDocuments) {
    JsonObject json;
    ASSERT_TRUE(json.parse("\"x\""));
    EXPECT_EQ(json.getText(), "x");
    ASSERT_TRUE(json.parse("0"));
    EXPECT_EQ(json.getText(), "0");
    EXPECT_EQ(json.typeOf(), 2);
}

TEST(JsonObject, BytesThatAreNotUtf8ReadAsReplacementCharacters) {
    JsonObject json;
    ASSERT_TRUE(json.parse("{\"dom\": \"a\xB0\xA1\"}"));
    EXPECT_EQ(json.getText("dom"), "a\uFFFD\uFFFD");
}

// The service's metadata answer: address-range arrays taken out as sub-documents and read element by element.
TEST(JsonObject, MetadataArraysAsSubDocuments) {
    JsonObject meta;
    ASSERT_TRUE(meta.parse(R"({"verifiable_password_authentication": false,
        "ssh_key_fingerprints": {"SHA256_ED25519": "+DiY3wvvV6TuJJhbpZisF/zLDA0zPMSvHdkr4UvCOqU"},
        "hooks": ["192.30.252.0/22", "185.199.108.0/22", "140.82.112.0/20", "143.55.64.0/20",
                  "2a0a:a440::/29"],
        "web": ["192.30.252.0/22", "140.82.112.0/20"], "api": [], "domains": {"website": ["*.example"]}})"));
    const JsonObject hooks = meta.getObject("hooks");
    JsonObject reparsed;
    ASSERT_TRUE(reparsed.parse(hooks.toText()));
    EXPECT_EQ(reparsed.count(), 5);
    EXPECT_EQ(reparsed.getText("[0]"), "192.30.252.0/22");
    EXPECT_EQ(reparsed.getText("[4]"), "2a0a:a440::/29");
    EXPECT_EQ(reparsed.getText("[5]"), "");
    EXPECT_EQ(meta.getText("web"), "192.30.252.0/22,140.82.112.0/20");
    EXPECT_EQ(meta.count("api"), 0);
    EXPECT_EQ(meta.getText("domains.website[0]"), "*.example");

    const JsonObject missing = meta.getObject("actions");
    EXPECT_EQ(missing.toText(), "");
    EXPECT_EQ(missing.count(), 0);
    const JsonObject copy = meta.clone();
    EXPECT_EQ(copy.count("hooks"), 5);
}

} // namespace
