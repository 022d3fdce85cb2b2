// The toolbar window under Wine: the sample toolbar built by the authoring tool into a data folder,
// read back through the real ToolbarWindow32 and the menus; the description; failures reported in
// the error box with the window coming up; the destruction that waits for construction.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "base/file.hpp"
#include "base/text.hpp"
#include "settings/toolbar_settings.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/support/template_file.hpp"
#include "tests/update/http_server_win.hpp"
#include "toolbar/toolbar_form_win.hpp"
#include "toolbar/toolbar_query_win.hpp"
#include "tools/commands.hpp"

namespace tb {
namespace {

using nlohmann::json;

class ToolbarWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::u16string data = AnsiToUtf16(folder_.string());
        ChangeSettings([&](ToolbarSettings& s) {
            s = ToolbarSettings{};
            s.DataFolder = data;
            s.TemplateBaseName = u"SampleBar";
            s.ToolbarName = u"Sample Bar";
            s.SettingsIniPath = data + u"\\Settings.ini";
            s.MemberId = u"42";
            s.SearchUrl = u"http://default/?q=[SEARCH]";
        });
    }

    void BuildSample() {
        std::ostringstream out, err;
        ASSERT_EQ(tool::BuildCommand(TB_SOURCE_DIR "/samples/sample-bar/sample-bar.json", folder_.string(),
                                     std::nullopt, out, err),
                  0)
            << err.str();
    }

    void WriteTemplate(const std::function<void(TrsStorage&)>& fill) {
        WriteTemplateFile((folder_ / "SampleBar.tb").string(), fill);
    }

    TFormToolbar::Pointer Make(bool run_template_update = false) {
        TFormToolbar::Pointer form = TFormToolbar::New();
        TFormToolbar::CreateArgs args;
        args.width = 900;
        args.run_template_update = run_template_update;
        EXPECT_TRUE(form->Construct(args));
        return form;
    }

    tb::testing_support::TempFolder temp_;
    const std::filesystem::path folder_{temp_.Folder()};
    RecordingAnswerer boxes_;
    ScopedDialogAnswerer answering_{&boxes_};
};

std::wstring ButtonText(HWND toolbar, int command) {
    wchar_t text[256] = {};
    SendMessageW(toolbar, TB_GETBUTTONTEXTW, static_cast<WPARAM>(command), reinterpret_cast<LPARAM>(text));
    return text;
}

