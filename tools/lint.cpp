#include "tools/lint.hpp"

#include <algorithm>
#include <unordered_map>

#include "base/errors.hpp"
#include "base/text.hpp"
#include "settings/helpers.hpp"
#include "settings/toolbar_settings.hpp"
#include "toolbar/toolbar_builder.hpp"
#include "tools/template_schema.hpp"

namespace tb::tool {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = AsciiUpper(c);
    return text;
}

bool ContainsNoCase(const std::string& text, std::string_view what) {
    return Upper(text).find(Upper(std::string(what))) != std::string::npos;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} in hexadecimal digits of either case.
bool IsClassIdText(const std::string& text) {
    constexpr std::string_view kShape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != kShape.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] == 'X' ? !IsHexDigit(text[i]) : text[i] != kShape[i]) return false;
    }
    return true;
}

// The trimming of the item command's test: blanks and control characters at both ends.
std::string Trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

// WinInet's canonical form with "decode escapes, encode nothing": %XX sequences become bytes.
std::string DecodeEscapes(const std::string& url) {
    std::string out;
    for (size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && IsHexDigit(url[i + 1]) && IsHexDigit(url[i + 2])) {
            const auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
            out.push_back(static_cast<char>(digit(url[i + 1]) * 16 + digit(url[i + 2])));
            i += 2;
        } else {
            out.push_back(url[i]);
        }
    }
    return out;
}

struct Component {
    std::string name;
    std::string section;
    EntryShape shape = EntryShape::kPlain;
    bool is_selector = false;
    int32_t tag = 0;
    std::string url;
    std::string parent;
    bool has_children = false;
    int level = 0;  // 0 on the top level, 1 below a top-level item, ...
};

class Linter {
public:
    Linter(TemplateView& view, std::string base_name, const std::optional<IconStoreFacts>& icons)
        : view_(view), base_name_(std::move(base_name)), icons_(icons) {}

    std::vector<Finding> Run() {
        if (icons_) findings_.insert(findings_.end(), icons_->findings.begin(), icons_->findings.end());
        CheckOptions();
        CheckClassId();
        CheckStrings();
        CheckItems();
        CheckUpdateLocation();
        return std::move(findings_);
    }

private:
    void Error(const std::string& path, const std::string& reason) { findings_.push_back({true, path, reason}); }
    void Warn(const std::string& path, const std::string& reason) { findings_.push_back({false, path, reason}); }

    // A typed read as the toolbar makes it; a read that would raise becomes an error finding.
    template <typename Read>
    bool Guarded(const std::string& path, Read read) {
        try {
            read();
            return true;
        } catch (const tb::Error& e) {
            Error(path, std::string("reading it fails: ") + e.what());
            return false;
        }
    }

    std::string Text(const std::string& path, const std::string& fallback = {}) {
        std::string value = fallback;
        Guarded(path, [&] { value = view_.ReadString(path, fallback); });
        return value;
    }

    int32_t Integer(const std::string& path, int32_t fallback) {
        int32_t value = fallback;
        Guarded(path, [&] { value = view_.ReadInteger(path, fallback); });
        return value;
    }

    std::optional<bool> Boolean(const std::string& path) {
        if (!view_.KeyExists(path)) return std::nullopt;
        bool value = false;
        if (!Guarded(path, [&] { value = view_.ReadBool(path, false); })) return std::nullopt;
        return value;
    }

    void CheckTyped(const std::string& path, KeyType type) {
        if (!view_.KeyExists(path)) return;
        switch (type) {
            case KeyType::kUtf8Text: {
                const std::string text = Text(path);
                if (!Utf8ToUtf16(text)) Warn(path, "the text is not valid UTF-8, so the toolbar reads it as empty");
                break;
            }
            case KeyType::kCodePageText:
                Text(path);
                break;
            case KeyType::kInteger:
                Integer(path, 0);
                break;
            case KeyType::kBoolean:
                Boolean(path);
                break;
        }
    }

