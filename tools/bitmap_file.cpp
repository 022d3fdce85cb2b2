/* Bitmap file layout (little-endian):
     file header  14 bytes: "BM", file size (4), two reserved words (2 + 2), pixel offset (4)
     info header  40 bytes: its size (4), width (4), height (4, negative: rows top down),
                  planes (2) = 1, bits per pixel (2), compression (4, 0 = none), image size (4),
                  horizontal and vertical resolution (4 + 4), colours used (4), important (4)
     pixels       rows bottom up, each padded to a multiple of 4 bytes; 24-bit pixels are B, G, R.
   Older files have a 12-byte core header (16-bit width and height) in place of the info header. */
#include "tools/bitmap_file.hpp"

#include <cstring>

#include "base/little_endian.hpp"

namespace tb::tool {

namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
constexpr int32_t kPixelsPerMetre = 2835;  // 72 dots per inch

uint32_t GetBigEndian(std::string_view in, size_t offset) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(in[offset + i]);
    return value;
}

}  // namespace

std::string EncodeBmpOnWhite(const Bitmap32& picture) {
    const size_t row = (static_cast<size_t>(picture.width) * 3 + 3) / 4 * 4;
    const size_t pixels = row * static_cast<size_t>(picture.height);
    std::string out;
    out.reserve(kFileHeader + kInfoHeader + pixels);
    out += "BM";
    AppendU32(out, static_cast<uint32_t>(kFileHeader + kInfoHeader + pixels));
    AppendU32(out, 0);
    AppendU32(out, kFileHeader + kInfoHeader);
    AppendU32(out, kInfoHeader);
    AppendU32(out, static_cast<uint32_t>(picture.width));
    AppendU32(out, static_cast<uint32_t>(picture.height));
    AppendU16(out, 1);
    AppendU16(out, 24);
    AppendU32(out, 0);
    AppendU32(out, static_cast<uint32_t>(pixels));
    AppendU32(out, kPixelsPerMetre);
    AppendU32(out, kPixelsPerMetre);
    AppendU32(out, 0);
    AppendU32(out, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        const size_t start = out.size();
        for (int x = 0; x < picture.width; ++x) {
            // Premultiplied colour over white: c + (255 - alpha).
            const uint32_t px = picture.At(x, y);
            const uint32_t white = 255 - (px >> 24);
            for (int shift : {0, 8, 16}) out.push_back(static_cast<char>(((px >> shift) & 0xFF) + white));
        }
        out.append(row - (out.size() - start), '\0');
    }
    return out;
}

std::optional<BmpFacts> ReadBmpFacts(std::string_view file, std::string& why) {
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') {
        why = "not a Windows bitmap file (it does not start with \"BM\")";
        return std::nullopt;
    }
    if (file.size() < kFileHeader + 12) {
        why = "the bitmap file ends inside its header";
        return std::nullopt;
    }
    const uint32_t offset = LoadU32(file.data() + 10);
    const uint32_t header = LoadU32(file.data() + kFileHeader);
    BmpFacts facts;
    if (header == 12) {
        facts.width = static_cast<int16_t>(LoadU16(file.data() + kFileHeader + 4));
        facts.height = static_cast<int16_t>(LoadU16(file.data() + kFileHeader + 6));
        facts.bits = static_cast<int>(LoadU16(file.data() + kFileHeader + 10));
    } else if (header >= kInfoHeader && file.size() >= kFileHeader + kInfoHeader) {
        facts.width = static_cast<int32_t>(LoadU32(file.data() + kFileHeader + 4));
        facts.height = static_cast<int32_t>(LoadU32(file.data() + kFileHeader + 8));
        facts.bits = static_cast<int>(LoadU16(file.data() + kFileHeader + 14));
    } else {
        why = "the bitmap file's header is damaged";
        return std::nullopt;
    }
    if (facts.bits != 1 && facts.bits != 4 && facts.bits != 8 && facts.bits != 16 && facts.bits != 24 &&
        facts.bits != 32) {
        why = "the bitmap has " + std::to_string(facts.bits) + " bits per pixel, which no picture loader takes";
        return std::nullopt;
    }
    if (facts.width <= 0 || facts.height == 0 || facts.height == INT32_MIN) {
        why = "the bitmap has no pixels";
        return std::nullopt;
    }
    if (offset > file.size()) {
        why = "the bitmap's pixels start beyond the end of the file";
        return std::nullopt;
    }
    const uint32_t compression = header == 12 ? 0 : LoadU32(file.data() + kFileHeader + 16);
    if (compression == 0) {
        const uint64_t row = (static_cast<uint64_t>(facts.width) * static_cast<uint64_t>(facts.bits) + 31) / 32 * 4;
        const uint64_t rows = facts.height < 0 ? -static_cast<int64_t>(facts.height) : facts.height;
        if (row * rows > file.size() - offset) {
            why = "the bitmap file ends inside its pixels";
            return std::nullopt;
        }
    }
    return facts;
}

bool HasPngSignature(std::string_view file) {
    static constexpr char kSignature[] = "\x89PNG\r\n\x1A\n";
    return file.size() >= 8 && std::memcmp(file.data(), kSignature, 8) == 0;
}

std::optional<std::pair<uint32_t, uint32_t>> PngHeaderSize(std::string_view file) {
    // Signature, chunk length, "IHDR", then width and height, big-endian.
    if (!HasPngSignature(file) || file.size() < 24 || file.substr(12, 4) != "IHDR") return std::nullopt;
    return std::pair(GetBigEndian(file, 16), GetBigEndian(file, 20));
}

}  // namespace tb::tool
