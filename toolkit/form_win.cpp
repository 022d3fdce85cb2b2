#include "toolkit/form_win.hpp"

#include <commctrl.h>
#include <usp10.h>

#include <map>
#include <mutex>  // std::lock_guard
#include <set>
#include <utility>

#include "base/boundary_win.hpp"
#include "base/errors.hpp"
#include "base/message_pump_win.hpp"
#include "base/this_module_win.hpp"
#include "base/wide_win.hpp"
#include "base/window_object_win.hpp"
#include "toolkit/cursors_win.hpp"
#include "toolkit/dialogs_win.hpp"
#include "toolkit/popup_menu_win.hpp"
#include "base/lock.hpp"

namespace tb {
namespace {

// Windows belong to one thread, and so do their control objects. The map is reached through a plain
// pointer and freed when the thread's last control goes: a thread_local object with a destructor
// makes the C++ runtime hold a reference of this library until the thread ends and drop it from
// the thread's exit callbacks, and an unload that starts there, under the loader lock, never returns.
thread_local std::map<HWND, TWinControl*>* t_controls = nullptr;

const wchar_t kFormClass[] = L"TbToolkitForm";

}  // namespace

// --- TWinControl

TWinControl::~TWinControl() { Detach(); }

void TWinControl::Attach(HWND window) {
    Detach();
    handle_ = window;
    if (window == nullptr) return;
    if (t_controls == nullptr) t_controls = new std::map<HWND, TWinControl*>;
    (*t_controls)[window] = this;
}

void TWinControl::Detach() {
    const HWND window = std::exchange(handle_, nullptr);
    if (window == nullptr || t_controls == nullptr) return;
    const auto found = t_controls->find(window);
    if (found != t_controls->end() && found->second == this) t_controls->erase(found);
    if (t_controls->empty()) {
        delete t_controls;
        t_controls = nullptr;
    }
}

TWinControl* TWinControl::FromHandle(HWND window) {
    if (t_controls == nullptr) return nullptr;
    const auto found = t_controls->find(window);
    return found == t_controls->end() ? nullptr : found->second;
}

bool TWinControl::Visible() const { return handle_ != nullptr && (GetWindowLongPtrW(handle_, GWL_STYLE) & WS_VISIBLE); }

void TWinControl::SetVisible(bool visible) {
    if (handle_ != nullptr) ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE);
}

int TWinControl::Width() const {
    RECT box{};
    if (handle_ != nullptr) GetWindowRect(handle_, &box);
    return box.right - box.left;
}

int TWinControl::Height() const {
    RECT box{};
    if (handle_ != nullptr) GetWindowRect(handle_, &box);
    return box.bottom - box.top;
}

void TWinControl::SetWidth(int width) {
    if (handle_ == nullptr) return;
    SetWindowPos(handle_, nullptr, 0, 0, width, Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
    if (handle_ != nullptr) MoveWindow(handle_, left, top, width, height, TRUE);
}

// --- shared plumbing

bool RouteCommonMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    switch (message) {
        case WM_COMMAND:
            if (lparam != 0) {
                if (TWinControl* control = TWinControl::FromHandle(reinterpret_cast<HWND>(lparam))) {
                    return control->ParentCommand(HIWORD(wparam), result);
                }
            }
            return false;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header == nullptr) return false;
            if (TWinControl* control = TWinControl::FromHandle(header->hwndFrom)) {
                return control->ParentNotify(*header, result);
            }
            return false;
        }
        case WM_SETCURSOR: {
            TWinControl* control = TWinControl::FromHandle(reinterpret_cast<HWND>(wparam));
            if (control == nullptr || control->Cursor == crDefault || LOWORD(lparam) != HTCLIENT) return false;
            HCURSOR cursor = CursorForNumber(control->Cursor);
            if (cursor == nullptr) return false;
            ::SetCursor(cursor);
            result = TRUE;
            return true;
        }
        case WM_MEASUREITEM:
        case WM_DRAWITEM:
            return HandleMenuDrawMessage(message, wparam, lparam, result);
        default:
            (void)window;
            return false;
    }
}

