#include "toolkit/image_list_win.hpp"

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
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

// The scaler's high-quality mode (Windows 10 and later); the headers here know only the older modes.
// A system without it answers with an error, and the caller falls back.
constexpr auto kHighQualityCubic = static_cast<WICBitmapInterpolationMode>(4);

// The imaging component's high-quality scaler; nullopt when it cannot be had or fails.
std::optional<Bitmap32> ScaleWithImagingComponent(const Bitmap32& picture, int width, int height) {
    using Microsoft::WRL::ComPtr;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> source;
    ComPtr<IWICBitmapScaler> scaler;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)))) {
        return std::nullopt;
    }
    const UINT stride = static_cast<UINT>(picture.width) * 4;
    // The copy the bitmap makes is its own: the picture is not written through it.
    if (FAILED(factory->CreateBitmapFromMemory(
            static_cast<UINT>(picture.width), static_cast<UINT>(picture.height), GUID_WICPixelFormat32bppPBGRA, stride,
            stride * static_cast<UINT>(picture.height),
            reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(picture.pixels.data())), &source)) ||
        FAILED(factory->CreateBitmapScaler(&scaler)) ||
        FAILED(scaler->Initialize(source.Get(), static_cast<UINT>(width), static_cast<UINT>(height),
                                  kHighQualityCubic))) {
        return std::nullopt;
    }
    Bitmap32 scaled(width, height);
    const UINT scaled_stride = static_cast<UINT>(width) * 4;
    if (FAILED(scaler->CopyPixels(nullptr, scaled_stride, scaled_stride * static_cast<UINT>(height),
                                  reinterpret_cast<BYTE*>(scaled.pixels.data())))) {
        return std::nullopt;
    }
    return scaled;
}

Bitmap32 ScaleToNearestPixels(const Bitmap32& picture, int width, int height) {
    Bitmap32 scaled(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            scaled.At(x, y) = picture.At(x * picture.width / width, y * picture.height / height);
        }
    }
    return scaled;
}

}  // namespace

std::optional<Bitmap32> ScalePicture(const Bitmap32& picture, int width, int height) {
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) return std::nullopt;
    if (picture.width < 1 || picture.height < 1 ||
        picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height) {
        return std::nullopt;
    }
    if (picture.width == width && picture.height == height) return picture;
    if (std::optional<Bitmap32> scaled = ScaleWithImagingComponent(picture, width, height)) return scaled;
    return ScaleToNearestPixels(picture, width, height);
}

COLORREF ToColorRef(std::int32_t color) {
    if (color == clNone) return CLR_NONE;
    if (color == clDefault) return CLR_DEFAULT;
    const auto value = static_cast<std::uint32_t>(color);
    if ((value & 0xFF000000u) == 0xFF000000u) return GetSysColor(static_cast<int>(value & 0xFF));
    return value & 0x00FFFFFFu;
}

UniqueImageList CreatePlatformImageList(const TPngImageList& list, int dpi) {
    const UINT flags = ILC_COLOR32 | (list.Masked ? ILC_MASK : 0);
    const int grow = list.AllocBy > 0 ? list.AllocBy : 1;
    const int width = std::clamp(Scaled(list.Width(), dpi), 1, kMaxPictureSide);
    const int height = std::clamp(Scaled(list.Height(), dpi), 1, kMaxPictureSide);
    UniqueImageList handle(ImageList_Create(width, height, flags, static_cast<int>(list.Images().size()), grow));
    if (!handle) return handle;
    ImageList_SetBkColor(handle.Get(), ToColorRef(list.BkColor));
    if (width == list.Width() && height == list.Height()) {
        AddImagesKeepingNumbers(handle.Get(), list.Images());
        return handle;
    }
    std::vector<Bitmap32> scaled;
    scaled.reserve(list.Images().size());
    for (const Bitmap32& image : list.Images()) {
        // An image that cannot be scaled becomes the list's blank, in its own place.
        scaled.push_back(ScalePicture(image, width, height).value_or(Bitmap32(width, height)));
    }
    AddImagesKeepingNumbers(handle.Get(), scaled);
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
