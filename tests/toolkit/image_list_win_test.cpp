#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "iconlist/png_image_list.hpp"
#include "toolkit/image_list_win.hpp"

namespace tb {
namespace {

std::string Icon(const char* name) {
    std::ifstream in(std::string(TB_SOURCE_DIR "/tests/iconlist/data/") + name + ".png", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The pixels of image `index` as the image list keeps them (32-bit, top-down).
std::vector<std::uint32_t> StoredPixels(HIMAGELIST list, int index, int width, int height) {
    IMAGEINFO info = {};
    if (!ImageList_GetImageInfo(list, index, &info)) return {};
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = info.rcImage.right - info.rcImage.left;
    bi.bmiHeader.biHeight = 0;
    BITMAP bm = {};
    GetObjectW(info.hbmImage, sizeof bm, &bm);
    bi.bmiHeader.biWidth = bm.bmWidth;
    bi.bmiHeader.biHeight = -bm.bmHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> all(static_cast<std::size_t>(bm.bmWidth) * bm.bmHeight);
    HDC dc = GetDC(nullptr);
    GetDIBits(dc, info.hbmImage, 0, bm.bmHeight, all.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    std::vector<std::uint32_t> out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out.push_back(all[static_cast<std::size_t>(info.rcImage.top + y) * bm.bmWidth + info.rcImage.left + x]);
        }
    }
    return out;
}

TEST(PlatformImageList, HoldsOneImageOfTheListSizePerPicture) {
    TPngImageList model;
    model.AddPngImage().PngImage.SetData(Icon("go-home"));
    model.AddPngImage();  // no picture: adds none
    model.AddPngImage().PngImage.SetData(Icon("internet-web-browser"));
    model.Rebuild();

    UniqueImageList list = CreatePlatformImageList(model);
    ASSERT_TRUE(list);
    EXPECT_EQ(ImageList_GetImageCount(list.Get()), 2);
    int cx = 0;
    int cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(list.Get(), &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    EXPECT_EQ(StoredPixels(list.Get(), 1, 16, 16), model.Images()[1].pixels);
}

TEST(PlatformImageList, FollowsTheModelsSizeAndColours) {
    TPngImageList model;
    model.SetWidth(24);
    model.SetHeight(20);
    model.BkColor = 0x00FF00;
    model.AddPngImage().PngImage.SetData(Icon("go-next"));
    model.Rebuild();

    UniqueImageList list = CreatePlatformImageList(model);
    ASSERT_TRUE(list);
    int cx = 0;
    int cy = 0;
    ImageList_GetIconSize(list.Get(), &cx, &cy);
    EXPECT_EQ(cx, 24);
    EXPECT_EQ(cy, 20);
    EXPECT_EQ(ImageList_GetImageCount(list.Get()), 1);
    EXPECT_EQ(ImageList_GetBkColor(list.Get()), RGB(0, 255, 0));

    EXPECT_EQ(ToColorRef(clNone), CLR_NONE);
    EXPECT_EQ(ToColorRef(static_cast<std::int32_t>(0xFF000005)), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(ToColorRef(0x0000FF), RGB(255, 0, 0));
}

// An image whose bitmap cannot be made (here: one with no pixels) still takes its number, as a
// blank; the images after it keep theirs, so every item shows its own picture.
TEST(PlatformImageList, AnImageThatCannotBeMadeKeepsItsNumberAsABlank) {
    TPngImageList model;
    model.AddPngImage().PngImage.SetData(Icon("go-home"));
    model.AddPngImage().PngImage.SetData(Icon("internet-web-browser"));
    model.Rebuild();
    UniqueImageList list(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 4));
    ASSERT_TRUE(list);

    AddImagesKeepingNumbers(list.Get(), {model.Images()[0], Bitmap32(), model.Images()[1]});
    ASSERT_EQ(ImageList_GetImageCount(list.Get()), 3);
    EXPECT_EQ(StoredPixels(list.Get(), 0, 16, 16), model.Images()[0].pixels);
    EXPECT_EQ(StoredPixels(list.Get(), 1, 16, 16), std::vector<std::uint32_t>(16 * 16, 0));
    EXPECT_EQ(StoredPixels(list.Get(), 2, 16, 16), model.Images()[1].pixels);
}

// The list's bitmaps are GDI objects of the process: they exist while a handle owns the list, and
// are gone once the handle that owns it (after a move) lets it go.
TEST(PlatformImageList, HandleMovesAndDestroysOnce) {
    TPngImageList model;
    model.AddPngImage().PngImage.SetData(Icon("go-next"));
    model.Rebuild();
    UniqueImageList a = CreatePlatformImageList(model);
    ASSERT_TRUE(a);
    IMAGEINFO info = {};
    ASSERT_TRUE(ImageList_GetImageInfo(a.Get(), 0, &info));
    EXPECT_EQ(GetObjectType(info.hbmImage), static_cast<DWORD>(OBJ_BITMAP));

    HIMAGELIST raw = a.Get();
    UniqueImageList b = std::move(a);
    EXPECT_FALSE(a);
    EXPECT_EQ(b.Get(), raw);
    a.Reset();  // the moved-from handle owns nothing: the list survives
    EXPECT_EQ(GetObjectType(info.hbmImage), static_cast<DWORD>(OBJ_BITMAP));
    b = UniqueImageList();
    EXPECT_FALSE(b);
    EXPECT_EQ(GetObjectType(info.hbmImage), 0u);
}

// Every pixel of a premultiplied picture has no colour channel above its alpha: a scaler that
// worked on straight colours, or darkened the edges, breaks that.
bool Premultiplied(const Bitmap32& picture) {
    for (std::uint32_t pixel : picture.pixels) {
        const std::uint32_t alpha = pixel >> 24;
        if (((pixel >> 16) & 0xFF) > alpha || ((pixel >> 8) & 0xFF) > alpha || (pixel & 0xFF) > alpha) return false;
    }
    return true;
}

TEST(PlatformImageList, ScalesTheImagesToTheScreensScale) {
    TPngImageList model;
    model.AddPngImage().PngImage.SetData(Icon("go-home"));
    model.AddPngImage().PngImage.SetData(Icon("internet-web-browser"));
    model.Rebuild();
    for (const auto& [dpi, side] : {std::pair{96, 16}, {120, 20}, {144, 24}, {192, 32}}) {
        SCOPED_TRACE(dpi);
        UniqueImageList list = CreatePlatformImageList(model, dpi);
        ASSERT_TRUE(list);
        int cx = 0;
        int cy = 0;
        ASSERT_TRUE(ImageList_GetIconSize(list.Get(), &cx, &cy));
        EXPECT_EQ(cx, side);
        EXPECT_EQ(cy, side);
        EXPECT_EQ(ImageList_GetImageCount(list.Get()), 2);
        // The picture is stretched over the whole image, not placed in a corner: as many of its
        // pixels are covered as the scale says, within what the filter's soft edges add or take.
        const std::vector<std::uint32_t> home = StoredPixels(list.Get(), 0, side, side);
        ASSERT_EQ(home.size(), static_cast<std::size_t>(side * side));
        const auto covered = [](const std::vector<std::uint32_t>& pixels) {
            return std::count_if(pixels.begin(), pixels.end(), [](std::uint32_t p) { return (p >> 24) >= 0x80; });
        };
        const double expected = covered(model.Images()[0].pixels) * (side / 16.0) * (side / 16.0);
        EXPECT_NEAR(covered(home), expected, expected * 0.2);
    }
}

TEST(ScalePicture, KeepsColoursTransparencyAndPremultiplication) {
    // A solid opaque square inside a half-transparent ring inside a transparent frame, each wide
    // enough that a filter's reach from the middle and from a corner stays in one of them.
    Bitmap32 picture(16, 16);
    const auto band = [](int at) { return std::min(at, 15 - at); };
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int depth = std::min(band(x), band(y));
            picture.At(x, y) = depth < 3 ? 0u : depth == 3 ? 0x80402000u : 0xFF804000u;
        }
    }
    for (const int side : {16, 12, 24, 32}) {
        SCOPED_TRACE(side);
        const std::optional<Bitmap32> scaled = ScalePicture(picture, side, side);
        ASSERT_TRUE(scaled);
        ASSERT_EQ(scaled->width, side);
        ASSERT_EQ(scaled->height, side);
        ASSERT_EQ(scaled->pixels.size(), static_cast<std::size_t>(side * side));
        EXPECT_TRUE(Premultiplied(*scaled));
        EXPECT_EQ(scaled->At(side / 2, side / 2), 0xFF804000u);
        EXPECT_EQ(scaled->At(0, 0) >> 24, 0u);
    }
    EXPECT_EQ(ScalePicture(picture, 16, 16), picture);
    for (const auto& [width, height] : {std::pair{0, 16}, {16, 0}, {-1, 16}, {kMaxPictureSide + 1, 16}}) {
        EXPECT_FALSE(ScalePicture(picture, width, height)) << width << "x" << height;
    }
    Bitmap32 damaged(4, 4);
    damaged.pixels.resize(3);  // fewer pixels than its size says
    EXPECT_FALSE(ScalePicture(damaged, 8, 8));
}

}  // namespace
}  // namespace tb
