#include <gtest/gtest.h>

#include <map>
#include <variant>

#include "base/errors.hpp"
#include "base/text.hpp"
#include "tools/lint.hpp"

namespace tb::tool {
namespace {

// A template as the toolbar's reads see it: text, integer and boolean keys with the store's
// conversions between them, names compared without regard to ASCII case.
class FakeTemplate : public TemplateView {
public:
    using Value = std::variant<std::string, int32_t, bool>;

    FakeTemplate(std::initializer_list<std::pair<const char*, Value>> keys) {
        // A later entry replaces an earlier one of the same path, so cases can change a clean item.
        for (const auto& [path, value] : keys) {
            std::erase_if(keys_, [&](const auto& k) { return k.first == Upper(path); });
            keys_.emplace_back(Upper(path), std::pair(std::string(path), value));
        }
    }

    bool KeyExists(const std::string& path) override { return Find(path) != nullptr; }

    std::string ReadString(const std::string& path, const std::string& fallback) override {
        const Value* v = Find(path);
        if (v == nullptr) return fallback;
        if (const auto* s = std::get_if<std::string>(v)) return *s;
        if (const auto* i = std::get_if<int32_t>(v)) return std::to_string(*i);
        return std::get<bool>(*v) ? "True" : "False";
    }

    int32_t ReadInteger(const std::string& path, int32_t fallback) override {
        const Value* v = Find(path);
        if (v == nullptr) return fallback;
        if (const auto* i = std::get_if<int32_t>(v)) return *i;
        if (const auto* b = std::get_if<bool>(v)) return *b ? 1 : 0;
        const std::string& s = std::get<std::string>(*v);
        if (s.empty() || s.find_first_not_of("-0123456789") != std::string::npos) {
            throw ConvertError("'" + s + "' is not a valid integer value");
        }
        return std::stoi(s);
    }

    bool ReadBool(const std::string& path, bool fallback) override {
        const Value* v = Find(path);
        if (v == nullptr) return fallback;
        if (const auto* i = std::get_if<int32_t>(v)) return *i != 0;
        if (const auto* b = std::get_if<bool>(v)) return *b;
        const std::string& s = std::get<std::string>(*v);
        if (EqualsIgnoreAsciiCase(s, "True")) return true;
        if (EqualsIgnoreAsciiCase(s, "False")) return false;
        throw Error("TrsStorage get key value error: Can't read value of key \"" + path + "\" as boolean type.");
    }

    std::vector<std::string> KeyNames(const std::string& section) override {
        std::map<std::string, std::string> sorted;  // the store lists keys in upper-case byte order
        const std::string prefix = Upper(section) + "\\";
        for (const auto& [upper, entry] : keys_) {
            if (upper.starts_with(prefix)) sorted.emplace(upper.substr(prefix.size()), entry.first.substr(prefix.size()));
        }
        std::vector<std::string> names;
        for (const auto& [upper, name] : sorted) names.push_back(name);
        return names;
    }

private:
    static std::string Upper(std::string s) {
        for (char& c : s) {
            c = c == '/' ? '\\' : AsciiUpper(c);
        }
        if (!s.empty() && s[0] == '\\') return s;
        std::string absolute(1, '\\');
        absolute += s;
        return absolute;
    }

    const Value* Find(const std::string& path) const {
        const std::string upper = Upper(path);
        for (const auto& [key, entry] : keys_) {
            if (key == upper) return &entry.second;
        }
        return nullptr;
    }

    std::vector<std::pair<std::string, std::pair<std::string, Value>>> keys_;
};

// One plain item that lints clean; the cases below add or change a key or two.
#define CLEAN_ITEM                                                                                          \
    {"\\Order\\1", std::string("miHome")}, {"\\miHome\\Caption", std::string("Home")},                       \
        {"\\miHome\\URL", std::string("http://www.example.com/")}, {"\\miHome\\Visible", true},                \
        {"\\miHome\\Parent", std::string("Toolbar")}

std::vector<Finding> Lint(FakeTemplate tpl, const std::string& base = "Bar", int images = -1) {
    std::optional<IconStoreFacts> icons;
    if (images >= 0) icons = IconStoreFacts{"Icons.bin", images, {}};
    return LintTemplate(tpl, base, icons);
}

std::string All(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& f : findings) text += FormatFinding(f) + "\n";
    return text;
}

TEST(Lint, ACleanTemplateHasNoFindings) {
    EXPECT_EQ(All(Lint({CLEAN_ITEM, {"\\Options\\Toolbar Name", std::string("Bar")},
                        {"\\Options\\Updates URL", std::string("http://updates.example.com/bar")},
                        {"\\Options\\About Color", std::string("00FF80")},
                        {"\\Strings\\Menu Close Toolbar", std::string("Close")}})),
              "");
}

struct LintCase {
    const char* what;
    FakeTemplate tpl;
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
        {"unknown option", {CLEAN_ITEM, {"\\Options\\Serch URL", std::string("x")}},
         "warning: \\Options\\Serch URL: the toolbar reads no option of this name"},
    };
    for (const LintCase& c : cases) {
        SCOPED_TRACE(c.what);
        const auto findings = Lint(c.tpl, c.base, c.images);
        const std::string text = All(findings);
        EXPECT_NE(text.find(c.finding), std::string::npos) << text;
        EXPECT_EQ(HasError(findings), std::string_view(c.finding).starts_with("error:")) << text;
    }
}

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
