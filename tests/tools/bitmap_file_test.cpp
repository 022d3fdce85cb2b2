// The logo's bitmap file: pixel order, row padding and the laying on white; and the header checks
// that tell a bitmap the toolbar can load from one it cannot.
#include <gtest/gtest.h>

#include "tools/bitmap_file.hpp"

namespace tb::tool {
namespace {

TEST(BitmapFile, RowsGoBottomUpPaddedAndLaidOnWhite) {
    Bitmap32 picture(2, 2);
    picture.At(0, 0) = 0xFFFF0000;  // top left: opaque red
    picture.At(1, 0) = 0x00000000;  // top right: transparent
    picture.At(0, 1) = 0x80800000;  // bottom left: half-transparent red, premultiplied
    picture.At(1, 1) = 0xFF0000FF;  // bottom right: opaque blue
    const std::string bmp = EncodeBmpOnWhite(picture);
    ASSERT_EQ(bmp.size(), 54u + 2 * 8);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(bmp[2]), 70);  // file size
    EXPECT_EQ(static_cast<unsigned char>(bmp[10]), 54);  // pixel offset
    // Bottom row first, each pixel B, G, R, each row padded to 8 bytes.
    EXPECT_EQ(bmp.substr(54), std::string("\x7F\x7F\xFF" "\xFF\x00\x00" "\x00\x00" "\x00\x00\xFF" "\xFF\xFF\xFF" "\x00\x00", 16));
    std::string why;
    const auto facts = ReadBmpFacts(bmp, why);
    ASSERT_TRUE(facts.has_value()) << why;
    EXPECT_EQ(facts->width, 2);
    EXPECT_EQ(facts->height, 2);
    EXPECT_EQ(facts->bits, 24);
}

TEST(BitmapFile, HeadersThatNoLoaderTakesAreNamed) {
    const std::string good = EncodeBmpOnWhite(Bitmap32(3, 3));
    std::string bad_bits = good;
    bad_bits[28] = 7;
    std::string huge = good;
    huge[18] = 0x7F;  // width 127 on the same few pixel bytes
    const struct {
        const char* what;
        std::string bytes;
        const char* why;
    } cases[] = {
        {"other format", "\x89PNG", "does not start with \"BM\""},
        {"header cut off", good.substr(0, 20), "ends inside its header"},
        {"pixels cut off", good.substr(0, good.size() - 1), "ends inside its pixels"},
        {"width beyond the pixels", huge, "ends inside its pixels"},
        {"odd bit count", bad_bits, "7 bits per pixel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string why;
        EXPECT_FALSE(ReadBmpFacts(c.bytes, why).has_value());
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace tb::tool
