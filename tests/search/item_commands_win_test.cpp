// Clicks on items under Wine: each item command form in its order, the fixed menu entries and the
// logo, with the stand-in browser recording what the window asked of it.
#include <string>
#include <vector>

#include "tests/search/search_window_fixture_win.hpp"

namespace tb::search_tests {
namespace {

using testing_support::PumpUntil;

TEST_F(SearchWindowTest, HintFormsInTheirOrder) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    std::vector<bool> about;
    form->AboutBoxHook = [&](bool splash) { about.push_back(splash); };
    form->SearchBox.SetText(u"a b&c");
    TToolbarItem& cmd = Item(*form, u"cmd");
    struct Case {
        const char16_t* hint;
        bool shows_about;
        const wchar_t* navigated;  // null: no navigation
    } cases[] = {
        {u"  [about]  ", true, nullptr},
        {u"\t[About]\r\n", true, nullptr},
        {u"[ABOUT] more", false, L"[ABOUT] more"},
        {u"Home page|http://a.example/", false, L"http://a.example/"},
        {u"|", false, L""},
        {u"http://b.example/", false, L"http://b.example/"},
        {u"one|two|three", false, L"two|three"},
        // Form 5 wins over form 6: the "|" stays part of the template.
        {u"Find|http://s.example/?q=[Search]&again=[SEARCH]", false,
         L"Find|http://s.example/?q=a+b%26c&again=a+b%26c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.hint, c.hint + std::char_traits<char16_t>::length(c.hint)));
        about.clear();
        browser_->Record().navigations.clear();
        cmd.SetHint(c.hint);
        cmd.Click();
        EXPECT_EQ(about, c.shows_about ? std::vector<bool>{false} : std::vector<bool>{});
        EXPECT_EQ(Navigated(), c.navigated ? std::vector<std::wstring>{c.navigated} : std::vector<std::wstring>{});
    }
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(SearchWindowTest, RunTakesTheTextUpToTheFirstClosingBracketOfTheHint) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    TToolbarItem& cmd = Item(*form, u"cmd");
    const auto script = [&](int n) {
        const std::string mark = (folder_ / ("mark" + std::to_string(n) + ".txt")).string();
        const std::string bat = (folder_ / ("leave mark " + std::to_string(n) + ".bat")).string();
        WriteWholeFile(bat, "@echo ran> \"" + mark + "\"\r\n");
        return std::pair{AnsiToUtf16(bat), mark};
    };
    const auto [first, first_mark] = script(1);
    const auto [second, second_mark] = script(2);
    const auto [third, third_mark] = script(3);

    cmd.SetHint(u"[run=" + first + u"]");
    cmd.Click();
    cmd.SetHint(u"Start [RUN=" + second + u"] now");
    cmd.Click();
    // The first "]" stands before "[RUN=": the target is empty and nothing runs.
    cmd.SetHint(u"x] [RUN=" + third + u"]");
    cmd.Click();
    EXPECT_TRUE(PumpUntil([&] { return FileExists(first_mark) && FileExists(second_mark); }));
    Sleep(300);
    EXPECT_FALSE(FileExists(third_mark));
    EXPECT_TRUE(Navigated().empty());
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(SearchWindowTest, EngineItemSelectsWhenDynamicAndSearchesAtOnceWhenNot) {
    for (const bool dynamic : {true, false}) {
        SCOPED_TRACE(dynamic);
        WriteEngineTemplate(dynamic);
        std::filesystem::remove(folder_ / "Settings.ini");  // the first round stored its engine
        browser_->Record().navigations.clear();
        TFormToolbar::Pointer form = Make();
        TToolbarItem* selector = form->SearchSelector;
        ASSERT_NE(selector, nullptr);
        ASSERT_EQ(selector->Caption(), u"Web");  // no Search Type stored yet: engine 1
        form->SearchBox.SetText(u"kittens");
        Item(*form, u"img").Click();
        if (dynamic) {
            EXPECT_EQ(selector->Caption(), u"Images");
            EXPECT_EQ(selector->Tag(), 2);
            EXPECT_EQ(form->CurrentSearchUrl, u"http://img.example/?q=[SEARCH]");
            EXPECT_TRUE(Navigated().empty());
            // The selector's own click searches with the engine now selected.
            selector->Click();
            EXPECT_EQ(Navigated(), std::vector<std::wstring>{L"http://img.example/?q=kittens"});
        } else {
            EXPECT_EQ(selector->Caption(), u"Web");
            EXPECT_EQ(selector->Tag(), 1);
            EXPECT_EQ(form->CurrentSearchUrl, u"http://web.example/?q=[SEARCH]");
            EXPECT_EQ(Navigated(), std::vector<std::wstring>{L"http://img.example/?q=kittens"});
        }
        // Tag 2 outside the selector is no engine: it searches with its own template either way.
        browser_->Record().navigations.clear();
        Item(*form, u"own").Click();
        EXPECT_EQ(Navigated(), std::vector<std::wstring>{L"http://own.example/?q=kittens"});
        EXPECT_EQ(selector->Caption(), dynamic ? u"Images" : u"Web");
        form.reset();
    }
}

TEST_F(SearchWindowTest, CloseAsksTheBrowserToHideTheBarAndTheWindowGoesWithTheBand) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    HWND window = form->Handle();
    // The browser answers by closing the band, which releases the window.
    std::vector<std::pair<std::wstring, bool>> wishes;
    browser_->SetBarHandler([&](const std::wstring& id, bool show) {
        wishes.emplace_back(id, show);
        form.reset();
    });
    form->MenuCloseToolbar->Click();
    const auto& calls = browser_->Record().bar_calls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].class_id.type, VT_BSTR);
    EXPECT_EQ(calls[0].class_id.text, L"{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(calls[0].show.type, VT_BOOL);
    EXPECT_EQ(calls[0].show.integer, VARIANT_FALSE);
    EXPECT_EQ(calls[0].size.type, VT_I4);
    EXPECT_EQ(calls[0].size.integer, 0);
    browser_->ProcessPending();
    ProcessMessages();
    EXPECT_EQ(form, nullptr);
    EXPECT_FALSE(IsWindow(window));
    ASSERT_EQ(wishes.size(), 1u);
    EXPECT_FALSE(wishes[0].second);
}

TEST_F(SearchWindowTest, CloseWithoutABrowserOnlyDisablesTheEntry) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make(false);
    Item(*form, u"cmd").SetHint(u" [Close] ");
    Item(*form, u"cmd").Click();
    EXPECT_FALSE(form->MenuCloseToolbar->Enabled());
    EXPECT_TRUE(IsWindow(form->Handle()));
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(SearchWindowTest, FailedNavigationIsReportedAndTheToolbarStays) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    browser_->SetNavigateResult(E_ACCESSDENIED);
    Item(*form, u"cmd").Click();
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].flags & MB_ICONERROR, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(IsWindow(form->Handle()));
}

