#pragma once
// Windows bitmap files as the icon store keeps its logo, and the facts of PNG files that the tool
// reports without decoding them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "iconlist/bitmap.hpp"

namespace tb::tool {

// A 24-bit bottom-up bitmap file of the picture laid on white (its alpha cannot be kept).
std::string EncodeBmpOnWhite(const Bitmap32& picture);

struct BmpFacts {
    int32_t width = 0;
    int32_t height = 0;  // as stored: negative for a top-down bitmap
    int bits = 0;
};
// The header of a bitmap file; nullopt with `why` set when the bytes are no bitmap file a picture
// loader would take (no "BM", a header or pixel array that does not fit the bytes).
std::optional<BmpFacts> ReadBmpFacts(std::string_view file, std::string& why);

bool HasPngSignature(std::string_view file);
// Width and height from a PNG file's header chunk, when it has one.
std::optional<std::pair<uint32_t, uint32_t>> PngHeaderSize(std::string_view file);

}  // namespace tb::tool