    void CheckOptions() {
        for (const std::string& name : view_.KeyNames("Options")) {
            const SchemaKey* key = FindOptionKey(name);
            if (key == nullptr) {
                Warn("\\Options\\" + name, "the toolbar reads no option of this name");
                continue;
            }
            CheckTyped("\\Options\\" + name, key->type);
        }
        const std::string color_path = "\\Options\\About Color";
        if (view_.KeyExists(color_path)) {
            const std::string color = Text(color_path);
            if (color.size() < 6 || !std::all_of(color.begin(), color.begin() + 6, IsHexDigit)) {
                Error(color_path, "\"" + color + "\" is not six hexadecimal digits (RRGGBB): the about box fails on it");
            } else if (color.size() > 6) {
                Warn(color_path, "only the first six characters count; \"" + color.substr(6) + "\" is ignored");
            }
        }
    }

    // Every toolbar that leaves out its class id shares the default one, and installing one of them
    // takes over the registration of all the others on that machine.
    void CheckClassId() {
        const std::string path = "\\Options\\Toolbar GUID";
        const std::string id = Text(path, kDefaultToolbarGuid);
        if (EqualsIgnoreAsciiCase(id, kDefaultToolbarGuid)) {
            Warn(path, std::string(view_.KeyExists(path) ? "" : "missing: ") + "the toolbar has the default class id " +
                           kDefaultToolbarGuid +
                           ", which every toolbar without one of its own shares: give it a new one (uuidgen)");
        } else if (!IsClassIdText(id)) {
            Error(path, "\"" + id + "\" is no class id: the library serves and registers nothing");
        }
    }

    void CheckStrings() {
        const auto messages = StringMessages();
        const auto items = OwnMenuItems();
        for (const std::string& name : view_.KeyNames("Strings")) {
            const std::string path = "\\Strings\\" + name;
            const bool message = std::any_of(messages.begin(), messages.end(),
                                             [&](std::string_view m) { return EqualsIgnoreAsciiCase(m, name); });
            CheckTyped(path, message ? KeyType::kUtf8Text : KeyType::kCodePageText);
            if (message) continue;
            std::string component = name;
            std::erase(component, ' ');
            if (std::none_of(items.begin(), items.end(),
                             [&](std::string_view item) { return EqualsIgnoreAsciiCase(item, component); })) {
                Warn(path, "matches no menu item of the toolbar window (looked for \"" + component + "\"); it changes nothing");
            }
        }
    }

    // The first component of that name, letter case ignored. Looked up by name, so that a template
    // of many items is checked in time that grows with their number, not its square.
    Component* FindComponent(const std::string& name) {
        if (name.empty()) return nullptr;  // the toolkit finds no component by the empty name
        const auto found = component_of_name_.find(Upper(name));
        return found == component_of_name_.end() ? nullptr : &components_[found->second];
    }

