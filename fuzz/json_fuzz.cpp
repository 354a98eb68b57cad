// The JSON document object on any text: a parsed document prints as JSON that parses again to the same print, and
// every node reached by a path (built from the document itself) answers getText, count, getObject and typeOf in
// agreement with what it is.
//
// Input: the JSON text.

#include "fuzz/fuzz_support.h"
#include "util/json_object.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using fuzz::expect;
using Json = nlohmann::ordered_json;
constexpr int kMaxNodes = 300;

int typeCode(const Json& node) {
    switch (node.type()) {
    case Json::value_t::null:
        return util::JsonObject::kTypeNull;
    case Json::value_t::boolean:
        return util::JsonObject::kTypeBoolean;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
        return util::JsonObject::kTypeNumber;
    case Json::value_t::object:
        return util::JsonObject::kTypeObject;
    case Json::value_t::array:
        return util::JsonObject::kTypeArray;
    case Json::value_t::string:
        return util::JsonObject::kTypeString;
    default:
        return util::JsonObject::kTypeInvalid;
    }
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
    expect(document.count(path) == (node.is_array() ? static_cast<int>(node.size()) : 0),
           "count is the length of an array and 0 for anything else");
    const util::JsonObject object = document.getObject(path);
    const std::string text = document.getText(path);
    if (node.is_null()) {
        expect(object.toText().empty() && text.empty(), "a null node answers empty");
        return;
    }
    expect(object.toText() == node.dump(-1, ' ', false, Json::error_handler_t::replace),
           "getObject holds a copy of the node");
    expect(object.getText() == text, "the copy's text is the node's text");
    if (node.is_string())
        expect(text == node.get_ref<const std::string&>(), "a string's text is the string");
    if (node.is_boolean())
        expect(text == (node.get<bool>() ? "true" : "false"), "a boolean's text is true or false");
    if (node.is_number()) {
        const double value = node.get<double>();
        if (std::isfinite(value))
            expect(std::strtod(text.c_str(), nullptr) == value, "a number's text reads back as the number");
    }
    if (node.is_object())
        expect(text == "[object Object]", "an object's text is [object Object]");
    const std::string absent = "\x01"
                               "absent";
    if (node.is_object() && !node.contains(absent))
        expect(document.typeOf(path + "['" + absent + "']") == util::JsonObject::kTypeNull,
               "a missing member of an existing node is null");
}

void walk(const util::JsonObject& document, const Json& node, const std::string& path, int& budget) {
    if (budget-- <= 0)
        return;
    checkNode(document, node, path);
    if (node.is_object()) {
        std::size_t ordinal = 0;
        for (const auto& [name, child] : node.items())
            walk(document, child, memberStep(path, name, ordinal++), budget);
    } else if (node.is_array()) {
        for (std::size_t index = 0; index < node.size() && budget > 0; ++index)
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
    // A number beyond the double range is Infinity, which JSON prints as null: the one print that does not parse.
    if (text == "null")
        return 0;
    util::JsonObject again;
    expect(again.parse(text), "the print of a parsed document parses");
    expect(again.toText() == text, "the print parses again to the same print");

    const Json tree = Json::parse(text, nullptr, false);
    expect(!tree.is_discarded(), "the print is JSON");
    int budget = kMaxNodes;
    walk(document, tree, "", budget);
    return 0;
}
