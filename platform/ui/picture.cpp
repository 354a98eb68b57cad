#include "platform/ui/picture.h"

#include <png.h>

#include <cstring>

namespace ui {
namespace {

// Pictures larger than this are refused rather than allocated (a forged header can claim any size).
constexpr std::uint64_t kMaxPixels = 64ull * 1024 * 1024;

} // namespace

std::optional<Picture> decodePng(std::string_view bytes) {
    if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0)
        return std::nullopt;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0)
        return std::nullopt;
    const std::uint64_t pixels = static_cast<std::uint64_t>(image.width) * image.height;
    if (image.width == 0 || image.height == 0 || pixels > kMaxPixels) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    Picture picture;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgba.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return std::nullopt;
    }
    return picture;
}

} // namespace ui
