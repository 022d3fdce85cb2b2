#include "test_window_win.hpp"

#include "band/toolbar_window_win.hpp"
#include "base/boundary_win.hpp"
#include "base/errors.hpp"

namespace tb {
namespace {

using testing_support::TestWindowRecord;

TestWindowRecord g_record;

constexpr wchar_t kWindowClass[] = L"TbBandTestWindow";
constexpr int kWidth = 600;
constexpr int kHeight = 24;

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return WindowBoundary([&] {
        switch (message) {
            case WM_PARENTNOTIFY: ++g_record.parent_notifies; break;
            case WM_KEYDOWN: ++g_record.key_downs; break;
            case WM_CHAR: ++g_record.chars; break;
            default: break;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    });
}

class TestToolbarWindow final : public ToolbarWindow {
public:
    explicit TestToolbarWindow(HWND parent) {
        if (g_record.fail_create) throw Error("The test window is not made.");
        WNDCLASSW type{};
        type.lpfnWndProc = WindowProc;
        type.hInstance = ThisModule();
        type.lpszClassName = kWindowClass;
        RegisterClassW(&type);  // fails harmlessly when registered already
        window_ = CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, kWidth, kHeight, parent, nullptr,
                                  ThisModule(), nullptr);
        if (!window_) throw Error(SystemErrorMessage(static_cast<int>(GetLastError())));
        ++g_record.windows_created;
        g_record.last_parent = parent;
        g_record.last_window = window_;
        events_.DocumentComplete = [](TSHDocVwDWebBrowserEvents2&, IDispatch*, VARIANT&) {
            ++g_record.document_completes;
        };
        if (g_record.while_building) g_record.while_building(g_record.while_building_context);
    }
    ~TestToolbarWindow() override {
        g_record.sink_connected_when_destroyed = events_.Connected();
        DestroyWindow(window_);
        ++g_record.windows_destroyed;
    }

    HWND Handle() override { return window_; }
    void SetBrowser(IWebBrowser2* browser) override {
        ++g_record.set_browser_calls;
        g_record.last_browser = browser;
    }
    TSHDocVwDWebBrowserEvents2& BrowserEvents() override { return events_; }
    void TakeFocus() override {
        ++g_record.focus_calls;
        if (g_record.fail_focus) throw Error("Cannot focus a disabled or invisible window");
        SetFocus(window_);
    }

private:
    HWND window_ = nullptr;
    TSHDocVwDWebBrowserEvents2 events_{"BrowserEvents"};
};

std::unique_ptr<ToolbarWindow> CreateTestWindow(HWND parent) { return std::make_unique<TestToolbarWindow>(parent); }

void ShowTestAboutBox(bool splash) {
    ++g_record.about_calls;
    g_record.last_about_splash = splash;
    if (g_record.fail_about) throw Error("Invalid about colour.");
}

}  // namespace

ToolbarParts LibraryToolbarParts() { return {&CreateTestWindow, &ShowTestAboutBox}; }

}  // namespace tb

extern "C" tb::testing_support::TestWindowRecord* __cdecl BandTestRecord() { return &tb::g_record; }
