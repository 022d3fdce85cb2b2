#include "toolkit/image_list_win.hpp"

#include <cstring>

#include "iconlist/png_image_list.hpp"

namespace tb {
namespace {

// A 32-bit top-down DIB section holding the picture's premultiplied pixels.
HBITMAP CreateBitmap32(const Bitmap32& picture) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) return bitmap;
    std::memcpy(bits, picture.pixels.data(), picture.pixels.size() * sizeof(std::uint32_t));
    GdiFlush();
    return bitmap;
}

}  // namespace

COLORREF ToColorRef(std::int32_t color) {
    if (color == clNone) return CLR_NONE;
    if (color == clDefault) return CLR_DEFAULT;
    const auto value = static_cast<std::uint32_t>(color);
    if ((value & 0xFF000000u) == 0xFF000000u) return GetSysColor(static_cast<int>(value & 0xFF));
    return value & 0x00FFFFFFu;
}

UniqueImageList CreatePlatformImageList(const TPngImageList& list) {
    const UINT flags = ILC_COLOR32 | (list.Masked ? ILC_MASK : 0);
    const int grow = list.AllocBy > 0 ? list.AllocBy : 1;
    UniqueImageList handle(
        ImageList_Create(list.Width(), list.Height(), flags, static_cast<int>(list.Images().size()), grow));
    if (!handle) return handle;
    ImageList_SetBkColor(handle.Get(), ToColorRef(list.BkColor));
    AddImagesKeepingNumbers(handle.Get(), list.Images());
    return handle;
}

void AddImagesKeepingNumbers(HIMAGELIST list, const std::vector<Bitmap32>& images) {
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(list, &width, &height);
    for (const Bitmap32& image : images) {
        const int number = ImageList_GetImageCount(list);
        UniqueHbitmap bitmap(CreateBitmap32(image));
        if (!bitmap) bitmap.Reset(CreateBitmap32(Bitmap32(width, height)));  // the blank, as the model makes one
        if (!bitmap || ImageList_Add(list, bitmap.Get(), nullptr) != number) {
            // Not even a blank could be added: the list grows by one image all the same.
            ImageList_SetImageCount(list, static_cast<UINT>(number + 1));
        }
    }
}

}  // namespace tb
