#pragma once

// Pictures as pixel buffers that any realizer can show.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace ui {

/// A decoded picture: width × height pixels, four bytes each (red, green, blue, alpha; not premultiplied), row by row.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

/// Decodes PNG bytes; empty when the bytes are not a PNG picture that can be read whole.
[[nodiscard]] std::optional<Picture> decodePng(std::string_view bytes);

} // namespace ui
