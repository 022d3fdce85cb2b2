#include "tools/template_schema.hpp"

#include <algorithm>
#include <iterator>

#include "base/text.hpp"

namespace tb::tool {

namespace {

constexpr SchemaKey kOptionKeys[] = {
    {"Toolbar GUID", KeyType::kCodePageText},
    {"Toolbar Full Size", KeyType::kBoolean},
    {"Company Name", KeyType::kUtf8Text},
    {"Home Page URL", KeyType::kUtf8Text},
    {"Contact E-Mail", KeyType::kUtf8Text},
    {"Flash URL", KeyType::kUtf8Text},
    {"Search URL", KeyType::kUtf8Text},
    {"Updates URL", KeyType::kUtf8Text},
    {"Preparer Info", KeyType::kUtf8Text},
    {"Copyright", KeyType::kUtf8Text},
    {"Description", KeyType::kUtf8Text},
    {"Flash Width", KeyType::kInteger},
    {"Flash Height", KeyType::kInteger},
    {"Toolbar Name", KeyType::kUtf8Text},
    {"Version", KeyType::kUtf8Text},
    {"Main Menu", KeyType::kCodePageText},
    {"Bitmap", KeyType::kUtf8Text},
    {"About Caption", KeyType::kUtf8Text},
    {"About Color", KeyType::kCodePageText},
    {"About Show", KeyType::kBoolean},
    {"About Width", KeyType::kInteger},
    {"About Height", KeyType::kInteger},
    {"About Font", KeyType::kCodePageText},
    {"About Font Size", KeyType::kInteger},
    {"About Bitmap", KeyType::kUtf8Text},
    {"About Button", KeyType::kUtf8Text},
    {"Bitmap Transparent", KeyType::kBoolean},
    {"Search Width", KeyType::kInteger},
    {"Search Dynamic", KeyType::kBoolean},
    {"Hide Search Box", KeyType::kBoolean},
};

constexpr SchemaKey kItemKeys[] = {
    {"Name", KeyType::kCodePageText},    {"Caption", KeyType::kUtf8Text},  {"ImageIndex", KeyType::kInteger},
    {"URL", KeyType::kCodePageText},     {"Tag", KeyType::kInteger},       {"GroupIndex", KeyType::kInteger},
    {"Enabled", KeyType::kBoolean},      {"Visible", KeyType::kBoolean},   {"Parent", KeyType::kCodePageText},
};

constexpr std::string_view kStringMessages[] = {"Message Clear History", "Message Nothing To Remove"};

constexpr std::string_view kOwnMenuItems[] = {
    "MenuAboutToolbar", "MenuToolbarWebsite", "MenuToolbarSupport", "MenuCloseToolbar", "MenuCut",
    "MenuCopy",         "MenuPaste",          "MenuDelete",         "MenuSelectAll",    "MenuClearHistory",
    "MenuSaveHistory",  "MenuLoadHistory",    "MenuRemoveSelected", "MenuEditHistory",  "MenuRefreshHistory",
    "SpTBXItem1",
};

constexpr std::string_view kReservedSections[] = {"Options", "Strings", "Order", "Icons"};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

}  // namespace

std::span<const SchemaKey> OptionKeys() { return kOptionKeys; }

const SchemaKey* FindOptionKey(std::string_view name) {
    for (const SchemaKey& key : kOptionKeys) {
        if (EqualsIgnoreAsciiCase(key.name, name)) return &key;
    }
    return nullptr;
}

std::span<const SchemaKey> ItemKeys() { return kItemKeys; }
std::span<const std::string_view> StringMessages() { return kStringMessages; }
std::span<const std::string_view> OwnMenuItems() { return kOwnMenuItems; }

bool IsReservedSection(std::string_view name) {
    return std::any_of(std::begin(kReservedSections), std::end(kReservedSections),
                       [&](std::string_view reserved) { return EqualsIgnoreAsciiCase(reserved, name); });
}

EntryShape ShapeOfEntry(std::string_view section) {
    if (section.find("Separator") != std::string_view::npos) return EntryShape::kSeparator;
    if (section.find("SubMenu") != std::string_view::npos) return EntryShape::kSubMenu;
    if (section == "miSearch") return EntryShape::kSearchSelector;
    return EntryShape::kPlain;
}

bool IsValidComponentName(std::string_view name) {
    if (name.empty()) return true;
    if (!IsLetter(name[0])) return false;
    return std::all_of(name.begin() + 1, name.end(),
                       [](char c) { return IsLetter(c) || (c >= '0' && c <= '9'); });
}

}  // namespace tb::tool
