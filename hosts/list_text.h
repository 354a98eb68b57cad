#pragma once

// The text steps of sources 2 and 4: judging an answer and turning a published list into the block. Internal to
// the hosts library; its tests and fuzz targets call them directly.

#include "hosts/run_frame.h"

#include <string>
#include <string_view>

namespace hosts {

/// True when every line that is not blank is a comment or an address followed by at least one name, and at least
/// one such address line is there; false for an HTML error page or any other answer.
[[nodiscard]] bool looksLikeHostsList(std::string_view text);

/// The text with every run of spaces (2 up to far beyond 6000) made one space; tabs and everything else untouched.
[[nodiscard]] std::string collapseSpaceRuns(std::string text);

/// The block a list of source 2 or 4 becomes, its spacing evened out. Source 2: the start marker line and the list
/// without any start marker of its own (in any letter case, also one that the other steps make); source 4: the
/// list with its own marker lines made the managed ones.
[[nodiscard]] Block listBlock(int source, std::string list);

} // namespace hosts
