#include "toolkit/toolbar_control_win.hpp"

#include <windowsx.h>

#include <algorithm>

#include "base/boundary_win.hpp"
#include "base/errors.hpp"
#include "base/wide_win.hpp"
#include "base/window_object_win.hpp"
#include "toolkit/dpi_win.hpp"
#include "toolkit/popup_menu_win.hpp"
#include "toolkit/window_subclass_win.hpp"

namespace tb {
namespace {

constexpr int kFirstCommand = 1000;
constexpr int kChevronCommand = 1;
constexpr wchar_t kDockClass[] = L"TbToolkitDock";
constexpr UINT_PTR kSubclassId = 0x7462;
constexpr int kSeparatorWidth = 6;  // at 96 DPI

HINSTANCE ModuleOf(HWND window) { return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)); }

// The toolbar window passes its children's notifications (the hosted controls') back to the control
// objects, whatever the toolbar itself would do with them.
LRESULT CALLBACK ToolbarSubclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data) {
    return WindowBoundary([&]() -> LRESULT {
        if ((message == WM_MOUSEMOVE || message == WM_MOUSELEAVE) && data != 0) {
            const auto& on_move = reinterpret_cast<TToolbarControl*>(data)->OnMouseMove;
            if (message == WM_MOUSEMOVE) {
                // So that leaving the toolbar is heard too (the toolbar asks for it as well; the
                // requests are one).
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
                TrackMouseEvent(&track);
                if (on_move) on_move(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
            } else if (on_move) {
                on_move(-1, -1);
            }
        }
        if (message == WM_COMMAND || message == WM_NOTIFY || message == WM_MEASUREITEM || message == WM_DRAWITEM) {
            LRESULT result = 0;
            if (RouteCommonMessage(window, message, wparam, lparam, result)) return result;
        }
        return CallNextSubclass(window, message, wparam, lparam);
    });
}

}  // namespace

// The keys of the buttons and of "»" (both toolbar windows).
LRESULT CALLBACK ToolbarKeys(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data) {
    return WindowBoundary([&]() -> LRESULT {
        auto* self = reinterpret_cast<TToolbarControl*>(data);
        if (self != nullptr) {
            if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && self->HandleKey(message, wparam)) return 0;
            if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
                const LRESULT result = CallNextSubclass(window, message, wparam, lparam);
                self->ShowFocus();
                return result;
            }
            if (message == WM_GETDLGCODE) return DLGC_WANTARROWS;
        }
        return CallNextSubclass(window, message, wparam, lparam);
    });
}

namespace {

constexpr UINT_PTR kKeysSubclassId = 0x7464;

HWND CreateToolbarWindow(HWND parent, bool chevron) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS |
                        TBSTYLE_TRANSPARENT | CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN;
    HWND toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, style, 0, 0, 0, 0, parent, nullptr,
                                   ModuleOf(parent), nullptr);
    if (toolbar == nullptr) throw Error("Cannot create the toolbar window");
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(toolbar, TB_SETEXTENDEDSTYLE, 0,
                 TBSTYLE_EX_DRAWDDARROWS | TBSTYLE_EX_MIXEDBUTTONS | TBSTYLE_EX_HIDECLIPPEDBUTTONS);
    SendMessageW(toolbar, WM_SETFONT, reinterpret_cast<WPARAM>(ToolbarFont()), FALSE);
    if (chevron) {
        TBBUTTON button = {};
        button.iBitmap = I_IMAGENONE;
        button.idCommand = kChevronCommand;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON | BTNS_WHOLEDROPDOWN | BTNS_SHOWTEXT | BTNS_AUTOSIZE;
        static const wchar_t chevron_text[] = L"\x00BB";
        button.iString = reinterpret_cast<INT_PTR>(chevron_text);
        SendMessageW(toolbar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button));
    }
    return toolbar;
}

RECT ScreenRectOfButton(HWND toolbar, int index) {
    RECT box{};
    SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&box));
    MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

}  // namespace

TToolbarControl::TToolbarControl(std::u16string name) : TWinControl(std::move(name)) { model_.SetListener(this); }