TEST_F(ToolbarWindowTest, SampleToolbarAsTheControlsShowIt) {
    BuildSample();
    TFormToolbar::Pointer form = Make();
    ASSERT_TRUE(form);
    EXPECT_TRUE(boxes_.boxes.empty());
    HWND toolbar = form->Toolbar.ToolbarHandle();
    // The logo, the search box, then the template's top level: Home | Search | News Links.
    const int count = static_cast<int>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    ASSERT_EQ(count, 8);
    struct Expected {
        const wchar_t* text;
        BYTE style;  // drop-down bits
        int image;
        bool separator;
    } expected[] = {
        {L"", 0, 0, true},  // logo control
        {L"", 0, 0, true},  // search box control
        {L"Home", 0, 0, false},
        {L"", 0, 0, true},
        {L"Web", BTNS_DROPDOWN, 2, false},  // Search Type missing: engine 1 selected
        {L"", 0, 0, true},
        {L"News", BTNS_DROPDOWN, 4, false},
        {L"Links", BTNS_WHOLEDROPDOWN, 5, false},
    };
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        TBBUTTON button = {};
        ASSERT_TRUE(SendMessageW(toolbar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button)));
        EXPECT_EQ((button.fsStyle & BTNS_SEP) != 0, expected[i].separator);
        if (expected[i].separator) continue;
        EXPECT_EQ(ButtonText(toolbar, button.idCommand), expected[i].text);
        EXPECT_EQ(button.fsStyle & (BTNS_DROPDOWN | BTNS_WHOLEDROPDOWN), expected[i].style);
        EXPECT_EQ(button.iBitmap, expected[i].image);
        EXPECT_TRUE(button.fsState & TBSTATE_ENABLED);
        EXPECT_FALSE(button.fsState & TBSTATE_HIDDEN);
    }
    EXPECT_EQ(ImageList_GetImageCount(form->IconList.Get()), 10);

    // The description tells the same.
    const json described = json::parse(form->Describe());
    EXPECT_EQ(described["caption"], "Sample Bar");
    EXPECT_EQ(described["selector"], "miSearch");
    EXPECT_EQ(described["currentSearchUrl"], "http://search.example.com/web?q=[SEARCH]");
    EXPECT_EQ(described["mainMenu"], "miLinks");
    EXPECT_EQ(described["imageCount"], 10);
    EXPECT_EQ(described["searchBox"]["width"], 160);
    EXPECT_EQ(described["searchBox"]["visible"], true);
    EXPECT_TRUE(described["logo"].is_object());
    EXPECT_EQ(described["errors"].size(), 0u);
    ASSERT_EQ(described["toolbar"].size(), 6u);
    const json& search = described["toolbar"][2];
    EXPECT_EQ(search["kind"], "submenu");
    EXPECT_EQ(search["split"], true);
    ASSERT_EQ(search["children"].size(), 3u);
    EXPECT_EQ(search["children"][0]["checked"], true);
    EXPECT_EQ(search["children"][2]["hint"], "http://search.example.com/news?q=[SEARCH]&member=42");
    EXPECT_EQ(described["toolbar"][0]["hint"], "Sample Bar home page|http://www.example.com/?member=42");

    // The Links menu as it is built when it opens.
    TToolbarItem* links = form->ToolbarModel().Items().Find(u"miLinks");
    ASSERT_NE(links, nullptr);
    ItemMenu menu = BuildItemMenu(links->Children(), form->IconList.Get());
    ASSERT_EQ(GetMenuItemCount(menu.menu.Get()), 5);
    wchar_t text[64] = {};
    GetMenuStringW(menu.menu.Get(), 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Favourites");
    EXPECT_EQ(GetMenuState(menu.menu.Get(), 1, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    // The search engines' menu: radio checks.
    TToolbarItem* selector = form->SearchSelector;
    ItemMenu engines = BuildItemMenu(selector->Children(), form->IconList.Get());
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoW(engines.menu.Get(), 0, TRUE, &info));
    EXPECT_TRUE(info.fType & MFT_RADIOCHECK);
    EXPECT_TRUE(info.fState & MFS_CHECKED);
    // popupMain: the main menu item's sub-items, then the window's own entries.
    EXPECT_EQ(form->popupMain.Entries().front()->Name(), u"miFavourites");
}

TEST_F(ToolbarWindowTest, ClicksReachTheItemsHandlerAndRadioGroupsFollow) {
    BuildSample();
    TFormToolbar::Pointer form = Make();
    std::vector<std::u16string> clicked;
    form->OnItemCommand = [&](TToolbarItem& item) { clicked.push_back(item.Name()); };
    HWND toolbar = form->Toolbar.ToolbarHandle();
    // A click on the Home button, as the toolbar reports it to its parent.
    TBBUTTON home = {};
    SendMessageW(toolbar, TB_GETBUTTON, 2, reinterpret_cast<LPARAM>(&home));
    SendMessageW(form->Toolbar.Handle(), WM_COMMAND, MAKEWPARAM(home.idCommand, BN_CLICKED),
                 reinterpret_cast<LPARAM>(toolbar));
    EXPECT_EQ(clicked, std::vector<std::u16string>{u"miHome"});
    TToolbarItem* images = form->ToolbarModel().Items().Find(u"miEngineImages");
    images->Click();
    EXPECT_TRUE(images->Checked());
    EXPECT_FALSE(form->ToolbarModel().Items().Find(u"miEngineWeb")->Checked());
    // A failing handler shows the error box and the toolbar goes on.
    form->OnItemCommand = [](TToolbarItem&) { throw Error("Navigation failed."); };
    SendMessageW(form->Toolbar.Handle(), WM_COMMAND, MAKEWPARAM(home.idCommand, BN_CLICKED),
                 reinterpret_cast<LPARAM>(toolbar));
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, u"Navigation failed.");
    EXPECT_TRUE(IsWindow(form->Handle()));
}

