#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <variant>

#include "settings/helpers.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"
#include "toolbar/toolbar_builder.hpp"
#include "tools/lint.hpp"
#include "tools/store_access.hpp"

namespace tb::tool {
namespace {

struct Binary {
    std::string bytes;
};

// A template made by the store from typed keys, read back through the store as the toolbar reads it.
class TemplateKeys {
public:
    using Value = std::variant<std::string, int32_t, bool, Binary>;

    TemplateKeys(std::initializer_list<std::pair<const char*, Value>> keys) {
        store_.SetOptions(0);
        // A later entry replaces an earlier one of the same path, so cases can change a clean item.
        for (const auto& [path, value] : keys) Write(path, value);
    }
    void Write(const std::string& path, const Value& value) {
        if (const auto* s = std::get_if<std::string>(&value)) store_.WriteString(path, *s);
        if (const auto* i = std::get_if<int32_t>(&value)) store_.WriteInteger(path, *i);
        if (const auto* b = std::get_if<bool>(&value)) store_.WriteBool(path, *b);
        if (const auto* b = std::get_if<Binary>(&value)) store_.WriteBinary(path, b->bytes);
    }
    TemplateKeys(const TemplateKeys& other) : TemplateKeys({}) {
        store_.LoadTables(other.store_.Sections(), other.store_.Keys(), false);
    }