TToolbarControl::~TToolbarControl() {
    model_.SetListener(nullptr);
    if (toolbar_ != nullptr) RemoveSubclass(toolbar_, &ToolbarSubclass, kSubclassId);
    for (HWND window : {toolbar_, chevron_}) {
        if (window != nullptr) RemoveSubclass(window, &ToolbarKeys, kKeysSubclassId);
    }
    if (Handle() != nullptr) SetWindowLongPtrW(Handle(), GWLP_USERDATA, 0);
}

void TToolbarControl::Create(HWND parent, int left, int top, int width) {
    RegisterToolkitClass(kDockClass, &TToolbarControl::DockProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    HWND dock = CreateWindowExW(0, kDockClass, L"Dock", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, left, top, width,
                                24, parent, nullptr, ModuleOf(parent), this);
    if (dock == nullptr) throw Error("Cannot create the dock window");
    Attach(dock);
    toolbar_ = CreateToolbarWindow(dock, false);
    chevron_ = CreateToolbarWindow(dock, true);
    ShowWindow(chevron_, SW_HIDE);
    AddSubclass(toolbar_, &ToolbarSubclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    for (HWND window : {toolbar_, chevron_}) {
        AddSubclass(window, &ToolbarKeys, kKeysSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    design_padding_ = static_cast<DWORD>(SendMessageW(toolbar_, TB_GETPADDING, 0, 0));
    Render();
}

void TToolbarControl::SetDpi(int dpi) {
    dpi_ = dpi > 0 ? dpi : kDesignDpi;
    if (toolbar_ == nullptr) return;
    const LPARAM padding = MAKELPARAM(Scaled(LOWORD(design_padding_), dpi_), Scaled(HIWORD(design_padding_), dpi_));
    for (HWND window : {toolbar_, chevron_}) {
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(ToolbarFontForDpi(dpi_)), FALSE);
        SendMessageW(window, TB_SETPADDING, 0, padding);
    }
    // Text-only buttons are as high as an image would be: the scaled size of one. An image list
    // brings its own size.
    if (images_ == nullptr) {
        SendMessageW(toolbar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(Scaled(16, dpi_), Scaled(15, dpi_)));
    }
    SendMessageW(chevron_, TB_SETBITMAPSIZE, 0, MAKELPARAM(Scaled(16, dpi_), Scaled(15, dpi_)));
    SendMessageW(chevron_, TB_AUTOSIZE, 0, 0);
    Render();
}

void TToolbarControl::SetImages(HIMAGELIST images) {
    images_ = images;
    if (toolbar_ == nullptr) return;
    SendMessageW(toolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    Render();
}

TBBUTTON TToolbarControl::ButtonFor(TToolbarItem& item, int index, const std::wstring& caption) const {
    TBBUTTON button = {};
    button.idCommand = kFirstCommand + index;
    button.fsState = static_cast<BYTE>((item.Enabled() ? TBSTATE_ENABLED : 0) | (item.Checked() ? TBSTATE_CHECKED : 0) |
                                       (item.Visible() ? 0 : TBSTATE_HIDDEN));
    switch (item.Kind()) {
        case ItemKind::Separator:
            button.fsStyle = BTNS_SEP;
            button.iBitmap = Scaled(kSeparatorWidth, dpi_);
            return button;
        case ItemKind::Control:
            button.fsStyle = BTNS_SEP;
            button.iBitmap = item.ControlWidth();
            return button;
        case ItemKind::Submenu:
            button.fsStyle = BTNS_BUTTON;
            if (item.DropdownArrow()) button.fsStyle |= item.Split() ? BTNS_DROPDOWN : BTNS_WHOLEDROPDOWN;
            break;
        case ItemKind::Item:
            button.fsStyle = BTNS_BUTTON;
            break;
    }
    button.fsStyle |= BTNS_AUTOSIZE | BTNS_NOPREFIX;
    const bool has_image = images_ != nullptr && item.ImageIndex() >= 0;
    const ItemDisplayMode mode = item.DisplayMode();
    if (mode != ItemDisplayMode::ImageOnly || !has_image) button.fsStyle |= BTNS_SHOWTEXT;
    button.iBitmap = (has_image && mode != ItemDisplayMode::TextOnly) ? item.ImageIndex() : I_IMAGENONE;
    button.iString = reinterpret_cast<INT_PTR>(caption.c_str());
    return button;
}

namespace {

// The window's own visibility, whatever its parents' (a toolbar is built hidden).
bool HasVisibleStyle(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

}  // namespace

void TToolbarControl::Render() {
    // The model's EndUpdate renders what changed meanwhile, once: a build sets the images and the
    // scale while it makes its items, and each render removes and adds every button.
    if (toolbar_ == nullptr || rendering_ || model_.Updating()) return;
    rendering_ = true;
    buttons_moved_ = true;
    SendMessageW(toolbar_, WM_SETREDRAW, FALSE, 0);
    for (int count = static_cast<int>(SendMessageW(toolbar_, TB_BUTTONCOUNT, 0, 0)); count > 0; --count) {
        SendMessageW(toolbar_, TB_DELETEBUTTON, static_cast<WPARAM>(count - 1), 0);
    }
    shown_ = model_.TopLevel();
    std::vector<std::wstring> captions;
    captions.reserve(shown_.size());
    for (TToolbarItem* item : shown_) captions.push_back(ToWide(item->Caption()));
    std::vector<TBBUTTON> buttons;
    buttons.reserve(shown_.size());
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        TToolbarItem& item = *shown_[i];
        buttons.push_back(ButtonFor(item, static_cast<int>(i), captions[i]));
        if (item.Kind() == ItemKind::Control && item.Control() != nullptr) {
            HWND control = static_cast<HWND>(item.Control());
            if (GetParent(control) != toolbar_) SetParent(control, toolbar_);
        }
    }
    if (!buttons.empty()) {
        SendMessageW(toolbar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    }
    FitButtonHeightToScale();
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    SendMessageW(toolbar_, WM_SETREDRAW, TRUE, 0);
    rendering_ = false;
    Layout();
    InvalidateRect(toolbar_, nullptr, TRUE);
}

void TToolbarControl::FitButtonHeightToScale() {
    if (dpi_ == kDesignDpi) return;
    // The taller of an image and a line of the caption, with the padding at this scale. A toolbar
    // that keeps the padding of 96 DPI (Wine's does, whatever it is told) would leave the buttons
    // short of the scale by the difference.
    int content = Scaled(15, dpi_);
    if (images_ != nullptr) {
        int width = 0;
        ImageList_GetIconSize(images_, &width, &content);
    }
    UniqueMemoryDc measure(CreateCompatibleDC(nullptr));
    TEXTMETRICW metrics{};
    if (measure) {
        const HGDIOBJ old = SelectObject(measure.Get(), ToolbarFontForDpi(dpi_));
        if (GetTextMetricsW(measure.Get(), &metrics)) content = std::max<int>(content, metrics.tmHeight);
        SelectObject(measure.Get(), old);
    }
    const int wanted = content + Scaled(HIWORD(design_padding_), dpi_);
    const DWORD size = static_cast<DWORD>(SendMessageW(toolbar_, TB_GETBUTTONSIZE, 0, 0));
    if (HIWORD(size) < wanted) SendMessageW(toolbar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(LOWORD(size), wanted));
}

int TToolbarControl::PreferredHeight() const {
    if (toolbar_ == nullptr) return 0;
    const DWORD size = static_cast<DWORD>(SendMessageW(toolbar_, TB_GETBUTTONSIZE, 0, 0));
    int height = HIWORD(size);
    for (TToolbarItem* item : shown_) {
        if (item->Kind() != ItemKind::Control || item->Control() == nullptr || !item->Visible()) continue;
        RECT box{};
        GetWindowRect(static_cast<HWND>(item->Control()), &box);
        height = std::max<int>(height, box.bottom - box.top + Scaled(2, dpi_));
    }
    return height;
}

void TToolbarControl::Layout() {
    if (toolbar_ == nullptr || rendering_ || model_.Updating()) return;
    RECT dock{};
    GetClientRect(Handle(), &dock);
    const int height = std::max<int>(PreferredHeight(), dock.bottom);
    // Full width first, to see whether every button fits.
    SIZE needed{};
    SendMessageW(toolbar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&needed));
    int width = dock.right;
    bool overflow = needed.cx > dock.right;
    int chevron_width = 0;
    if (overflow) {
        RECT box{};
        SendMessageW(chevron_, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&box));
        chevron_width = box.right - box.left;
        width = std::max<int>(0, dock.right - chevron_width);
    }
    const Placed now{width, height, chevron_width, overflow};
    if (now == placed_ && !buttons_moved_) return;
    placed_ = now;
    buttons_moved_ = false;
    MoveWindow(toolbar_, 0, 0, width, height, TRUE);
    // Every move asks the window system, also for a window that stays where it is: the chevron is
    // placed when it shows, and a control only when its place changes.
    if (overflow) {
        MoveWindow(chevron_, width, 0, chevron_width, height, TRUE);
        ShowWindow(chevron_, SW_SHOWNA);
    } else if (HasVisibleStyle(chevron_)) {
        ShowWindow(chevron_, SW_HIDE);
    }
    PlaceControls();
}

void TToolbarControl::PlaceControls() {
    RECT client{};
    GetClientRect(toolbar_, &client);
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        TToolbarItem& item = *shown_[i];
        if (item.Kind() != ItemKind::Control || item.Control() == nullptr) continue;
        HWND control = static_cast<HWND>(item.Control());
        RECT box{};
        const bool placed =
            item.Visible() && SendMessageW(toolbar_, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&box)) &&
            box.right <= client.right;
        if (!placed) {
            ShowWindow(control, SW_HIDE);
            continue;
        }
        RECT own{};
        GetWindowRect(control, &own);
        const int control_height = own.bottom - own.top;
        const int top = std::max<int>(0, box.top + ((box.bottom - box.top) - control_height) / 2);
        MapWindowPoints(nullptr, toolbar_, reinterpret_cast<POINT*>(&own), 2);
        if (HasVisibleStyle(control) && GetParent(control) == toolbar_ && own.left == box.left && own.top == top &&
            own.right - own.left == box.right - box.left) {
            continue;
        }
        SetWindowPos(control, nullptr, box.left, top, box.right - box.left, control_height,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
}

TToolbarItem* TToolbarControl::ItemAt(POINT toolbar_client) const {
    if (toolbar_ == nullptr) return nullptr;
    const int index = static_cast<int>(SendMessageW(toolbar_, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&toolbar_client)));
    if (index < 0 || index >= static_cast<int>(shown_.size())) return nullptr;
    return shown_[static_cast<std::size_t>(index)];
}

std::vector<TToolbarItem*> TToolbarControl::OverflowItems() const {
    std::vector<TToolbarItem*> cut;
    if (toolbar_ == nullptr) return cut;
    RECT client{};
    GetClientRect(toolbar_, &client);
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        TToolbarItem* item = shown_[i];
        if (!item->Visible()) continue;
        RECT box{};
        if (!SendMessageW(toolbar_, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&box))) continue;
        if (box.right > client.right) cut.push_back(item);
    }
    return cut;
}