TEST_F(ToolbarWindowTest, FailureInTheBuildIsReportedAndTheWindowComesUp) {
    WriteTemplate([](TrsStorage& t) {
        t.WriteString("\\Order\\1", "a");
        t.WriteString("\\Order\\2", "a");
        t.WriteString("\\a\\Caption", "A");
        t.WriteString("\\a\\Parent", "Toolbar");
        t.WriteBool("\\a\\Visible", true);
    });
    TFormToolbar::Pointer form = Make();
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, u"A component named a already exists");
    EXPECT_EQ(boxes_.boxes[0].flags & MB_ICONERROR, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(form->SearchSelector, nullptr);
    EXPECT_EQ(SendMessageW(form->Toolbar.ToolbarHandle(), TB_BUTTONCOUNT, 0, 0), 3);  // logo, search box, a
    const json described = json::parse(form->Describe());
    EXPECT_EQ(described["selector"], nullptr);
    EXPECT_EQ(described["errors"][0], "A component named a already exists");
    EXPECT_EQ(described["caption"], "");  // the steps after the failure did not run
    form.reset();  // FormDestroy copes without a selector
}

TEST_F(ToolbarWindowTest, EmptyDataFolderGivesTheDefaults) {
    TFormToolbar::Pointer form = Make();
    const json described = json::parse(form->Describe());
    EXPECT_EQ(described["toolbar"].size(), 1u);
    EXPECT_EQ(described["toolbar"][0]["caption"], "Search");
    EXPECT_EQ(described["toolbar"][0]["imageIndex"], 8);
    EXPECT_EQ(described["imageCount"], -1);
    EXPECT_EQ(described["logo"], nullptr);
    EXPECT_EQ(described["searchBox"]["width"], 145);
    EXPECT_TRUE(boxes_.boxes.empty());
}

// The update runs while the window makes its controls. A new template is this window's; a new
// icon store is the next window's, since the window read its icon store before the update began.
TEST_F(ToolbarWindowTest, AnUpdatedTemplateIsThisWindowsAndAnUpdatedIconStoreTheNextOnes) {
    BuildSample();
    const std::string published_template = ReadWholeFile((folder_ / "SampleBar.tb").string()).value_or("");
    const std::string published_icons = ReadWholeFile((folder_ / "Icons.bin").string()).value_or("");
    std::filesystem::remove(folder_ / "Icons.bin");
    WriteTemplate([](TrsStorage& t) { t.WriteString("\\Options\\Toolbar Name", "Old Bar"); });
    testing_support::HttpServer server;
    server.Set("/bar/SampleBar.tb", testing_support::Reply{published_template});
    server.Set("/bar/icons.bin", testing_support::Reply{published_icons});
    ChangeSettings([&](ToolbarSettings& s) { s.UpdatesUrl = AnsiToUtf16(server.Root() + "bar"); });

    const auto captions = [](const json& described) {
        std::vector<std::string> shown;
        for (const json& item : described["toolbar"]) shown.push_back(item["caption"]);
        return shown;
    };
    TFormToolbar::Pointer first = Make(true);
    ASSERT_TRUE(first);
    const json before = json::parse(first->Describe());
    EXPECT_EQ(captions(before), (std::vector<std::string>{"Home", "", "Web", "", "News", "Links"}));
    EXPECT_EQ(before["imageCount"], 0) << "the icon store came with the update: the one read before had no images";
    EXPECT_EQ(CurrentSettings().UpdatesUrl, AnsiToUtf16(server.Root() + "bar/"));
    first.reset();

    TFormToolbar::Pointer second = Make(true);
    ASSERT_TRUE(second);
    const json after = json::parse(second->Describe());
    EXPECT_EQ(captions(after), captions(before));
    EXPECT_GT(after["imageCount"].get<int>(), 0);
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ToolbarWindowTest, ReleasedWhileBuildingWaitsForTheConstruction) {
    BuildSample();
    // A message that the item loop processes releases the window, as the browser's CloseDW would.
    TFormToolbar::Pointer form = TFormToolbar::New();
    TFormToolbar* raw = form.get();
    bool was_building = false;
    std::size_t items_at_release = 0;
    HWND helper = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(helper, nullptr);
    static std::function<void()> on_timer;
    on_timer = [&] {
        was_building = raw->Building();
        items_at_release = raw->ToolbarModel().Items().Items().size();
        form.reset();
    };
    SetWindowLongPtrW(helper, GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                          if (m == WM_APP) {
                              on_timer();
                              return 0;
                          }
                          return DefWindowProcW(w, m, wp, lp);
                      }));
    PostMessageW(helper, WM_APP, 0, 0);
    TFormToolbar::CreateArgs args;
    args.run_template_update = false;
    EXPECT_FALSE(raw->Construct(args));  // released: the object is gone now
    EXPECT_TRUE(was_building);
    EXPECT_EQ(items_at_release, 0u);  // released when the item loop first processed messages
    EXPECT_EQ(form, nullptr);
    DestroyWindow(helper);
}

