#pragma once
// Shared by the band's tests: COM on the test thread with a stand-in browser, and scratch folders
// and registry keys that are removed afterwards.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "host/stand_in_browser_win.hpp"
#include "tests/helpers/win_support.hpp"

namespace tb::testing_support {

// The library's exports, as the browser's COM calls them.
using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(WINAPI*)();

template <class T>
T Export(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A single-threaded apartment on the test thread, and a stand-in browser in it.
class BrowserTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override {
        browser_.reset();
        OleUninitialize();
    }
    host::StandInBrowser& Browser() { return *browser_; }

    // The stand-in's frame is an "IEFrame" window, which other suites look for.
    CrossProcessLock frames_{kFrameWindows};
    std::unique_ptr<host::StandInBrowser> browser_ = std::make_unique<host::StandInBrowser>();
};

// Presses OK on the "Error" boxes of this process and records their texts. (The suites' enumerating
// closer was seen to leave the box open while a stand-in browser lives in the process; looking the
// box up by class and title does not touch the browser's windows.)
class ErrorBoxes {
public:
    ErrorBoxes() = default;
    ErrorBoxes(const ErrorBoxes&) = delete;
    ErrorBoxes& operator=(const ErrorBoxes&) = delete;
    ~ErrorBoxes() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> Texts() {
        std::lock_guard lock(mutex_);
        return texts_;
    }

private:
    void Watch() {
        while (!stop_) {
            const HWND box = FindWindowA("#32770", "Error");
            DWORD process = 0;
            if (box) GetWindowThreadProcessId(box, &process);
            if (box && process == GetCurrentProcessId()) {
                char text[1024] = {};
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                {
                    std::lock_guard lock(mutex_);
                    texts_.push_back(text);
                }
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                // Until the box is gone it must not be counted twice.
                while (!stop_ && IsWindow(box)) Sleep(10);
            }
            Sleep(20);
        }
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> texts_;
    std::thread thread_{[this] { Watch(); }};
};

// A VARIANT argument as a browser passes it.
inline VARIANTARG Arg(VARTYPE type) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = type;
    return v;
}

inline std::string Narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text) result += static_cast<char>(c < 128 ? c : '?');
    return result;
}

inline std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace tb::testing_support