std::vector<TToolbarControl::ButtonGeometry> TToolbarControl::ShownButtons() const {
    std::vector<ButtonGeometry> shown;
    if (toolbar_ == nullptr) return shown;
    RECT client{};
    GetClientRect(toolbar_, &client);
    UniqueMemoryDc measure(CreateCompatibleDC(nullptr));  // the caption as the toolbar draws it
    HDC context = measure.Get();
    const HGDIOBJ old = context ? SelectObject(context, ToolbarFontForDpi(dpi_)) : nullptr;
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        TToolbarItem* item = shown_[i];
        RECT box{};
        if (!item->Visible() || !SendMessageW(toolbar_, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&box))) continue;
        if (box.right > client.right) continue;
        int text_width = 0;
        const std::wstring caption = ToWide(item->Caption());
        SIZE extent{};
        if (context && !caption.empty() && item->Kind() != ItemKind::Separator && item->Kind() != ItemKind::Control &&
            GetTextExtentPoint32W(context, caption.c_str(), static_cast<int>(caption.size()), &extent)) {
            text_width = extent.cx;
        }
        shown.push_back({item, box, text_width});
    }
    if (context) SelectObject(context, old);
    return shown;
}

void TToolbarControl::Repaint() {
    if (Handle() == nullptr) return;
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

int TToolbarControl::IndexOf(const TToolbarItem& item) const {
    const auto found = std::find(shown_.begin(), shown_.end(), &item);
    return found == shown_.end() ? -1 : static_cast<int>(found - shown_.begin());
}

TToolbarItem* TToolbarControl::ItemOfCommand(int command) const {
    const int index = command - kFirstCommand;
    if (index < 0 || index >= static_cast<int>(shown_.size())) return nullptr;
    return shown_[static_cast<std::size_t>(index)];
}

void TToolbarControl::DropDown(TToolbarItem& item) {
    const int index = IndexOf(item);
    if (index < 0) return;
    const RECT box = ScreenRectOfButton(toolbar_, index);
    const int command = kFirstCommand + index;
    SendMessageW(toolbar_, TB_PRESSBUTTON, static_cast<WPARAM>(command), TRUE);
    TrackItemMenu(Handle(), item.Children(), images_, {box.left, box.bottom}, TPM_LEFTALIGN | TPM_TOPALIGN, &box);
    // The click may have rebuilt the toolbar: look the button up again.
    if (IndexOf(item) == index) SendMessageW(toolbar_, TB_PRESSBUTTON, static_cast<WPARAM>(command), FALSE);
}

void TToolbarControl::DropDownOverflow() {
    const std::vector<TToolbarItem*> cut = OverflowItems();
    const RECT box = ScreenRectOfButton(chevron_, 0);
    TrackItemMenu(Handle(), cut, images_, {box.right, box.bottom}, TPM_RIGHTALIGN | TPM_TOPALIGN, &box);
}

void TToolbarControl::ButtonCommand(int command) {
    TToolbarItem* item = ItemOfCommand(command);
    if (item == nullptr || item->Kind() == ItemKind::Separator || item->Kind() == ItemKind::Control) return;
    if (item->Kind() == ItemKind::Submenu && !item->DropdownArrow()) {
        DropDown(*item);
        return;
    }
    item->Click();
}

bool TToolbarControl::HandleToolbarNotify(const NMHDR& header, LRESULT& result) {
    switch (header.code) {
        case TBN_DROPDOWN: {
            const auto& info = reinterpret_cast<const NMTOOLBARW&>(header);
            if (header.hwndFrom == chevron_) {
                DropDownOverflow();
            } else if (TToolbarItem* item = ItemOfCommand(info.iItem)) {
                DropDown(*item);
            }
            result = TBDDRET_DEFAULT;
            return true;
        }
        case NM_RCLICK: {
            if (!OnContextMenu) return false;
            POINT at{};
            GetCursorPos(&at);
            OnContextMenu(at);
            result = TRUE;
            return true;
        }
        default:
            return false;
    }
}

// --- keyboard

std::vector<int> TToolbarControl::FocusStops() const {
    std::vector<int> stops;
    if (toolbar_ == nullptr) return stops;
    RECT client{};
    GetClientRect(toolbar_, &client);
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        const TToolbarItem& item = *shown_[i];
        if (!item.IsCustomItem() || !item.Visible() || !item.Enabled()) continue;
        RECT box{};
        if (!SendMessageW(toolbar_, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&box)) || box.right > client.right) {
            continue;  // cut off: reached through "»"
        }
        stops.push_back(static_cast<int>(i));
    }
    if (IsWindowVisible(chevron_)) stops.push_back(kOverflowStop);
    return stops;
}

