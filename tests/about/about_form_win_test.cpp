// The about box under Wine, read back through its real controls: texts, fonts, colours, size, the
// copyright text file and the logo; then ShowAboutBox as a user meets it: the modal dialog closed by
// its button or by the home page label, the splash that ends by itself, a quitting thread, and an
// invalid colour reported in the error box.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "about/about_box_win.hpp"
#include "about/about_form_win.hpp"
#include "base/errors.hpp"
#include "base/file.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "tests/support/temp_folder.hpp"
#include "toolkit/dialogs_win.hpp"

namespace tb {
namespace {

namespace fs = std::filesystem;

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// The colour a window paints its background with (WM_ERASEBKGND into a memory DC).
COLORREF BackgroundOf(HWND window) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 8, 8);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const COLORREF color = GetPixel(dc, 2, 2);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return color;
}

// The background colour a control gets from the window it sits on (WM_CTLCOLORSTATIC).
COLORREF ControlColorOf(HWND control) {
    HDC dc = CreateCompatibleDC(nullptr);
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
    LOGBRUSH info = {};
    GetObjectW(brush, sizeof info, &info);
    const COLORREF background = GetBkColor(dc);
    DeleteDC(dc);
    EXPECT_EQ(info.lbColor, background) << "the brush and the text background agree";
    return info.lbColor;
}

std::u16string YearNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::string year = std::to_string(now.wYear);
    return {year.begin(), year.end()};
}

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        Set([&](ToolbarSettings& s) {
            s = ToolbarSettings{};
            s.ModuleFolder = AnsiToUtf16(folder_.string());
            s.AboutColor = u"FFFFFF";
            s.AboutWidth = 503;
            s.AboutHeight = 367;
            s.AboutFont = u"Tahoma";
            s.AboutFontSize = 8;
        });
    }
    static void Set(const std::function<void(ToolbarSettings&)>& change) { ChangeSettings(change); }
    void WriteCopyrights(std::string_view bytes) { WriteWholeFile((folder_ / "Copyrights.txt").string(), bytes); }

    tb::testing_support::TempFolder temp_;
    const std::filesystem::path folder_{temp_.Folder()};
    RecordingAnswerer boxes_;
    ScopedDialogAnswerer answering_{&boxes_};
};

TEST_F(AboutBoxTest, FilledFromTheSettingsAsTheControlsShowIt) {
    Set([](ToolbarSettings& s) {
        s.AboutCaption = u"About Sample Bar";
        s.AboutButtonCaption = u"&Close About Box";
        s.ToolbarName = u"Sample Bar \u0416";  // Unicode reaches the labels
        s.ToolbarVersion = u"3.1";
        s.CopyrightText = u"Copyright (c) Example";
        s.HomePageUrl = u"http://www.example.com/";
        s.PreparerInfo = u"Prepared by Example";
        s.Description = u"A sample toolbar";
        s.AboutColor = u"FFFFFF";
        s.AboutWidth = 420;
        s.AboutHeight = 300;
    });
    WriteCopyrights("Line one\r\nLine two");
    TFormAbout form;
    ASSERT_TRUE(form.Construct());
    EXPECT_EQ(TextOf(form.Handle()), L"About Sample Bar");
    EXPECT_EQ(TextOf(form.ButtonClose.Handle()), L"&Close About Box");
    EXPECT_EQ(TextOf(form.LabelToolbarName.Handle()), L"Sample Bar \u0416");
    EXPECT_EQ(TextOf(form.LabelToolbarVersion.Handle()), L"3.1");
    EXPECT_EQ(TextOf(form.LabelCopyright.Handle()), L"Copyright (c) Example");
    EXPECT_EQ(TextOf(form.LabelHomePageURL.Handle()), L"http://www.example.com/");
    EXPECT_EQ(TextOf(form.LabelPreparerInfo.Handle()), L"Prepared by Example");
    EXPECT_EQ(TextOf(form.LabelDescription.Handle()), L"A sample toolbar");
    EXPECT_EQ(TextOf(form.MemoCopyright.Handle()), L"Line one\r\nLine two");
    EXPECT_TRUE(GetWindowLongPtrW(form.MemoCopyright.Handle(), GWL_STYLE) & WS_VISIBLE);

    RECT box{};
    GetWindowRect(form.Handle(), &box);
    EXPECT_EQ(box.right - box.left, 420);
    EXPECT_EQ(box.bottom - box.top, 300);

    // Fonts: the form's size 8, name and version two points larger, the home page keeps its own size.
    const FontFace form_font = FontOfWindow(form.Handle());
    EXPECT_EQ(form_font.name, u"Tahoma");
    EXPECT_EQ(form_font.size, 8);
    for (HWND label : {form.LabelToolbarName.Handle(), form.LabelToolbarVersion.Handle()}) {
        EXPECT_EQ(FontOfWindow(label).name, u"Tahoma");
        EXPECT_EQ(FontOfWindow(label).size, 10);
    }
    EXPECT_EQ(FontOfWindow(form.LabelHomePageURL.Handle()).name, u"Tahoma");
    EXPECT_EQ(FontOfWindow(form.LabelHomePageURL.Handle()).size, 8);
    EXPECT_EQ(FontOfWindow(form.LabelDescription.Handle()).name, u"Tahoma") << "labels follow the form's font";
    // The home page label was designed with the hand-point cursor: it gets the registered hand.
    EXPECT_EQ(form.LabelHomePageURL.Cursor, kHandCursor);
}

