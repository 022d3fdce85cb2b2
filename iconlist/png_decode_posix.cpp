// PNG decoding through libpng's simplified reader.
#include <png.h>

#include <cstring>

#include "iconlist/bitmap.hpp"

namespace tb {

// Nothing is kept: libpng needs nothing loaded.
struct DecodingSession::Kept {};

DecodingSession::DecodingSession() : outer_(nullptr) { static_cast<void>(outer_); }
DecodingSession::~DecodingSession() = default;

void PrepareDecoding() {}

std::optional<Bitmap32> DecodePng(std::string_view file) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return std::nullopt;
    if (image.width == 0 || image.height == 0 || image.width > kMaxPictureSide ||
        image.height > kMaxPictureSide) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_BGRA;
    Bitmap32 picture(static_cast<int>(image.width), static_cast<int>(image.height));
    if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    // The reader gives straight alpha in B, G, R, A byte order; premultiply.
    for (auto& px : picture.pixels) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(&px);
        const std::uint32_t a = b[3];
        const auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        px = (a << 24) | (mul(b[2]) << 16) | (mul(b[1]) << 8) | mul(b[0]);
    }
    return picture;
}

}  // namespace tb
