// tbhost's keyboard and menus: keys typed where the focus is, as a person types them, and menus
// opened as a person opens them and chosen from by keyboard.
//
// A key may open a menu, whose modal loop holds the frame's thread until the menu closes. So the
// keys that follow one another on the command line are typed by one helper thread, which also
// reads the menus, while the frame's thread runs the toolbar; the toolbar itself is only asked on
// its own thread (its query message refuses other threads), when the feeder asks for a report.
#include "host/driver/driver_win.hpp"

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <thread>

#include "base/text.hpp"
#include "base/wide_win.hpp"

#include "toolbar/toolbar_query_win.hpp"

namespace tb::driver {
namespace {

constexpr UINT kMenuGetHmenu = 0x01E1;  // MN_GETHMENU
constexpr DWORD kKeyPause = 250;        // what a key may take before the next one comes

// ---- menus as the frame's thread shows them

struct MenuEntry {
    std::wstring caption;
    bool separator = false, disabled = false, checked = false, icon = false, submenu = false, highlighted = false;
};

// The caption as read: without "&" marks and without a shortcut after a tab.
std::wstring PlainCaption(std::wstring text) {
    if (const size_t tab = text.find(L'\t'); tab != std::wstring::npos) text.resize(tab);
    std::wstring plain;
    for (wchar_t c : text) {
        if (c != L'&') plain += c;
    }
    return plain;
}

std::vector<MenuEntry> EntriesOf(HMENU menu) {
    std::vector<MenuEntry> entries;
    for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
        wchar_t text[512] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_STATE | MIIM_SUBMENU | MIIM_BITMAP;
        info.dwTypeData = text;
        info.cch = 511;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        MenuEntry entry;
        entry.separator = (info.fType & MFT_SEPARATOR) != 0;
        entry.caption = PlainCaption(text);
        entry.disabled = (info.fState & MFS_DISABLED) != 0;
        entry.checked = (info.fState & MFS_CHECKED) != 0;
        entry.icon = info.hbmpItem != nullptr;
        entry.submenu = info.hSubMenu != nullptr;
        entry.highlighted = (info.fState & MFS_HILITE) != 0;
        entries.push_back(entry);
    }
    return entries;
}

// Separators as "-", entries as objects with their caption and the marks they show.
std::string EntriesJson(const std::vector<MenuEntry>& entries) {
    std::string json = "[";
    for (const MenuEntry& entry : entries) {
        if (json.size() > 1) json += ",";
        if (entry.separator) {
            json += "\"-\"";
            continue;
        }
        json += "{\"caption\":";
        json += Quote(entry.caption);
        if (entry.icon) json += ",\"icon\":true";
        if (entry.checked) json += ",\"checked\":true";
        if (entry.disabled) json += ",\"disabled\":true";
        if (entry.submenu) json += ",\"submenu\":true";
        json += "}";
    }
    return json + "]";
}

struct OpenMenu {
    HWND window;
    HMENU menu;
};

BOOL CALLBACK CollectMenu(HWND window, LPARAM data) {
    wchar_t type[16] = {};
    GetClassNameW(window, type, 16);
    if (wcscmp(type, L"#32768") == 0 && IsWindowVisible(window)) {
        auto* menus = reinterpret_cast<std::vector<OpenMenu>*>(data);
        menus->push_back({window, reinterpret_cast<HMENU>(SendMessageW(window, kMenuGetHmenu, 0, 0))});
    }
    return TRUE;
}

bool OpensSubmenu(HMENU menu, HMENU sub) {
    for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
        if (GetSubMenu(menu, i) == sub) return true;
    }
    return false;
}

// The menus a thread shows, from the first opened to the last (each opened from the one before).
std::vector<OpenMenu> OpenMenus(DWORD thread) {
    std::vector<OpenMenu> shown;
    EnumThreadWindows(thread, &CollectMenu, reinterpret_cast<LPARAM>(&shown));
    std::vector<OpenMenu> chain;
    for (const OpenMenu& candidate : shown) {
        bool opened_from_another = false;
        for (const OpenMenu& other : shown) opened_from_another |= OpensSubmenu(other.menu, candidate.menu);
        if (!opened_from_another) {
            chain.push_back(candidate);
            break;
        }
    }
    while (!chain.empty() && chain.size() < shown.size()) {
        bool found = false;
        for (const OpenMenu& other : shown) {
            if (OpensSubmenu(chain.back().menu, other.menu)) {
                chain.push_back(other);
                found = true;
                break;
            }
        }
        if (!found) break;
    }
    return chain;
}