bool TToolbarControl::FocusButton(bool last) {
    const std::vector<int> stops = FocusStops();
    if (stops.empty()) return false;
    FocusStop(last ? stops.back() : stops.front());
    return true;
}

void TToolbarControl::FocusStop(int stop) {
    focus_ = stop;
    HWND wanted = stop == kOverflowStop ? chevron_ : toolbar_;
    if (GetFocus() != wanted) {
        SetFocus(wanted);  // ShowFocus follows from WM_SETFOCUS
    } else {
        ShowFocus();
    }
}

void TToolbarControl::ShowFocus() {
    if (toolbar_ == nullptr) return;
    HWND focus = GetFocus();
    const bool on_buttons = focus == toolbar_ && focus_ >= 0 && focus_ < static_cast<int>(shown_.size());
    SendMessageW(toolbar_, TB_SETHOTITEM, static_cast<WPARAM>(on_buttons ? focus_ : -1), 0);
    SendMessageW(chevron_, TB_SETHOTITEM, static_cast<WPARAM>(focus == chevron_ ? 0 : -1), 0);
}

bool TToolbarControl::HasFocus() const {
    HWND focus = GetFocus();
    return focus != nullptr && (focus == toolbar_ || focus == chevron_);
}

TToolbarItem* TToolbarControl::FocusedItem() const {
    if (GetFocus() != toolbar_ || focus_ < 0 || focus_ >= static_cast<int>(shown_.size())) return nullptr;
    return shown_[static_cast<std::size_t>(focus_)];
}

