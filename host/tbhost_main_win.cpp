// tbhost: the stand-in browser program. It loads a toolbar library the way the browser does, by its
// path, and reports what it finds, so the library can be checked without Internet Explorer.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: tbhost TOOLBAR.dll\n");
        return 2;
    }
    const std::wstring path = argv[1];
    HMODULE library = LoadLibraryW(path.c_str());
    if (!library) {
        std::fwprintf(stderr, L"tbhost: cannot load %ls (error %lu)\n", path.c_str(), GetLastError());
        return 1;
    }
    wchar_t loaded[MAX_PATH];
    GetModuleFileNameW(library, loaded, MAX_PATH);
    std::wprintf(L"loaded   %ls\nversion  %ls\n", loaded, FileVersion(loaded).c_str());
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
        std::wprintf(L"export   %hs: %ls\n", name, GetProcAddress(library, name) ? L"present" : L"not yet built");
    }
    FreeLibrary(library);
    return 0;
}