TEST_F(ToolbarWindowTest, ReleasedInsideItsOwnHandlerGoesOnTheNextTurn) {
    BuildSample();
    TFormToolbar::Pointer form = Make();
    HWND window = form->Handle();
    form->OnItemCommand = [&](TToolbarItem&) { form.reset(); };
    form->ToolbarModel().Items().Find(u"miHome")->Click();
    EXPECT_EQ(form, nullptr);
    EXPECT_TRUE(IsWindow(window));  // still there while the handler returns
    ProcessMessages();
    EXPECT_FALSE(IsWindow(window));
}

// The published query message, as a driver of another build uses it: the description, an item's
// caption with its menu's opener, a second ask when the buffer was short, and no answer for what the
// window cannot answer or to another thread, whose pointers it cannot trust.
TEST_F(ToolbarWindowTest, AnswersDriversThroughItsQueryMessage) {
    BuildSample();
    TFormToolbar::Pointer form = Make();
    const UINT message = RegisterWindowMessageW(kToolbarQueryMessage);
    const auto ask = [&](WPARAM kind, const wchar_t* name, std::string& answer) {
        char buffer[8] = {};
        ToolbarQuery query{sizeof query, name, buffer, sizeof buffer, 0};
        const LRESULT answered = SendMessageW(form->Handle(), message, kind, reinterpret_cast<LPARAM>(&query));
        if (answered != 1) return answered;
        answer.assign(query.length + 1, '\0');
        query.answer = answer.data();
        query.capacity = static_cast<UINT>(answer.size());
        const LRESULT again = SendMessageW(form->Handle(), message, kind, reinterpret_cast<LPARAM>(&query));
        answer.resize(query.length);
        return again;
    };
    std::string answer;
    ASSERT_EQ(ask(kToolbarDescribe, nullptr, answer), 1);
    EXPECT_EQ(answer, form->Describe());
    ASSERT_EQ(ask(kToolbarLocateItem, L"miHome", answer), 1);
    EXPECT_EQ(answer, "Home");
    ASSERT_EQ(ask(kToolbarLocateItem, L"miNewsWorld", answer), 1);
    EXPECT_EQ(answer, std::string("World\0News", 10));
    EXPECT_EQ(ask(kToolbarLocateItem, L"noSuchItem", answer), 0);
    EXPECT_EQ(ask(99, nullptr, answer), 0);

    ToolbarQuery old_layout{sizeof(ToolbarQuery) - 4, nullptr, nullptr, 0, 0};
    EXPECT_EQ(SendMessageW(form->Handle(), message, kToolbarDescribe, reinterpret_cast<LPARAM>(&old_layout)), 0);
    std::atomic<LRESULT> from_elsewhere{-1};
    std::thread other([&] {
        ToolbarQuery query{sizeof query, nullptr, nullptr, 0, 0};
        from_elsewhere = SendMessageW(form->Handle(), message, kToolbarDescribe, reinterpret_cast<LPARAM>(&query));
    });
    while (from_elsewhere == -1) {
        ProcessMessages();
        Sleep(5);
    }
    other.join();
    EXPECT_EQ(from_elsewhere, 0);
}