HCURSOR CursorForNumber(int number) {
    if (number == crDefault) return nullptr;
    if (HCURSOR registered = RegisteredCursor(number)) return registered;
    // The hand-point cursor, and the system hand when its number was not registered.
    if (number == crHandPoint || number == 32649) return LoadCursorW(nullptr, IDC_HAND);
    return nullptr;
}

void ProcessMessages() { PumpWaitingMessages(); }

namespace {

// Keeps the text layout library's cache for the font alive for the life of the process. Edit
// controls lay their text out through that library, which makes and frees a shared cache per font
// for every piece of text; Wine's version corrupts its list of caches when frame threads make and
// free the cache of one font at the same moment (four browser windows building their toolbars at
// once hung or crashed in it). With one cache that never goes, every thread finds it and none makes
// or frees it. Never freed: the process's end takes it, and nothing may wait at the library's unload.
void KeepTextLayoutCache(HFONT font) {
    HDC context = CreateCompatibleDC(nullptr);
    if (!context) return;
    const HGDIOBJ old = SelectObject(context, font);
    static SCRIPT_CACHE cache = nullptr;
    SCRIPT_FONTPROPERTIES properties = {};
    properties.cBytes = sizeof properties;
    ScriptGetFontProperties(context, &cache, &properties);
    SelectObject(context, old);
    DeleteDC(context);
}

}  // namespace

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

HFONT ToolbarFont() {
    // Made once, by the first thread that asks; the others wait for it.
    static HFONT font = [] {
        HFONT made = nullptr;
        NONCLIENTMETRICSW metrics = {};
        metrics.cbSize = sizeof metrics;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
            made = CreateFontIndirectW(&metrics.lfMenuFont);
        }
        if (!made) made = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        KeepTextLayoutCache(made);
        return made;
    }();
    return font;
}

HFONT ToolbarFontForDpi(int dpi) {
    const int screen = ScreenDpi();
    if (dpi == screen || dpi <= 0) return ToolbarFont();
    static Lock lock;
    static std::map<int, HFONT> fonts;  // a handful of scales at most: one per screen a window met
    std::lock_guard<Lock> guard(lock);
    if (const auto found = fonts.find(dpi); found != fonts.end()) return found->second;
    LOGFONTW face = {};
    GetObjectW(ToolbarFont(), sizeof face, &face);
    using ForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    const auto for_dpi = reinterpret_cast<ForDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (for_dpi != nullptr && for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) {
        face = metrics.lfMenuFont;
    } else {
        face.lfHeight = MulDiv(face.lfHeight, dpi, screen);  // the screen's font, to the window's scale
    }
    HFONT made = CreateFontIndirectW(&face);
    if (made == nullptr) return ToolbarFont();
    KeepTextLayoutCache(made);
    fonts.emplace(dpi, made);
    return made;
}

std::u16string ToolbarFontFaceName() {
    LOGFONTW face = {};
    GetObjectW(ToolbarFont(), sizeof face, &face);
    return FromWide(face.lfFaceName);
}

const wchar_t* RegisterToolkitClass(const wchar_t* name, WNDPROC procedure, HBRUSH background) {
    static Lock lock;
    static std::set<std::wstring> registered;
    std::lock_guard<Lock> guard(lock);
    if (registered.count(name) == 0) {
        WNDCLASSEXW window_class = {};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = procedure;
        window_class.hInstance = ModuleOfThisCode();
        window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        window_class.hbrBackground = background;
        window_class.lpszClassName = name;
        if (!RegisterClassExW(&window_class) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            throw Error("Cannot register a window class");
        }
        registered.insert(name);
    }
    return name;
}

// --- TForm

TForm::TForm() : font_(ToolbarFont()) {}

TForm::~TForm() { DestroyForm(); }

