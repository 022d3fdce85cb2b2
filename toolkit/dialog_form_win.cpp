#include "toolkit/dialog_form_win.hpp"

#include "base/message_pump_win.hpp"

namespace tb {
namespace {

struct ThreadWindows {
    HWND except;
    std::vector<HWND> disabled;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM context) {
    auto* windows = reinterpret_cast<ThreadWindows*>(context);
    if (window != windows->except && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        windows->disabled.push_back(window);
    }
    return TRUE;
}

// In the middle of the screen.
void Center(HWND window) {
    RECT box{};
    GetWindowRect(window, &box);
    const int width = box.right - box.left, height = box.bottom - box.top;
    SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void TDialogForm::CreateComponents() {
    HWND window = Handle();
    SetWindowLongPtrW(window, GWL_STYLE, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | DS_MODALFRAME);
    SetWindowLongPtrW(window, GWL_EXSTYLE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetFont(font_);
    CreateDialogComponents();
}

bool TDialogForm::CreateDialogWindow(int width, int height) {
    CreateArgs args;
    args.width = width;
    args.height = height;
    const std::size_t errors = ReportedErrors().size();
    CreateHandle(args);
    return ReportedErrors().size() == errors;
}

void TDialogForm::AddDialogControl(TDialogControl& control) {
    dialog_controls_.push_back(&control);
    AddComponent(control);
}

void TDialogForm::PassOnParentProperties() {
    for (TDialogControl* control : dialog_controls_) {
        const TDialogControl* parent = control->ParentControl;
        if (control->ParentColor) {
            const COLORREF color = parent != nullptr ? parent->Color() : color_;
            if (control->Color() != color) control->SetColor(color);
        }
        if (control->ParentFont) {
            const FontFace& font = parent != nullptr ? parent->Font() : font_;
            if (!(control->Font() == font)) control->SetFont(font);
        }
    }
}

void TDialogForm::SetColor(COLORREF color) {
    color_ = color;
    brush_.Reset();
    if (Handle() != nullptr) InvalidateRect(Handle(), nullptr, TRUE);
    PassOnParentProperties();
}

void TDialogForm::SetFont(const FontFace& font) {
    UniqueHfont made = CreateFontFromFace(font);
    font_ = font;
    if (Handle() != nullptr) SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(made.Get()), TRUE);
    font_handle_ = std::move(made);
    PassOnParentProperties();
}

void TDialogForm::SetSize(int width, int height) {
    SetWindowPos(Handle(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TDialogForm::Close() {
    closed_ = true;
    Hide();
}

void TDialogForm::ShowModal() {
    closed_ = false;
    if (OnShow && !RunHandler(OnShow)) return;
    ThreadWindows others{Handle(), {}};
    EnumThreadWindows(GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&others));
    Center(Handle());
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    PumpOptions pump;
    pump.dialog = Handle();
    pump.stop = [this] { return closed_; };
    while (!closed_) {
        WaitForMessageOr(INFINITE);
        if (!PumpWaitingMessages(pump)) break;
    }
    // The others come back before this one goes, so that the activation returns to them.
    for (HWND window : others.disabled) {
        if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    Hide();
}

void TDialogForm::ShowFor(DWORD milliseconds) {
    closed_ = false;
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    if (OnShow && !RunHandler(OnShow)) return;
    Center(Handle());
    ShowWindow(Handle(), SW_SHOW);
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return;
        // Sleeps until a message comes or the time is up, instead of spinning.
        WaitForMessageOr(static_cast<DWORD>(deadline - now));
        if (!PumpWaitingMessages()) return;
    }
}

bool TDialogForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (RouteColorMessage(message, wparam, lparam, result)) return true;
    switch (message) {
        case WM_ERASEBKGND: {
            if (!brush_) brush_.Reset(CreateSolidBrush(color_));
            RECT box{};
            GetClientRect(Handle(), &box);
            FillRect(reinterpret_cast<HDC>(wparam), &box, brush_.Get());
            result = TRUE;
            return true;
        }
        case WM_GETFONT:
            result = reinterpret_cast<LRESULT>(font_handle_.Get());
            return true;
        case WM_CLOSE:
            Close();
            result = 0;
            return true;
        case WM_COMMAND:
            // Esc in a modal form (IsDialogMessage sends IDCANCEL when no control has that id).
            if (LOWORD(wparam) == IDCANCEL && lparam == 0 && HIWORD(wparam) == 0) {
                Close();
                result = 0;
                return true;
            }
            return false;
        default:
            return false;
    }
}

}  // namespace tb
