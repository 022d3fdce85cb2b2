#pragma once
// A window a test makes to receive messages: a class of its own (registered on first use in the
// process), the test's handler for the messages it cares about, and DefWindowProc for the rest.
// The window is destroyed with the object. By default it is message-only; give a parent of
// nullptr and a style for a top-level window the code under test can find.
//   TestWindow window(L"TbNoteWindow", [&](UINT message, WPARAM, LPARAM) {
//       if (message != kNote) return false;
//       ++notes;
//       return true;  // handled: the window answers 0
//   });
#include <windows.h>

#include <functional>
#include <utility>
#include <string>

#include "base/window_object_win.hpp"

namespace tb::testing_support {

class TestWindow {
public:
    // Returns true when it handled the message; the window then answers 0.
    using Handler = std::function<bool(UINT message, WPARAM wparam, LPARAM lparam)>;

    explicit TestWindow(const std::wstring& class_name, Handler handler = {}, HWND parent = HWND_MESSAGE,
                        DWORD style = 0)
        : handler_(std::move(handler)) {
        WNDCLASSW type{};
        type.lpfnWndProc = &Procedure;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = class_name.c_str();
        RegisterClassW(&type);  // fails harmlessly when an earlier test registered it
        window_ = CreateWindowExW(0, class_name.c_str(), L"", style, 0, 0, 200, 100, parent, nullptr,
                                  type.hInstance, this);
    }
    ~TestWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return window_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        TestWindow* self = SelfOf<TestWindow>(window, message, lparam);
        if (self != nullptr && self->handler_ && self->handler_(message, wparam, lparam)) return 0;
        return DefWindowProcW(window, message, wparam, lparam);
    }

    Handler handler_;
    HWND window_ = nullptr;
};

}  // namespace tb::testing_support
