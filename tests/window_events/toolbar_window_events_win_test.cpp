// The toolbar window's ties to the browser window around it, under Wine with the stand-in browser:
// the once-a-day splash and its stored date, a release that comes while the splash runs, the width
// that follows the browser's, the status texts of the items, and the repaint after a page load.
#include <cstdlib>

#include "tests/helpers/win_support.hpp"
#include "window_fixture.hpp"

namespace tb::testing_window {
namespace {

TEST_F(WindowTest, SplashIsDueOnceADay) {
    const std::int32_t today = Today();
    struct Case {
        const char* name;
        std::optional<std::int32_t> stored;  // none: text that is no date
        const char* text;
        bool splash;
    } cases[] = {
        {"today", today, nullptr, false},
        {"yesterday", today - 1, nullptr, true},
        {"three days ahead", today + 3, nullptr, true},
        {"one day ahead", today + 1, nullptr, false},
        {"unreadable", std::nullopt, "not a date", true},
        {"empty", std::nullopt, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoreDate(c.stored ? DateText(*c.stored) : c.text);
        const std::string before = StoredDate();
        TFormToolbar::Pointer form = Make(true);
        bool seen = false;
        const bool quit = Pump(600, [&] {
            seen = true;
            PostQuitMessage(0);  // ends the splash at once; its loop posts the quit again
        });
        EXPECT_EQ(seen, c.splash);
        EXPECT_EQ(quit, c.splash);
        EXPECT_EQ(StoredDate(), c.splash ? DateText(today) : before);
        form.reset();
    }
}

TEST_F(WindowTest, UnreadableDateIsRepairedToYesterdayWhenTheWindowIsMade) {
    StoreDate("31.31.31x");
    TFormToolbar::Pointer form = Make(false);
    EXPECT_EQ(StoredDate(), DateText(Today() - 1));
    EXPECT_EQ(form->ReadLastShownDate(), Today() - 1);
    EXPECT_TRUE(boxes_.boxes.empty());
}

// Run once more by ctest in another locale (TB_EXPECT_SHORT_DATE names its format): the date is
// written and read in the user's format, not in a fixed one.
TEST_F(WindowTest, DateIsStoredInTheUsersShortDateFormat) {
    const char* expected = std::getenv("TB_EXPECT_SHORT_DATE");
    if (expected != nullptr) {
        ASSERT_EQ(SystemLocaleFormats().short_date, expected);
    }
    const CivilDate yesterday = DateOfDayNumber(Today() - 1);
    const std::string day = std::to_string(yesterday.day), month = std::to_string(yesterday.month),
                      year = std::to_string(yesterday.year);
    StoreDate("");
    TFormToolbar::Pointer form = Make(false);
    const std::string stored = StoredDate();
    if (SystemLocaleFormats().short_date == "d.M.yyyy") {
        EXPECT_EQ(stored, day + "." + month + "." + year);
    } else if (SystemLocaleFormats().short_date == "M/d/yyyy") {
        EXPECT_EQ(stored, month + "/" + day + "/" + year);
    }
    EXPECT_EQ(form->ReadLastShownDate(), Today() - 1) << stored;
    // A date in another format than the user's is unreadable and repaired.
    const bool dotted = SystemLocaleFormats().short_date.find('.') != std::string::npos;
    StoreDate(dotted ? month + "/" + day + "/" + year : day + "." + month + "." + year);
    EXPECT_EQ(form->ReadLastShownDate(), Today() - 1);
    EXPECT_EQ(StoredDate(), stored);
}

TEST_F(WindowTest, NoSplashWithoutAboutShowButTheDateIsStored) {
    WriteTemplateOptions(false);
    StoreDate(DateText(Today() - 1));
    TFormToolbar::Pointer form = Make(true);
    bool seen = false;
    Pump(400, [&] { seen = true; });
    EXPECT_FALSE(seen);
    EXPECT_EQ(StoredDate(), DateText(Today()));
}

TEST_F(WindowTest, ReleaseDuringTheSplashWaitsUntilItReturns) {
    StoreDate(DateText(Today() - 1));
    TFormToolbar::Pointer form = Make(true);
    const HWND window = form->Handle();
    bool alive_under_splash = false, hidden = false;
    Pump(800, [&] {
        form.reset();  // the browser closes the toolbar while the splash's loop runs
        alive_under_splash = IsWindow(window) != FALSE;
        hidden = !IsWindowVisible(window);
        PostQuitMessage(0);
    });
    EXPECT_TRUE(alive_under_splash);
    EXPECT_TRUE(hidden);
    EXPECT_FALSE(IsWindow(window)) << "gone once the splash returned";
}

TEST_F(WindowTest, WidthFollowsTheBrowserWindow) {
    // The stand-in's frame is an "IEFrame" window: tests that look for such windows take turns.
    testing_support::CrossProcessLock frames{testing_support::kFrameWindows};
    host::StandInBrowser browser;
    struct Case {
        const char* name;
        int browser_width;
        bool full_size;
        bool with_browser;
        int asked;
        int expected;
    } cases[] = {
        {"full size", 1000, true, true, 500, 980},
        {"already the browser's width less 20", 1000, true, true, 980, 980},  // asked: see below
        {"browser of 160 pixels", 160, true, true, 500, 300},
        {"browser of 161 pixels", 161, true, true, 500, 141},
        {"not full size", 1000, false, true, 500, 500},
        {"no browser", 1000, true, false, 500, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChangeSettings([&](ToolbarSettings& s) { s.FullSize = c.full_size; });
        SetWindowPos(browser.Frame(), nullptr, 0, 0, c.browser_width, 400, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        TFormToolbar::Pointer form = Make(false, browser.BandArea());
        // Start from 300 pixels without the browser, then let the site resize the window.
        SetWindowPos(form->Handle(), nullptr, 0, 0, 300, 26, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (c.with_browser) form->SetBrowser(browser.Browser());
        if (c.asked == 980) {
            // A window that is already 980 wide refuses a resize to anything else.
            form->SetBrowser(nullptr);
            SetWindowPos(form->Handle(), nullptr, 0, 0, 980, 26, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            form->SetBrowser(browser.Browser());
            SetWindowPos(form->Handle(), nullptr, 0, 0, 400, 26, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        } else {
            SetWindowPos(form->Handle(), nullptr, 0, 0, c.asked, 26, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        RECT box{};
        GetWindowRect(form->Handle(), &box);
        EXPECT_EQ(box.right - box.left, c.expected);
        form->SetBrowser(nullptr);
    }
    EXPECT_TRUE(boxes_.boxes.empty());
}

LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR count) {
    if (message == WM_PAINT) ++*reinterpret_cast<int*>(count);
    return DefSubclassProc(window, message, wparam, lparam);
}

class StatusTextTest : public WindowTest {
protected:
    // Moves the mouse to the middle of the toolbar button at `index`, or to a point right of all.
    void MoveOver(int index) {
        HWND toolbar = form_->Toolbar.ToolbarHandle();
        POINT at{};
        if (index >= 0) {
            RECT box{};
            SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&box));
            at = {(box.left + box.right) / 2, (box.top + box.bottom) / 2};
        } else {
            RECT client{};
            GetClientRect(toolbar, &client);
            at = {client.right - 2, 2};
        }
        SendMessageW(toolbar, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    }
    int IndexOf(const char16_t* name) {
        const auto& top = form_->ToolbarModel().TopLevel();
        for (std::size_t i = 0; i < top.size(); ++i) {
            if (top[i]->Name() == name) return static_cast<int>(i);
        }
        return -1;
    }

    testing_support::CrossProcessLock frames_{testing_support::kFrameWindows};  // before the frame
    host::StandInBrowser browser_;
    TFormToolbar::Pointer form_;
};

TEST_F(StatusTextTest, ItemTextsReachTheBrowsersStatusBarOncePerItemAndAreClearedOnce) {
    BuildSample();
    form_ = Make(false, browser_.BandArea());
    const int home = IndexOf(u"miHome"), search = IndexOf(u"miSearch");
    ASSERT_GE(home, 0);
    ASSERT_GE(search, 0);
    const int separator = home + 1;  // the sample has a separator after Home
    ASSERT_EQ(form_->ToolbarModel().TopLevel()[static_cast<std::size_t>(separator)]->Kind(), ItemKind::Separator);
    MoveOver(home);  // without a browser nothing happens
    EXPECT_TRUE(browser_.Record().status_texts.empty());

    form_->SetBrowser(browser_.Browser());
    MoveOver(home);
    MoveOver(home);  // the same item again: not sent again
    MoveOver(search);  // no "|" in its hint: the caption
    MoveOver(-1);  // off the items: cleared once
    MoveOver(-1);
    MoveOver(separator);
    MoveOver(home);
    MoveOver(separator);  // a separator is off the items too
    MoveOver(separator);
    MoveOver(home);
    SendMessageW(form_->Toolbar.ToolbarHandle(), WM_MOUSELEAVE, 0, 0);  // the mouse leaves the toolbar
    SendMessageW(form_->Toolbar.ToolbarHandle(), WM_MOUSELEAVE, 0, 0);
    const std::vector<std::wstring> expected = {L"Sample Bar home page", L"Web", L"", L"Sample Bar home page", L"",
                                                L"Sample Bar home page", L""};
    EXPECT_EQ(browser_.Record().status_texts, expected);
    EXPECT_EQ(browser_.StatusText(), L"");
    form_->SetBrowser(nullptr);
}

// The buttons by keyboard: the keys go to the focused window, as the band passes them on.
TEST_F(StatusTextTest, ButtonsAreReachedAndRunByKeyboard) {
    BuildSample();
    WriteTemplateOptions(false);  // no splash to take the focus
    form_ = Make(true, browser_.BandArea());
    ShowWindow(browser_.Frame(), SW_SHOW);  // the active window, as the browser is when a person types
    std::vector<std::u16string> ran;
    form_->OnItemCommand = [&](TToolbarItem& item) { ran.push_back(item.Name()); };
    TToolbarItem* news = form_->ToolbarModel().Items().Find(u"miNews");
    ASSERT_NE(news, nullptr);
    news->SetEnabled(false);  // a disabled button is passed over
    bool left = false;
    form_->OnFocusLeave = [&] { left = true; };
    const auto press = [&](UINT key) {
        SendMessageW(GetFocus(), WM_KEYDOWN, key, 1);
        Pump(50);
        const std::string focus = form_->DescribeFocus();
        const size_t item = focus.find("\"item\":\"");
        return item == std::string::npos ? focus : focus.substr(item + 8, focus.find('"', item + 8) - item - 8);
    };
    form_->EnterFocus(true);  // the buttons are the last stop
    HWND toolbar = form_->Toolbar.ToolbarHandle();
    EXPECT_EQ(GetFocus(), toolbar);
    EXPECT_EQ(SendMessageW(toolbar, TB_GETHOTITEM, 0, 0), IndexOf(u"miLinks")) << "the focused button shows hot";
    EXPECT_EQ(press(VK_HOME), "miHome");
    EXPECT_EQ(press(VK_RIGHT), "miSearch");
    EXPECT_EQ(press(VK_RIGHT), "miLinks");
    EXPECT_EQ(press(VK_RIGHT), "miLinks") << "the last button stays";
    EXPECT_EQ(press(VK_HOME), "miHome");
    EXPECT_EQ(press(VK_LEFT), "miHome");
    EXPECT_EQ(press(VK_END), "miLinks");
    EXPECT_EQ(press(VK_LEFT), "miSearch");
    EXPECT_EQ(press(VK_HOME), "miHome");
    press(VK_RETURN);
    press(VK_SPACE);
    EXPECT_EQ(ran, (std::vector<std::u16string>{u"miHome", u"miHome"}));
    EXPECT_FALSE(left);
    press(VK_ESCAPE);
    EXPECT_TRUE(left) << "Esc hands the focus back to the page";
    EXPECT_EQ(GetFocus(), browser_.Frame());
    EXPECT_EQ(SendMessageW(toolbar, TB_GETHOTITEM, 0, 0), -1) << "no button shows the focus once it left";
}

TEST_F(StatusTextTest, DocumentCompleteRepaintsTheToolbar) {
    form_ = Make(true, browser_.BandArea());
    HWND toolbar = form_->Toolbar.ToolbarHandle();
    ShowWindow(browser_.Frame(), SW_SHOWNA);
    int paints = 0;
    ASSERT_TRUE(SetWindowSubclass(toolbar, &CountPaints, 1, reinterpret_cast<DWORD_PTR>(&paints)));
    ValidateRect(toolbar, nullptr);
    form_->BrowserEventsDocumentComplete(nullptr, nullptr);
    EXPECT_GT(paints, 0);
    RemoveWindowSubclass(toolbar, &CountPaints, 1);
}

}  // namespace
}  // namespace tb::testing_window
