#pragma once

// The text rules every part relies on: UTF-8 texts, 1-based byte positions, -1 for "absent", searches that never
// match inside a multi-byte character, ASCII-only letter case folding. Spaces are the ASCII space and the
// full-width space U+3000.

#include <string>
#include <string_view>
#include <vector>

namespace util {

/// The line break used inside the program's texts.
inline constexpr std::string_view kCrLf = "\r\n";
/// The full-width space.
inline constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";

/// 1-based position of the first occurrence at or after `start` (1-based); -1 when absent or the needle is empty.
[[nodiscard]] int findText(std::string_view text, std::string_view needle, int start = 1, bool ignoreCase = false);
/// True when `needle` occurs at or after `start`, ignoring letter case unless asked; an empty needle is contained
/// in every non-empty text and in no empty one.
[[nodiscard]] bool textContains(std::string_view text, std::string_view needle, int start = 1,
                                bool caseSensitive = false);
/// The pieces between separators; an empty text gives none, a separator at the very end adds no empty piece.
[[nodiscard]] std::vector<std::string> splitText(std::string_view text, std::string_view separator);
/// The pieces joined with the separator between them (none before the first or after the last).
[[nodiscard]] std::string joinText(const std::vector<std::string>& pieces, std::string_view separator);
/// Every occurrence replaced (or the first `count` when count > 0), scanning left to right without overlaps.
[[nodiscard]] std::string replaceText(std::string_view text, std::string_view from, std::string_view to,
                                      bool ignoreCase = false, int count = 0);
/// The text without any ASCII or full-width space; line breaks and tabs stay.
[[nodiscard]] std::string removeSpaces(std::string_view text);
/// The text with ASCII and full-width spaces removed at both ends.
[[nodiscard]] std::string trimSpaces(std::string_view text);
/// The leading decimal integer (an optional sign, then digits); 0 when the text does not begin with one.
[[nodiscard]] int textToInt(std::string_view text);
/// ASCII lower-case copy.
[[nodiscard]] std::string asciiLower(std::string_view text);

} // namespace util
