#pragma once

// Plain text of an HTML fragment, the way a browser renders it as text.

#include <string>
#include <string_view>

namespace util {

/// The fragment's text: tags dropped, character references decoded, white-space runs collapsed to one space,
/// block elements (paragraphs, divisions, list items, table rows, headings...) on lines of their own, <br> a line
/// break, table cells separated by a tab, <pre> kept as written, scripts and styles left out. Lines are separated
/// by CR LF, with no line break at either end. Elements nested deeper than 256 are cut off with what follows them.
/// Empty text when the fragment holds no text or cannot be parsed.
[[nodiscard]] std::string htmlToText(std::string_view html);

} // namespace util
