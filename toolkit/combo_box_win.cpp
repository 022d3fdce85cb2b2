#include "toolkit/combo_box_win.hpp"

#include <commctrl.h>

#include <cstddef>
#include <cstring>

#include "base/boundary_win.hpp"
#include "base/errors.hpp"
#include "base/wide_win.hpp"
#include "toolkit/popup_menu_win.hpp"
#include "toolkit/window_subclass_win.hpp"

namespace tb {
namespace {

constexpr UINT_PTR kEditSubclassId = 0x7463;

std::u16string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return FromWide(text);
}

// Whether the window's font is `font`, as CreateFontIndirect would make it: the same sizes, weight
// and style (the fields before the face, which hold no padding) and the same face.
static_assert(offsetof(LOGFONTW, lfFaceName) == 5 * sizeof(LONG) + 8 * sizeof(BYTE), "no padding before the face");

bool ShowsFont(HWND window, const LOGFONTW& font) {
    const auto shown = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    LOGFONTW current = {};
    if (shown == nullptr || GetObjectW(shown, sizeof current, &current) != sizeof current) return false;
    return std::memcmp(&current, &font, offsetof(LOGFONTW, lfFaceName)) == 0 &&
           wcsncmp(current.lfFaceName, font.lfFaceName, LF_FACESIZE) == 0;
}

}  // namespace

TComboBox::~TComboBox() {
    if (edit_ != nullptr) RemoveSubclass(edit_, &TComboBox::EditSubclass, kEditSubclassId);
}

