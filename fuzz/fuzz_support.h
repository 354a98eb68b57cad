#pragma once

// What the fuzz targets share: a broken promise stops the run with its description, which libFuzzer reports as a
// crash and saves the input for.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

/// Stops the run when the promise does not hold.
inline void expect(bool holds, const char* promise) {
    if (holds)
        return;
    std::fprintf(stderr, "Broken promise: %s\n", promise);
    std::abort();
}

/// The input as a text.
inline std::string_view inputText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

/// Takes the text up to the next LF (without it) off the front of `rest`; all of it when there is no LF.
inline std::string_view takeLine(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return line;
}

/// ASCII letter-case folding, the only folding the program knows.
inline char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/// True when the byte can start a character: a match never begins inside a multi-byte UTF-8 character.
inline bool startsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

/// True when `needle` stands at `at`, letter case ignored when asked.
inline bool standsAt(std::string_view text, std::size_t at, std::string_view needle, bool ignoreCase) {
    if (at > text.size() || text.size() - at < needle.size())
        return false;
    for (std::size_t i = 0; i < needle.size(); ++i) {
        const char a = text[at + i];
        const char b = needle[i];
        if (ignoreCase ? lowerAscii(a) != lowerAscii(b) : a != b)
            return false;
    }
    return true;
}

/// The plain reference search of the text rules, one position after the other: the first occurrence at or after
/// `from` that begins a character; npos when there is none or the needle is empty.
inline std::size_t referenceFind(std::string_view text, std::string_view needle, std::size_t from, bool ignoreCase) {
    if (needle.empty())
        return std::string_view::npos;
    for (std::size_t at = from; at < text.size(); ++at) {
        if (startsCharacter(text[at]) && standsAt(text, at, needle, ignoreCase))
            return at;
    }
    return std::string_view::npos;
}

} // namespace fuzz
