// The toolbar's construction from a template: item kinds by the order entry's name, the keys each
// item takes, attaching, the search selector in its three shapes, the selected engine, the main
// menu, the "\Strings" captions, the options and the logo, and where the build stops on failures.
#include <gtest/gtest.h>

#include <cstdio>

#include "toolbar/toolbar_description.hpp"
#include "builder_fixture.hpp"

namespace tb {
namespace {

TEST_F(BuilderTest, StepsRunInOrderAndTheDefaultSelectorStandsAtTheRightEnd) {
    Order({"miHome", "Separator1"});
    Item("miHome", "Home");
    tpl.WriteString("\\Separator1\\Parent", "Toolbar");
    tpl.WriteBool("\\Separator1\\Visible", true);
    Build();
    ASSERT_EQ(error, "");
    EXPECT_EQ(window.calls, (std::vector<std::string>{"update", "icons", "reload"}));
    EXPECT_EQ(window.pumps, 2);  // before each item
    EXPECT_EQ(TopNames(), (std::vector<std::u16string>{u"miHome", u"Separator1", u"miSearch"}));
    TToolbarItem* selector = Find(u"miSearch");
    ASSERT_EQ(result.SearchSelector, selector);
    EXPECT_EQ(selector->Kind(), ItemKind::Item);
    EXPECT_EQ(selector->Caption(), u"Search");
    EXPECT_EQ(selector->ImageIndex(), 8);
    EXPECT_EQ(result.CurrentSearchUrl, settings.SearchUrl);
    selector->Click();
    EXPECT_EQ(window.clicked, (std::vector<std::string>{"search:miSearch"}));
}

TEST_F(BuilderTest, OrderCountsKeysButReadsOneToN) {
    // Keys 1, 2 and 5: three entries, read from 1, 2 and 3 (missing: empty).
    tpl.WriteString("\\Order\\1", "a");
    tpl.WriteString("\\Order\\2", "b");
    tpl.WriteString("\\Order\\5", "c");
    Item("a", "A");
    Item("b", "B");
    Item("c", "C");
    Build();
    ASSERT_EQ(error, "");
    EXPECT_EQ(TopNames(), (std::vector<std::u16string>{u"a", u"b", u"miSearch"}));
    EXPECT_EQ(Find(u"c"), nullptr);
    // The empty entry is a plain item with the empty name (no "\Name" key at the root), attached nowhere.
    const auto& items = toolbar.Items().Items();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[2]->Name(), u"");
    EXPECT_EQ(items[2]->Kind(), ItemKind::Item);
    EXPECT_FALSE(items[2]->Attached());
}

TEST_F(BuilderTest, KindFollowsTheEntryName) {
    const struct {
        const char* entry;
        ItemKind kind;
        bool arrow;
    } cases[] = {
        {"MySeparator2", ItemKind::Separator, false},
        {"Tools SubMenu", ItemKind::Submenu, true},
        {"separator", ItemKind::Item, false},  // the test is case-sensitive
        {"xSubmenu", ItemKind::Item, false},
    };
    std::vector<std::string> order;
    for (const auto& c : cases) order.push_back(c.entry);
    Order(order);
    for (const auto& c : cases) tpl.WriteString(std::string("\\") + c.entry + "\\Name", "n" + std::to_string(&c - cases));
    Build();
    ASSERT_EQ(error, "");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const TToolbarItem* item = toolbar.Items().Find(AnsiToUtf16("n" + std::to_string(&c - cases)));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->Kind(), c.kind);
        EXPECT_EQ(item->DropdownArrow(), c.arrow);
    }
}

