#pragma once

// Reading the environment, for the platform files and the modules built from them (which take nothing from the
// program, hence inline).

#include <cstdlib>
#include <string>

namespace platform {

/// The variable's value; empty text when it is not set.
[[nodiscard]] inline std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

} // namespace platform
