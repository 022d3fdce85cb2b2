#pragma once
// Shared by the band's tests: COM on the test thread with a stand-in browser, and scratch folders
// and registry keys that are removed afterwards.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/stand_in_browser_win.hpp"
#include "tests/helpers/win_support.hpp"

namespace tb::testing_support {

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
