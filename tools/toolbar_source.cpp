#include "tools/toolbar_source.hpp"

#include <filesystem>
#include <map>
#include <set>

#include "base/file.hpp"
#include "base/text.hpp"
#include "tools/dump_format.hpp"
#include "tools/template_schema.hpp"

namespace tb::tool {

namespace fs = std::filesystem;

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string Le32(uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

bool IsAbsolutePath(const std::string& path) {
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
}

std::string JoinPath(const std::string& dir, const std::string& path) {
    if (dir.empty() || IsAbsolutePath(path)) return path;
    return dir + "/" + path;
}

// The reader's failure with the place in the source that named the file.
std::string ReadNamedFile(const SourceFileReader& read_file, const std::string& dir, const std::string& file,
                          SourceFileUse use, const std::string& where) {
    try {
        return read_file(JoinPath(dir, file), use);
    } catch (const JsonError&) {
        throw;
    } catch (const Error& e) {
        throw JsonError(where + ": " + e.what());
    }
}

// Text the toolbar takes in the system code page: the source's UTF-8 converted, refusing characters
// the code page lacks rather than letting them turn into '?'.
std::string CodePageText(const std::string& utf8, const std::string& where) {
    const auto wide = Utf8ToUtf16(utf8);
    if (!wide) throw JsonError(where + ": not valid UTF-8");
    std::string ansi = Utf16ToAnsi(*wide);
    if (AnsiToUtf16(ansi) != *wide) {
        throw JsonError(where + ": \"" + utf8 + "\" has characters that the system code page cannot hold");
    }
    return ansi;
}

RawKey TypedValue(KeyType type, const Json& value, const std::string& where) {
    switch (type) {
        case KeyType::kUtf8Text:
            return TextValue(RequireString(value, where));
        case KeyType::kCodePageText:
            return TextValue(CodePageText(RequireString(value, where), where));
        case KeyType::kInteger:
            return IntegerValue(static_cast<int32_t>(RequireInteger(value, INT32_MIN, INT32_MAX, where)));
        case KeyType::kBoolean:
            return BooleanValue(RequireBool(value, where));
    }
    return {};
}

enum class ItemKind { kPlain, kSubMenu, kSeparator, kSearch, kEngine };

class Planner {
public:
    Planner(std::string dir, const SourceFileReader& read_file) : dir_(std::move(dir)), read_file_(read_file) {}

    BuildPlan Run(const Json& source) {
        // "$schema" names the schema for editors; the build has no use for it.
        RejectUnknownFields(source, {"$schema", "name", "options", "strings", "icon_size", "logo", "items", "keys"}, "");
        if (const Json* schema = OptionalField(source, "$schema", "")) RequireString(*schema, "$schema");
        if (const Json* name = OptionalField(source, "name", "")) plan_.base_name = RequireString(*name, "name");
        if (const Json* size = OptionalField(source, "icon_size", "")) {
            plan_.icon_width = plan_.icon_height = static_cast<int>(RequireInteger(*size, 1, 256, "icon_size"));
        }
        if (const Json* logo = OptionalField(source, "logo", "")) {
            plan_.logo_file = RequireString(*logo, "logo");
            plan_.logo_bytes = ReadNamedFile(read_file_, dir_, plan_.logo_file, SourceFileUse::kLogo, "logo");
        }
        const Json* options = OptionalField(source, "options", "");
        if (options != nullptr) PlanOptions(*options);
        if (const Json* strings = OptionalField(source, "strings", "")) PlanStrings(*strings);
        if (const Json* items = OptionalField(source, "items", "")) {
            RequireArray(*items, "items");
            for (size_t i = 0; i < items->size(); ++i) {
                PlanItem((*items)[i], IndexPath("items", i), "Toolbar", ItemKind::kPlain, i, 1);
            }
        }
        // Without an explicit default, searches from the box go to the first engine.
        if (!first_engine_url_.empty() && (options == nullptr || !HasOption(*options, "Search URL"))) {
            Add("\\Options\\Search URL", TextValue(first_engine_url_));
        }
        if (const Json* keys = OptionalField(source, "keys", "")) {
            RequireObject(*keys, "keys");
            for (const auto& [path, value] : keys->items()) {
                Add(path, KeyValueFromJson(value, FieldPath("keys", path), dir_, read_file_));
            }
        }
        return std::move(plan_);
    }

private:
    static bool HasOption(const Json& options, const std::string& name) { return options.contains(name); }

    void Add(std::string path, RawKey value) { plan_.template_keys.push_back({std::move(path), std::move(value)}); }

    void PlanOptions(const Json& options) {
        RequireObject(options, "options");
        for (const auto& [name, value] : options.items()) {
            const std::string where = FieldPath("options", name);
            const SchemaKey* key = FindOptionKey(name);
            if (key == nullptr) {
                throw JsonError(where + ": the toolbar reads no such option; give other keys under \"keys\"");
            }
            // Options are written as the toolbar names them, so that the schema editors check a
            // source against says the same as the build.
            if (key->name != name) {
                throw JsonError(where + ": write the option as \"" + std::string(key->name) + "\"");
            }
            Add("\\Options\\" + std::string(key->name), TypedValue(key->type, value, where));
        }
    }

    void PlanStrings(const Json& strings) {
        RequireObject(strings, "strings");
        for (const auto& [name, value] : strings.items()) {
            const std::string where = FieldPath("strings", name);
            bool message = false;
            for (std::string_view m : StringMessages()) message = message || EqualsIgnoreAsciiCase(m, name);
            // Messages are read as UTF-8, captions of the window's menu items in the code page.
            Add("\\Strings\\" + CodePageText(name, where),
                TypedValue(message ? KeyType::kUtf8Text : KeyType::kCodePageText, value, where));
        }
    }

    bool SectionFree(const std::string& section) const {
        return !section.empty() && !IsReservedSection(section) && !sections_.count(LowerAscii(section));
    }

    // Each stem's numbers go on from the last one taken, so made-up names cost the same however
    // many items came before.
    std::string NewSection(const std::string& stem) {
        for (int& n = next_section_[stem];;) {
            std::string candidate = stem + std::to_string(++n);
            if (SectionFree(candidate)) return candidate;
        }
    }

    std::string NewName(const std::string& stem) {
        for (int& n = next_name_[stem];;) {
            std::string candidate = stem + std::to_string(++n);
            if (!names_.count(LowerAscii(candidate))) return candidate;
        }
    }

    // The section name is what tells the toolbar an entry's shape, so it is chosen to match it.
    std::string SectionFor(ItemKind kind, const std::string& name) {
        switch (kind) {
            case ItemKind::kSeparator:
                if (ShapeOfEntry(name) == EntryShape::kSeparator && SectionFree(name)) return name;
                return NewSection("Separator");
            case ItemKind::kSubMenu:
                if (ShapeOfEntry(name) == EntryShape::kSubMenu && SectionFree(name)) return name;
                if (ShapeOfEntry(name + "SubMenu") == EntryShape::kSubMenu && SectionFree(name + "SubMenu")) {
                    return name + "SubMenu";
                }
                return NewSection("SubMenu");
            case ItemKind::kSearch:
                return "miSearch";
            case ItemKind::kPlain:
            case ItemKind::kEngine:
                if (ShapeOfEntry(name) == EntryShape::kPlain && SectionFree(name)) return name;
                return NewSection("Item");
        }
        return {};
    }

    void PlanItem(const Json& item, const std::string& where, const std::string& parent, ItemKind context,
                  size_t index, int depth) {
        if (depth > kMaxItemDepth) {
            throw JsonError(where + ": items nest deeper than " + std::to_string(kMaxItemDepth) + " levels");
        }
        if (item.is_string() && item.get<std::string>() == "-") {
            PlanItem(Json::object({{"type", "separator"}}), where, parent, context, index, depth);
            return;
        }
        RequireObject(item, where);
        ItemKind kind = context == ItemKind::kEngine ? ItemKind::kEngine : ItemKind::kPlain;
        if (const Json* type = OptionalField(item, "type", where)) {
            const std::string t = RequireString(*type, FieldPath(where, "type"));
            if (t == "separator") {
                kind = ItemKind::kSeparator;
            } else if (t == "submenu") {
                kind = ItemKind::kSubMenu;
            } else if (t == "search") {
                kind = ItemKind::kSearch;
            } else if (t != "item") {
                throw JsonError(FieldPath(where, "type") + ": \"" + t +
                                "\" is not one of \"item\", \"submenu\", \"separator\", \"search\"");
            }
        } else if (item.contains("items")) {
            kind = ItemKind::kSubMenu;
        }
        if (kind == ItemKind::kSeparator) {
            RejectUnknownFields(item, {"type", "name", "visible", "keys"}, where);
        } else if (kind == ItemKind::kSearch) {
            RejectUnknownFields(item, {"type", "name", "caption", "icon", "visible", "enabled", "engines", "keys"}, where);
            if (context == ItemKind::kEngine) throw JsonError(where + ": a search engine cannot hold a search selector");
            if (sections_.count("misearch")) throw JsonError(where + ": the toolbar has one search selector only");
        } else if (kind == ItemKind::kSubMenu) {
            RejectUnknownFields(item, {"type", "name", "caption", "url", "icon", "visible", "enabled", "tag", "group",
                                       "items", "keys"},
                                where);
        } else {
            RejectUnknownFields(item, {"type", "name", "caption", "url", "icon", "visible", "enabled", "tag", "group", "keys"},
                                where);
        }

        std::string name;
        if (const Json* given = OptionalField(item, "name", where)) {
            name = CodePageText(RequireString(*given, FieldPath(where, "name")), FieldPath(where, "name"));
            if (!IsValidComponentName(name)) {
                throw JsonError(FieldPath(where, "name") + ": \"" + name + "\" is not a valid component name");
            }
        } else {
            switch (kind) {
                case ItemKind::kSeparator: name = NewName("Separator"); break;
                case ItemKind::kSubMenu: name = NewName("SubMenu"); break;
                case ItemKind::kSearch: name = "miSearch"; break;
                case ItemKind::kEngine: name = NewName("Engine"); break;
                case ItemKind::kPlain: name = NewName("Item"); break;
            }
        }
        if (!name.empty() && !names_.insert(LowerAscii(name)).second) {
            throw JsonError(FieldPath(where, "name") + ": a component named " + name + " already exists");
        }
        const std::string section = SectionFor(kind, name);
        sections_.insert(LowerAscii(section));
        const std::string base = "\\" + section + "\\";

        Add("\\Order\\" + std::to_string(++order_), TextValue(section));
        if (section != name) Add(base + "Name", TextValue(name));

        if (kind != ItemKind::kSeparator) {
            if (const Json* caption = OptionalField(item, "caption", where)) {
                Add(base + "Caption", TextValue(RequireString(*caption, FieldPath(where, "caption"))));
            }
            if (const Json* icon = OptionalField(item, "icon", where)) {
                const int image = ImageIndexOf(RequireString(*icon, FieldPath(where, "icon")), FieldPath(where, "icon"));
                // Icon numbers are the image indexes; the template maps each to itself.
                Add(base + "ImageIndex", IntegerValue(image));
                Add("\\Icons\\" + std::to_string(image), IntegerValue(image));
            }
            std::string url;
            if (const Json* given = OptionalField(item, "url", where)) {
                url = RequireString(*given, FieldPath(where, "url"));
                Add(base + "URL", TextValue(CodePageText(url, FieldPath(where, "url"))));
            }
            int64_t tag = 0;
            if (kind == ItemKind::kEngine) {
                tag = static_cast<int64_t>(index) + 1;
                if (url.empty() || LowerAscii(url).find("[search]") == std::string::npos) {
                    throw JsonError(FieldPath(where, "url") + ": a search engine needs a URL holding \"[SEARCH]\"");
                }
                if (first_engine_url_.empty()) first_engine_url_ = url;
            }
            if (const Json* given = OptionalField(item, "tag", where)) {
                tag = RequireInteger(*given, INT32_MIN, INT32_MAX, FieldPath(where, "tag"));
                if (kind == ItemKind::kEngine && tag <= 0) {
                    throw JsonError(FieldPath(where, "tag") + ": a search engine's number must be greater than 0");
                }
            }
            if (tag != 0) Add(base + "Tag", IntegerValue(static_cast<int32_t>(tag)));
            // Engines form one radio group, so the selected one shows checked.
            int64_t group = kind == ItemKind::kEngine ? 1 : 0;
            if (const Json* given = OptionalField(item, "group", where)) {
                group = RequireInteger(*given, INT32_MIN, INT32_MAX, FieldPath(where, "group"));
            }
            if (group != 0) Add(base + "GroupIndex", IntegerValue(static_cast<int32_t>(group)));
            if (const Json* enabled = OptionalField(item, "enabled", where)) {
                Add(base + "Enabled", BooleanValue(RequireBool(*enabled, FieldPath(where, "enabled"))));
            }
        }
        bool visible = true;
        if (const Json* given = OptionalField(item, "visible", where)) visible = RequireBool(*given, FieldPath(where, "visible"));
        Add(base + "Visible", BooleanValue(visible));
        Add(base + "Parent", TextValue(parent));

        if (const Json* keys = OptionalField(item, "keys", where)) {
            RequireObject(*keys, FieldPath(where, "keys"));
            for (const auto& [key, value] : keys->items()) {
                const std::string key_where = FieldPath(FieldPath(where, "keys"), key);
                if (key.find_first_of("\\/") != std::string::npos) {
                    throw JsonError(key_where + ": a key of the item's section is a bare name");
                }
                Add(base + key, KeyValueFromJson(value, key_where, dir_, read_file_));
            }
        }

        const char* children_field = kind == ItemKind::kSearch ? "engines" : "items";
        if (const Json* children = OptionalField(item, children_field, where)) {
            const std::string children_where = FieldPath(where, children_field);
            RequireArray(*children, children_where);
            if (name.empty()) throw JsonError(FieldPath(where, "name") + ": an item with sub-items needs a name");
            if (kind == ItemKind::kSearch) {
                Add("\\miSearch\\Count", IntegerValue(static_cast<int32_t>(children->size())));
            }
            const ItemKind child_context = kind == ItemKind::kSearch ? ItemKind::kEngine : ItemKind::kPlain;
            for (size_t i = 0; i < children->size(); ++i) {
                PlanItem((*children)[i], IndexPath(children_where, i), name, child_context, i, depth + 1);
            }
        }
    }

    int ImageIndexOf(const std::string& file, const std::string& where) {
        const auto found = image_of_file_.find(file);
        if (found != image_of_file_.end()) return found->second;
        const int index = static_cast<int>(plan_.icons.size());
        plan_.icons.push_back({file, ReadNamedFile(read_file_, dir_, file, SourceFileUse::kIcon, where)});
        image_of_file_.emplace(file, index);
        return index;
    }

    std::string dir_;
    const SourceFileReader& read_file_;
    BuildPlan plan_;
    std::set<std::string> sections_;  // lower case: the store compares names without regard to case
    std::set<std::string> names_;
    std::map<std::string, int> image_of_file_;
    std::map<std::string, int> next_section_;
    std::map<std::string, int> next_name_;
    int order_ = 0;
    std::string first_engine_url_;
};

}  // namespace

RawKey TextValue(std::string bytes) { return RawKey{0, {}, kKindString, std::move(bytes)}; }
RawKey IntegerValue(int32_t value) { return RawKey{0, {}, kKindInteger, Le32(static_cast<uint32_t>(value))}; }
RawKey BooleanValue(bool value) { return RawKey{0, {}, kKindBoolean, Le32(value ? 1 : 0)}; }
RawKey BinaryValue(std::string bytes) { return RawKey{0, {}, kKindBinary, std::move(bytes)}; }

RawKey KeyValueFromJson(const Json& value, const std::string& where, const std::string& dir,
                        const SourceFileReader& read_file) {
    if (value.is_string()) return TextValue(value.get<std::string>());
    if (value.is_boolean()) return BooleanValue(value.get<bool>());
    if (value.is_number_integer()) {
        return IntegerValue(static_cast<int32_t>(RequireInteger(value, INT32_MIN, INT32_MAX, where)));
    }
    if (value.is_object() && value.contains("file")) {
        RejectUnknownFields(value, {"file"}, where);
        const std::string where_file = FieldPath(where, "file");
        return BinaryValue(
            ReadNamedFile(read_file, dir, RequireString(value["file"], where_file), SourceFileUse::kKeyFile, where_file));
    }
    if (value.is_object()) {
        RejectUnknownFields(value, {"kind", "value"}, where);
        RawKey key;
        key.kind = KindFromJson(RequireField(value, "kind", where), FieldPath(where, "kind"));
        const Json* payload = OptionalField(value, "value", where);
        if (payload != nullptr) key.payload = PayloadFromJson(key.kind, *payload, FieldPath(where, "value"));
        if ((payload != nullptr) != (key.kind >= kKindString && key.kind <= kKindRaw32)) {
            throw JsonError(where + ": a key of this kind " + (payload ? "holds no value" : "needs a \"value\""));
        }
        return key;
    }
    throw JsonError(where + ": expected text, an integer, true, false, {\"kind\": ..., \"value\": ...} or {\"file\": ...}");
}

BuildPlan PlanBuild(const Json& source, const std::string& source_dir, const SourceFileReader& read_file) {
    return Planner(source_dir, read_file).Run(source);
}

uint64_t SourceFileLimit(SourceFileUse use) {
    switch (use) {
        case SourceFileUse::kIcon: return kMaxIconBytes;
        case SourceFileUse::kLogo: return kMaxLogoBytes;
        case SourceFileUse::kKeyFile: return kMaxKeyFileBytes;
    }
    return 0;
}

namespace {

bool Inside(const fs::path& file, const fs::path& folder) {
    auto f = file.begin();
    for (auto d = folder.begin(); d != folder.end(); ++d, ++f) {
        if (d->empty() && std::next(d) == folder.end()) break;  // the trailing separator of "dir/"
        if (f == file.end() || *f != *d) return false;
    }
    return true;
}

fs::path Canonical(const std::string& path) {
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(fs::absolute(fs::path(path.empty() ? "." : path), error), error);
    if (error) throw Error(path + ": " + error.message());
    return canonical;
}

}  // namespace

SourceFileReader ConfinedSourceReader(const std::string& source_dir, const std::vector<std::string>& allowed_folders) {
    std::vector<fs::path> roots{Canonical(source_dir)};
    for (const std::string& folder : allowed_folders) roots.push_back(Canonical(folder));
    return [roots](const std::string& path, SourceFileUse use) {
        const fs::path file = Canonical(path);
        bool inside = false;
        for (const fs::path& root : roots) inside = inside || Inside(file, root);
        if (!inside) {
            throw Error(path + ": lies outside the source's folder " + roots.front().string() +
                        " (--allow-folder DIR lets the source take files from DIR)");
        }
        std::error_code error;
        const fs::file_status status = fs::status(file, error);
        if (!fs::exists(status)) throw Error(path + ": no such file");
        if (!fs::is_regular_file(status)) throw Error(path + ": not a regular file");
        const uint64_t limit = SourceFileLimit(use);
        const uint64_t size = fs::file_size(file, error);
        if (error || size > limit) {
            throw Error(path + ": " + (error ? error.message() : std::to_string(size) + " bytes") + ", more than the " +
                        std::to_string(limit) + " bytes allowed for " +
                        (use == SourceFileUse::kIcon ? "an icon" : use == SourceFileUse::kLogo ? "a logo" : "a key's file"));
        }
        auto bytes = ReadWholeFile(file.string());
        if (!bytes) throw Error(path + ": no such file");
        // The file may have grown since it was measured: the limit holds all the same.
        if (bytes->size() > limit) throw Error(path + ": grew past the " + std::to_string(limit) + " bytes allowed");
        return std::move(*bytes);
    };
}

void RequireBareFileName(const std::string& name, const std::string& where) {
    bool bare = !name.empty() && name != "." && name != ".." && name.back() != ' ' && name.back() != '.';
    for (const char c : name) {
        bare = bare && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F &&
               std::string_view("\\/:*?\"<>|").find(c) == std::string_view::npos;
    }
    if (!bare) {
        throw JsonError(where + ": \"" + name +
                        "\" is not a bare file name (no folders, no control characters, none of \\ / : * ? \" < > |)");
    }
}

}  // namespace tb::tool
