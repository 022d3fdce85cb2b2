// The Flash check on 64-bit Windows: each build must find the control of its own architecture.
// A 32-bit library's "system32" is the 32-bit system folder (SysWOW64, through the file system
// redirection), a 64-bit library's the 64-bit one; a control of the other architecture could not
// be loaded by the browser that loaded the library, so it must not count.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/file.hpp"
#include "settings/navigation_win.hpp"
#include "win_support.hpp"

namespace tb {
namespace {

namespace fs = std::filesystem;

using testing_support::RunsOn64BitWindows;

TEST(FlashArchitecture, OnlyTheControlOfTheLibrarysOwnArchitectureCounts) {
    if (!RunsOn64BitWindows()) GTEST_SKIP() << "32-bit Windows has one system folder";
    testing_support::CrossProcessLock folder_lock{testing_support::kWindowsFolder};
    char windows_buffer[MAX_PATH] = {};
    GetWindowsDirectoryA(windows_buffer, MAX_PATH);
    const std::string windows = windows_buffer;
    // The folder of this process's own architecture, and the other architecture's, as this process
    // names them (Sysnative reaches the 64-bit folder from a 32-bit process).
    const bool is64 = sizeof(void*) == 8;
    const std::string own = windows + "\\system32\\Macromed";
    const std::string other = windows + (is64 ? "\\SysWOW64\\Macromed" : "\\Sysnative\\Macromed");
    auto clear = [&] {
        for (const std::string& folder : {own, other, windows + "\\System\\Macromed"}) fs::remove_all(folder);
    };
    clear();

    fs::create_directories(other + "\\Flash");
    WriteWholeFile(other + "\\Flash\\Flash64.ocx", "");
    EXPECT_FALSE(IsFlashInstalled()) << "the other architecture's control";

    fs::create_directories(own + "\\Flash");
    WriteWholeFile(own + "\\Flash\\Flash32.ocx", "");
    EXPECT_TRUE(IsFlashInstalled()) << "this architecture's control";
    clear();
}

}  // namespace
}  // namespace tb
