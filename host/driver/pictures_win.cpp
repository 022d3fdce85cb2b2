// tbhost's pictures: a window as a PNG file, written with WIC.
#include "host/driver/driver_win.hpp"

#include <wincodec.h>
#include <wrl/client.h>

namespace tb::driver {

using Microsoft::WRL::ComPtr;

namespace {

// The screen's pixels in `box` as a PNG file; where the screen cannot be read, `window` prints
// its client area instead (when given).
bool SaveScreenArea(const RECT& box, HWND window, const std::wstring& path) {
    const int width = box.right - box.left, height = box.bottom - box.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // The screen's pixels where the window shows (the X11 driver); the window's own printing where
    // there is no screen to read.
    if (!BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY) && window != nullptr) {
        PrintWindow(window, memory, PW_CLIENTONLY);
    }
    GdiFlush();
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    auto* pixels = static_cast<BYTE*>(bits);
    for (int i = 0; i < width * height; ++i) pixels[i * 4 + 3] = 255;
    bool saved = false;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.GetAddressOf()))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
        SUCCEEDED(frame->SetPixelFormat(&format)) &&
        SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width * 4),
                                     static_cast<UINT>(width * height * 4), pixels)) &&
        SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit())) {
        saved = true;
    }
    DeleteObject(bitmap);
    return saved;
}

}  // namespace

bool SavePng(HWND window, const std::wstring& path) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    // The client area only: under Xvfb no window manager draws the frame and the caption, so the
    // window's own rectangle would show a blank strip where a user sees the title bar.
    RECT box{};
    GetClientRect(window, &box);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&box), 2);
    return SaveScreenArea(box, window, path);
}

bool SaveWithMenus(HWND window, const std::vector<HWND>& menus, const std::wstring& path) {
    RECT box{};
    GetClientRect(window, &box);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&box), 2);
    for (HWND menu : menus) {
        RECT menu_box{};
        if (GetWindowRect(menu, &menu_box)) UnionRect(&box, &box, &menu_box);
    }
    return SaveScreenArea(box, nullptr, path);
}

}  // namespace tb::driver