TEST_F(AboutBoxTest, ColoursAndFontSizesReadBack) {
    struct Case {
        const char16_t* color;
        COLORREF expected;
        int font_size;
    } cases[] = {{u"FFFFFF", RGB(255, 255, 255), 8}, {u"0000FF", RGB(0, 0, 255), 12}, {u"ff8000", RGB(255, 128, 0), 9}};
    WriteCopyrights("x");
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.color));
        Set([&](ToolbarSettings& s) {
            s.AboutColor = c.color;
            s.AboutFontSize = c.font_size;
        });
        TFormAbout form;
        ASSERT_TRUE(form.Construct());
        EXPECT_EQ(BackgroundOf(form.Handle()), c.expected);
        EXPECT_EQ(ControlColorOf(form.MemoCopyright.Handle()), c.expected);
        EXPECT_EQ(ControlColorOf(form.LabelDescription.Handle()), c.expected) << "labels sit on the form's colour";
        EXPECT_EQ(FontOfWindow(form.Handle()).size, c.font_size);
        EXPECT_EQ(FontOfWindow(form.LabelToolbarName.Handle()).size, c.font_size + 2);
        EXPECT_EQ(FontOfWindow(form.LabelHomePageURL.Handle()).size, 8);
    }
}

TEST_F(AboutBoxTest, EmptySettingsFallBackToTheDesign) {
    Set([](ToolbarSettings& s) {
        s.CompanyName = u"Sample Ltd";
        s.AboutFont = u"";
    });
    TFormAbout form;
    ASSERT_TRUE(form.Construct());
    EXPECT_EQ(TextOf(form.Handle()), L"About Toolbar");
    EXPECT_EQ(TextOf(form.ButtonClose.Handle()), L"&Close");
    EXPECT_EQ(FromWide(TextOf(form.LabelCopyright.Handle())), u"Copyright \u00A9 " + YearNow() + u" Sample Ltd");
    for (const TLabel* label : {&form.LabelToolbarName, &form.LabelToolbarVersion, &form.LabelHomePageURL,
                                &form.LabelPreparerInfo, &form.LabelDescription}) {
        EXPECT_FALSE(label->Hint.empty());
        EXPECT_EQ(FromWide(TextOf(label->Handle())), label->Hint) << Utf16ToUtf8(label->Name());
    }
    EXPECT_EQ(FontOfWindow(form.Handle()).name, u"MS Shell Dlg 2") << "an empty font name keeps the name";
    EXPECT_FALSE(GetWindowLongPtrW(form.MemoCopyright.Handle(), GWL_STYLE) & WS_VISIBLE) << "no Copyrights.txt";
}

