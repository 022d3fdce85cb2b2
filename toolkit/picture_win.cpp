#include "base/com_win.hpp"
#include "toolkit/picture_win.hpp"

#include <wincodec.h>
#include <wrl/client.h>

#include <cstring>

#include "base/boundary_win.hpp"
#include "base/errors.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "base/window_object_win.hpp"
#include "iconlist/bitmap.hpp"
#include "toolkit/dpi_win.hpp"

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;

[[noreturn]] void Fail(const std::string& what) { throw Error(what); }

// A 32-bit top-down DIB section; `bits` receives its pixels.
HBITMAP CreateDib(int width, int height, int bits_per_pixel, void** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits_per_pixel);
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Decodes the first frame of an image through WIC into a 32-bit premultiplied DIB section.
HBITMAP DecodeWithWic(IWICImagingFactory* factory, IWICBitmapDecoder* decoder) {
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, &frame))) Fail("Bitmap image is not valid");
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
        Fail("Bitmap image is not valid");
    }
    UINT width = 0, height = 0;
    converter->GetSize(&width, &height);
    if (width == 0 || height == 0 || width > static_cast<UINT>(kMaxPictureSide) ||
        height > static_cast<UINT>(kMaxPictureSide)) {
        Fail("Bitmap image is not valid");
    }
    void* bits = nullptr;
    UniqueHbitmap bitmap(CreateDib(static_cast<int>(width), static_cast<int>(height), 32, &bits));
    if (!bitmap || bits == nullptr) Fail("Out of system resources");
    if (FAILED(converter->CopyPixels(nullptr, width * 4, width * height * 4, static_cast<BYTE*>(bits)))) {
        Fail("Bitmap image is not valid");
    }
    return bitmap.Release();
}

HBITMAP DecodeFile(const std::wstring& path) {
    ComScope com;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)))) {
        Fail("The imaging component is not available");
    }
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, &decoder))) {
        Fail("Bitmap image is not valid");
    }
    return DecodeWithWic(factory.Get(), decoder.Get());
}

// Decodes a bitmap file held in memory.
HBITMAP DecodeBitmapBytes(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF) Fail("Bitmap image is not valid");
    ComScope com;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)))) {
        Fail("The imaging component is not available");
    }
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                            static_cast<DWORD>(bytes.size())))) {
        Fail("Bitmap image is not valid");
    }
    // The caller checked the bitmap signature: the bitmap decoder is asked for by name. Letting the
    // factory find one by content creates every registered decoder in turn.
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(CoCreateInstance(CLSID_WICBmpDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&decoder))) ||
        FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand))) {
        Fail("Bitmap image is not valid");
    }
    return DecodeWithWic(factory.Get(), decoder.Get());
}

std::wstring LowerExtension(const std::u16string& path) {
    const std::size_t slash = path.find_last_of(u"\\/:");
    const std::size_t dot = path.rfind(u'.');
    if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return {};
    std::wstring extension = ToWide(path.substr(dot));
    for (wchar_t& c : extension) c = static_cast<wchar_t>(towlower(c));
    return extension;
}

}  // namespace

int TPicture::BitsPerPixel() const {
    if (!bitmap_) return 0;
    BITMAP info = {};
    GetObjectW(bitmap_.Get(), sizeof info, &info);
    return info.bmBitsPixel;
}

void TPicture::Clear() {
    bitmap_.Reset();
    icon_.Reset();
    metafile_.Reset();
    kind_ = Kind::None;
    width_ = height_ = 0;
}

void TPicture::TakeBitmap(HBITMAP bitmap) {
    UniqueHbitmap owned(bitmap);
    BITMAP info = {};
    if (!GetObjectW(bitmap, sizeof info, &info)) Fail("Bitmap image is not valid");
    Clear();
    bitmap_ = std::move(owned);
    kind_ = Kind::Bitmap;
    width_ = info.bmWidth;
    height_ = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
}

