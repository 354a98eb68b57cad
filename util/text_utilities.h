#pragma once

// Small operations on texts that several parts share: tidying a multi-line text, cutting the text between two
// markers out of a page, finding a text in a list.

#include <string>
#include <string_view>
#include <vector>

namespace util {

/// Removes one CR LF from the start and then one from the end of the caller's text, and answers that text with its
/// blank lines removed: every CR that follows a line start and every LF that precedes a line end is dropped, so a
/// run of CR LF pairs inside the text becomes one CR LF (a bare LF or CR can remain at the ends). Callers may call
/// it for the trimming alone and drop the answer.
std::string removeBlankLines(std::string& text);

/// The text after the first `left` marker (searched from the 1-based `start`, from the beginning when 0 or less)
/// up to the next `right` marker; "#引号" in a marker stands for a double quote. Empty text when either marker is
/// absent, or when nothing lies between them.
[[nodiscard]] std::string textBetween(std::string_view text, std::string_view left, std::string_view right,
                                      int start = 0, bool ignoreCase = false);

/// 1-based index of the first element equal to the text (exact, with case); -1 when none is.
[[nodiscard]] int indexOfText(const std::vector<std::string>& list, std::string_view text);

} // namespace util
