#pragma once
// Windows test support: message pumping with a deadline, a closer for the system's "Error" boxes,
// and ending the browser processes a test caused to start.
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/message_pump_win.hpp"

namespace tb::testing_support {

// True where this program runs on 64-bit Windows (natively or as a 32-bit program under WOW64):
// there the registry and the system folder have a view for each architecture.
inline bool RunsOn64BitWindows() {
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

// A lock across the test processes that ctest runs side by side in one Wine prefix, for tests that
// share something of the prefix: its top-level "IEFrame" windows, its Windows folder.
class CrossProcessLock {
public:
    explicit CrossProcessLock(const char* name) : mutex_(CreateMutexA(nullptr, FALSE, name)) {
        WaitForSingleObject(mutex_, 120000);
    }
    CrossProcessLock(const CrossProcessLock&) = delete;
    CrossProcessLock& operator=(const CrossProcessLock&) = delete;
    ~CrossProcessLock() {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }

private:
    HANDLE mutex_;
};

inline constexpr char kFrameWindows[] = "tb-tests-frame-windows";
inline constexpr char kWindowsFolder[] = "tb-tests-windows-folder";

// Processes this thread's window messages until `done` holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 10000) {
    const DWORD start = GetTickCount();
    for (;;) {
        PumpWaitingMessages();
        if (done()) return true;
        if (GetTickCount() - start > timeout_ms) return false;
        Sleep(10);
    }
}

// Watches this process for message boxes titled "Error", records their text and presses OK, so a
// test can call code that shows one without blocking.
class ErrorBoxCloser {
public:
    ErrorBoxCloser() : thread_([this] { Watch(); }) {}
    ErrorBoxCloser(const ErrorBoxCloser&) = delete;
    ErrorBoxCloser& operator=(const ErrorBoxCloser&) = delete;
    ~ErrorBoxCloser() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> Texts() {
        std::lock_guard lock(mutex_);
        return texts_;
    }

private:
    static BOOL CALLBACK Visit(HWND window, LPARAM context) {
        auto* self = reinterpret_cast<ErrorBoxCloser*>(context);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char title[64] = {};
        char type[64] = {};
        GetWindowTextA(window, title, sizeof title);
        GetClassNameA(window, type, sizeof type);
        if (process != GetCurrentProcessId() || std::string(title) != "Error" || std::string(type) != "#32770" ||
            self->seen_.count(window)) {
            return TRUE;
        }
        self->seen_.insert(window);
        char text[1024] = {};
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        {
            std::lock_guard lock(self->mutex_);
            self->texts_.push_back(text);
        }
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    void Watch() {
        while (!stop_) {
            EnumWindows(&Visit, reinterpret_cast<LPARAM>(this));
            Sleep(20);
        }
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> texts_;
    std::set<HWND> seen_;
    std::thread thread_;
};

// The ids of the running processes whose executable has the given name.
inline std::set<DWORD> ProcessesNamed(const wchar_t* name) {
    std::set<DWORD> ids;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0) ids.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

// Ends, by id, every browser process that was not running when this object was made: the browser's
// automation server stays running after its last reference goes.
class BrowserProcessGuard {
public:
    BrowserProcessGuard() : before_(ProcessesNamed(L"iexplore.exe")) {}
    BrowserProcessGuard(const BrowserProcessGuard&) = delete;
    BrowserProcessGuard& operator=(const BrowserProcessGuard&) = delete;
    ~BrowserProcessGuard() { EndNewOnes(); }

    void EndNewOnes() {
        for (const DWORD id : ProcessesNamed(L"iexplore.exe")) {
            if (before_.count(id)) continue;
            if (const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
                TerminateProcess(process, 0);
                WaitForSingleObject(process, 5000);
                CloseHandle(process);
            }
        }
    }

private:
    std::set<DWORD> before_;
};

}  // namespace tb::testing_support