void TPicture::LoadFromFile(const std::u16string& path) {
    const std::wstring wide = ToWide(path);
    const std::wstring extension = LowerExtension(path);
    if (extension == L".bmp" || extension == L".jpg" || extension == L".jpeg") {
        TakeBitmap(DecodeFile(wide));
        return;
    }
    if (extension == L".png") {
        // Kept with its alpha (premultiplied 32-bit), drawn blended.
        TakeBitmap(DecodeFile(wide));
        kind_ = Kind::Png;
        return;
    }
    if (extension == L".ico") {
        UniqueHicon icon(static_cast<HICON>(LoadImageW(nullptr, wide.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE)));
        if (!icon) Fail("Cannot open file \"" + Utf16ToAnsi(path) + "\".");
        ICONINFO info = {};
        int width = 32, height = 32;
        if (GetIconInfo(icon.Get(), &info)) {
            BITMAP mask = {};
            GetObjectW(info.hbmMask, sizeof mask, &mask);
            width = mask.bmWidth;
            height = info.hbmColor != nullptr ? mask.bmHeight : mask.bmHeight / 2;
            if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
            if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
        }
        Clear();
        icon_ = std::move(icon);
        kind_ = Kind::Icon;
        width_ = width;
        height_ = height;
        return;
    }
    if (extension == L".emf" || extension == L".wmf") {
        HENHMETAFILE metafile = GetEnhMetaFileW(wide.c_str());
        if (metafile == nullptr) Fail("Cannot open file \"" + Utf16ToAnsi(path) + "\".");
        ENHMETAHEADER header = {};
        GetEnhMetaFileHeader(metafile, sizeof header, &header);
        Clear();
        metafile_.Reset(metafile);
        kind_ = Kind::Metafile;
        width_ = header.rclBounds.right - header.rclBounds.left + 1;
        height_ = header.rclBounds.bottom - header.rclBounds.top + 1;
        return;
    }
    Fail("Unknown picture file extension (" + Utf16ToAnsi(FromWide(extension)) + ")");
}

void TPicture::LoadBitmapFromBytes(std::string_view bytes) {
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') Fail("Bitmap image is not valid");
    TakeBitmap(DecodeBitmapBytes(bytes));
}

void TPicture::AssignPixels(const Bitmap32& pixels) {
    if (pixels.width <= 0 || pixels.height <= 0) Fail("Bitmap image is not valid");
    void* bits = nullptr;
    HBITMAP bitmap = CreateDib(pixels.width, pixels.height, 32, &bits);
    if (bitmap == nullptr || bits == nullptr) Fail("Out of system resources");
    std::memcpy(bits, pixels.pixels.data(), pixels.pixels.size() * sizeof(std::uint32_t));
    GdiFlush();
    TakeBitmap(bitmap);
}

void TPicture::ConvertTo24BitBitmap() {
    if (Empty() || width_ <= 0 || height_ <= 0) return;
    void* bits = nullptr;
    UniqueHbitmap target(CreateDib(width_, height_, 24, &bits));
    if (!target) Fail("Out of system resources");
    UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    HGDIOBJ old = SelectObject(dc.Get(), target.Get());
    RECT box{0, 0, width_, height_};
    FillRect(dc.Get(), &box, reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Draw(dc.Get(), box, false);
    SelectObject(dc.Get(), old);
    TakeBitmap(target.Release());
}

void TPicture::Draw(HDC dc, const RECT& box, bool transparent, bool stretch) const {
    const int width = stretch ? static_cast<int>(box.right - box.left) : width_;
    const int height = stretch ? static_cast<int>(box.bottom - box.top) : height_;
    switch (kind_) {
        case Kind::None:
            return;
        case Kind::Icon:
            DrawIconEx(dc, box.left, box.top, icon_.Get(), width, height, 0, nullptr, DI_NORMAL);
            return;
        case Kind::Metafile:
            PlayEnhMetaFile(dc, metafile_.Get(), &box);
            return;
        case Kind::Bitmap:
        case Kind::Png:
            break;
    }
    UniqueMemoryDc source(CreateCompatibleDC(dc));
    HGDIOBJ old = SelectObject(source.Get(), bitmap_.Get());
    if (BitsPerPixel() == 32) {
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        GdiAlphaBlend(dc, box.left, box.top, width, height, source.Get(), 0, 0, width_, height_, blend);
    } else if (transparent) {
        const COLORREF key = GetPixel(source.Get(), 0, height_ - 1);
        GdiTransparentBlt(dc, box.left, box.top, width, height, source.Get(), 0, 0, width_, height_, key);
    } else if (width != width_ || height != height_) {
        const int mode = SetStretchBltMode(dc, HALFTONE);  // averaged, not every n-th pixel
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, box.left, box.top, width, height, source.Get(), 0, 0, width_, height_, SRCCOPY);
        SetStretchBltMode(dc, mode);
    } else {
        BitBlt(dc, box.left, box.top, width_, height_, source.Get(), 0, 0, SRCCOPY);
    }
    SelectObject(source.Get(), old);
}