std::vector<OpenMenu> WaitForMenus(DWORD thread, size_t count, DWORD milliseconds) {
    for (DWORD waited = 0;; waited += 20) {
        std::vector<OpenMenu> menus = OpenMenus(thread);
        if (menus.size() >= count || waited >= milliseconds) return menus;
        Sleep(20);
    }
}

void PostKey(HWND window, UINT key, bool alt = false) {
    const LPARAM context = alt ? (1 << 29) : 0;
    PostMessageW(window, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1 | context);
    PostMessageW(window, alt ? WM_SYSKEYUP : WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u | context));
}

// Esc until the thread shows no menu.
void CloseMenus(DWORD thread) {
    for (int tries = 0; tries < 20; ++tries) {
        const std::vector<OpenMenu> menus = OpenMenus(thread);
        if (menus.empty()) return;
        PostKey(menus.back().window, VK_ESCAPE);
        Sleep(60);
    }
}

// Moves the menu's highlight down to the entry at `index`, as the Down key does; false when it
// never gets there.
bool Highlight(const OpenMenu& menu, int index) {
    for (int tries = 0; tries < 64; ++tries) {
        const std::vector<MenuEntry> entries = EntriesOf(menu.menu);
        if (index < static_cast<int>(entries.size()) && entries[static_cast<size_t>(index)].highlighted) return true;
        PostKey(menu.window, VK_DOWN);
        Sleep(40);
    }
    return false;
}

// ---- keys

struct KeyName {
    const wchar_t* name;
    UINT key;
    bool alt = false;
    bool shift = false;
};

const KeyName kKeys[] = {
    {L"tab", VK_TAB},         {L"shift+tab", VK_TAB, false, true}, {L"left", VK_LEFT},   {L"right", VK_RIGHT},
    {L"up", VK_UP},           {L"down", VK_DOWN},                  {L"home", VK_HOME},   {L"end", VK_END},
    {L"enter", VK_RETURN},    {L"space", VK_SPACE},                {L"esc", VK_ESCAPE},  {L"f4", VK_F4},
    {L"alt+down", VK_DOWN, true}, {L"shift+f10", VK_F10, false, true},
};

const KeyName* FindKey(const std::wstring& name) {
    for (const KeyName& key : kKeys) {
        if (name == key.name) return &key;
    }
    return nullptr;
}

// The Shift key as the frame's thread reads it (its input is attached to the caller's).
void SetShift(bool down) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_SHIFT] = down ? 0x80 : 0;
    state[VK_LSHIFT] = down ? 0x80 : 0;
    SetKeyboardState(state);
}

HWND FocusOf(DWORD thread, HWND fallback) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr) return info.hwndFocus;
    return fallback;
}

// The overflow's toolbar window: one button, "»".
BOOL CALLBACK MatchOverflow(HWND child, LPARAM data) {
    wchar_t type[64] = {};
    GetClassNameW(child, type, 64);
    if (_wcsicmp(type, TOOLBARCLASSNAMEW) != 0 || SendMessageW(child, TB_BUTTONCOUNT, 0, 0) != 1) return TRUE;
    wchar_t text[8] = {};
    TBBUTTON button{};
    SendMessageW(child, TB_GETBUTTON, 0, reinterpret_cast<LPARAM>(&button));
    SendMessageW(child, TB_GETBUTTONTEXTW, static_cast<WPARAM>(button.idCommand), reinterpret_cast<LPARAM>(text));
    if (wcscmp(text, L"\x00BB") != 0) return TRUE;
    *reinterpret_cast<HWND*>(data) = child;
    return FALSE;
}

HWND FindOverflow(HWND band_window) {
    HWND found = nullptr;
    EnumChildWindows(band_window, &MatchOverflow, reinterpret_cast<LPARAM>(&found));
    return found;
}


void PostMouse(HWND window, UINT down, UINT up, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageW(window, WM_MOUSEMOVE, 0, at);
    PostMessageW(window, down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, at);
    PostMessageW(window, up, 0, at);
}

}  // namespace

