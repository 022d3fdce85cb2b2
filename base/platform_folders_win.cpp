#include <windows.h>
#include <shlobj.h>

#include "base/platform_folders.hpp"

namespace tb {

std::string HostExecutablePath() {
    // Module 0 is the process's executable, not the library this code lives in.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string WindowsFolder() {
    char buffer[MAX_PATH + 1];
    const UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return {};
    return std::string(buffer, n);
}

std::string UserAppDataFolder() {
    char buffer[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    return buffer;
}

char PathSeparator() { return '\\'; }

}  // namespace tb
