#pragma once
// A 32-bit picture in memory: premultiplied alpha, one 0xAARRGGBB value per pixel (B, G, R, A in
// memory order on little-endian machines, as a 32-bit top-down DIB holds them), rows top down.
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace tb {

struct Bitmap32 {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // width * height

    Bitmap32() = default;
    Bitmap32(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, 0) {}
    std::uint32_t& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    friend bool operator==(const Bitmap32&, const Bitmap32&) = default;
};

// Pictures larger than this on either side are refused rather than allocated.
inline constexpr int kMaxPictureSide = 4096;

// Decodes a complete PNG file (signature and chunks) into premultiplied 32-bit pixels; nullopt
// when the bytes are not a PNG file this decoder can read, or the picture is larger than
// kMaxPictureSide. Natively through libpng; on Windows through the imaging component.
std::optional<Bitmap32> DecodePng(std::string_view file);

// While one lives on a thread, the pictures decoded there share what the decoder loads for them (on
// Windows the imaging component's factory and its PNG decoder's class), in place of asking the
// system for it again for each picture: for the many pictures of one image list. Natively nothing.
class DecodingSession {
public:
    DecodingSession();
    ~DecodingSession();
    DecodingSession(const DecodingSession&) = delete;
    DecodingSession& operator=(const DecodingSession&) = delete;

    struct Kept;
    Kept& Objects();  // made on first use

private:
    DecodingSession* outer_;
    std::unique_ptr<Kept> kept_;
};

// Gets the decoder ready in the background, so that the first picture of a process does not wait
// for it to load (on Windows the imaging component, on a thread of the process's pool, once; natively
// nothing). Returns at once; decoding works the same whether or not it has finished.
void PrepareDecoding();

// The picture fitted into width x height: centred when it is smaller, scaled down (averaging
// the pixels each target pixel covers, aspect kept) and centred when it is larger.
Bitmap32 FitPicture(const Bitmap32& picture, int width, int height);

// The disabled look: halves the alpha (blend) and/or turns the colours to grey.
void ApplyDisabledLook(Bitmap32& picture, bool blend, bool grayscale);

}  // namespace tb
