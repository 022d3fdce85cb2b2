#include "toolkit/dialog_controls_win.hpp"

#include "base/boundary_win.hpp"
#include "base/errors.hpp"
#include "base/wide_win.hpp"
#include "base/window_object_win.hpp"

namespace tb {
namespace {

HINSTANCE ModuleOf(HWND window) { return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)); }

}  // namespace

// --- fonts

UniqueHfont CreateFontFromFace(const FontFace& wanted) {
    LOGFONTW face = {};
    face.lfHeight = -MulDiv(wanted.size, ScreenDpi(), 72);
    face.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
    face.lfUnderline = wanted.underline ? TRUE : FALSE;
    face.lfCharSet = DEFAULT_CHARSET;
    face.lfQuality = DEFAULT_QUALITY;
    const std::wstring name = ToWide(wanted.name);
    lstrcpynW(face.lfFaceName, name.c_str(), LF_FACESIZE);
    UniqueHfont font(CreateFontIndirectW(&face));
    if (!font) throw Error("Cannot create the font");
    return font;
}

FontFace FontOfWindow(HWND window) {
    FontFace result;
    auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    LOGFONTW face = {};
    GetObjectW(font, sizeof face, &face);
    result.name = FromWide(face.lfFaceName);
    const int height = face.lfHeight < 0 ? -face.lfHeight : face.lfHeight;
    result.size = MulDiv(height, 72, ScreenDpi());
    result.bold = face.lfWeight >= FW_BOLD;
    result.underline = face.lfUnderline != 0;
    return result;
}

// --- TDialogControl

void TDialogControl::SetFont(const FontFace& font) {
    UniqueHfont made = CreateFontFromFace(font);
    font_ = font;
    if (Handle() != nullptr) SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(made.Get()), TRUE);
    font_handle_ = std::move(made);  // the old font goes after the window let go of it
}

void TDialogControl::SetColor(COLORREF color) {
    color_ = color;
    brush_.Reset();
    if (Handle() != nullptr) InvalidateRect(Handle(), nullptr, TRUE);
}

std::u16string TDialogControl::Caption() const {
    if (Handle() == nullptr) return {};
    const int length = GetWindowTextLengthW(Handle());
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(Handle(), text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return FromWide(text);
}

void TDialogControl::SetCaption(std::u16string_view caption) {
    if (Handle() != nullptr) SetWindowTextW(Handle(), ToWide(caption).c_str());
}

HBRUSH TDialogControl::CtlColor(HDC dc) {
    if (!brush_) brush_.Reset(CreateSolidBrush(color_));
    SetTextColor(dc, font_.color);
    SetBkColor(dc, color_);
    return brush_.Get();
}

void TDialogControl::CreateWindowOf(const wchar_t* window_class, DWORD style, DWORD ex_style, HWND parent, int id) {
    HWND window = CreateWindowExW(ex_style, window_class, nullptr, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                                  parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ModuleOf(parent), this);
    if (window == nullptr) throw Error("Cannot create a dialog control");
    Attach(window);
    SetFont(font_);
}

bool RouteColorMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (message != WM_CTLCOLORSTATIC && message != WM_CTLCOLOREDIT && message != WM_CTLCOLORBTN) return false;
    auto* control = dynamic_cast<TDialogControl*>(TWinControl::FromHandle(reinterpret_cast<HWND>(lparam)));
    if (control == nullptr) return false;
    result = reinterpret_cast<LRESULT>(control->CtlColor(reinterpret_cast<HDC>(wparam)));
    return true;
}

// --- TPanel

void TPanel::Create(HWND parent) {
    RegisterToolkitClass(L"TbToolkitPanel", &TPanel::PanelProc, nullptr);
    HWND window = CreateWindowExW(WS_EX_CONTROLPARENT, L"TbToolkitPanel", nullptr,
                                  WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 10, 10, parent, nullptr,
                                  ModuleOf(parent), this);
    if (window == nullptr) throw Error("Cannot create a panel");
    Attach(window);
    SetFont(Font());
}

LRESULT CALLBACK TPanel::PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return WindowBoundary([&]() -> LRESULT {
        auto* self = SelfOf<TPanel>(window, message, lparam);
        if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
        LRESULT result = 0;
        if (RouteColorMessage(message, wparam, lparam, result)) return result;
        if (RouteCommonMessage(window, message, wparam, lparam, result)) return result;
        switch (message) {
            case WM_ERASEBKGND: {
                RECT box{};
                GetClientRect(window, &box);
                FillRect(reinterpret_cast<HDC>(wparam), &box, self->CtlColor(reinterpret_cast<HDC>(wparam)));
                return TRUE;
            }
            case WM_NCDESTROY:
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                break;
            default:
                break;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    });
}

// --- TLabel, TButton, TMemo

void TLabel::Create(HWND parent) { CreateWindowOf(L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0, parent); }

bool TLabel::ParentCommand(WORD code, LRESULT& result) {
    if (code != STN_CLICKED) return false;
    if (OnClick) OnClick();
    result = 0;
    return true;
}

void TButton::Create(HWND parent, int id) { CreateWindowOf(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, parent, id); }

bool TButton::ParentCommand(WORD code, LRESULT& result) {
    if (code != BN_CLICKED) return false;
    if (OnClick) OnClick();
    result = 0;
    return true;
}

void TMemo::Create(HWND parent) {
    CreateWindowOf(L"EDIT", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
                   WS_EX_CLIENTEDGE, parent);
}

void TMemo::SetText(std::u16string_view text) {
    // The edit control breaks lines only at CR LF.
    std::u16string lines;
    lines.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r') {
            lines += u"\r\n";
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else if (c == u'\n') {
            lines += u"\r\n";
        } else {
            lines += c;
        }
    }
    SetCaption(lines);
}

// --- TPictureBox

void TPictureBox::Create(HWND parent) {
    RegisterToolkitClass(L"TbToolkitPictureBox", &TPictureBox::PictureProc, nullptr);
    HWND window = CreateWindowExW(0, L"TbToolkitPictureBox", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent,
                                  nullptr, ModuleOf(parent), this);
    if (window == nullptr) throw Error("Cannot create the picture box");
    Attach(window);
}

void TPictureBox::PictureChanged() {
    if (Handle() == nullptr) return;
    if (AutoSize && !picture_.Empty()) {
        SetWindowPos(Handle(), nullptr, 0, 0, picture_.Width(), picture_.Height(),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT CALLBACK TPictureBox::PictureProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return WindowBoundary([&]() -> LRESULT {
        auto* self = SelfOf<TPictureBox>(window, message, lparam);
        if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
        const PictureWindow shown{self->picture_, false, self->Cursor, self->OnClick,
                                  [self](HDC dc) { return self->CtlColor(dc); }, false};
        if (const auto answer = HandlePictureWindowMessage(window, message, wparam, shown)) return *answer;
        return DefWindowProcW(window, message, wparam, lparam);
    });
}

}  // namespace tb