void Frame::ReportFocus(const std::wstring& key) {
    std::string line = FramePrefix(number_) + "\"key\":" + Quote(key);
    const std::optional<std::string> focus = AskToolbar(host_->BandWindow(), tb::kToolbarDescribeFocus);
    if (focus && focus->size() > 2) {
        line += ',';
        line.append(*focus, 1, focus->size() - 2);  // the toolbar's object, merged
    } else {
        HWND window = GetFocus();
        if (window == nullptr || window == browser_->Frame()) {
            line += ",\"focus\":\"page\"";
        } else {
            wchar_t type[64] = {};
            GetClassNameW(window, type, 64);
            line += ",\"focus\":";
            line += Quote(std::wstring(type));
        }
    }
    Emit(line + "}");
}

bool Frame::Keys(const Action& first) {
    if (keys_taken_ > 0) {  // typed already, with the key that came before it
        --keys_taken_;
        return true;
    }
    // This key and the keys that follow it on the command line.
    std::vector<std::wstring> names = {first.argument};
    const Action* all = options_.actions.data();
    const Action* end = all + options_.actions.size();
    if (&first >= all && &first < end) {
        for (const Action* next = &first + 1; next != end && next->verb == L"--key"; ++next) names.push_back(next->argument);
    }
    std::vector<const KeyName*> keys;
    for (const std::wstring& name : names) {
        const KeyName* key = FindKey(name);
        if (key == nullptr) return Fail("unknown key " + tb::Utf16ToUtf8(tb::FromWide(name)));
        keys.push_back(key);
    }
    keys_taken_ = static_cast<int>(keys.size()) - 1;

    const DWORD thread = GetCurrentThreadId();
    HWND frame = browser_->Frame();
    std::atomic<bool> done{false};
    std::atomic<int> request{-1};  // the key whose report the frame's thread is to write
    std::thread feeder([&] {
        MSG ignored;
        PeekMessageW(&ignored, nullptr, 0, 0, PM_NOREMOVE);  // a queue of its own, to attach
        const bool attached = AttachThreadInput(GetCurrentThreadId(), thread, TRUE) != FALSE;
        for (size_t i = 0; i < keys.size(); ++i) {
            const KeyName& key = *keys[i];
            std::vector<OpenMenu> menus = OpenMenus(thread);
            HWND target = menus.empty() ? FocusOf(thread, frame) : menus.back().window;
            if (key.shift && attached) SetShift(true);
            PostKey(target, key.key, key.alt);
            Sleep(kKeyPause);
            if (key.shift && attached) SetShift(false);
            menus = OpenMenus(thread);
            if (!menus.empty()) {
                // The frame's thread is in the menu's loop: the menu is the report.
                const std::vector<MenuEntry> entries = EntriesOf(menus.back().menu);
                std::string line = FramePrefix(number_) + "\"key\":" + Quote(names[i]) +
                                   ",\"focus\":\"menu\",\"depth\":" + std::to_string(menus.size()) + ",\"highlighted\":";
                std::string highlighted = "null";
                for (const MenuEntry& entry : entries) {
                    if (entry.highlighted && !entry.separator) highlighted = Quote(entry.caption);
                }
                Emit(line + highlighted + ",\"entries\":" + EntriesJson(entries) + "}");
                continue;
            }
            request = static_cast<int>(i);
            for (int waited = 0; request >= 0 && waited < 3000; waited += 10) Sleep(10);
            request = -1;
        }
        // A menu left open closes: nothing after the keys could run while it shows.
        if (!OpenMenus(thread).empty()) {
            Emit(FramePrefix(number_) + "\"menu_closed\":\"by the driver, after the keys\"}");
            CloseMenus(thread);
        }
        if (attached) AttachThreadInput(GetCurrentThreadId(), thread, FALSE);
        done = true;
    });
    while (!done) {
        Settle(30);
        const int asked = request;
        if (asked >= 0) {
            ReportFocus(names[static_cast<size_t>(asked)]);
            request = -1;
        }
    }
    feeder.join();
    return true;
}

