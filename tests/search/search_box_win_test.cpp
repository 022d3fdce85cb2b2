// Searches under Wine: the URL the browser is asked for, the keys and list events of the search
// box, and the selection and text that the next toolbar window starts with.
#include <string>
#include <vector>

#include "settings/big_ini_file.hpp"
#include "tests/search/search_window_fixture_win.hpp"

namespace tb::search_tests {
namespace {

TEST_F(SearchWindowTest, SearchUrlFromTemplateAndTerm) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    struct Case {
        const char16_t* url_template;
        const char16_t* term;
        const wchar_t* navigated;
    } cases[] = {
        {u"http://e.example/?q=[SEARCH]", u"a b&c", L"http://e.example/?q=a+b%26c"},
        {u"http://e.example/?q=[search]&also=[Search]", u"100%", L"http://e.example/?q=100%25&also=100%25"},
        {u"", u"x", L"http://default.example/?q=x"},
        {u"http://e.example/fixed", u"x", L"http://e.example/fixed"},
        {u"http://e.example/?q=[SEARCH]", u"", L"http://e.example/?q="},
        // Outside the system code page: its replacement character, encoded.
        {u"http://e.example/?q=[SEARCH]", u"\u65E5", L"http://e.example/?q=%3F"},
        {u"http://e.example/?q=[SEARCH]", u"caf\u00E9", L"http://e.example/?q=caf%E9"},
    };
    for (const Case& c : cases) {
        browser_->Record().navigations.clear();
        form->RunSearch(c.url_template, c.term);
        EXPECT_EQ(Navigated(), std::vector<std::wstring>{c.navigated});
    }
}

TEST_F(SearchWindowTest, EnterSearchesOnceAndNeverReachesTheBox) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    form->SearchBox.SetText(u"one");
    SendMessageW(form->SearchBox.EditHandle(), WM_KEYDOWN, VK_RETURN, 1);
    Type(*form, L'\r');
    SendMessageW(form->SearchBox.EditHandle(), WM_KEYUP, VK_RETURN, 0xC0000001);
    ProcessMessages();
    EXPECT_EQ(Navigated(), std::vector<std::wstring>{L"http://web.example/?q=one"});
    EXPECT_EQ(form->SearchBox.Text(), u"one");
    // Other keys reach the box and search nothing.
    form->SearchBox.SetSelection(3, 0);
    Type(*form, L'!');
    EXPECT_EQ(form->SearchBox.Text(), u"one!");
    EXPECT_EQ(Navigated().size(), 1u);
}

TEST_F(SearchWindowTest, SelectionSearchesOnlyRightAfterTheListClosed) {
    WriteHistory("\xFF\xFE" + Utf16Le(u"alpha\r\nbeta\r\n"));
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    ASSERT_EQ(form->SearchBox.Count(), 2);
    // The rule: close-up, then select, searches; a key press or a selection clears the flag.
    form->SearchBoxCloseUp();
    form->SearchBoxSelect();
    form->SearchBoxSelect();
    form->SearchBoxCloseUp();
    wchar_t key = L'x';
    form->SearchBoxKeyPress(key);
    form->SearchBoxSelect();
    EXPECT_EQ(Navigated().size(), 1u);
    browser_->Record().navigations.clear();

    // Through the combo box: an entry chosen in the dropped-down list is reported after the close-up
    // and searches for that entry.
    HWND combo = form->SearchBox.Handle();
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_TRUE(form->SearchBox.DroppedDown());
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    EXPECT_TRUE(Navigated().empty());  // not while the list is down
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(Navigated(), std::vector<std::wstring>{L"http://web.example/?q=beta"});
    // Scrolling through the closed list with the arrow keys selects without searching.
    browser_->Record().navigations.clear();
    SendMessageW(form->SearchBox.EditHandle(), WM_KEYDOWN, VK_UP, 1);
    EXPECT_EQ(form->SearchBox.ItemIndex(), 0);
    EXPECT_EQ(form->SearchBox.Text(), u"alpha");
    EXPECT_TRUE(Navigated().empty());
}

TEST_F(SearchWindowTest, SelectedEngineAndBoxTextCarryOverToTheNextWindow) {
    WriteEngineTemplate();
    const std::string ini = (folder_ / "Settings.ini").string();
    {
        TFormToolbar::Pointer form = Make();
        Item(*form, u"img").Click();
        form->SearchBox.SetText(u"last words");
    }
    EXPECT_EQ(ReadIniString(ini, "Settings", "Search Type"), "2");
    EXPECT_EQ(ReadIniString(ini, "Settings", "Search"), "last words");
    TFormToolbar::Pointer next = Make();
    EXPECT_EQ(next->SearchSelector->Caption(), u"Images");
    EXPECT_EQ(next->CurrentSearchUrl, u"http://img.example/?q=[SEARCH]");
    EXPECT_TRUE(Item(*next, u"img").Checked());
    EXPECT_EQ(next->SearchBox.Text(), u"last words");
}

TEST_F(SearchWindowTest, NoEngineSelectedStoresZeroAndTheNextWindowSelectsNothing) {
    WriteEngineTemplate();
    const std::string ini = (folder_ / "Settings.ini").string();
    WriteIniString(ini, "Settings", "Search Type", "0");
    Make().reset();
    EXPECT_EQ(ReadIniString(ini, "Settings", "Search Type"), "0");
    TFormToolbar::Pointer next = Make();
    EXPECT_EQ(next->SearchSelector->Caption(), u"Search");
    EXPECT_FALSE(Item(*next, u"web").Checked());
    EXPECT_EQ(next->CurrentSearchUrl, u"http://default.example/?q=[SEARCH]");
}

TEST_F(SearchWindowTest, WindowWhoseBuildFailedStoresTheTextButNoSearchType) {
    WriteTemplate([](TrsStorage& t) {
        t.WriteString("\\Order\\1", "a");
        t.WriteString("\\Order\\2", "a");  // the second fails on its taken name: no selector
    });
    const std::string ini = (folder_ / "Settings.ini").string();
    WriteIniString(ini, "Settings", "Search Type", "7");
    {
        TFormToolbar::Pointer form = Make();
        ASSERT_EQ(form->SearchSelector, nullptr);
        form->SearchBox.SetText(u"kept");
    }
    EXPECT_EQ(ReadIniString(ini, "Settings", "Search Type"), "7");
    EXPECT_EQ(ReadIniString(ini, "Settings", "Search"), "kept");
}

}  // namespace
}  // namespace tb::search_tests