// A window that moves to a screen of another scale lays itself out again: icons, fonts, button and
// window heights and the search box ("Search Width" is in 96 DPI pixels) follow the ratio, no
// caption is cut, and the way back gives the layout it started with.
TEST_F(ToolbarWindowTest, FollowsTheScaleOfItsWindow) {
    BuildSample();
    TFormToolbar::Pointer form = Make();
    const auto layout = [&] { return json::parse(form->Describe())["layout"]; };
    const auto move_to = [&](int dpi) {
        RECT suggested{};
        GetWindowRect(form->Handle(), &suggested);
        SendMessageW(form->Handle(), kDpiChangedMessage, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    };
    const json at96 = layout();
    ASSERT_EQ(at96["dpi"], 96);
    ASSERT_EQ(at96["iconSize"], 16);
    const auto find = [](const json& buttons, const std::string& name) {
        for (const json& button : buttons) {
            if (button["name"] == name) return button;
        }
        return json();
    };
    for (const int dpi : {144, 192, 120}) {
        SCOPED_TRACE(dpi);
        move_to(dpi);
        const json scaled = layout();
        const double ratio = dpi / 96.0;
        EXPECT_EQ(form->Dpi(), dpi);
        EXPECT_EQ(scaled["dpi"], dpi);
        EXPECT_EQ(scaled["iconSize"], MulDiv(16, dpi, 96));
        EXPECT_NEAR(scaled["height"].get<int>(), at96["height"].get<int>() * ratio, 2.0);
        ASSERT_EQ(scaled["buttons"].size(), at96["buttons"].size());
        for (const json& before : at96["buttons"]) {
            const std::string name = before["name"];
            SCOPED_TRACE(name);
            const json after = find(scaled["buttons"], name);
            ASSERT_FALSE(after.is_null());
            const int height = after["bottom"].get<int>() - after["top"].get<int>();
            const int width = after["right"].get<int>() - after["left"].get<int>();
            EXPECT_NEAR(height, (before["bottom"].get<int>() - before["top"].get<int>()) * ratio, 2.0);
            // The search box, the logo and the separators are sizes of the design.
            if (name == "TBControlItem1" || name == "MediaControl" || name.rfind("Separator", 0) == 0) {
                EXPECT_NEAR(width, (before["right"].get<int>() - before["left"].get<int>()) * ratio, 1.0);
            }
            if (!after["caption"].get<std::string>().empty()) {
                EXPECT_GE(width, scaled["iconSize"].get<int>() + after["textWidth"].get<int>());
            }
        }
    }
    move_to(96);
    EXPECT_EQ(layout(), at96);
}

// The window went first (its frame closed under a handler's box), so no message can carry the
// release: the form still goes once the handler has returned, instead of staying for good.
TEST_F(ToolbarWindowTest, ReleasedInsideItsOwnHandlerAfterItsWindowWentStillGoes) {
    BuildSample();
    TFormToolbar::Pointer form = Make();
    bool destroyed = false;
    const std::function<void()> own_destroy = form->OnDestroy;
    form->OnDestroy = [&destroyed, own_destroy] {
        destroyed = true;
        own_destroy();
    };
    form->OnItemCommand = [&](TToolbarItem&) {
        DestroyWindow(form->Handle());
        form.reset();
    };
    form->ToolbarModel().Items().Find(u"miHome")->Click();
    EXPECT_EQ(form, nullptr);
    EXPECT_FALSE(destroyed) << "not under its own handler";
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (!destroyed && GetTickCount64() < deadline) {
        ProcessMessages();
        Sleep(10);
    }
    EXPECT_TRUE(destroyed) << "the form was left behind";
}

}  // namespace
}  // namespace tb

namespace tb {
namespace {

// Damaged and random templates: every build ends (in a toolbar or an error box), never in a crash.
TEST_F(ToolbarWindowTest, DamagedAndRandomTemplatesNeverCrash) {
    BuildSample();
    const std::filesystem::path file = folder_ / "SampleBar.tb";
    const std::optional<std::string> original = ReadWholeFile(file.string());
    ASSERT_TRUE(original);
    std::uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 60; ++round) {
        std::string bytes = *original;
        if (round < 20) {
            bytes.resize(bytes.size() * static_cast<std::size_t>(round) / 20);  // cut short
        } else if (round < 50) {
            for (int flips = 0; flips < 8; ++flips) bytes[next() % bytes.size()] = static_cast<char>(next() >> 8);
        } else {
            bytes.assign(200 + next() % 2000, '\0');
            for (char& c : bytes) c = static_cast<char>(next() >> 16);
        }
        WriteWholeFile(file.string(), bytes);
        SCOPED_TRACE(round);
        TFormToolbar::Pointer form = TFormToolbar::New();
        TFormToolbar::CreateArgs args;
        args.run_template_update = false;
        args.visible = false;
        ASSERT_TRUE(form->Construct(args));
        EXPECT_NO_THROW(json::parse(form->Describe()));
    }
}

}  // namespace
}  // namespace tb
