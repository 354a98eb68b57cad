#pragma once

// Pictures compiled into the program file, so that the program is one self-contained file.

#include <string_view>

namespace resources {

/// The bytes of the named resource ("logo.png", "idle.png", "busy.gif"); empty when there is none.
[[nodiscard]] std::string_view find(std::string_view name);

} // namespace resources
