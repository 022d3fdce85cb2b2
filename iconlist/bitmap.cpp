#include "iconlist/bitmap.hpp"

#include <algorithm>

namespace tb {
namespace {

std::uint32_t Channel(std::uint32_t px, int shift) { return (px >> shift) & 0xFF; }

}  // namespace

Bitmap32 FitPicture(const Bitmap32& picture, int width, int height) {
    Bitmap32 out(width, height);
    if (picture.width <= 0 || picture.height <= 0 || width <= 0 || height <= 0) return out;
    if (picture.width == width && picture.height == height) return picture;

    // Scale down when either side is too large, keeping the aspect ratio.
    int w = picture.width;
    int h = picture.height;
    if (w > width || h > height) {
        if (static_cast<long long>(w) * height >= static_cast<long long>(h) * width) {
            h = std::max(1, static_cast<int>(static_cast<long long>(h) * width / w));
            w = width;
        } else {
            w = std::max(1, static_cast<int>(static_cast<long long>(w) * height / h));
            h = height;
        }
    }
    const int left = (width - w) / 2;
    const int top = (height - h) / 2;
    for (int y = 0; y < h; ++y) {
        const int y0 = static_cast<int>(static_cast<long long>(y) * picture.height / h);
        const int y1 = std::max(y0 + 1, static_cast<int>(static_cast<long long>(y + 1) * picture.height / h));
        for (int x = 0; x < w; ++x) {
            const int x0 = static_cast<int>(static_cast<long long>(x) * picture.width / w);
            const int x1 = std::max(x0 + 1, static_cast<int>(static_cast<long long>(x + 1) * picture.width / w));
            std::uint64_t sum[4] = {0, 0, 0, 0};
            for (int sy = y0; sy < y1; ++sy) {
                for (int sx = x0; sx < x1; ++sx) {
                    const std::uint32_t px = picture.At(sx, sy);
                    for (int c = 0; c < 4; ++c) sum[c] += Channel(px, 8 * c);
                }
            }
            const std::uint64_t count = static_cast<std::uint64_t>(y1 - y0) * static_cast<std::uint64_t>(x1 - x0);
            std::uint32_t px = 0;
            for (int c = 0; c < 4; ++c) px |= static_cast<std::uint32_t>((sum[c] + count / 2) / count) << (8 * c);
            out.At(left + x, top + y) = px;
        }
    }
    return out;
}

void ApplyDisabledLook(Bitmap32& picture, bool blend, bool grayscale) {
    for (auto& px : picture.pixels) {
        std::uint32_t a = Channel(px, 24);
        std::uint32_t r = Channel(px, 16);
        std::uint32_t g = Channel(px, 8);
        std::uint32_t b = Channel(px, 0);
        if (grayscale) {
            // Luma of premultiplied colours stays premultiplied and never exceeds alpha.
            r = g = b = (r * 77 + g * 150 + b * 29) >> 8;
        }
        if (blend) {
            a >>= 1;
            r >>= 1;
            g >>= 1;
            b >>= 1;
        }
        px = (a << 24) | (r << 16) | (g << 8) | b;
    }
}

}  // namespace tb
