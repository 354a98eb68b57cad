#pragma once

// One JSON document, read by path. A path is dot-separated member names and bracketed indices relative to the
// document ("query", "hooks", "[0]", "a.b[2].c"); names that are not plain words go in brackets with quotes
// ("['odd name']" or "[\"odd name\"]"); the empty path is the document itself. Texts answer the forms a script
// engine prints. The document is immutable once parsed, so objects and their clones may be read from any thread.

#include <rapidjson/fwd.h>

#include <memory>
#include <string>
#include <string_view>

namespace util {

class JsonObject {
public:
    /// Documents nested deeper than this (arrays and objects) are refused by parse.
    static constexpr int kMaxDepth = 512;

    /// Type codes of typeOf.
    static constexpr int kTypeNull = 0;
    static constexpr int kTypeBoolean = 1;
    static constexpr int kTypeNumber = 2;
    static constexpr int kTypeObject = 4;
    static constexpr int kTypeArray = 5;
    static constexpr int kTypeString = 6;
    static constexpr int kTypeInvalid = -1;

    /// An empty object document ({}).
    JsonObject();

    /// Replaces the document with the parsed JSON text. False for empty or invalid text, a JSON null, or nesting
    /// beyond kMaxDepth; the document is then null and every query answers empty or 0. Bytes that are not UTF-8
    /// are read as U+FFFD.
    [[nodiscard]] bool parse(std::string_view text);
    /// The node's text: strings as they are, numbers as a script engine prints them (2, 1.5, 1e+21), true or false,
    /// arrays as their elements' texts joined by ",", objects as "[object Object]"; empty for null, a missing node
    /// or a path that cannot be followed.
    [[nodiscard]] std::string getText(std::string_view path = {}) const;
    /// The length of the array at the path; 0 for anything else.
    [[nodiscard]] int count(std::string_view path = {}) const;
    /// A new object on the node (shared, the documents being immutable); its document is null (queries answer
    /// empty) when the node is missing or null.
    [[nodiscard]] JsonObject getObject(std::string_view path = {}) const;
    /// The whole document as compact JSON, members in their order, non-ASCII characters unescaped; empty text
    /// when the document is null.
    [[nodiscard]] std::string toText() const;
    /// 0 null or missing member of an existing node, 1 boolean, 2 number, 4 object, 5 array, 6 string; -1 for a
    /// path that runs through a missing or null node or is malformed.
    [[nodiscard]] int typeOf(std::string_view path = {}) const;
    /// A second object on the same document.
    [[nodiscard]] JsonObject clone() const { return *this; }

private:
    explicit JsonObject(std::shared_ptr<const rapidjson::Value> document);

    std::shared_ptr<const rapidjson::Value> document_;
};

} // namespace util
