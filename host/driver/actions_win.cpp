// tbhost's actions on a frame: what a person does with the toolbar (clicks, menus, typing, keys,
// the mouse over an item), and the browser's own calls and events. The toolbar is asked through its
// published query message; the clicks reach its windows as a person's would.
#include "host/driver/driver_win.hpp"

#include <commctrl.h>
#include <exdispid.h>
#include <wrl/client.h>

#include <optional>
#include <thread>

#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "toolbar/toolbar_query_win.hpp"

namespace tb::driver {

using Microsoft::WRL::ComPtr;

std::optional<std::string> AskToolbar(HWND band_window, WPARAM kind, const std::wstring& name) {
    static const UINT message = RegisterWindowMessageW(tb::kToolbarQueryMessage);
    if (!band_window || !IsWindow(band_window) || message == 0) return std::nullopt;
    std::string buffer(4096, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        tb::ToolbarQuery query{sizeof(tb::ToolbarQuery), name.c_str(), buffer.data(), static_cast<UINT>(buffer.size()), 0};
        if (SendMessageW(band_window, message, kind, reinterpret_cast<LPARAM>(&query)) != 1) return std::nullopt;
        if (query.length < buffer.size()) {
            buffer.resize(query.length);
            return buffer;
        }
        buffer.assign(static_cast<size_t>(query.length) + 1, '\0');
    }
    return std::nullopt;
}

namespace {

// An item as the toolbar window locates it: its caption, and the caption of the item whose
// drop-down menu holds it.
struct LocatedItem {
    std::wstring caption;
    std::optional<std::wstring> parent;
};

std::optional<LocatedItem> LocateItem(HWND band_window, const std::wstring& name) {
    const std::optional<std::string> answer = AskToolbar(band_window, tb::kToolbarLocateItem, name);
    if (!answer) return std::nullopt;
    const size_t split = answer->find('\0');
    LocatedItem item{tb::ToWide(tb::DecodeUtf8(answer->substr(0, split))), std::nullopt};
    if (split != std::string::npos) item.parent = tb::ToWide(tb::DecodeUtf8(answer->substr(split + 1)));
    return item;
}

struct ChildSearch {
    const wchar_t* type;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<ChildSearch*>(data);
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (_wcsicmp(name, search->type) != 0) return TRUE;
    search->found = child;
    return FALSE;
}


bool FindButton(HWND toolbar, const std::wstring& caption, RECT& box) {
    bool split = false;
    return FindButtonPart(toolbar, caption, box, split);
}

void PostClick(HWND window, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageW(window, WM_MOUSEMOVE, 0, at);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
}

// While a menu of this thread is open: the menu window, its item of that caption chosen by keyboard
// (Esc when there is none); the captions it showed go to `shown_captions`.
void ChooseFromMenu(DWORD thread, std::wstring caption, std::vector<std::wstring>* shown_captions) {
    for (int tries = 0; tries < 200; ++tries) {
        Sleep(20);
        HWND menu_window = FindWindowW(L"#32768", nullptr);
        if (!menu_window || GetWindowThreadProcessId(menu_window, nullptr) != thread || !IsWindowVisible(menu_window)) continue;
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menu_window, 0x01E1 /* MN_GETHMENU */, 0, 0));
        int steps_before = 0;
        bool found = false;
        for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
            MENUITEMINFOW info{};
            wchar_t text[512] = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_STATE;
            info.dwTypeData = text;
            info.cch = 511;
            GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
            if (info.fType & MFT_SEPARATOR) continue;
            std::wstring shown = text;
            if (const size_t tab = shown.find(L'\t'); tab != std::wstring::npos) shown.resize(tab);
            std::wstring plain;
            for (wchar_t c : shown) if (c != L'&') plain += c;
            if (shown_captions) shown_captions->push_back(plain);
            if (!found && (plain == caption || shown == caption)) found = true;
            if (!found) ++steps_before;
        }
        const int steps = found ? steps_before + 1 : 0;
        for (int i = 0; i < steps; ++i) PostMessageW(menu_window, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu_window, WM_KEYDOWN, found ? VK_RETURN : VK_ESCAPE, 0);
        return;
    }
}

}  // namespace