TEST_F(BuilderTest, ItemKeys) {
    Order({"plain", "bare", "linked"});
    Item("plain", "Pl\xC3\xA4in");  // UTF-8
    tpl.WriteInteger("\\plain\\ImageIndex", 3);
    tpl.WriteInteger("\\Icons\\3", 7);
    tpl.WriteInteger("\\plain\\Tag", -5);
    tpl.WriteInteger("\\plain\\GroupIndex", 2);
    tpl.WriteBool("\\plain\\Enabled", false);
    tpl.WriteString("\\plain\\URL", "News|http://x/?id=[member]&m=[MEMBER]");
    tpl.WriteString("\\bare\\Parent", "Toolbar");  // no Visible, Enabled, ImageIndex or URL
    tpl.WriteInteger("\\bare\\ImageIndex", 4);      // no "\Icons\4"
    Item("linked", "L");
    tpl.WriteString("\\linked\\URL", "\xFF\xFE");  // not UTF-8: judged empty, the hint keeps it
    Build();
    ASSERT_EQ(error, "");

    const TToolbarItem& plain = *Find(u"plain");
    EXPECT_EQ(plain.Caption(), u"Pl\u00E4in");
    EXPECT_EQ(plain.ImageIndex(), 7);
    EXPECT_EQ(plain.DisplayMode(), ItemDisplayMode::ImageAndText);
    EXPECT_EQ(plain.Tag(), -5);
    EXPECT_EQ(plain.GroupIndex(), 2);
    EXPECT_TRUE(plain.AutoCheck());
    EXPECT_FALSE(plain.Enabled());
    EXPECT_TRUE(plain.Visible());
    EXPECT_EQ(plain.Hint(), u"News|http://x/?id=42&m=42");
    EXPECT_TRUE(static_cast<bool>(plain.OnClick));

    const TToolbarItem& bare = *Find(u"bare");
    EXPECT_FALSE(bare.Visible());  // the window is not visible while it is built
    EXPECT_TRUE(bare.Enabled());
    EXPECT_EQ(bare.ImageIndex(), -1);
    EXPECT_FALSE(bare.AutoCheck());
    EXPECT_FALSE(static_cast<bool>(bare.OnClick));

    const TToolbarItem& linked = *Find(u"linked");
    EXPECT_FALSE(static_cast<bool>(linked.OnClick));
    EXPECT_EQ(linked.Hint(), AnsiToUtf16("\xFF\xFE"));
}

TEST_F(BuilderTest, SubmenuWithUrlIsSplit) {
    Order({"ToolsSubMenu", "EmptySubMenu", "child"});
    Item("ToolsSubMenu", "Tools");
    tpl.WriteString("\\ToolsSubMenu\\URL", "http://tools/");
    Item("EmptySubMenu", "Empty");
    Item("child", "Child", "toolssubmenu");  // parent names ignore letter case
    Build();
    ASSERT_EQ(error, "");
    EXPECT_TRUE(Find(u"ToolsSubMenu")->Split());
    EXPECT_TRUE(Find(u"ToolsSubMenu")->DropdownArrow());
    EXPECT_FALSE(Find(u"EmptySubMenu")->Split());
    EXPECT_EQ(Find(u"child")->Parent(), Find(u"ToolsSubMenu"));
}

