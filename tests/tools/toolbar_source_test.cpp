#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "tools/toolbar_source.hpp"

namespace tb::tool {
namespace {

// Files named by a source read as their own name, so the plan shows which file went where.
std::string FakeRead(const std::string& path, SourceFileUse) { return "bytes of " + path; }

BuildPlan Plan(const char* json) { return PlanBuild(Json::parse(json), "src", FakeRead); }

// The planned keys as "path=value" in write order (text as is, integers and booleans in decimal).
std::map<std::string, std::string> Keys(const BuildPlan& plan) {
    std::map<std::string, std::string> out;
    for (const PlannedKey& k : plan.template_keys) {
        std::string value = k.value.payload;
        if (k.value.kind == kKindInteger || k.value.kind == kKindBoolean) {
            uint32_t v = 0;
            for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(value[static_cast<size_t>(i)]);
            value = std::to_string(static_cast<int32_t>(v));
        }
        out[k.path] = value;
    }
    return out;
}

TEST(ToolbarSource, DoesTheBookkeepingOfOrderParentsIconsAndEngines) {
    const BuildPlan plan = Plan(R"({
      "name": "Bar",
      "items": [
        {"name": "miHome", "caption": "Home", "icon": "home.png", "url": "Home|http://a.example/"},
        "-",
        {"type": "search", "icon": "find.png", "engines": [
          {"caption": "Web", "icon": "web.png", "url": "http://s.example/?q=[SEARCH]"},
          {"caption": "News", "url": "http://n.example/?q=[search]", "tag": 7}
        ]},
        {"name": "miTools", "caption": "Tools", "url": "http://t.example/", "items": [
          {"name": "miAgain", "icon": "home.png", "url": "[ABOUT]", "visible": false}
        ]}
      ]})");
    EXPECT_EQ(plan.base_name, "Bar");
    ASSERT_EQ(plan.icons.size(), 3u);  // home.png once, in first-use order
    EXPECT_EQ(plan.icons[0].png, "bytes of src/home.png");
    EXPECT_EQ(plan.icons[2].file, "web.png");

    const auto keys = Keys(plan);
    const std::map<std::string, std::string> expected = {
        {"\\Order\\1", "miHome"},         {"\\miHome\\Caption", "Home"},
        {"\\miHome\\ImageIndex", "0"},    {"\\Icons\\0", "0"},
        {"\\miHome\\URL", "Home|http://a.example/"},
        {"\\miHome\\Visible", "1"},       {"\\miHome\\Parent", "Toolbar"},
        {"\\Order\\2", "Separator1"},     {"\\Separator1\\Visible", "1"},
        {"\\Separator1\\Parent", "Toolbar"},
        {"\\Order\\3", "miSearch"},       {"\\miSearch\\ImageIndex", "1"},
        {"\\Icons\\1", "1"},              {"\\miSearch\\Visible", "1"},
        {"\\miSearch\\Parent", "Toolbar"}, {"\\miSearch\\Count", "2"},
        {"\\Order\\4", "Engine1"},        {"\\Engine1\\Caption", "Web"},
        {"\\Engine1\\ImageIndex", "2"},   {"\\Icons\\2", "2"},
        {"\\Engine1\\URL", "http://s.example/?q=[SEARCH]"},
        {"\\Engine1\\Tag", "1"},          {"\\Engine1\\GroupIndex", "1"},
        {"\\Engine1\\Visible", "1"},      {"\\Engine1\\Parent", "miSearch"},
        {"\\Order\\5", "Engine2"},        {"\\Engine2\\Caption", "News"},
        {"\\Engine2\\URL", "http://n.example/?q=[search]"},
        {"\\Engine2\\Tag", "7"},          {"\\Engine2\\GroupIndex", "1"},
        {"\\Engine2\\Visible", "1"},      {"\\Engine2\\Parent", "miSearch"},
        // A sub-menu's section must contain "SubMenu"; its component keeps the given name.
        {"\\Order\\6", "miToolsSubMenu"}, {"\\miToolsSubMenu\\Name", "miTools"},
        {"\\miToolsSubMenu\\Caption", "Tools"}, {"\\miToolsSubMenu\\URL", "http://t.example/"},
        {"\\miToolsSubMenu\\Visible", "1"}, {"\\miToolsSubMenu\\Parent", "Toolbar"},
        {"\\Order\\7", "miAgain"},        {"\\miAgain\\ImageIndex", "0"},
        {"\\miAgain\\URL", "[ABOUT]"},    {"\\miAgain\\Visible", "0"},
        {"\\miAgain\\Parent", "miTools"},
        // Searches from the box go to the first engine unless the options say otherwise.
        {"\\Options\\Search URL", "http://s.example/?q=[SEARCH]"},
    };
    EXPECT_EQ(keys, expected);
}

TEST(ToolbarSource, SectionNamesNeverGiveAnItemTheWrongShape) {
    const auto keys = Keys(Plan(R"({"items": [
        {"name": "SeparatorLike", "url": "x"},
        {"name": "Options", "url": "x"},
        {"name": "Item1", "url": "x"},
        {"name": "Menu", "items": [{"type": "separator", "name": "Line"}]}
    ]})"));
    EXPECT_EQ(keys.at("\\Order\\1"), "Item1");  // "Separator" in the name would make a separator
    EXPECT_EQ(keys.at("\\Item1\\Name"), "SeparatorLike");
    EXPECT_EQ(keys.at("\\Order\\2"), "Item2");  // "Options" is the toolbar's own section
    EXPECT_EQ(keys.at("\\Order\\3"), "Item3");  // "Item1" is taken by now
    EXPECT_EQ(keys.at("\\Item3\\Name"), "Item1");
    EXPECT_EQ(keys.at("\\Order\\4"), "MenuSubMenu");
    EXPECT_EQ(keys.at("\\Order\\5"), "Separator1");
    EXPECT_EQ(keys.at("\\Separator1\\Name"), "Line");
    EXPECT_EQ(keys.at("\\Separator1\\Parent"), "Menu");
}