bool Frame::Menu(const std::wstring& path) {
    std::vector<std::wstring> parts;
    for (size_t start = 0;;) {
        const size_t slash = path.find(L'/', start);
        parts.push_back(path.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start));
        if (slash == std::wstring::npos) break;
        start = slash + 1;
    }
    HWND band = host_->BandWindow();
    HWND toolbar = FindChild(band, TOOLBARCLASSNAMEW);
    if (!toolbar) return Fail("the toolbar has no buttons");
    // Open the menu as a person does.
    if (parts[0] == L"\x00BB") {
        HWND overflow = FindOverflow(band);
        if (!overflow || !IsWindowVisible(overflow)) return Fail("every item fits: there is no \xC2\xBB");
        RECT box{};
        SendMessageW(overflow, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&box));
        PostMouse(overflow, WM_LBUTTONDOWN, WM_LBUTTONUP, (box.left + box.right) / 2, (box.top + box.bottom) / 2);
    } else if (parts[0] == L"context") {
        PostMouse(toolbar, WM_RBUTTONDOWN, WM_RBUTTONUP, 1, 1);
    } else {
        RECT box{};
        bool split = false;
        if (!FindButtonPart(toolbar, parts[0], box, split)) return Fail("no button of that caption");
        const int x = split ? box.right - 4 : (box.left + box.right) / 2;
        PostMouse(toolbar, WM_LBUTTONDOWN, WM_LBUTTONUP, x, (box.top + box.bottom) / 2);
    }

    const DWORD thread = GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::string failure;
    std::string levels;
    bool chosen = false;
    std::thread walker([&] {
        for (size_t depth = 1; depth <= std::max<size_t>(parts.size() - 1, 1) && failure.empty(); ++depth) {
            const std::vector<OpenMenu> menus = WaitForMenus(thread, depth, 3000);
            if (menus.size() < depth) {
                failure = depth == 1 ? "no menu opened" : "no sub-menu opened";
                break;
            }
            const OpenMenu& menu = menus[depth - 1];
            const std::vector<MenuEntry> entries = EntriesOf(menu.menu);
            if (!levels.empty()) levels += ',';
            levels += EntriesJson(entries);
            if (depth >= parts.size()) {  // only opened: its entries are the report, and its picture
                if (!menu_shot_.empty()) {
                    Sleep(300);  // let the menu paint
                    std::vector<HWND> windows;
                    for (const OpenMenu& open : menus) windows.push_back(open.window);
                    if (!SaveWithMenus(Window(), windows, menu_shot_)) failure = "cannot write the menu's picture";
                    menu_shot_.clear();
                }
                break;
            }
            int index = -1;
            for (size_t i = 0; i < entries.size() && index < 0; ++i) {
                if (!entries[i].separator && entries[i].caption == parts[depth]) index = static_cast<int>(i);
            }
            if (index < 0) {
                failure = "the menu has no entry " + tb::Utf16ToUtf8(tb::FromWide(parts[depth]));
            } else if (entries[static_cast<size_t>(index)].disabled) {
                failure = "the entry " + tb::Utf16ToUtf8(tb::FromWide(parts[depth])) + " is disabled";
            } else if (!Highlight(menu, index)) {
                failure = "the entry cannot be reached by keyboard";
            } else if (depth + 1 < parts.size()) {
                if (!entries[static_cast<size_t>(index)].submenu) failure = "the entry opens no sub-menu";
                else PostKey(menu.window, VK_RIGHT);
            } else if (entries[static_cast<size_t>(index)].submenu) {
                failure = "the entry opens a sub-menu";
            } else {
                PostKey(menu.window, VK_RETURN);
                chosen = true;
            }
        }
        if (!chosen) CloseMenus(thread);
        done = true;
    });
    while (!done) Settle(30);
    walker.join();
    Emit(FramePrefix(number_) + "\"menu\":" + Quote(path) + ",\"levels\":[" + levels + "],\"chose\":" +
         (chosen ? "true" : "false") + "}");
    return failure.empty() || Fail(failure);
}

// A button of the toolbar by caption (driver_win.hpp): its box, and whether its arrow is a part of its own.
bool FindButtonPart(HWND toolbar, const std::wstring& caption, RECT& box, bool& split) {
    const int count = static_cast<int>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button{};
        SendMessageW(toolbar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button));
        if (button.fsStyle & BTNS_SEP) continue;
        wchar_t text[512] = {};
        SendMessageW(toolbar, TB_GETBUTTONTEXTW, static_cast<WPARAM>(button.idCommand), reinterpret_cast<LPARAM>(text));
        if (caption != text) continue;
        split = (button.fsStyle & BTNS_DROPDOWN) != 0;
        return SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&box)) != 0;
    }
    return false;
}

}  // namespace tb::driver