bool TToolbarControl::HandleKey(UINT message, WPARAM key) {
    const bool alt = message == WM_SYSKEYDOWN;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    if (alt && key != VK_DOWN && key != VK_F10) return false;  // the browser's own Alt keys
    const std::vector<int> stops = FocusStops();
    if (stops.empty()) return false;
    auto at = std::find(stops.begin(), stops.end(), GetFocus() == chevron_ ? kOverflowStop : focus_);
    if (at == stops.end()) at = stops.begin();  // the focused button went: start from the first
    const int stop = *at;
    TToolbarItem* item = stop >= 0 ? shown_[static_cast<std::size_t>(stop)] : nullptr;
    switch (key) {
        case VK_LEFT:
            FocusStop(at == stops.begin() ? stop : *(at - 1));
            return true;
        case VK_RIGHT:
            FocusStop(at + 1 == stops.end() ? stop : *(at + 1));
            return true;
        case VK_HOME:
            FocusStop(stops.front());
            return true;
        case VK_END:
            FocusStop(stops.back());
            return true;
        case VK_RETURN:
        case VK_SPACE:
            if (item == nullptr) {
                DropDownOverflow();
            } else if (item->Kind() == ItemKind::Submenu && !item->Split()) {
                DropDown(*item);  // a button that only opens its sub-items
            } else {
                ButtonCommand(kFirstCommand + stop);
            }
            return true;
        case VK_DOWN:
            if (item == nullptr) {
                DropDownOverflow();
            } else if (item->Kind() == ItemKind::Submenu) {
                DropDown(*item);
            }
            return true;
        case VK_ESCAPE:
            if (OnEscape) OnEscape();
            return true;
        case VK_APPS:
        case VK_F10: {
            if (key == VK_F10 && !shift) return false;
            if (!OnContextMenu) return true;
            const RECT box = item != nullptr ? ScreenRectOfButton(toolbar_, stop) : ScreenRectOfButton(chevron_, 0);
            OnContextMenu({box.left, box.bottom});
            return true;
        }
        default:
            return false;
    }
}

