#pragma once

// Conversions between code pages and UTF-16, with the code-page numbers of the original system (936 GBK, 65001
// UTF-8, ...). The system code page is UTF-8. Every input is taken as a zero-terminated text: conversion stops at
// the first zero byte (or zero UTF-16 unit). Bytes that are not valid in the source code page become U+FFFD;
// characters the target code page cannot hold become "?".

#include <string>
#include <string_view>

namespace util {

/// The code page of the system, UTF-8.
inline constexpr int kSystemCodePage = 65001;

/// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values beyond U+10FFFF).
[[nodiscard]] bool isValidUtf8(std::string_view bytes);

/// The iconv name of a code page: 936 "GBK", 65001 and 0 (the system code page) "UTF-8", 54936 "GB18030", 20127
/// "ASCII", 1200 "UTF-16LE", 1201 "UTF-16BE", 28591-28599 "ISO-8859-n", any other n "CP<n>".
[[nodiscard]] std::string codePageName(int codePage);

/// The text of the bytes in the code page as UTF-16LE bytes, the terminating zero unit included; empty bytes for an
/// empty text or a code page iconv does not know.
[[nodiscard]] std::string bytesToWide(std::string_view bytes, int codePage);
/// UTF-16LE bytes converted to the code page, without a terminator; empty bytes for an empty text or a code page
/// iconv does not know. A lone surrogate becomes "?" (U+FFFD in UTF-8).
[[nodiscard]] std::string wideToCodePage(std::string_view utf16Bytes, int codePage);
/// UTF-16LE bytes as a text in the system code page; empty for an empty text.
[[nodiscard]] std::string wideToText(std::string_view utf16Bytes);
/// UTF-8 bytes as a text in the system code page: the valid UTF-8 itself, each byte of an invalid sequence as
/// U+FFFD; empty for empty bytes.
[[nodiscard]] std::string utf8ToText(std::string_view bytes);

} // namespace util
