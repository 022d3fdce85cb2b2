// A picture of the about box as a user sees it, with the sample toolbar's options: run by the
// about_box_screenshot test under Xvfb with Wine's X11 driver (TB_SCREENSHOT_DIR names the folder
// for the picture); skipped in every other run. Once the box shows, it says so (about-box.shown)
// and waits while the screen is taken from outside (about-box-screen.png), then closes.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "about/about_box_win.hpp"
#include "base/file.hpp"
#include "settings/startup.hpp"
#include "window_fixture.hpp"

namespace tb::testing_window {
namespace {

BOOL CALLBACK VisitBox(HWND window, LPARAM context) {
    wchar_t type[64] = {};
    GetClassNameW(window, type, 64);
    if (IsWindowVisible(window) && std::wstring(type) == L"TbToolkitForm") {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}

struct Shot {
    std::string folder;
    std::wstring title;
    bool done = false;
    DWORD shown_at = 0;
};
Shot* g_shot = nullptr;

void CALLBACK TakeShot(HWND, UINT, UINT_PTR, DWORD) {
    if (g_shot == nullptr || g_shot->done) return;
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &VisitBox, reinterpret_cast<LPARAM>(&box));
    if (box == nullptr) return;
    if (g_shot->shown_at == 0) {
        wchar_t title[128] = {};
        GetWindowTextW(box, title, 128);
        g_shot->title = title;
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
        WriteWholeFile(g_shot->folder + "/about-box.shown", "");
        g_shot->shown_at = GetTickCount();
        return;
    }
    // The screen is taken from outside; then the box closes as a user closes it.
    if (FileExists(g_shot->folder + "/about-box.taken") || GetTickCount() - g_shot->shown_at > 30000) {
        g_shot->done = true;
        PostMessageW(box, WM_CLOSE, 0, 0);
    }
}

TEST_F(WindowTest, AboutBoxScreenshotWithTheSamplesOptions) {
    const char* folder = std::getenv("TB_SCREENSHOT_DIR");
    if (folder == nullptr) GTEST_SKIP() << "only the about_box_screenshot test runs this, under Xvfb";
    std::ostringstream out, err;
    ASSERT_EQ(tool::BuildCommand(TB_SOURCE_DIR "/samples/sample-bar/sample-bar.json", folder_.string(),
                                 std::nullopt, out, err),
              0)
        << err.str();
    // The sample's start-up options, its logo as the about logo, and a copyright text file.
    ToolbarSettings settings = CurrentSettings();
    ReadTemplateStartupOptions((folder_ / "SampleBar.tb").string(), settings);
    const std::filesystem::path logo = folder_ / "about-logo.png";
    std::filesystem::copy_file(TB_SOURCE_DIR "/samples/sample-bar/logo.png", logo);
    ChangeSettings([&](ToolbarSettings& s) { s = settings; });
    WriteWholeFile((folder_ / "Copyrights.txt").string(),
                   "\xEF\xBB\xBF" "Sample Bar \xE2\x80\x94 licences\r\nIcons: Tango Desktop Project (public domain).\r\n");
    TFormToolbar::Pointer toolbar = Make(false);  // the build fills the about box's options
    // The sample's template names no about logo; the sample's logo stands in for one.
    ChangeSettings([&](ToolbarSettings& s) { s.AboutImagePath = AnsiToUtf16(logo.string()); });

    Shot shot;
    shot.folder = folder;
    g_shot = &shot;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, &TakeShot);
    ShowAboutBox(false);
    KillTimer(nullptr, timer);
    g_shot = nullptr;
    EXPECT_TRUE(shot.done);
    EXPECT_EQ(shot.title, L"About Sample Bar");
    EXPECT_TRUE(boxes_.boxes.empty());
}

}  // namespace
}  // namespace tb::testing_window