void TForm::CreateHandle(const CreateArgs& args) {
    static INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterToolkitClass(kFormClass, &TForm::WindowProc, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const DWORD style = (args.parent != nullptr ? WS_CHILD : WS_OVERLAPPEDWINDOW) | WS_CLIPCHILDREN |
                        (args.visible ? WS_VISIBLE : 0);
    HWND window = CreateWindowExW(0, kFormClass, ToWide(args.caption).c_str(), style, args.left, args.top,
                                  args.width, args.height, args.parent, nullptr, ModuleOfThisCode(), this);
    if (window == nullptr) throw Error("Cannot create the window");
    handle_.Reset(window);
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    CreateComponents();
    if (OnCreate) RunHandler(OnCreate);
}

std::u16string TForm::Caption() const {
    const int length = GetWindowTextLengthW(Handle());
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(Handle(), text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return FromWide(text);
}

void TForm::SetCaption(std::u16string_view caption) { SetWindowTextW(Handle(), ToWide(caption).c_str()); }

bool TForm::Visible() const { return Handle() != nullptr && IsWindowVisible(Handle()); }

void TForm::Show() {
    if (OnShow) RunHandler(OnShow);
    ShowWindow(Handle(), SW_SHOW);
}

void TForm::Hide() { ShowWindow(Handle(), SW_HIDE); }

bool TForm::Enabled() const { return Handle() == nullptr || IsWindowEnabled(Handle()); }

int TForm::ClientWidth() const {
    RECT box{};
    GetClientRect(Handle(), &box);
    return box.right;
}

int TForm::ClientHeight() const {
    RECT box{};
    GetClientRect(Handle(), &box);
    return box.bottom;
}

void TForm::SetFocus() {
    if (Handle() != nullptr) ::SetFocus(Handle());
}

std::u16string TForm::FontName() const {
    LOGFONTW face = {};
    GetObjectW(font_, sizeof face, &face);
    return FromWide(face.lfFaceName);
}

int TForm::FontSize() const {
    LOGFONTW face = {};
    GetObjectW(font_, sizeof face, &face);
    const int height = face.lfHeight < 0 ? -face.lfHeight : face.lfHeight;
    return MulDiv(height, 72, ScreenDpi());
}

bool TForm::RunHandler(const std::function<void()>& handler) {
    struct Counted {
        int& running;
        explicit Counted(int& count) : running(++count) {}
        ~Counted() { --running; }
    } counted(running_handlers_);
    try {
        handler();
        return true;
    } catch (...) {
        const std::string message = MessageOfCaughtException();
        try {
            reported_errors_.push_back(message);
        } catch (...) {
        }
        ShowErrorBox(Handle(), message);
        return false;
    }
}

TComponent* TForm::FindComponent(std::u16string_view name) const {
    for (TComponent* component : components_) {
        const std::u16string& own = component->Name();
        if (own.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < own.size() && same; ++i) {
            char16_t a = own[i], b = name[i];
            if (a >= u'a' && a <= u'z') a = static_cast<char16_t>(a - 32);
            if (b >= u'a' && b <= u'z') b = static_cast<char16_t>(b - 32);
            same = a == b;
        }
        if (same) return component;
    }
    return nullptr;
}

void TForm::DestroyForm() {
    if (destroyed_) return;
    destroyed_ = true;
    if (OnDestroy) RunHandler(OnDestroy);
    filter_ = nullptr;
    if (handle_) SetWindowLongPtrW(handle_.Get(), GWLP_USERDATA, 0);
    handle_.Reset();
}

LRESULT CALLBACK TForm::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return WindowBoundary(
        [&]() -> LRESULT {
            auto* form = SelfOf<TForm>(window, message, lparam);
            if (form == nullptr) return DefWindowProcW(window, message, wparam, lparam);
            if (form->filter_) {
                const MessageFilter filter = form->filter_;  // the filter may remove itself
                return filter(window, message, wparam, lparam,
                              [&] { return form->OwnHandling(window, message, wparam, lparam); });
            }
            return form->OwnHandling(window, message, wparam, lparam);
        },
        0);
}

LRESULT TForm::OwnHandling(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    if (RouteCommonMessage(window, message, wparam, lparam, result)) return result;
    if (HandleMessage(message, wparam, lparam, result)) return result;
    switch (message) {
        case WM_SIZE:
            if (OnResize) RunHandler(OnResize);
            break;
        case WM_WINDOWPOSCHANGING:
            if (OnCanResize) {
                auto* position = reinterpret_cast<WINDOWPOS*>(lparam);
                if (!(position->flags & SWP_NOSIZE)) {
                    int width = position->cx, height = position->cy;
                    bool allowed = true;
                    RunHandler([&] { allowed = OnCanResize(width, height); });
                    if (!allowed) {
                        position->flags |= SWP_NOSIZE;
                    } else {
                        position->cx = width;
                        position->cy = height;
                    }
                }
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace tb