TEST_F(SearchWindowTest, FixedEntriesAndTheLogoOpenTheirAddresses) {
    WriteEngineTemplate();
    TFormToolbar::Pointer form = Make();
    struct Case {
        const char16_t* hint;
        const wchar_t* navigated;
    } site_cases[] = {
        {u"", L"http://home.example/"},
        {u"www.example.com/x", L"http://www.example.com/x"},
        {u"ftp://files.example/", L"ftp://files.example/"},
    };
    for (const Case& c : site_cases) {
        browser_->Record().navigations.clear();
        form->MenuToolbarWebsite->SetHint(c.hint);
        form->MenuToolbarWebsite->Click();
        EXPECT_EQ(Navigated(), std::vector<std::wstring>{c.navigated});
    }
    browser_->Record().navigations.clear();
    form->MenuToolbarSupport->Click();
    ASSERT_TRUE(form->Image.OnClick);
    form->Image.OnClick();
    EXPECT_EQ(Navigated(), (std::vector<std::wstring>{L"mailto:help@example.com", L"http://home.example/"}));
    // The about entry goes through its item command.
    int shown = 0;
    form->AboutBoxHook = [&](bool splash) { shown += splash ? 100 : 1; };
    form->MenuAboutToolbar->Click();
    EXPECT_EQ(shown, 1);
}

}  // namespace
}  // namespace tb::search_tests