TEST_F(BuilderTest, SearchSelectorShapes) {
    const struct {
        bool has_count;
        int count;
        ItemKind kind;
        bool arrow_and_split;
    } cases[] = {
        {true, 3, ItemKind::Submenu, true},
        {true, 0, ItemKind::Item, false},
        {false, 0, ItemKind::Item, false},
        {true, -1, ItemKind::Submenu, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        TrsStorage fresh;
        TToolbarModel model;
        BuildResult built;
        fresh.WriteString("\\Order\\1", "miSearch");
        fresh.WriteString("\\miSearch\\Parent", "Toolbar");
        fresh.WriteString("\\miSearch\\URL", "http://not-a-handler/");
        fresh.WriteInteger("\\miSearch\\Tag", 9);
        if (c.has_count) fresh.WriteInteger("\\miSearch\\Count", c.count);
        BuildToolbarFromTemplate(fresh, window, model, settings, built);
        ASSERT_NE(built.SearchSelector, nullptr);
        EXPECT_EQ(built.SearchSelector->Kind(), c.kind);
        EXPECT_EQ(built.SearchSelector->DropdownArrow(), c.arrow_and_split);
        EXPECT_EQ(built.SearchSelector->Split(), c.arrow_and_split);
        // The selector carries no command and no tag; its click is the search.
        EXPECT_EQ(built.SearchSelector->Hint(), u"");
        EXPECT_EQ(built.SearchSelector->Tag(), 0);
        window.clicked.clear();
        built.SearchSelector->Click();
        EXPECT_EQ(window.clicked, (std::vector<std::string>{"search:miSearch"}));
        EXPECT_EQ(model.TopLevel().size(), 1u);
    }
}

TEST_F(BuilderTest, SelectedEngineFromSettingsIni) {
    const struct {
        const char* ini;
        const char16_t* checked;
        const char16_t* caption;
        const char16_t* url;
    } cases[] = {
        {"[Settings]\r\nSearch Type=2\r\n", u"miImages", u"Images", u"http://i/?q=[SEARCH]"},
        {"[Settings]\r\nSearch Type=x\r\n", u"miWeb", u"Web", u"http://w/?q=[SEARCH]"},
        {"", u"miWeb", u"Web", u"http://w/?q=[SEARCH]"},
        {"[Settings]\r\nSearch Type=0\r\n", nullptr, u"Find", u"http://default/?q=[SEARCH]"},
        {"[Settings]\r\nSearch Type=7\r\n", nullptr, u"Find", u"http://default/?q=[SEARCH]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        WriteSettingsIni(c.ini);
        TrsStorage fresh;
        TToolbarModel model;
        BuildResult built;
        fresh.WriteString("\\Order\\1", "miSearch");
        fresh.WriteString("\\Order\\2", "miWeb");
        fresh.WriteString("\\Order\\3", "miImages");
        fresh.WriteInteger("\\miSearch\\Count", 2);
        fresh.WriteString("\\miSearch\\Caption", "Find");
        fresh.WriteString("\\miSearch\\Parent", "Toolbar");
        const char* engines[][4] = {{"miWeb", "Web", "1", "http://w/?q=[SEARCH]"}, {"miImages", "Images", "2", "http://i/?q=[SEARCH]"}};
        for (const auto& e : engines) {
            fresh.WriteString(std::string("\\") + e[0] + "\\Caption", e[1]);
            fresh.WriteInteger(std::string("\\") + e[0] + "\\Tag", std::stoi(e[2]));
            fresh.WriteInteger(std::string("\\") + e[0] + "\\GroupIndex", 1);
            fresh.WriteInteger(std::string("\\") + e[0] + "\\ImageIndex", std::stoi(e[2]));
            fresh.WriteInteger(std::string("\\Icons\\") + e[2], 10 + std::stoi(e[2]));
            fresh.WriteString(std::string("\\") + e[0] + "\\URL", e[3]);
            fresh.WriteString(std::string("\\") + e[0] + "\\Parent", "miSearch");
        }
        BuildToolbarFromTemplate(fresh, window, model, settings, built);
        for (const char16_t* name : {u"miWeb", u"miImages"}) {
            EXPECT_EQ(model.Items().Find(name)->Checked(), c.checked != nullptr && std::u16string(name) == c.checked);
        }
        EXPECT_EQ(built.SearchSelector->Caption(), c.caption);
        EXPECT_EQ(built.CurrentSearchUrl, c.url);
        if (c.checked != nullptr) {
            EXPECT_EQ(built.SearchSelector->Tag(), model.Items().Find(c.checked)->Tag());
            EXPECT_EQ(built.SearchSelector->ImageIndex(), model.Items().Find(c.checked)->ImageIndex());
        }
    }
}

TEST_F(BuilderTest, StringsSetCaptionsOfTheWindowsOwnItems) {
    tpl.WriteString("\\Strings\\Menu Cut", "Ausschneiden");
    tpl.WriteString("\\Strings\\Message Clear History", "Sure?");  // no such item
    tpl.WriteString("\\Strings\\TBSeparatorItem39", "not an item with a caption");
    Order({"MenuCut"});  // the toolbar's name space is another one
    Item("MenuCut", "Template's own");
    Build();
    ASSERT_EQ(error, "");
    EXPECT_EQ(window.own.Find(u"MenuCut")->Caption(), u"Ausschneiden");
    EXPECT_EQ(Find(u"MenuCut")->Caption(), u"Template's own");
}

TEST_F(BuilderTest, OptionsGoIntoTheBuilderGroup) {
    tpl.WriteString("\\Options\\Version", "2.5");
    tpl.WriteString("\\Options\\Main Menu", "miLinks");
    tpl.WriteString("\\Options\\Bitmap", "C:\\elsewhere\\logo.bmp");
    tpl.WriteString("\\Options\\About Color", "12345678");
    tpl.WriteInteger("\\Options\\Search Width", 222);
    tpl.WriteBool("\\Options\\Bitmap Transparent", true);
    tpl.WriteBool("\\Options\\Hide Search Box", true);
    tpl.WriteBool("\\Options\\Search Dynamic", false);
    Order({"miLinks"});
    Item("miLinks", "Links");
    Build();
    ASSERT_EQ(error, "");
    const ToolbarSettings record = CurrentSettings();
    EXPECT_EQ(record.ToolbarVersion, u"2.5");
    EXPECT_EQ(record.MainMenuItemName, u"miLinks");
    EXPECT_EQ(record.LogoImagePath, u"C:\\Data\\Bar\\logo.bmp");
    EXPECT_EQ(record.AboutColor, u"123456");
    EXPECT_EQ(record.AboutCaption, u"About Bar");
    EXPECT_EQ(record.AboutWidth, 503);
    EXPECT_EQ(record.AboutHeight, 367);
    EXPECT_EQ(record.AboutFont, u"Tahoma");
    EXPECT_EQ(record.AboutFontSize, 8);
    EXPECT_EQ(record.AboutButtonCaption, u"&Close About Box");
    EXPECT_EQ(record.AboutImagePath, u"C:\\Data\\Bar\\");
    EXPECT_FALSE(record.SearchDynamic);
    EXPECT_TRUE(record.HideSearchBox);
    EXPECT_EQ(window.search_width, 222);
    EXPECT_TRUE(window.transparent);
    EXPECT_FALSE(window.search_visible);
    EXPECT_EQ(window.main_menu, Find(u"miLinks"));
}

TEST_F(BuilderTest, LogoFileByExtension) {
    const struct {
        const char* file;
        const char* call;
    } cases[] = {{"logo.png", "png logo.png"}, {"logo.PNG", "picture logo.PNG"}, {"logo.jpg", "picture logo.jpg"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        window.calls.clear();
        window.files = {u"C:\\Data\\Bar\\" + AnsiToUtf16(c.file)};
        TrsStorage fresh;
        TToolbarModel model;
        BuildResult built;
        fresh.WriteString("\\Options\\Bitmap", c.file);
        BuildToolbarFromTemplate(fresh, window, model, settings, built);
        EXPECT_EQ(window.calls.back(), c.call);
    }
    // No file: nothing is loaded.
    window.calls.clear();
    window.files.clear();
    tpl.WriteString("\\Options\\Bitmap", "logo.png");
    Build();
    EXPECT_EQ(window.calls.size(), 3u);
}

TEST_F(BuilderTest, FailuresStopTheBuildAndKeepWhatWasBuilt) {
    const struct {
        const char* what;
        std::function<void(BuilderTest&)> fill;
        const char* message;
        std::vector<std::u16string> top;
    } cases[] = {
        {"duplicate",
         [](BuilderTest& t) {
             t.Order({"a", "b", "a", "c"});
             t.Item("a", "A");
             t.Item("b", "B");
             t.Item("c", "C");
         },
         "A component named a already exists", {u"a", u"b"}},
        {"invalid name",
         [](BuilderTest& t) {
             t.Order({"a", "b"});
             t.Item("a", "A");
             t.Item("b", "B");
             t.tpl.WriteString("\\b\\Name", "9lives");
         },
         "''9lives'' is not a valid component name", {u"a"}},
        {"wrong kind",
         [](BuilderTest& t) {
             t.Order({"a", "b"});
             t.Item("a", "A");
             t.Item("b", "B");
             t.tpl.WriteString("\\b\\Tag", "many");
         },
         "", {u"a"}},
        {"png logo",
         [](BuilderTest& t) {
             t.window.files = {u"C:\\Data\\Bar\\l.png"};
             t.window.png_fails = true;
             t.tpl.WriteString("\\Options\\Bitmap", "l.png");
             t.Order({"a"});
             t.Item("a", "A");
         },
         "png failed", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tpl.ClearAll();
        toolbar.Items().Clear();
        result = {};
        error.clear();
        window.files.clear();
        window.png_fails = false;
        c.fill(*this);
        Build();
        EXPECT_NE(error, "");
        if (*c.message != 0) {
            EXPECT_EQ(error, c.message);
        }
        EXPECT_EQ(TopNames(), c.top);
        EXPECT_EQ(result.SearchSelector, nullptr);  // the step that makes it did not run
    }
}

TEST_F(BuilderTest, SwallowedFailuresAndMissingParents) {
    window.files = {u"C:\\Data\\Bar\\l.jpg"};
    window.picture_fails = true;
    tpl.WriteString("\\Options\\Bitmap", "l.jpg");
    Order({"a"});
    Item("a", "A", "NoSuchParent");
    Build();
    EXPECT_EQ(error, "");
    EXPECT_FALSE(Find(u"a")->Attached());
    EXPECT_EQ(TopNames(), (std::vector<std::u16string>{u"miSearch"}));
}

// A hand-made template may chain items as deep as it has keys; menus are built by recursion, so
// what lies deeper than the toolbar shows is attached nowhere.
TEST_F(BuilderTest, ItemsNestedTooDeepAreLeftOut) {
    const auto name = [](int level) {
        char text[16];
        std::snprintf(text, sizeof text, "n%d", level);
        return std::string(text);
    };
    std::vector<std::string> chain;
    for (int level = 0; level <= kMaxItemNesting + 1; ++level) chain.push_back(name(level));
    Order(chain);
    for (size_t i = 0; i < chain.size(); ++i) Item(chain[i], chain[i], i == 0 ? "Toolbar" : chain[i - 1]);
    Build();
    EXPECT_EQ(error, "");
    EXPECT_TRUE(toolbar.Items().Find(AnsiToUtf16(name(kMaxItemNesting)))->Attached());
    EXPECT_FALSE(toolbar.Items().Find(AnsiToUtf16(name(kMaxItemNesting + 1)))->Attached());
}

TEST(ItemModel, RadioGroupsAndClicks) {
    TToolbarModel toolbar;
    TToolbarItem& parent = toolbar.Items().Create(ItemKind::Submenu, u"p");
    TToolbarItem& a = toolbar.Items().Create(ItemKind::Item, u"a");
    TToolbarItem& b = toolbar.Items().Create(ItemKind::Item, u"B");
    TToolbarItem& other = toolbar.Items().Create(ItemKind::Item, u"other");
    for (TToolbarItem* item : {&a, &b, &other}) {
        parent.Append(*item);
        item->SetAutoCheck(true);
    }
    a.SetGroupIndex(1);
    b.SetGroupIndex(1);
    int clicks = 0;
    b.OnClick = [&](TToolbarItem& sender) {
        EXPECT_EQ(&sender, &b);
        ++clicks;
    };
    a.Click();
    b.Click();
    EXPECT_FALSE(a.Checked());
    EXPECT_TRUE(b.Checked());
    other.Click();  // no group: toggles, leaves the group alone
    EXPECT_TRUE(other.Checked());
    EXPECT_TRUE(b.Checked());
    b.SetEnabled(false);
    b.Click();
    EXPECT_EQ(clicks, 1);
    // One name space, letter case ignored; the empty name is free.
    EXPECT_EQ(toolbar.Items().Find(u"b"), &b);
    EXPECT_THROW(toolbar.Items().Create(ItemKind::Item, u"A"), ComponentError);
    EXPECT_NO_THROW(toolbar.Items().Create(ItemKind::Item));
    EXPECT_NO_THROW(toolbar.Items().Create(ItemKind::Item));
    // An item cannot hold its own ancestor.
    a.Append(parent);
    EXPECT_EQ(parent.Parent(), nullptr);
}

TEST(Description, ListsBuiltItemsAndEscapesText) {
    TToolbarModel toolbar;
    TItemOwner window_items;
    TToolbarItem& logo = window_items.Create(ItemKind::Control, u"MediaControl");
    toolbar.AppendTop(logo);
    TToolbarItem& sub = toolbar.Items().Create(ItemKind::Submenu, u"s");
    sub.SetCaption(u"Say \"hi\"\n");
    toolbar.AppendTop(sub);
    TToolbarItem& child = toolbar.Items().Create(ItemKind::Item, u"c");
    sub.Append(child);
    toolbar.Items().Create(ItemKind::Item, u"lost");
    ToolbarFacts facts;
    facts.toolbar = &toolbar;
    facts.errors = {"boom"};
    const std::string json = DescribeToolbar(facts);
    EXPECT_NE(json.find("\"toolbar\":[{\"name\":\"s\",\"kind\":\"submenu\",\"caption\":\"Say \\\"hi\\\"\\n\""),
              std::string::npos) << json;
    EXPECT_EQ(json.find("MediaControl"), std::string::npos);
    EXPECT_NE(json.find("\"children\":[{\"name\":\"c\""), std::string::npos);
    EXPECT_NE(json.find("\"unattached\":[\"lost\"]"), std::string::npos);
    EXPECT_NE(json.find("\"selector\":null"), std::string::npos);
    EXPECT_NE(json.find("\"logo\":null"), std::string::npos);
    EXPECT_NE(json.find("\"imageCount\":-1"), std::string::npos);
    EXPECT_NE(json.find("\"errors\":[\"boom\"]"), std::string::npos);
}

}  // namespace
}  // namespace tb