void TToolbarControl::ItemChanged(TToolbarItem& item) {
    const int index = IndexOf(item);
    if (index < 0 || toolbar_ == nullptr) return;
    if (item.Kind() == ItemKind::Separator || item.Kind() == ItemKind::Control) {
        Render();
        return;
    }
    const std::wstring caption = ToWide(item.Caption());
    const TBBUTTON wanted = ButtonFor(item, index, caption);
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT | TBIF_IMAGE | TBIF_STATE | TBIF_STYLE;
    info.pszText = const_cast<wchar_t*>(caption.c_str());
    info.iImage = wanted.iBitmap;
    info.fsState = wanted.fsState;
    info.fsStyle = wanted.fsStyle;
    SendMessageW(toolbar_, TB_SETBUTTONINFOW, static_cast<WPARAM>(wanted.idCommand), reinterpret_cast<LPARAM>(&info));
    SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
    buttons_moved_ = true;
    Layout();
}

void TToolbarControl::LayoutChanged() { Render(); }

LRESULT CALLBACK TToolbarControl::DockProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return WindowBoundary([&]() -> LRESULT {
        auto* self = SelfOf<TToolbarControl>(window, message, lparam);
        if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
        return self->HandleDock(window, message, wparam, lparam);
    });
}

LRESULT TToolbarControl::HandleDock(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    switch (message) {
        case WM_COMMAND:
            if (reinterpret_cast<HWND>(lparam) == toolbar_) {
                ButtonCommand(LOWORD(wparam));
                return 0;
            }
            if (reinterpret_cast<HWND>(lparam) == chevron_) {
                DropDownOverflow();
                return 0;
            }
            break;
        case WM_NOTIFY: {
            const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
            if ((header.hwndFrom == toolbar_ || header.hwndFrom == chevron_) && HandleToolbarNotify(header, result)) {
                return result;
            }
            break;
        }
        case WM_SIZE:
            Layout();
            return 0;
        default:
            break;
    }
    if (RouteCommonMessage(window, message, wparam, lparam, result)) return result;
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace tb
