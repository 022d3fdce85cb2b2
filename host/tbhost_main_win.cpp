// tbhost: the stand-in browser program. It loads a toolbar library the way the browser does, by its
// path, reports what it finds, and, when the library offers a class factory, hosts the band in the
// stand-in browser's window and reports what the band asked of the browser.
//
//   tbhost TOOLBAR.dll [--clsid {GUID}] [--url URL] [--run]
//
// --clsid names the band's class; without it the class ids registered as toolbars for this library
// are tried, then the default one. --url navigates the browser once the band is shown. --run keeps
// the window open until it is closed; otherwise the program exits after a short while.
//
//   tbhost --dll TOOLBAR.dll --dump
//
// prints the toolbar that the library builds from its own data folder as one line of JSON.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/com_win.hpp"
#include "host/band_host_win.hpp"
#include "host/stand_in_browser_win.hpp"
#include "host/toolbar_dump_win.hpp"
#include "settings/toolbar_settings.hpp"

namespace {

std::wstring FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return L"(none)";
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return L"(unreadable)";
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) return L"(none)";
    wchar_t text[64];
    swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
             HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return text;
}

std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* value) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return {};
    return text;
}

// The browser's list of toolbars names class ids; those whose server is this library come first.
std::vector<std::wstring> CandidateClassIds(const std::wstring& library) {
    std::vector<std::wstring> ids;
    HKEY toolbars = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar", 0, KEY_READ,
                      &toolbars) == ERROR_SUCCESS) {
        wchar_t name[128];
        for (DWORD i = 0;; ++i) {
            DWORD length = 128;
            if (RegEnumValueW(toolbars, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            const std::wstring server =
                RegistryText(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + name + L"\\InprocServer32", nullptr);
            if (!server.empty() && _wcsicmp(server.c_str(), library.c_str()) == 0) ids.push_back(name);
        }
        RegCloseKey(toolbars);
    }
    const std::string fallback = tb::kDefaultToolbarGuid;
    ids.emplace_back(fallback.begin(), fallback.end());
    return ids;
}

void Pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
}

void Report(const tb::host::StandInBrowser& browser, const tb::host::BandHost& host) {
    const auto& record = browser.Record();
    wchar_t type[128] = {};
    GetClassNameW(host.BandWindow(), type, 128);
    RECT box{};
    GetWindowRect(host.BandWindow(), &box);
    std::wprintf(L"band     window class %ls, %ld x %ld, min width %ld\n", type, box.right - box.left,
                 box.bottom - box.top, host.BandInfo().ptMinSize.x);
    std::wprintf(L"browser  %zu event sink(s), %zu navigation(s), %zu status text(s), %zu focus change(s)\n",
                 browser.SinkCount(), record.navigations.size(), record.status_texts.size(),
                 record.focus_changes.size());
    std::wprintf(L"address  %ls\n", browser.Address().c_str());
}

int HostBand(const std::wstring& path, std::vector<std::wstring> class_ids, const std::wstring& url, bool run) {
    if (FAILED(OleInitialize(nullptr))) {
        std::fwprintf(stderr, L"tbhost: COM cannot start\n");
        return 1;
    }
    int status = 1;
    {
        tb::host::StandInBrowser browser;
        tb::host::BandHost host(browser);
        for (const std::wstring& text : class_ids) {
            CLSID id;
            if (FAILED(CLSIDFromString(text.c_str(), &id))) continue;
            try {
                host.Load(path, id);
                std::wprintf(L"band     %ls hosted\n", text.c_str());
                break;
            } catch (const std::exception& e) {
                std::wprintf(L"band     %ls: %hs\n", text.c_str(), e.what());
            }
        }
        if (host.Hosting()) {
            ShowWindow(browser.Frame(), SW_SHOW);
            if (!url.empty()) {
                tb::Bstr target(url);
                VARIANT none;
                VariantInit(&none);
                browser.Browser()->Navigate(target.Get(), &none, &none, &none, &none);
            }
            if (run) {
                MSG message;
                while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
            } else {
                Pump(500);
            }
            Report(browser, host);
            host.Close();
            status = 0;
        }
    }
    OleUninitialize();
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: tbhost TOOLBAR.dll [--clsid {GUID}] [--url URL] [--run]\n       tbhost --dll TOOLBAR.dll --dump\n");
        return 2;
    }
    if (argc == 4 && std::wstring(argv[1]) == L"--dll" && std::wstring(argv[3]) == L"--dump") {
        return tb::host::DumpToolbar(argv[2]);  // tbhost --dll LIBRARY --dump
    }
    const std::wstring path = argv[1];
    std::vector<std::wstring> class_ids;
    std::wstring url;
    bool run = false;
    for (int i = 2; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--clsid" && i + 1 < argc) {
            class_ids.push_back(argv[++i]);
        } else if (option == L"--url" && i + 1 < argc) {
            url = argv[++i];
        } else if (option == L"--run") {
            run = true;
        } else {
            std::fwprintf(stderr, L"tbhost: unknown option %ls\n", option.c_str());
            return 2;
        }
    }

    HMODULE library = LoadLibraryW(path.c_str());
    if (!library) {
        std::fwprintf(stderr, L"tbhost: cannot load %ls (error %lu)\n", path.c_str(), GetLastError());
        return 1;
    }
    wchar_t loaded[MAX_PATH];
    GetModuleFileNameW(library, loaded, MAX_PATH);
    std::wprintf(L"loaded   %ls\nversion  %ls\n", loaded, FileVersion(loaded).c_str());
    bool has_factory = false;
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
        const bool present = GetProcAddress(library, name) != nullptr;
        if (std::string(name) == "DllGetClassObject") has_factory = present;
        std::wprintf(L"export   %hs: %ls\n", name, present ? L"present" : L"not yet built");
    }
    if (class_ids.empty()) class_ids = CandidateClassIds(loaded);
    int status = 0;
    if (has_factory) status = HostBand(loaded, class_ids, url, run);
    FreeLibrary(library);
    return status;
}
