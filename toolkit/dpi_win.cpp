#include "toolkit/dpi_win.hpp"

#include "toolkit/form_win.hpp"

namespace tb {

int WindowDpi(HWND window) {
    // Looked up, not linked: the library also runs on systems older than the call.
    using ForWindow = UINT(WINAPI*)(HWND);
    static const auto for_window = reinterpret_cast<ForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    int dpi = 0;
    if (for_window != nullptr && window != nullptr) dpi = static_cast<int>(for_window(window));
    if (dpi == 0) dpi = ScreenDpi();
    return dpi >= 48 && dpi <= 960 ? dpi : kDesignDpi;
}

int Scaled(int design_pixels, int dpi) { return MulDiv(design_pixels, dpi, kDesignDpi); }

}  // namespace tb
