// The JSON document object on any text: a parsed document prints as JSON that parses again to the same print, and
// every node reached by a path (built from the document itself) answers getText, count, getObject and typeOf in
// agreement with what it is.
//
// Input: the JSON text.

#include "fuzz/fuzz_support.h"
#include "util/json_object.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using fuzz::expect;
using Json = rapidjson::Value;
constexpr int kMaxNodes = 300;

int typeCode(const Json& node) {
    switch (node.GetType()) {
    case rapidjson::kNullType:
        return util::JsonObject::kTypeNull;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
        return util::JsonObject::kTypeBoolean;
    case rapidjson::kNumberType:
        return util::JsonObject::kTypeNumber;
    case rapidjson::kObjectType:
        return util::JsonObject::kTypeObject;
    case rapidjson::kArrayType:
        return util::JsonObject::kTypeArray;
    case rapidjson::kStringType:
        return util::JsonObject::kTypeString;
    default:
        return util::JsonObject::kTypeInvalid;
    }
}

std::string stringOf(const Json& node) {
    return {node.GetString(), node.GetStringLength()};
}

// The node as compact JSON (compared as text: RapidJSON's own equality pairs duplicate members wrongly).
std::string printed(const Json& node) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    node.Accept(writer);
    return {buffer.GetString(), buffer.GetSize()};
}

// A member step: the plain form where the name allows it, and for every other name (and every third plain one)
// the bracketed form with quotes, escaping the quote and the backslash.
std::string memberStep(const std::string& path, const std::string& name, std::size_t ordinal) {
    const bool plain = !name.empty() && name.find_first_of(".[") == std::string::npos && ordinal % 3 != 2;
    if (plain)
        return path.empty() ? name : path + "." + name;
    const char quote = ordinal % 2 == 0 ? '\'' : '"';
    std::string step = path + "[" + quote;
    for (const char c : name) {
        if (c == quote || c == '\\')
            step.push_back('\\');
        step.push_back(c);
    }
    return step + quote + "]";
}

void checkNode(const util::JsonObject& document, const Json& node, const std::string& path) {
    expect(document.typeOf(path) == typeCode(node), "typeOf tells the node's type");
    expect(document.count(path) == (node.IsArray() ? static_cast<int>(node.Size()) : 0),
           "count is the length of an array and 0 for anything else");
    const util::JsonObject object = document.getObject(path);
    const std::string text = document.getText(path);
    if (node.IsNull()) {
        expect(object.toText().empty() && text.empty(), "a null node answers empty");
        return;
    }
    // Both sides read from a print, so that they went through the same (not exact) number parsing.
    rapidjson::Document copy;
    const std::string copyText = object.toText();
    copy.Parse<rapidjson::kParseIterativeFlag>(copyText.data(), copyText.size());
    expect(!copy.HasParseError() && printed(copy) == printed(node), "getObject holds the node");
    expect(object.getText() == text, "the node's object answers the node's text");
    if (node.IsString())
        expect(text == stringOf(node), "a string's text is the string");
    if (node.IsBool())
        expect(text == (node.GetBool() ? "true" : "false"), "a boolean's text is true or false");
    if (node.IsNumber() && std::isfinite(node.GetDouble()))
        expect(std::strtod(text.c_str(), nullptr) == std::strtod(copyText.c_str(), nullptr),
               "a number's text reads back as the number");
    if (node.IsObject()) {
        expect(text == "[object Object]", "an object's text is [object Object]");
        const std::string absent = "\x01"
                                   "absent";
        if (!node.HasMember(absent.c_str()))
            expect(document.typeOf(path + "['" + absent + "']") == util::JsonObject::kTypeNull,
                   "a missing member of an existing node is null");
    }
}

void walk(const util::JsonObject& document, const Json& node, const std::string& path, int& budget) {
    if (budget-- <= 0)
        return;
    checkNode(document, node, path);
    if (node.IsObject()) {
        std::size_t ordinal = 0;
        for (auto member = node.MemberBegin(); member != node.MemberEnd() && budget > 0; ++member) {
            // Of several members of one name a path reaches the last, as a script engine's object keeps it.
            const std::string name = stringOf(member->name);
            bool last = true;
            for (auto later = member + 1; later != node.MemberEnd() && last; ++later)
                last = stringOf(later->name) != name;
            if (last)
                walk(document, member->value, memberStep(path, name, ordinal), budget);
            ++ordinal;
        }
    } else if (node.IsArray()) {
        for (rapidjson::SizeType index = 0; index < node.Size() && budget > 0; ++index)
            walk(document, node[index], path + "[" + std::to_string(index) + "]", budget);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::inputText(data, size);
    util::JsonObject document;
    if (!document.parse(input)) {
        expect(document.toText().empty() && document.getText().empty() && document.count() == 0,
               "after a failed parse every query answers empty or 0");
        expect(document.getObject("a").toText().empty(), "after a failed parse no node can be taken");
        return 0;
    }
    const std::string text = document.toText();
    expect(!text.empty(), "a parsed document prints");
    expect(document.clone().toText() == text && document.getObject().toText() == text,
           "a clone and the whole-document object print the same");
    util::JsonObject again;
    expect(again.parse(text), "the print of a parsed document parses");
    // Not checked: that it prints the same again. RapidJSON's default number parsing may land a few units off the
    // nearest double for long numbers (its full-precision parsing has undefined behaviour on some inputs).
    expect(!again.toText().empty(), "the print of a parsed document prints again");

    rapidjson::Document tree;
    tree.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    expect(!tree.HasParseError(), "the print is JSON");
    int budget = kMaxNodes;
    walk(document, tree, "", budget);
    return 0;
}