    std::unique_ptr<TemplateView> Open() const { return OpenTemplateImage(TrsBinData::EncodeTables(store_)); }

private:
    TrsStorage store_;
};

// One plain item that lints clean; the cases below add or change a key or two.
#define CLEAN_ITEM                                                                                          \
    {"\\Order\\1", std::string("miHome")}, {"\\miHome\\Caption", std::string("Home")},                       \
        {"\\miHome\\URL", std::string("http://www.example.com/")}, {"\\miHome\\Visible", true},                \
        {"\\miHome\\Parent", std::string("Toolbar")}

std::vector<Finding> Lint(const TemplateKeys& tpl, const std::string& base = "Bar", int images = -1) {
    std::optional<IconStoreFacts> icons;
    if (images >= 0) icons = IconStoreFacts{"Icons.bin", images, {}};
    return LintTemplate(*tpl.Open(), base, icons);
}

std::string All(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& f : findings) text += FormatFinding(f) + "\n";
    return text;
}

TEST(Lint, ACleanTemplateHasNoFindings) {
    EXPECT_EQ(All(Lint({CLEAN_ITEM, {"\\Options\\Toolbar Name", std::string("Bar")},
                        {"\\Options\\Toolbar GUID", std::string("{5C0FFEE0-0000-4000-8000-00000000BA12}")},
                        {"\\Options\\Updates URL", std::string("https://updates.example.com/bar")},
                        {"\\Options\\About Color", std::string("00FF80")},
                        {"\\Strings\\Menu Close Toolbar", std::string("Close")},
                        // Text the store's integer reading accepts.
                        {"\\miHome\\Tag", std::string(" $1F")}})),
              "");
}

struct LintCase {
    const char* what;
    TemplateKeys tpl;
    const char* finding;  // the start of the formatted finding expected among the results
    int images = -1;
    const char* base = "Bar";
};

TEST(Lint, EachFaultGivesItsFinding) {
    const LintCase cases[] = {
        {"hidden item", {{"\\Order\\1", std::string("a")}, {"\\a\\URL", std::string("x")}, {"\\a\\Parent", std::string("Toolbar")}},
         "warning: \\a\\Visible: missing: an item without it is hidden"},
        {"gap in the order",
         {CLEAN_ITEM, {"\\Order\\3", std::string("b")}, {"\\b\\Visible", true}},
         "error: \\Order\\2: missing"},
        {"order key beyond the count", {CLEAN_ITEM, {"\\Order\\3", std::string("b")}}, "error: \\Order\\3: never read"},
        {"invalid name", {CLEAN_ITEM, {"\\miHome\\Name", std::string("my item")}},
         "error: \\miHome\\Name: ''my item'' is not a valid component name"},
        {"repeated name",
         {CLEAN_ITEM, {"\\Order\\2", std::string("b")}, {"\\b\\Name", std::string("MIHOME")}, {"\\b\\Visible", true},
          {"\\b\\Parent", std::string("Toolbar")}, {"\\b\\URL", std::string("x")}},
         "error: \\b\\Name: A component named MIHOME already exists"},
        {"parent not created yet",
         {{"\\Order\\1", std::string("a")}, {"\\a\\Visible", true}, {"\\a\\URL", std::string("x")}, {"\\a\\Parent", std::string("b")},
          {"\\Order\\2", std::string("b")}, {"\\b\\Visible", true}, {"\\b\\URL", std::string("x")}, {"\\b\\Parent", std::string("Toolbar")}},
         "warning: \\a\\Parent: \"b\" names no earlier item"},
        {"top level spelt in lower case", {CLEAN_ITEM, {"\\miHome\\Parent", std::string("toolbar")}},
         "warning: \\miHome\\Parent: \"toolbar\" names no earlier item: the item is attached nowhere and never shown (the top level is \"Toolbar\""},
        {"icon number without mapping", {CLEAN_ITEM, {"\\miHome\\ImageIndex", 4}},
         "warning: \\miHome\\ImageIndex: icon number 4 has no \"\\Icons\\4\" key"},
        {"image beyond the store", {CLEAN_ITEM, {"\\miHome\\ImageIndex", 4}, {"\\Icons\\4", 3}},
         "error: \\Icons\\4: image index 3 is beyond the 3 images of Icons.bin", 3},
        {"integer key holding text", {CLEAN_ITEM, {"\\miHome\\Tag", std::string("two")}},
         "error: \\miHome\\Tag: reading it fails: 'two' is not a valid integer value"},
        {"integer key holding three bytes", {CLEAN_ITEM, {"\\miHome\\ImageIndex", Binary{"abc"}}},
         "error: \\miHome\\ImageIndex: reading it fails: TrsStorage get key value error: Can't read value of key "
         "\"\\miHome\\ImageIndex\" as integer type."},
        {"boolean option holding text", {CLEAN_ITEM, {"\\Options\\About Show", std::string("yes")}},
         "error: \\Options\\About Show: reading it fails: TrsStorage get key value error:"},
        {"colour not hexadecimal", {CLEAN_ITEM, {"\\Options\\About Color", std::string("white")}},
         "error: \\Options\\About Color: \"white\" is not six hexadecimal digits"},
        {"colour too short", {CLEAN_ITEM, {"\\Options\\About Color", std::string("FFF")}},
         "error: \\Options\\About Color: \"FFF\" is not six"},
        {"run without bracket", {CLEAN_ITEM, {"\\miHome\\URL", std::string("[RUN=notepad.exe")}},
         "error: \\miHome\\URL: \"[RUN=\" has no closing \"]\""},
        {"bracket before run", {CLEAN_ITEM, {"\\miHome\\URL", std::string("x] [run=y]")}},
         "error: \\miHome\\URL: the first \"]\" does not follow \"[RUN=\""},
        {"engine without placeholder",
         {CLEAN_ITEM, {"\\Order\\2", std::string("miSearch")}, {"\\miSearch\\Visible", true}, {"\\miSearch\\Parent", std::string("Toolbar")},
          {"\\miSearch\\Count", 1}, {"\\Order\\3", std::string("e")}, {"\\e\\Visible", true}, {"\\e\\Parent", std::string("miSearch")},
          {"\\e\\Tag", 1}, {"\\e\\URL", std::string("http://s.example.com/?q=")}},
         "error: \\e\\URL: a search engine's URL without \"[SEARCH]\""},
        {"strings key for no component", {CLEAN_ITEM, {"\\Strings\\Menu Cutt", std::string("x")}},
         "warning: \\Strings\\Menu Cutt: matches no menu item of the toolbar window (looked for \"MenuCutt\")"},
        {"update location with a blank in the base name",
         {CLEAN_ITEM, {"\\Options\\Toolbar Name", std::string("Bar")}, {"\\Options\\Updates URL", std::string("http://u.example.com/")}},
         "error: \\Options\\Updates URL: the template is never fetched: \"http://u.example.com/Sample Bar.tb\"", -1,
         "Sample Bar"},
        {"update location with an escaped blank",
         {CLEAN_ITEM, {"\\Options\\Toolbar Name", std::string("Bar")}, {"\\Options\\Updates URL", std::string("http://u.example.com/a%20b")}},
         "error: \\Options\\Updates URL: the icon store is never fetched: \"http://u.example.com/a b/icons.bin\""},
        {"update without a toolbar name", {CLEAN_ITEM, {"\\Options\\Updates URL", std::string("http://u.example.com/")}},
         "warning: \\Options\\Toolbar Name: empty: a template fetched from the update location is refused"},
        {"update location over plain http",
         {CLEAN_ITEM, {"\\Options\\Toolbar Name", std::string("Bar")}, {"\\Options\\Updates URL", std::string("HTTP://u.example.com/")}},
         "warning: \\Options\\Updates URL: plain http: anyone on the network path can read and change what the toolbar fetches"},
        {"unknown option", {CLEAN_ITEM, {"\\Options\\Serch URL", std::string("x")}},
         "warning: \\Options\\Serch URL: the toolbar reads no option of this name"},
        {"no class id of its own", {CLEAN_ITEM},
         "warning: \\Options\\Toolbar GUID: missing: the toolbar has the default class id"},
        {"the default class id given", {CLEAN_ITEM, {"\\Options\\Toolbar GUID", std::string("{8fb98bea-1bdd-41ae-b3e1-ec8aae954b06}")}},
         "warning: \\Options\\Toolbar GUID: the toolbar has the default class id"},
        {"no class id at all", {CLEAN_ITEM, {"\\Options\\Toolbar GUID", std::string("{5C0FFEE0-0000-4000-8000}")}},
         "error: \\Options\\Toolbar GUID: \"{5C0FFEE0-0000-4000-8000}\" is no class id"},
    };
    for (const LintCase& c : cases) {
        SCOPED_TRACE(c.what);
        const auto findings = Lint(c.tpl, c.base, c.images);
        const std::string text = All(findings);
        EXPECT_NE(text.find(c.finding), std::string::npos) << text;
        EXPECT_EQ(HasError(findings), std::string_view(c.finding).starts_with("error:")) << text;
    }
}

// A chain of sub-items deeper than the toolbar shows: the first item too deep is named.
TEST(Lint, SaysWhichItemIsNestedTooDeep) {
    const auto name = [](int level) {
        char text[16];
        std::snprintf(text, sizeof text, "n%d", level);
        return std::string(text);
    };
    TemplateKeys tpl({CLEAN_ITEM});
    std::string parent = "miHome";
    for (int level = 1; level <= kMaxItemNesting + 1; ++level) {
        char order[32];
        std::snprintf(order, sizeof order, "\\Order\\%d", level + 1);
        char section_text[32];
        std::snprintf(section_text, sizeof section_text, "\\n%d\\", level);
        const std::string section = section_text;
        tpl.Write(order, name(level));
        tpl.Write(section + "Visible", true);
        tpl.Write(section + "URL", std::string("x"));
        tpl.Write(section + "Parent", parent);
        parent = name(level);
    }
    const std::string text = All(Lint(tpl, "Bar", -1));
    char expected[128];
    std::snprintf(expected, sizeof expected, "warning: \\n%d\\Parent: the item would sit %d levels deep",
                  kMaxItemNesting + 1, kMaxItemNesting + 1);
    EXPECT_NE(text.find(expected), std::string::npos) << text;
    std::snprintf(expected, sizeof expected, "\\n%d\\Parent", kMaxItemNesting);
    EXPECT_EQ(text.find(expected), std::string::npos) << text;
}

// Lint judges the update location with the update's own address test.
TEST(Lint, LooksLikeUrlFollowsTheUpdatesRules) {
    const struct {
        const char* text;
        bool url;
    } cases[] = {{"www.a", true},          {"www.", false},         {"abcd.", false},
                 {"a..bc.de", false},      {"news:ab", true},       {"news:a", false},
                 {"abcdefghijklm", true},  {"abcdefg ijklmn", false}, {"mailto:ab@c.d", true},
                 {"mailto:a.b@c", false},  {"http://a", true},      {"ftp://ab.c", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(LooksLikeUrl(c.text), c.url) << c.text;
    }
}

}  // namespace
}  // namespace tb::tool