// --- TImage

void TImage::Create(HWND parent, int left, int top, int width, int height) {
    RegisterToolkitClass(L"TbToolkitImage", &TImage::ImageProc, nullptr);
    HWND window = CreateWindowExW(0, L"TbToolkitImage", nullptr, WS_CHILD | WS_VISIBLE, left, top, width, height, parent,
                                  nullptr, reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), this);
    if (window == nullptr) throw Error("Cannot create the picture control");
    Attach(window);
}

void TImage::SetDpi(int dpi) {
    dpi_ = dpi > 0 ? dpi : kDesignDpi;
    PictureChanged();
}

void TImage::PictureChanged() {
    if (Handle() == nullptr) return;
    if (AutoSize && !picture_.Empty()) {
        SetWindowPos(Handle(), nullptr, 0, 0, Scaled(picture_.Width(), dpi_), Scaled(picture_.Height(), dpi_),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TImage::SetTransparent(bool transparent) {
    transparent_ = transparent;
    if (Handle() != nullptr) InvalidateRect(Handle(), nullptr, TRUE);
}

std::optional<LRESULT> HandlePictureWindowMessage(HWND window, UINT message, WPARAM wparam,
                                                  const PictureWindow& shown) {
    switch (message) {
        case WM_ERASEBKGND: {
            const auto dc = reinterpret_cast<HDC>(wparam);
            RECT box{};
            GetClientRect(window, &box);
            FillRect(dc, &box, shown.background(dc));
            return TRUE;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT box{};
            GetClientRect(window, &box);
            shown.picture.Draw(dc, box, shown.transparent, shown.stretch);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_LBUTTONUP:
            if (shown.on_click) shown.on_click();
            return 0;
        case WM_SETCURSOR:
            if (HCURSOR cursor = CursorForNumber(shown.cursor)) {
                SetCursor(cursor);
                return TRUE;
            }
            return std::nullopt;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

LRESULT CALLBACK TImage::ImageProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return WindowBoundary([&]() -> LRESULT {
        auto* self = SelfOf<TImage>(window, message, lparam);
        if (self != nullptr) {
            // The parent's background shows through (the toolbar's, on a toolbar).
            const PictureWindow shown{self->picture_, self->transparent_, self->Cursor, self->OnClick,
                                      [](HDC) { return GetSysColorBrush(COLOR_BTNFACE); }, self->dpi_ != kDesignDpi};
            if (const auto answer = HandlePictureWindowMessage(window, message, wparam, shown)) return *answer;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    });
}

// --- clipboard

std::u16string ClipboardText() {
    if (!OpenClipboard(nullptr)) return {};
    std::u16string text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = FromWide(chars);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void SetClipboardText(HWND owner, std::u16string_view text) {
    if (!OpenClipboard(owner)) return;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (auto* chars = static_cast<wchar_t*>(GlobalLock(memory))) {
            std::memcpy(chars, text.data(), text.size() * sizeof(wchar_t));
            chars[text.size()] = L'\0';
            GlobalUnlock(memory);
            if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

}  // namespace tb
