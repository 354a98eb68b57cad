#include "util/json_object.h"

#include "util/code_pages.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace util {
namespace {

using Json = nlohmann::ordered_json;

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
    switch (node.type()) {
    case Json::value_t::string:
        return node.get_ref<const std::string&>();
    case Json::value_t::boolean:
        return node.get<bool>() ? "true" : "false";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
        return scriptNumberText(node.get<double>());
    case Json::value_t::object:
        return "[object Object]";
    case Json::value_t::array: {
        std::string joined;
        bool first = true;
        for (const Json& element : node) {
            if (!first)
                joined.push_back(',');
            first = false;
            if (!element.is_null())
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
        if (node == nullptr || node->is_null())
            return {Outcome::invalid, nullptr};
        if (node->is_object()) {
            const auto found = node->find(step.name);
            node = found == node->end() ? nullptr : &*found;
        } else if (node->is_array()) {
            const std::optional<std::size_t> index = step.index ? step.index : indexOf(step.name);
            node = (index && *index < node->size()) ? &(*node)[*index] : nullptr;
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

} // namespace

JsonObject::JsonObject() : document_(std::make_shared<const Json>(Json::object())) {}

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
    // Whole numbers written with a fraction or exponent (2.0, 1e3) are kept as integers, as a script engine holds
    // them, so that they print back without ".0".
    const Json::parser_callback_t wholeNumbers = [](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::value && parsed.is_number_float()) {
            const double value = parsed.get<double>();
            if (std::trunc(value) == value && std::fabs(value) < 9.0e15)
                parsed = static_cast<std::int64_t>(value);
        }
        return true;
    };
    try {
        auto document = std::make_shared<Json>(Json::parse(text.begin(), text.end(), wholeNumbers, false));
        if (document->is_discarded() || document->is_null())
            return false;
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
    if (resolved.outcome != Outcome::found || !resolved.node->is_array())
        return 0;
    return static_cast<int>(resolved.node->size());
}

JsonObject JsonObject::getObject(std::string_view path) const {
    const Resolved resolved = resolve(document_ ? *document_ : nullDocument(), path);
    if (resolved.outcome != Outcome::found || resolved.node->is_null())
        return JsonObject(nullptr);
    try {
        return JsonObject(std::make_shared<const Json>(*resolved.node));
    } catch (...) {
        return JsonObject(nullptr);
    }
}

std::string JsonObject::toText() const {
    if (!document_)
        return {};
    try {
        return document_->dump(-1, ' ', false, Json::error_handler_t::replace);
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
    switch (resolved.node->type()) {
    case Json::value_t::null:
        return kTypeNull;
    case Json::value_t::boolean:
        return kTypeBoolean;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
        return kTypeNumber;
    case Json::value_t::object:
        return kTypeObject;
    case Json::value_t::array:
        return kTypeArray;
    case Json::value_t::string:
        return kTypeString;
    default:
        return kTypeInvalid;
    }
}

} // namespace util
