// What this library puts behind the band: until the toolbar form is wired in, a plain child window
// that holds the browser and its event sink, and no about box.
#include <windows.h>

#include <wrl/client.h>

#include <atomic>

#include "band/toolbar_window_win.hpp"
#include "base/boundary_win.hpp"
#include "base/errors.hpp"

namespace tb {
namespace {

constexpr wchar_t kWindowClass[] = L"TbToolbarWindow";
constexpr int kHeight = 26;

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return WindowBoundary([&] { return DefWindowProcW(window, message, wparam, lparam); });
}

// The class is registered while windows of it exist: a library's classes outlive its unloading.
// Browser windows may run on threads of their own, so the count is atomic.
std::atomic<int> g_windows{0};

class PlainToolbarWindow final : public ToolbarWindow {
public:
    explicit PlainToolbarWindow(HWND parent) {
        if (g_windows++ == 0) {
            WNDCLASSW type{};
            type.lpfnWndProc = WindowProc;
            type.hInstance = ThisModule();
            type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            type.lpszClassName = kWindowClass;
            RegisterClassW(&type);
        }
        window_ = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, kHeight, parent, nullptr,
                                  ThisModule(), nullptr);
        if (!window_) {
            const int error = static_cast<int>(GetLastError());
            Unregister();
            throw Error(SystemErrorMessage(error));
        }
    }
    ~PlainToolbarWindow() override {
        events_.Disconnect();
        DestroyWindow(window_);
        Unregister();
    }

    HWND Handle() override { return window_; }
    void SetBrowser(IWebBrowser2* browser) override { browser_ = browser; }
    TSHDocVwDWebBrowserEvents2& BrowserEvents() override { return events_; }
    void TakeFocus() override {
        if (!SetFocus(window_)) throw Error("Cannot focus a disabled or invisible window");
    }

private:
    static void Unregister() {
        if (--g_windows == 0) UnregisterClassW(kWindowClass, ThisModule());
    }

    HWND window_ = nullptr;
    Microsoft::WRL::ComPtr<IWebBrowser2> browser_;
    TSHDocVwDWebBrowserEvents2 events_{"BrowserEvents"};
};

std::unique_ptr<ToolbarWindow> CreatePlainWindow(HWND parent) { return std::make_unique<PlainToolbarWindow>(parent); }

}  // namespace

ToolbarParts LibraryToolbarParts() { return {&CreatePlainWindow, nullptr}; }

}  // namespace tb
