#pragma once
// A toolbar window in the stand-in browser's band area, over a data folder of its own, with a
// message pump that can watch for the splash about box while it runs.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>

#include "base/com_win.hpp"
#include "base/locale.hpp"
#include "base/message_pump_win.hpp"
#include "base/text.hpp"
#include "host/stand_in_browser_win.hpp"
#include "settings/big_ini_file.hpp"
#include "settings/short_date.hpp"
#include "settings/toolbar_settings.hpp"
#include "tests/support/temp_folder.hpp"
#include "toolbar/toolbar_form_win.hpp"
#include "tools/commands.hpp"

namespace tb::testing_window {

inline constexpr wchar_t kSplashCaption[] = L"Splash of the test";

inline std::int32_t Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return DayNumberOf({now.wYear, now.wMonth, now.wDay}).value();
}

// The splash about box of this thread when it is shown, else null.
inline BOOL CALLBACK VisitSplash(HWND window, LPARAM context) {
    wchar_t title[128] = {};
    GetWindowTextW(window, title, 128);
    if (IsWindowVisible(window) && std::wstring(title) == kSplashCaption) {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}
inline HWND ShownSplash() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &VisitSplash, reinterpret_cast<LPARAM>(&found));
    return found;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::u16string data = AnsiToUtf16(folder_.string());
        ChangeSettings([&](ToolbarSettings& s) {
            s = ToolbarSettings{};
            s.DataFolder = data;
            s.ModuleFolder = data;
            s.TemplateBaseName = u"SampleBar";
            s.ToolbarName = u"Sample Bar";
            s.SettingsIniPath = data + u"\\Settings.ini";
            s.FullSize = true;
            s.FlashWidth = 105;
            s.FlashHeight = 22;
        });
        // The about box's options come from the template; the splash gets a caption of its own.
        WriteTemplateOptions();
    }

    void BuildSample() {
        std::ostringstream out, err;
        ASSERT_EQ(tool::BuildCommand(TB_SOURCE_DIR "/samples/sample-bar/sample-bar.json", folder_.string(),
                                     std::nullopt, out, err),
                  0)
            << err.str();
        WriteTemplateOptions();
    }

    // Sets the template's about options that the tests rely on, keeping the rest.
    void WriteTemplateOptions(bool about_show = true) {
        TrsBinData data;
        data.FileDir = fdCustom;
        data.Options = 0;
        data.FileName = (folder_ / "SampleBar.tb").string();
        TrsStorage store;
        store.SetOptions(soSaveOnClose);
        store.SetStorageData(&data);
        store.SetActive(true);
        store.Reload();
        store.WriteString("\\Options\\About Caption", Utf16ToUtf8(FromWideText(kSplashCaption)));
        store.WriteBool("\\Options\\About Show", about_show);
        store.Close();
    }
    static std::u16string FromWideText(const wchar_t* text) { return std::u16string(text, text + wcslen(text)); }

    std::string IniPath() const { return (folder_ / "Settings.ini").string(); }
    std::string StoredDate() const { return ReadIniString(IniPath(), "Settings", "Date"); }
    void StoreDate(const std::string& text) const { WriteIniString(IniPath(), "Settings", "Date", text); }
    static std::string DateText(std::int32_t day) { return FormatShortDate(day, SystemLocaleFormats()); }

    TFormToolbar::Pointer Make(bool visible, HWND parent = nullptr,
                               const std::function<void(TFormToolbar&)>& before = nullptr) {
        TFormToolbar::Pointer form = TFormToolbar::New();
        if (before) before(*form);
        TFormToolbar::CreateArgs args;
        args.parent = parent;
        args.width = 900;
        args.run_template_update = false;
        args.visible = visible;
        EXPECT_TRUE(form->Construct(args));
        return form;
    }

    // Processes this thread's messages for a while. `on_splash` runs (once) when the splash shows,
    // inside the splash's own message loop. Returns whether a WM_QUIT came through (it is removed).
    static inline std::function<void()> splash_hook_;
    static inline bool splash_hook_fired_ = false;
    static void CALLBACK WatchSplash(HWND, UINT, UINT_PTR, DWORD) {
        if (!splash_hook_fired_ && splash_hook_ && ShownSplash() != nullptr) {
            splash_hook_fired_ = true;
            splash_hook_();
        }
    }
    bool Pump(DWORD milliseconds, const std::function<void()>& on_splash = nullptr) {
        splash_hook_ = on_splash;
        splash_hook_fired_ = false;
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, &WatchSplash);
        bool quit = false;
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < milliseconds) {
            // A WM_QUIT is taken: the test asks whether one reached this, the thread's own loop.
            while (TakeWaitingMessages().quit) quit = true;
            Sleep(10);
        }
        KillTimer(nullptr, timer);
        splash_hook_ = nullptr;
        return quit;
    }

    ComScope com_;
    tb::testing_support::TempFolder temp_;
    const std::filesystem::path folder_{temp_.Folder()};
    RecordingAnswerer boxes_;
    ScopedDialogAnswerer answering_{&boxes_};
};

}  // namespace tb::testing_window