HWND FindChild(HWND parent, const wchar_t* type) {
    ChildSearch search{type, nullptr};
    EnumChildWindows(parent, &MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool Frame::Do(const Action& action) {
    const std::wstring& verb = action.verb;
    if (verb == L"--wait") {
        Settle(static_cast<DWORD>(_wtoi(action.argument.c_str())));
        return true;
    }
    if (verb == L"--screenshot") {
        Settle(300);
        return SavePng(browser_->Frame(), action.argument) || Fail("cannot write the picture");
    }
    if (verb == L"--menu-shot") {
        menu_shot_ = action.argument;
        return true;
    }
    if (verb == L"--dialog-shot") {
        std::lock_guard<std::mutex> guard(dialog_lock);
        dialog_shot = action.argument;
        return true;
    }
    if (verb == L"--width") {
        SetWindowPos(browser_->Frame(), nullptr, 0, 0, _wtoi(action.argument.c_str()), 600, SWP_NOZORDER | SWP_NOMOVE);
        return true;
    }
    if (verb == L"--interactive") {
        MSG message;
        while (IsWindow(browser_->Frame()) && GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return true;
    }
    if (!host_->Hosting()) return Fail("the band is closed");
    if (verb == L"--close") {
        host_->Close();
        return true;
    }
    if (verb == L"--context") {
        ComPtr<IContextMenu> menu;
        if (FAILED(host_->Band()->QueryInterface(IID_PPV_ARGS(menu.GetAddressOf())))) {
            return Fail("the band has no context menu");
        }
        HMENU popup = CreatePopupMenu();
        const HRESULT added = menu->QueryContextMenu(popup, 0, 1, 0x7fff, CMF_NORMAL);
        std::string line = FramePrefix(number_) + "\"context\":[";
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            wchar_t text[256] = {};
            GetMenuStringW(popup, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
            if (i) line += ",";
            line += Quote(std::wstring(text));
        }
        Emit(line + "]}");
        DestroyMenu(popup);
        const int command = _wtoi(action.argument.c_str());
        if (FAILED(added) || command < 0 || command >= static_cast<int>(HRESULT_CODE(added))) {
            return Fail("no such context command");
        }
        CMINVOKECOMMANDINFO invoke{};
        invoke.cbSize = sizeof invoke;
        invoke.hwnd = browser_->Frame();
        invoke.lpVerb = MAKEINTRESOURCEA(command);
        return SUCCEEDED(menu->InvokeCommand(&invoke)) || Fail("the context command failed");
    }
    if (verb == L"--event") {
        if (action.argument != L"document-complete") return Fail("unknown event");
        VARIANT url;
        VariantInit(&url);
        url.vt = VT_BSTR;
        url.bstrVal = SysAllocString(browser_->Address().c_str());
        std::vector<VARIANTARG> arguments(2);
        VariantInit(&arguments[0]);
        arguments[0].vt = VT_DISPATCH;
        arguments[0].pdispVal = browser_->Browser();
        VariantInit(&arguments[1]);
        arguments[1].vt = VT_VARIANT | VT_BYREF;
        arguments[1].pvarVal = &url;
        browser_->FireEvent(DISPID_DOCUMENTCOMPLETE, arguments);
        VariantClear(&url);
        return true;
    }
    if (verb == L"--dump") {
        const std::optional<std::string> description = AskToolbar(host_->BandWindow(), tb::kToolbarDescribe);
        if (!description) return Fail("the band shows no toolbar");
        Emit(FramePrefix(number_) + "\"dump\":" + *description + "}");
        return true;
    }
    if (!AskToolbar(host_->BandWindow(), tb::kToolbarDescribe)) return Fail("the band shows no toolbar");
    HWND toolbar = FindChild(host_->BandWindow(), TOOLBARCLASSNAMEW);
    if (verb == L"--key") return Keys(action);
    if (verb == L"--menu") return Menu(action.argument);
    if (verb == L"--type") {
        HWND edit = FindChild(host_->BandWindow(), L"Edit");
        if (!edit) return Fail("the toolbar has no search box");
        // A click in the box gives the band the focus the way a person's does.
        if (GetFocus() != edit) {
            SetFocus(edit);
            Settle(50);
        }
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
        for (wchar_t c : action.argument) PostMessageW(edit, WM_CHAR, c, 1);
        return true;
    }
    const std::optional<LocatedItem> item = LocateItem(host_->BandWindow(), action.argument);
    if (!item) return Fail("no item of that name");
    if (!toolbar) return Fail("the toolbar has no buttons");
    if (item->parent) {
        if (verb != L"--click") return Fail("the item is on a menu");
        // Through the parent's menu: open it, then choose the item as a person does.
        RECT box{};
        if (!FindButton(toolbar, *item->parent, box)) return Fail("the item's parent is not on the toolbar");
        std::thread chooser(&ChooseFromMenu, GetCurrentThreadId(), item->caption, nullptr);
        PostClick(toolbar, box.right - 4, (box.top + box.bottom) / 2);
        Settle(400);
        chooser.join();
        return true;
    }
    RECT box{};
    if (!FindButton(toolbar, item->caption, box)) return Fail("the item is not on the toolbar");
    const int x = (box.left + box.right) / 2, y = (box.top + box.bottom) / 2;
    if (verb == L"--hover") {
        PostMessageW(toolbar, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
        return true;
    }
    if (verb == L"--arrow") {
        std::vector<std::wstring> shown;
        std::thread closer(&ChooseFromMenu, GetCurrentThreadId(), std::wstring(L"\x1"), &shown);  // no such caption: Esc
        PostClick(toolbar, box.right - 4, y);
        Settle(400);
        closer.join();
        std::string line = FramePrefix(number_) + "\"menu\":" + Quote(action.argument) + ",\"items\":[";
        for (size_t i = 0; i < shown.size(); ++i) line += (i ? "," : "") + Quote(shown[i]);
        Emit(line + "]}");
        return !shown.empty() || Fail("no menu opened");
    }
    if (verb == L"--click") {
        PostClick(toolbar, x, y);
        return true;
    }
    return Fail("unknown action");
}

}  // namespace tb::driver
