// tbhost --dpi N: the frames at another screen scale. Wine keeps one scale for every screen and
// takes it from the prefix's "LogPixels" (HKCU\Control Panel\Desktop) when a process starts, so the
// driver writes that value, runs itself again, and puts the value back afterwards. The process is
// aware of the scale, as the browser is: per monitor where the system offers it, else system-wide.
#include "host/driver/driver_win.hpp"

#include <cstdio>
#include <cstdlib>

namespace tb::driver {
namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kLogPixels[] = L"LogPixels";
// Set in the environment of the run that already has the scale, so that it does not run again.
constexpr wchar_t kRerunVariable[] = L"TB_HOST_DPI_RERUN";

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi;
}

// The value as it was, to be put back: absent, or a number.
struct StoredScale {
    bool present = false;
    DWORD value = 0;
};

StoredScale ReadStoredScale() {
    StoredScale stored;
    DWORD size = sizeof stored.value;
    stored.present = RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_REG_DWORD, nullptr,
                                  &stored.value, &size) == ERROR_SUCCESS;
    return stored;
}

bool WriteStoredScale(const StoredScale& scale) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status =
        scale.present ? RegSetValueExW(key, kLogPixels, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&scale.value),
                                       sizeof scale.value)
                      : RegDeleteValueW(key, kLogPixels);
    RegCloseKey(key);
    return status == ERROR_SUCCESS || (!scale.present && status == ERROR_FILE_NOT_FOUND);
}

}  // namespace

void BecomeDpiAware() {
    HMODULE user = GetModuleHandleW(L"user32.dll");
    using SetContext = BOOL(WINAPI*)(HANDLE);
    if (auto set_context = reinterpret_cast<SetContext>(
            reinterpret_cast<void*>(GetProcAddress(user, "SetProcessDpiAwarenessContext")))) {
        // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, else the first version.
        if (set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))) ||
            set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)))) {
            return;
        }
    }
    SetProcessDPIAware();
}

std::optional<int> RunAtDpi(int dpi) {
    if (SystemDpi() == dpi) return std::nullopt;  // already there: this run goes on
    if (GetEnvironmentVariableW(kRerunVariable, nullptr, 0) != 0) {
        Emit("{\"error\":\"the system kept its scale of " + std::to_string(SystemDpi()) + " DPI\",\"asked\":" +
             std::to_string(dpi) + "}");
        return 1;
    }
    const StoredScale before = ReadStoredScale();
    if (!WriteStoredScale({true, static_cast<DWORD>(dpi)})) {
        Emit("{\"error\":\"cannot write the screen scale to the registry\"}");
        return 1;
    }
    SetEnvironmentVariableW(kRerunVariable, L"1");
    std::wstring command_line = GetCommandLineW();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD code = 1;
    std::fflush(stdout);
    if (CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        Emit("{\"error\":\"cannot run the driver again at the new scale\"}");
    }
    SetEnvironmentVariableW(kRerunVariable, nullptr);
    // The prefix's other programs keep the scale they had.
    if (!WriteStoredScale(before)) {
        Emit("{\"error\":\"cannot put the screen scale back\"}");
        return 1;
    }
    return static_cast<int>(code);
}

std::string DpiFacts(HWND window) {
    using ForWindow = UINT(WINAPI*)(HWND);
    const auto for_window = reinterpret_cast<ForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const int window_dpi = for_window ? static_cast<int>(for_window(window)) : SystemDpi();
    return "{\"system\":" + std::to_string(SystemDpi()) + ",\"window\":" + std::to_string(window_dpi) + "}";
}

}  // namespace tb::driver