TEST_F(AboutBoxTest, CopyrightTextIsReadByItsMark) {
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"UTF-16 LE", std::string("\xFF\xFE" "A\0\xA9\0\n\0B\0", 10)},
        {"UTF-16 BE", std::string("\xFE\xFF\0A\0\xA9\0\n\0B", 10)},
        {"UTF-8", "\xEF\xBB\xBF" "A\xC2\xA9\nB"},
        {"code page", "A\xA9\nB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteCopyrights(c.bytes);
        TFormAbout form;
        ASSERT_TRUE(form.Construct());
        EXPECT_EQ(TextOf(form.MemoCopyright.Handle()), L"A\u00A9\r\nB");
    }
}

TEST_F(AboutBoxTest, LogoIsShownAsA24BitBitmapOfTheSameSize) {
    const fs::path logo = folder_ / "logo.png";
    fs::copy_file(fs::path(TB_SOURCE_DIR "/samples/sample-bar/logo.png"), logo);
    WriteWholeFile((folder_ / "broken.png").string(), "not a picture");
    struct Case {
        const char* file;
        bool shown;
    } cases[] = {{"logo.png", true}, {"broken.png", false}, {"missing.bmp", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Set([&](ToolbarSettings& s) { s.AboutImagePath = AnsiToUtf16((folder_ / c.file).string()); });
        TFormAbout form;
        ASSERT_TRUE(form.Construct());
        EXPECT_TRUE(boxes_.boxes.empty()) << "a bad logo is no error";
        EXPECT_EQ(form.ImageLogo.Picture().Empty(), !c.shown);
        if (!c.shown) continue;
        EXPECT_TRUE(form.ImageLogo.Picture().IsBitmap());
        EXPECT_EQ(form.ImageLogo.Picture().BitsPerPixel(), 24);
        EXPECT_EQ(form.ImageLogo.Picture().Width(), 22);
        EXPECT_EQ(form.ImageLogo.Picture().Height(), 22);
        RECT box{};
        GetClientRect(form.ImageLogo.Handle(), &box);
        EXPECT_EQ(box.right, 22);
    }
}

// --- ShowAboutBox, driven from timers while its message loop runs

// The visible about box of this thread, or null.
BOOL CALLBACK VisitShown(HWND window, LPARAM context) {
    wchar_t type[64] = {};
    GetClassNameW(window, type, 64);
    if (IsWindowVisible(window) && std::wstring(type) == L"TbToolkitForm") {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindShownBox() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &VisitShown, reinterpret_cast<LPARAM>(&found));
    return found;
}

struct DescendantSearch {
    const wchar_t* type;
    std::wstring text;
    HWND found = nullptr;
};

BOOL CALLBACK VisitDescendant(HWND window, LPARAM context) {
    auto* s = reinterpret_cast<DescendantSearch*>(context);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (_wcsicmp(name, s->type) == 0 && TextOf(window) == s->text) {
        s->found = window;
        return FALSE;
    }
    return TRUE;
}

// The first descendant of `parent` with this class and text.
HWND FindDescendant(HWND parent, const wchar_t* type, const std::wstring& text) {
    DescendantSearch search{type, text};
    EnumChildWindows(parent, &VisitDescendant, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Runs `step` every 50 ms on this thread until it returns true (while a box's loop runs).
class Stepper {
public:
    explicit Stepper(std::function<bool()> step) {
        current_ = this;
        step_ = std::move(step);
        timer_ = SetTimer(nullptr, 0, 50, &Tick);
    }
    ~Stepper() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    bool Done() const { return done_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (current_ != nullptr && !current_->done_) current_->done_ = current_->step_();
    }
    static inline Stepper* current_ = nullptr;
    std::function<bool()> step_;
    UINT_PTR timer_ = 0;
    bool done_ = false;
};

double SecondsOf(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(AboutBoxTest, ModalBoxDisablesTheThreadsWindowsUntilItsButtonClosesIt) {
    Set([](ToolbarSettings& s) { s.AboutButtonCaption = u"&Close About Box"; });
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    bool other_disabled = false, button_visible = false;
    Stepper stepper([&] {
        HWND box = FindShownBox();
        if (box == nullptr || box == other) return false;
        other_disabled = !IsWindowEnabled(other);
        HWND button = FindDescendant(box, L"Button", L"&Close About Box");
        button_visible = button != nullptr && IsWindowVisible(button);
        if (button != nullptr) SendMessageW(button, BM_CLICK, 0, 0);
        return true;
    });
    const double seconds = SecondsOf([] { ShowAboutBox(false); });
    EXPECT_TRUE(stepper.Done());
    EXPECT_TRUE(button_visible);
    EXPECT_TRUE(other_disabled);
    EXPECT_TRUE(IsWindowEnabled(other)) << "enabled again";
    EXPECT_EQ(FindShownBox(), nullptr) << "the box is gone";
    EXPECT_LT(seconds, 3.0);
    DestroyWindow(other);
}

TEST_F(AboutBoxTest, HomePageLabelOpensTheHomePageAndClosesTheBox) {
    const std::string mark = (folder_ / "mark.txt").string();
    const std::string script = (folder_ / "home page.bat").string();
    WriteWholeFile(script, "@echo opened> \"" + mark + "\"\r\n");
    Set([&](ToolbarSettings& s) { s.HomePageUrl = AnsiToUtf16(script); });
    Stepper stepper([&] {
        HWND box = FindShownBox();
        if (box == nullptr) return false;
        HWND label = FindDescendant(box, L"Static", ToWide(AnsiToUtf16(script)));
        if (label == nullptr) return false;
        // A click on the label, as the label reports it to the panel it sits on.
        SendMessageW(GetParent(label), WM_COMMAND, MAKEWPARAM(0, STN_CLICKED), reinterpret_cast<LPARAM>(label));
        return true;
    });
    ShowAboutBox(false);
    EXPECT_TRUE(stepper.Done());
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        try {
            const std::optional<std::string> text = ReadWholeFile(mark);
            if (text && text->find("opened") != std::string::npos) break;
        } catch (const ::tb::FileOpenError&) {
            // still being written
        }
        Sleep(50);
    }
    EXPECT_TRUE(FileExists(mark)) << "the shell opened the home page";
}

TEST_F(AboutBoxTest, SplashHasNoCloseButtonKeepsTheThreadWorkingAndEndsByItself) {
    bool seen = false, button_hidden = false;
    int steps_after_close = 0;
    Stepper stepper([&] {
        HWND box = FindShownBox();
        if (!seen) {
            if (box == nullptr) return false;
            seen = true;
            HWND button = FindDescendant(box, L"Button", L"&Close");
            button_hidden = button != nullptr && !IsWindowVisible(button);
            PostMessageW(box, WM_CLOSE, 0, 0);  // hides it; the splash still lasts its four seconds
            return false;
        }
        ++steps_after_close;  // this timer is the thread's other work
        return false;
    });
    const double seconds = SecondsOf([] { ShowAboutBox(true); });
    EXPECT_TRUE(seen);
    EXPECT_TRUE(button_hidden);
    EXPECT_GT(steps_after_close, 20);
    EXPECT_GE(seconds, 3.9);
    EXPECT_LT(seconds, 6.0);
    EXPECT_EQ(FindShownBox(), nullptr);
}

TEST_F(AboutBoxTest, QuittingThreadEndsTheBoxAndKeepsItsQuitMessage) {
    for (const bool splash : {true, false}) {
        SCOPED_TRACE(splash ? "splash" : "modal");
        Stepper stepper([&] {
            if (FindShownBox() == nullptr) return false;
            PostQuitMessage(7);
            return true;
        });
        const double seconds = SecondsOf([&] { ShowAboutBox(splash); });
        EXPECT_TRUE(stepper.Done());
        EXPECT_LT(seconds, 3.0);
        MSG message{};
        ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT was posted again";
        EXPECT_EQ(message.wParam, 7u);
    }
}

TEST_F(AboutBoxTest, InvalidColourIsReportedOnceAndNoBoxStays) {
    Set([](ToolbarSettings& s) { s.AboutColor = u"12345G"; });
    bool shown = false;
    Stepper stepper([&] {
        shown = shown || FindShownBox() != nullptr;
        return false;
    });
    const double seconds = SecondsOf([] { ShowAboutBox(false); });
    EXPECT_LT(seconds, 3.0) << "no modal loop ran";
    EXPECT_FALSE(shown);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, u"'5G' is not a valid integer value");
    EXPECT_EQ(boxes_.boxes[0].flags & MB_ICONERROR, static_cast<UINT>(MB_ICONERROR));
}

}  // namespace
}  // namespace tb
