// tbhost's dialog watcher: every box or dialog of the process is read, reported as a line and
// closed, so that no run waits on a person; the next one is pictured when a --dialog-shot asked.
#include "host/driver/driver_win.hpp"

#include <set>

namespace tb::driver {

std::mutex dialog_lock;
std::wstring dialog_shot;
std::atomic<bool> watching{true};

std::wstring WindowText(HWND window) {
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return text;
}

namespace {

BOOL CALLBACK CollectText(HWND child, LPARAM texts) {
    if (!IsWindowVisible(child)) return TRUE;
    wchar_t type[64] = {};
    GetClassNameW(child, type, 64);
    const std::wstring text = WindowText(child);
    if (!text.empty() && _wcsicmp(type, L"Button") != 0) reinterpret_cast<std::vector<std::wstring>*>(texts)->push_back(text);
    return TRUE;
}

BOOL CALLBACK FindDialogs(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    wchar_t type[64] = {};
    GetClassNameW(window, type, 64);
    if (wcscmp(type, L"#32770") == 0 || wcscmp(type, kFormClass) == 0) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

}  // namespace

void WatchDialogs() {
    // The pictures of dialogs are written with WIC, a COM library.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::set<HWND> reported;
    while (watching) {
        std::vector<HWND> dialogs;
        EnumWindows(&FindDialogs, reinterpret_cast<LPARAM>(&dialogs));
        for (HWND dialog : dialogs) {
            if (reported.count(dialog)) continue;
            Sleep(300);  // let it finish painting
            if (!IsWindow(dialog)) continue;
            reported.insert(dialog);
            std::vector<std::wstring> texts;
            EnumChildWindows(dialog, &CollectText, reinterpret_cast<LPARAM>(&texts));
            // The window's own size, frame included: what the box's design and the template set.
            RECT box{};
            GetWindowRect(dialog, &box);
            std::string line = "{\"dialog\":{\"title\":" + Quote(WindowText(dialog)) +
                               ",\"width\":" + std::to_string(box.right - box.left) +
                               ",\"height\":" + std::to_string(box.bottom - box.top) + ",\"texts\":[";
            for (size_t i = 0; i < texts.size(); ++i) {
                if (i) line += ",";
                line += Quote(texts[i]);
            }
            Emit(line + "]}}");
            {
                std::lock_guard<std::mutex> guard(dialog_lock);
                if (!dialog_shot.empty()) {
                    if (!SavePng(dialog, dialog_shot)) Emit("{\"error\":\"cannot write the dialog's picture\"}");
                    dialog_shot.clear();
                }
            }
            wchar_t type[64] = {};
            GetClassNameW(dialog, type, 64);
            if (wcscmp(type, L"#32770") == 0) {
                PostMessageW(dialog, WM_COMMAND, GetDlgItem(dialog, IDOK) ? IDOK : IDCANCEL, 0);
            } else {
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            }
        }
        // Forget windows that are gone: a handle may come back for a new dialog.
        for (auto it = reported.begin(); it != reported.end();) it = IsWindow(*it) ? std::next(it) : reported.erase(it);
        Sleep(30);
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace tb::driver
