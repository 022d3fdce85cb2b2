#pragma once
// The keys that the toolbar reads from a template file, with the type each is read as. The build
// command checks the options of a toolbar source against it, and lint checks templates with it.
#include <span>
#include <string_view>

namespace tb::tool {

enum class KeyType {
    kUtf8Text,      // read as text and decoded as UTF-8
    kCodePageText,  // read as text and taken in the system code page
    kInteger,
    kBoolean,
};

struct SchemaKey {
    std::string_view name;  // the key's name in its section
    KeyType type;
};

// The keys of "\Options".
std::span<const SchemaKey> OptionKeys();
const SchemaKey* FindOptionKey(std::string_view name);  // letter case ignored, as the store does

// The keys of one item's section (Name, Caption, ImageIndex, URL, Tag, GroupIndex, Enabled, Visible,
// Parent); "URL" is listed as code page text, which is how the item's hint takes it.
std::span<const SchemaKey> ItemKeys();

// "\Strings" keys that are messages rather than captions of the window's own menu items.
std::span<const std::string_view> StringMessages();
// The window's own plain menu items whose captions "\Strings" keys can set (blanks removed from the
// key name give the component name).
std::span<const std::string_view> OwnMenuItems();

// Section names the toolbar reads itself; an item's section must not take one of them.
bool IsReservedSection(std::string_view name);

// What the toolbar makes of an order entry: it looks for these substrings (letter case counts).
enum class EntryShape { kSeparator, kSubMenu, kSearchSelector, kPlain };
EntryShape ShapeOfEntry(std::string_view section);

// A component name the toolkit accepts: empty, or a letter or '_' followed by letters, digits and '_'.
bool IsValidComponentName(std::string_view name);

}  // namespace tb::tool