TEST(ToolbarSource, OptionsStringsAndKeysAreTyped) {
    const BuildPlan plan = Plan(R"({
      "options": {"About Show": true, "Search Width": 200, "About Color": "FF8000", "Toolbar Name": "Bär"},
      "strings": {"Menu Cut": "Aus&schneiden", "Message Clear History": "Löschen?"},
      "keys": {"\\Custom\\Blob": {"file": "data.bin"}, "\\Custom\\Big": {"kind": "int64", "value": 5}}
    })");
    const auto keys = Keys(plan);
    EXPECT_EQ(keys.at("\\Options\\About Show"), "1");
    EXPECT_EQ(keys.at("\\Options\\Search Width"), "200");
    EXPECT_EQ(keys.at("\\Options\\Toolbar Name"), "B\xC3\xA4r");        // UTF-8 key: kept as UTF-8
    EXPECT_EQ(keys.at("\\Strings\\Message Clear History"), "L\xC3\xB6schen?");
    EXPECT_EQ(keys.at("\\Custom\\Blob"), "bytes of src/data.bin");
    for (const PlannedKey& k : plan.template_keys) {
        if (k.path == "\\Custom\\Big") {
            EXPECT_EQ(k.value.kind, kKindInt64);
        }
    }
}

TEST(ToolbarSource, MistakesAreReportedWithTheirPlace) {
    const struct {
        const char* json;
        const char* message;
    } cases[] = {
        {R"({"options": {"Search Widht": 3}})", "options.Search Widht: the toolbar reads no such option"},
        {R"({"options": {"About Show": "yes"}})", "options.About Show: expected true or false"},
        // Written as the toolbar names it, as the schema lists it: editors and the build agree.
        {R"({"options": {"about show": true}})", "options.about show: write the option as \"About Show\""},
        {R"({"options": {"About Width": 3000000000}})", "options.About Width: 3000000000 is out of range"},
        {R"({"items": [{"name": "9lives"}]})", "items[0].name: \"9lives\" is not a valid component name"},
        {R"({"items": [{"name": "a"}, {"items": [{"name": "A"}]}]})", "items[1].items[0].name: a component named A already exists"},
        {R"({"items": [{"type": "search", "engines": [{"url": "http://x/"}]}]})",
         "items[0].engines[0].url: a search engine needs a URL holding \"[SEARCH]\""},
        {R"({"items": [{"type": "search"}, {"type": "search"}]})", "items[1]: the toolbar has one search selector only"},
        {R"({"items": [{"type": "separator", "caption": "x"}]})", "items[0].caption: unknown field"},
        {R"({"items": [{"name": "", "items": []}]})", "items[0].name: an item with sub-items needs a name"},
        {R"({"strings": {"Menu Cut": "\u4e2d"}})", "strings.Menu Cut: \"\xE4\xB8\xAD\" has characters that the system code page cannot hold"},
        {R"({"items": [{"keys": {"a\\b": 1}}]})", "items[0].keys.a\\b: a key of the item's section is a bare name"},
        {R"({"colour": 1})", "colour: unknown field"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            Plan(c.json);
            ADD_FAILURE() << "accepted";
        } catch (const JsonError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// Many items side by side, none named: the names made up for them cost the same for the last item
// as for the first, so four times the items take about four times as long, not sixteen.
TEST(ToolbarSource, ManyUnnamedItemsArePlannedInLinearTime) {
    const auto plan_seconds = [](int count, std::map<std::string, std::string>* keys) {
        Json items = Json::array();
        for (int i = 0; i < count; ++i) items.push_back(Json::object({{"caption", "a"}, {"url", "x"}}));
        const Json source = Json::object({{"items", std::move(items)}});
        const auto start = std::chrono::steady_clock::now();
        const BuildPlan plan = PlanBuild(source, "src", FakeRead);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (keys) *keys = Keys(plan);
        return seconds;
    };
    std::map<std::string, std::string> keys;
    const double small = plan_seconds(5000, nullptr);
    const double large = plan_seconds(20000, &keys);
    EXPECT_LT(large, 8 * small + 0.05) << small << " s for 5000 items, " << large << " s for 20000";
    EXPECT_EQ(keys.at("\\Order\\20000"), "Item20000");
    EXPECT_EQ(keys.at("\\Item20000\\Parent"), "Toolbar");
}

}  // namespace
}  // namespace tb::tool
