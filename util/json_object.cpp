#include "util/json_object.h"

#include "util/code_pages.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace util {
namespace {

using Json = rapidjson::Value;

// The parser itself does not recurse, but printing and the text forms do; deeper documents are refused before
// parsing.
bool withinDepth(std::string_view text, int maxDepth) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// Whole numbers written with a fraction or exponent (2.0, 1e3) become integers, as a script engine holds them, so
// that they print back without ".0". The depth is bounded before parsing, so the recursion is too.
void keepWholeNumbersWhole(Json& node) {
    if (node.IsDouble()) {
        const double value = node.GetDouble();
        if (std::trunc(value) == value && std::fabs(value) < 9.0e15)
            node.SetInt64(static_cast<std::int64_t>(value));
    } else if (node.IsArray()) {
        for (Json& child : node.GetArray())
            keepWholeNumbersWhole(child);
    } else if (node.IsObject()) {
        for (auto& member : node.GetObject())
            keepWholeNumbersWhole(member.value);
    }
}

// Number::toString of a script engine: the shortest digits that read back, plain notation from 1e-6 up to 1e21.
std::string scriptNumberText(double value) {
    if (std::isnan(value))
        return "NaN";
    if (value == 0)
        return "0";
    if (std::isinf(value))
        return value < 0 ? "-Infinity" : "Infinity";
    const std::string sign = value < 0 ? "-" : "";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e = scientific.find('e');
    std::string digits;
    for (const char c : scientific.substr(0, e)) {
        if (c != '.')
            digits.push_back(c);
    }
    const int n = std::atoi(std::string(scientific.substr(e + 1)).c_str()) + 1;
    const int k = static_cast<int>(digits.size());
    if (k <= n && n <= 21)
        return sign + digits + std::string(static_cast<std::size_t>(n - k), '0');
    if (0 < n && n <= 21)
        return sign + digits.substr(0, static_cast<std::size_t>(n)) + "." + digits.substr(static_cast<std::size_t>(n));
    if (-6 < n && n <= 0)
        return sign + "0." + std::string(static_cast<std::size_t>(-n), '0') + digits;
    std::string text = sign + digits.substr(0, 1);
    if (k > 1)
        text += "." + digits.substr(1);
    const int exponent = n - 1;
    text += exponent < 0 ? "e-" : "e+";
    text += std::to_string(std::abs(exponent));
    return text;
}

std::string scriptText(const Json& node) {
    switch (node.GetType()) {
    case rapidjson::kStringType:
        return std::string(node.GetString(), node.GetStringLength());
    case rapidjson::kTrueType:
        return "true";
    case rapidjson::kFalseType:
        return "false";
    case rapidjson::kNumberType:
        return scriptNumberText(node.GetDouble());
    case rapidjson::kObjectType:
        return "[object Object]";
    case rapidjson::kArrayType: {
        std::string joined;
        bool first = true;
        for (const Json& element : node.GetArray()) {
            if (!first)
                joined.push_back(',');
            first = false;
            if (!element.IsNull())
                joined += scriptText(element);
        }
        return joined;
    }
    default:
        return {};
    }
}

struct Step {
    std::string name;
    std::optional<std::size_t> index;
};

std::optional<std::size_t> indexOf(std::string_view digits) {
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0'))
        return std::nullopt;
    std::size_t value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

void skipBlanks(std::string_view path, std::size_t& at) {
    while (at < path.size() && isBlank(path[at]))
        ++at;
}

// One bracketed step from `at` (just after the "["): a quoted name or a decimal index.
std::optional<Step> parseBracket(std::string_view path, std::size_t& at) {
    skipBlanks(path, at);
    if (at >= path.size())
        return std::nullopt;
    Step step;
    if (path[at] == '\'' || path[at] == '"') {
        const char quote = path[at++];
        for (;;) {
            if (at >= path.size())
                return std::nullopt;
            char c = path[at++];
            if (c == quote)
                break;
            if (c == '\\') {
                if (at >= path.size())
                    return std::nullopt;
                c = path[at++];
            }
            step.name.push_back(c);
        }
    } else {
        const std::size_t begin = at;
        while (at < path.size() && path[at] >= '0' && path[at] <= '9')
            ++at;
        step.name = std::string(path.substr(begin, at - begin));
        step.index = indexOf(step.name);
        if (!step.index)
            return std::nullopt;
    }
    skipBlanks(path, at);
    if (at >= path.size() || path[at] != ']')
        return std::nullopt;
    ++at;
    return step;
}

// Splits a path into member and index steps; nullopt when it is malformed.
std::optional<std::vector<Step>> parsePath(std::string_view path) {
    std::vector<Step> steps;
    std::size_t at = 0;
    while (at < path.size()) {
        if (path[at] == '[') {
            ++at;
            std::optional<Step> step = parseBracket(path, at);
            if (!step)
                return std::nullopt;
            steps.push_back(std::move(*step));
            continue;
        }
        if (!steps.empty()) {
            if (path[at] != '.')
                return std::nullopt;
            ++at;
        }
        const std::size_t begin = at;
        while (at < path.size() && path[at] != '.' && path[at] != '[')
            ++at;
        if (at == begin)
            return std::nullopt;
        steps.push_back({std::string(path.substr(begin, at - begin)), std::nullopt});
    }
    return steps;
}

enum class Outcome { found, missing, invalid };

struct Resolved {
    Outcome outcome;
    const Json* node;
};

// Follows the path as a script member expression would: a missing member is undefined, a step beyond undefined
// or null cannot be taken, members of strings, numbers and booleans are undefined.
Resolved resolve(const Json& root, std::string_view path) {
    const std::optional<std::vector<Step>> steps = parsePath(path);
    if (!steps)
        return {Outcome::invalid, nullptr};
    const Json* node = &root;
    for (const Step& step : *steps) {
        if (node == nullptr || node->IsNull())
            return {Outcome::invalid, nullptr};
        if (node->IsObject()) {
            // The last of members with the same name holds, as a script engine's parse leaves it.
            const Json* found = nullptr;
            for (const auto& member : node->GetObject()) {
                if (member.name.GetStringLength() == step.name.size() &&
                    std::string_view(member.name.GetString(), member.name.GetStringLength()) == step.name)
                    found = &member.value;
            }
            node = found;
        } else if (node->IsArray()) {
            const std::optional<std::size_t> index = step.index ? step.index : indexOf(step.name);
            node = (index && *index < node->Size()) ? &(*node)[static_cast<rapidjson::SizeType>(*index)] : nullptr;
        } else {
            node = nullptr;
        }
    }
    if (node == nullptr)
        return {Outcome::missing, nullptr};
    return {Outcome::found, node};
}

const Json& nullDocument() {
    static const Json kNull;
    return kNull;
}

// The empty object document that a fresh object holds.
std::shared_ptr<const Json> emptyObjectDocument() {
    static const auto kEmpty = std::make_shared<const rapidjson::Document>(rapidjson::kObjectType);
    return kEmpty;
}

} // namespace

JsonObject::JsonObject() : document_(emptyObjectDocument()) {}

JsonObject::JsonObject(std::shared_ptr<const Json> document) : document_(std::move(document)) {}

bool JsonObject::parse(std::string_view text) {
    document_.reset();
    if (text.empty() || !withinDepth(text, kMaxDepth))
        return false;
    std::string repaired;
    if (!isValidUtf8(text)) {
        repaired = utf8ToText(text);
        text = repaired;
    }
    try {
        auto document = std::make_shared<rapidjson::Document>();
        // The iterative parser keeps the machine stack flat whatever the nesting.
        document->Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
        if (document->HasParseError() || document->IsNull())
            return false;
        keepWholeNumbersWhole(*document);
        document_ = std::move(document);
        return true;
    } catch (...) {
        return false;
    }
}

std::string JsonObject::getText(std::string_view path) const {
    const Resolved resolved = resolve(document_ ? *document_ : nullDocument(), path);
    if (resolved.outcome != Outcome::found)
        return {};
    try {
        return scriptText(*resolved.node);
    } catch (...) {
        return {};
    }
}

int JsonObject::count(std::string_view path) const {
    const Resolved resolved = resolve(document_ ? *document_ : nullDocument(), path);
    if (resolved.outcome != Outcome::found || !resolved.node->IsArray())
        return 0;
    return static_cast<int>(resolved.node->Size());
}

JsonObject JsonObject::getObject(std::string_view path) const {
    const Resolved resolved = resolve(document_ ? *document_ : nullDocument(), path);
    if (resolved.outcome != Outcome::found || resolved.node->IsNull())
        return JsonObject(nullptr);
    // The documents never change once parsed, so the node is shared rather than copied.
    return JsonObject(std::shared_ptr<const Json>(document_, resolved.node));
}

std::string JsonObject::toText() const {
    if (!document_)
        return {};
    try {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        if (!document_->Accept(writer))
            return {};
        return std::string(buffer.GetString(), buffer.GetSize());
    } catch (...) {
        return {};
    }
}

int JsonObject::typeOf(std::string_view path) const {
    const Resolved resolved = resolve(document_ ? *document_ : nullDocument(), path);
    if (resolved.outcome == Outcome::invalid)
        return kTypeInvalid;
    if (resolved.outcome == Outcome::missing)
        return kTypeNull;
    switch (resolved.node->GetType()) {
    case rapidjson::kNullType:
        return kTypeNull;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
        return kTypeBoolean;
    case rapidjson::kNumberType:
        return kTypeNumber;
    case rapidjson::kObjectType:
        return kTypeObject;
    case rapidjson::kArrayType:
        return kTypeArray;
    case rapidjson::kStringType:
        return kTypeString;
    }
    return kTypeInvalid;
}

} // namespace util