void TComboBox::Create(HWND parent, int left, int top, int width, int list_height) {
    HWND combo = CreateWindowExW(0, WC_COMBOBOXW, nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                                 left, top, width, list_height, parent, nullptr,
                                 reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (combo == nullptr) throw Error("Cannot create the combo box");
    Attach(combo);
    SendMessageW(combo, WM_SETFONT, reinterpret_cast<WPARAM>(ToolbarFont()), TRUE);
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(combo, &info)) edit_ = info.hwndItem;
    if (edit_ == nullptr) edit_ = FindWindowExW(combo, nullptr, L"Edit", nullptr);
    if (edit_ != nullptr) AddSubclass(edit_, &TComboBox::EditSubclass, kEditSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

int TComboBox::Count() const { return static_cast<int>(SendMessageW(Handle(), CB_GETCOUNT, 0, 0)); }

std::u16string TComboBox::Item(int index) const {
    const LRESULT length = SendMessageW(Handle(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(Handle(), CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR ? 0 : static_cast<std::size_t>(got));
    return FromWide(text);
}

std::vector<std::u16string> TComboBox::Items() const {
    std::vector<std::u16string> items;
    const int count = Count();
    items.reserve(static_cast<std::size_t>(count < 0 ? 0 : count));
    for (int i = 0; i < count; ++i) items.push_back(Item(i));
    return items;
}

int TComboBox::Add(std::u16string_view text) {
    return static_cast<int>(SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(text).c_str())));
}

void TComboBox::Insert(int index, std::u16string_view text) {
    SendMessageW(Handle(), CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(ToWide(text).c_str()));
}

void TComboBox::Delete(int index) { SendMessageW(Handle(), CB_DELETESTRING, static_cast<WPARAM>(index), 0); }

void TComboBox::Replace(int index, std::u16string_view text) {
    if (index < 0 || index >= Count()) return;
    const int selected = ItemIndex();
    Delete(index);
    Insert(index, text);
    if (selected == index) SetItemIndex(index);
}

void TComboBox::ClearList() { SendMessageW(Handle(), CB_RESETCONTENT, 0, 0); }

int TComboBox::IndexOf(std::u16string_view text) const {
    // CB_FINDSTRINGEXACT ignores case; an empty text would match the first entry that starts with nothing.
    const std::wstring wide = ToWide(text);
    const int count = Count();
    for (int i = 0; i < count; ++i) {
        const std::u16string item = Item(i);
        if (item.size() == text.size() &&
            CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, ToWide(item).c_str(), static_cast<int>(item.size()),
                           wide.c_str(), static_cast<int>(wide.size())) == CSTR_EQUAL) {
            return i;
        }
    }
    return -1;
}

int TComboBox::ItemIndex() const { return static_cast<int>(SendMessageW(Handle(), CB_GETCURSEL, 0, 0)); }

void TComboBox::SetItemIndex(int index) {
    if (index < 0) {
        const std::u16string text = Text();
        SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SetText(text);
        return;
    }
    SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::u16string TComboBox::Text() const { return WindowText(Handle()); }

void TComboBox::SetText(std::u16string_view text) { SetWindowTextW(Handle(), ToWide(text).c_str()); }

int TComboBox::SelStart() const {
    DWORD start = 0, end = 0;
    SendMessageW(Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}

int TComboBox::SelLength() const {
    DWORD start = 0, end = 0;
    SendMessageW(Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end - start);
}

void TComboBox::SetSelection(int start, int length) {
    if (edit_ != nullptr) SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(start), start + length);
}

std::u16string TComboBox::SelText() const {
    const std::u16string text = Text();
    const auto start = static_cast<std::size_t>(SelStart());
    if (start >= text.size()) return {};
    return text.substr(start, static_cast<std::size_t>(SelLength()));
}

void TComboBox::ReplaceSelText(std::u16string_view text) {
    if (edit_ != nullptr) SendMessageW(edit_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(ToWide(text).c_str()));
}

void TComboBox::SelectAll() { SetSelection(0, -1); }

void TComboBox::Clear() { SetText(u""); }

bool TComboBox::DroppedDown() const { return SendMessageW(Handle(), CB_GETDROPPEDSTATE, 0, 0) != 0; }

void TComboBox::SetDpi(int dpi) {
    const std::u16string face = FontFace();
    dpi_ = dpi;
    SetFontFace(face);
}

void TComboBox::FitLineToScale() {
    // The box is a line of text inside a frame. The line follows the font, but not every system
    // scales the frame and the line's spacing with it (Wine keeps them as at 96 DPI), which leaves
    // the box short of the scale: the line takes up the rest, so the box is as high as at 96 DPI
    // times the scale.
    constexpr int kDesignHeight = 20;  // the closed box with the toolbar's font at 96 DPI
    RECT box{};
    GetWindowRect(Handle(), &box);
    const int height = box.bottom - box.top;
    const int line = static_cast<int>(SendMessageW(Handle(), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    const int wanted = MulDiv(kDesignHeight, dpi_, 96);
    if (line > 0 && height > 0 && height < wanted) {
        SendMessageW(Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), line + wanted - height);
    }
}

void TComboBox::SetFontFace(std::u16string_view face) {
    LOGFONTW font = {};
    GetObjectW(dpi_ > 0 ? ToolbarFontForDpi(dpi_) : ToolbarFont(), sizeof font, &font);
    const std::wstring wide = ToWide(face);
    wcsncpy(font.lfFaceName, wide.c_str(), LF_FACESIZE - 1);
    font.lfFaceName[LF_FACESIZE - 1] = L'\0';
    // The box lays out its parts anew with every font it is given (several moves of windows), so
    // the font it shows already is not given again: a scale or a face that is the same changes nothing.
    if (ShowsFont(Handle(), font)) {
        if (dpi_ > 0) FitLineToScale();
        return;
    }
    UniqueHfont made(CreateFontIndirectW(&font));
    if (!made) return;
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(made.Get()), TRUE);
    font_ = std::move(made);
    if (dpi_ > 0) FitLineToScale();
}

std::u16string TComboBox::FontFace() const {
    auto font = reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
    LOGFONTW face = {};
    GetObjectW(font != nullptr ? font : ToolbarFont(), sizeof face, &face);
    return FromWide(face.lfFaceName);
}

void TComboBox::ReportSelect() {
    // The text shows the chosen entry before the handler looks at it.
    const int index = ItemIndex();
    if (index >= 0) SetText(Item(index));
    if (OnSelect) OnSelect();
}

bool TComboBox::ParentCommand(WORD code, LRESULT& result) {
    switch (code) {
        case CBN_CLOSEUP:
            if (OnCloseUp) OnCloseUp();
            if (select_pending_) {
                select_pending_ = false;
                ReportSelect();
            }
            break;
        case CBN_SELCHANGE:
            // While the list is down the selection follows the pointer: one selection is reported,
            // after the close-up.
            if (DroppedDown()) {
                select_pending_ = true;
            } else {
                ReportSelect();
            }
            break;
        case CBN_EDITCHANGE:
            if (OnChange) OnChange();
            break;
        default:
            return false;
    }
    result = 0;
    return true;
}

LRESULT CALLBACK TComboBox::EditSubclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                         DWORD_PTR data) {
    return WindowBoundary([&]() -> LRESULT {
        auto* self = reinterpret_cast<TComboBox*>(data);
        if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && self->OnKeyDown &&
            self->OnKeyDown(wparam, message == WM_SYSKEYDOWN)) {
            return 0;
        }
        if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) &&
            (wparam == VK_APPS || (wparam == VK_F10 && GetKeyState(VK_SHIFT) < 0))) {
            // The keyboard's way to the box's menu, placed below the box.
            SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(-1, -1));
            return 0;
        }
        if (message == WM_CHAR && self->OnKeyPress) {
            auto key = static_cast<wchar_t>(wparam);
            self->OnKeyPress(key);
            if (key == 0) return 0;
            wparam = static_cast<WPARAM>(key);
        } else if (message == WM_CONTEXTMENU && self->PopupMenu != nullptr) {
            POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
            if (at.x == -1 && at.y == -1) {
                RECT box{};
                GetWindowRect(window, &box);
                at = {box.left, box.bottom};
            }
            self->PopupMenu->Popup(window, at);
            return 0;
        }
        return CallNextSubclass(window, message, wparam, lparam);
    });
}

}  // namespace tb