    // Whether the toolbar reads this key of "\Order": it reads "1" to "n" as the decimal numbers.
    static bool IsOrderNumber(const std::string& key, size_t n) {
        if (key.empty() || key.size() > 9 || key[0] == '0') return false;
        size_t value = 0;
        for (const char c : key) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + static_cast<size_t>(c - '0');
        }
        return value <= n;
    }

    void CheckItems() {
        const std::vector<std::string> order_keys = view_.KeyNames("Order");
        const size_t n = order_keys.size();
        for (const std::string& key : order_keys) {
            if (!IsOrderNumber(key, n)) {
                Error("\\Order\\" + key, "never read: the toolbar reads the keys 1 to " + std::to_string(n) +
                                             " of \"\\Order\" (one per key it holds), so this entry's item is left out");
            }
        }
        for (size_t i = 1; i <= n; ++i) {
            const std::string path = "\\Order\\" + std::to_string(i);
            if (!view_.KeyExists(path)) {
                Error(path, "missing: entry " + std::to_string(i) +
                                " is empty and becomes an unnamed item that is never shown (a gap in the order)");
                continue;
            }
            const std::string section = Text(path);
            if (section.empty()) {
                Warn(path, "empty: the entry becomes an unnamed item that is never shown");
                continue;
            }
            CheckEntry(section, path);
        }
        CheckSearch();
        for (const Component& c : components_) {
            if (c.shape == EntryShape::kPlain && !c.is_selector && c.url.empty() && !c.has_children &&
                !c.section.empty()) {
                Warn("\\" + c.section + "\\URL", "missing or empty: a click on the item does nothing");
            }
        }
        const std::string main_menu = Text("\\Options\\Main Menu");
        if (!main_menu.empty() && FindComponent(main_menu) == nullptr) {
            Warn("\\Options\\Main Menu", "no item is named \"" + main_menu + "\": the main menu stays empty");
        }
    }

    void CheckEntry(const std::string& section, const std::string& order_path) {
        const std::string base = "\\" + section + "\\";
        if (view_.KeyNames(section).empty()) {
            Warn(order_path, "names the section \"" + section + "\", which holds no keys: the item is hidden");
        }
        Component c;
        c.section = section;
        c.shape = ShapeOfEntry(section);
        c.is_selector = c.shape == EntryShape::kSearchSelector;
        c.name = Text(base + "Name", section);
        if (!IsValidComponentName(c.name)) {
            Error(base + "Name", "''" + c.name + "'' is not a valid component name: the toolbar stops building here");
        } else if (!c.name.empty() && FindComponent(c.name) != nullptr) {
            Error(base + "Name",
                  "A component named " + c.name + " already exists: the toolbar stops building here");
        }
        for (const SchemaKey& key : ItemKeys()) {
            if (c.shape == EntryShape::kSeparator && key.name != "Name" && key.name != "Visible" && key.name != "Parent") {
                continue;
            }
            CheckTyped(base + std::string(key.name), key.type);
        }
        if (!view_.KeyExists(base + "Visible")) {
            Warn(base + "Visible", "missing: an item without it is hidden");
        }
        if (c.shape != EntryShape::kSeparator) {
            c.url = Text(base + "URL");
            c.tag = Integer(base + "Tag", 0);
            CheckIcon(base);
            CheckCommand(base + "URL", c.url);
        }
        c.parent = Text(base + "Parent");
        if (c.parent != "Toolbar") {
            Component* parent = FindComponent(c.parent);
            if (parent == nullptr) {
                std::string reason = c.parent.empty() ? "missing: the item is attached nowhere and never shown"
                                                      : "\"" + c.parent + "\" names no earlier item: the item is attached nowhere and never shown";
                if (EqualsIgnoreAsciiCase(c.parent, "Toolbar")) reason += " (the top level is \"Toolbar\", letter case counts)";
                Warn(base + "Parent", reason);
            } else if (parent->shape == EntryShape::kSeparator) {
                Warn(base + "Parent", "\"" + c.parent + "\" is a separator, which shows no sub-items");
            } else if (parent->level + 1 > kMaxItemNesting) {
                Warn(base + "Parent", "the item would sit " + std::to_string(parent->level + 1) +
                                          " levels deep: the toolbar shows items at most " +
                                          std::to_string(kMaxItemNesting) + " levels below the top and leaves it out");
            } else {
                parent->has_children = true;
                c.level = parent->level + 1;
            }
        }
        component_of_name_.emplace(Upper(c.name), components_.size());
        components_.push_back(std::move(c));
    }

    void CheckIcon(const std::string& base) {
        const std::string path = base + "ImageIndex";
        if (!view_.KeyExists(path)) return;
        const int32_t number = Integer(path, -1);
        if (number < 0) return;
        const std::string map_path = "\\Icons\\" + std::to_string(number);
        if (!view_.KeyExists(map_path)) {
            Warn(path, "icon number " + std::to_string(number) + " has no \"" + map_path + "\" key: the item shows no image");
            return;
        }
        const int32_t image = Integer(map_path, -1);
        if (icons_ && image >= icons_->image_count) {
            Error(map_path, "image index " + std::to_string(image) + " is beyond the " +
                                std::to_string(icons_->image_count) + " images of " + icons_->file);
        }
    }

    void CheckCommand(const std::string& path, const std::string& url) {
        const std::string trimmed = Upper(Trimmed(url));
        if (trimmed == "[ABOUT]" || trimmed == "[CLOSE]") return;
        const std::string upper = Upper(url);
        const size_t run = upper.find("[RUN=");
        if (run == std::string::npos) return;
        const size_t close = url.find(']');
        if (close == std::string::npos) {
            Error(path, "\"[RUN=\" has no closing \"]\": the command runs an empty target");
        } else if (close <= run + 5) {
            Error(path, "the first \"]\" does not follow \"[RUN=\": the command runs an empty target");
        }
    }

    void CheckSearch() {
        const Component* selector = nullptr;
        for (const Component& c : components_) {
            if (c.is_selector) selector = &c;
        }
        const int32_t count = Integer("\\miSearch\\Count", 0);
        size_t engines = 0;
        for (const Component& c : components_) {
            if (selector == nullptr || &c == selector || c.tag <= 0 || !EqualsIgnoreAsciiCase(c.parent, selector->name)) {
                continue;
            }
            ++engines;
            if (!ContainsNoCase(c.url, "[SEARCH]")) {
                Error("\\" + c.section + "\\URL", "a search engine's URL without \"[SEARCH]\": searches go to the URL itself");
            }
        }
        if (selector == nullptr) return;
        if (engines > 0 && count <= 0) {
            Warn("\\miSearch\\Count", std::to_string(engines) + " search engines, but without a count above 0 the "
                                      "selector has no drop-down arrow to reach them");
        } else if (engines == 0 && count > 0) {
            Warn("\\miSearch\\Count", "is " + std::to_string(count) + " but no item is a search engine (an item under \"" +
                                          selector->name + "\" with a \"Tag\" above 0)");
        }
    }

    void CheckUpdateLocation() {
        const std::string path = "\\Options\\Updates URL";
        const std::string location = Text(path);
        if (location.find_first_not_of(' ') == std::string::npos) return;
        const std::string base = location.back() == '/' ? location : location + "/";
        const struct {
            const char* what;
            std::string url;
        } files[] = {{"the template", base + base_name_ + ".tb"}, {"the icon store", base + "icons.bin"}};
        for (const auto& file : files) {
            const std::string canonical = DecodeEscapes(file.url);
            if (canonical.size() > 255) {
                Error(path, std::string(file.what) + " is never fetched: \"" + file.url +
                                "\" is longer than the 255 characters the update can handle");
            } else if (!LooksLikeUrl(canonical)) {
                Error(path, std::string(file.what) + " is never fetched: \"" + canonical +
                                "\" does not pass the update's address check (no blanks or control characters, "
                                "no \"..\", not ending in \".\")");
            }
        }
        if (EqualsIgnoreAsciiCase(location.substr(location.find_first_not_of(' '), 7), "http://")) {
            Warn(path, "plain http: anyone on the network path can read and change what the toolbar fetches; "
                       "use https (and sign releases with `tbtool sign`)");
        }
        if (Text("Options\\Toolbar Name").empty()) {
            Warn("\\Options\\Toolbar Name",
                 "empty: a template fetched from the update location is refused unless it names the toolbar here");
        }
    }

    TemplateView& view_;
    std::string base_name_;
    const std::optional<IconStoreFacts>& icons_;
    std::vector<Finding> findings_;
    std::vector<Component> components_;
    std::unordered_map<std::string, size_t> component_of_name_;  // upper-case name: first of that name
};

}  // namespace

std::vector<Finding> LintTemplate(TemplateView& view, const std::string& base_name,
                                  const std::optional<IconStoreFacts>& icons) {
    return Linter(view, base_name, icons).Run();
}

std::string FormatFinding(const Finding& finding) {
    return std::string(finding.error ? "error: " : "warning: ") + finding.path + ": " + finding.reason;
}

bool HasError(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.error; });
}

}  // namespace tb::tool
