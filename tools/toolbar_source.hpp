#pragma once
// The readable toolbar source that `tbtool build` turns into a template file and an icon store.
//
//   {
//     "name": "SampleBar",                 base name of the files (BASENAME.tb); --name overrides
//     "options": {"Toolbar Name": "...", "About Show": true, ...},   keys of "\Options", typed
//     "strings": {"Menu Close Toolbar": "...", "Message Clear History": "..."},      "\Strings"
//     "icon_size": 16,                     width and height of the item images
//     "logo": "logo.png",                  stored as a bitmap in the icon store's "\Image"
//     "items": [ ITEM, ... ],              the toolbar's top level, left to right
//     "keys": {"\\Section\\Key": VALUE}    any template key given directly; written last
//   }
//
// ITEM is "-" (a separator) or an object:
//   "type"     "item", "submenu", "separator" or "search"; "submenu" when "items" is given
//   "name"     component name (made up when absent)
//   "caption", "url" (the item command), "icon" (a PNG file), "visible" (default true),
//   "enabled", "tag", "group" (GroupIndex), "items" (sub-items; a sub-menu with a "url" is a
//   split button), "keys" ({"Key": VALUE} in the item's own section)
//   "engines"  for "search" only: the search engines, each an ITEM with a "url" holding "[SEARCH]";
//              they get the search type numbers 1, 2, ... unless they give a "tag"
//
// VALUE is a string (text), an integer, true or false, or {"kind": KIND, "value": ...} with the
// value forms of the dump format, or {"file": "path"} for a binary key holding a file's bytes.
// File paths are relative to the source file's folder, and the files must lie inside it (or inside
// a folder the publisher allows by name): a source someone contributed cannot pull in any other
// file of the publisher's machine. Only regular files are read, each up to the limit of its use.
// Items nest at most kMaxItemDepth levels deep.
//
// The build does the bookkeeping: section names that give each entry its shape, the "\Order" keys,
// parents, "Visible" keys, image indexes with their "\Icons\" map, "Tag" numbers and
// "\miSearch\Count".
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/json_text.hpp"
#include "tools/raw_tables.hpp"

namespace tb::tool {

struct PlannedKey {
    std::string path;  // absolute, "\Section\Key"
    RawKey value;      // kind and payload; its section and name are not used
};

struct PlannedIcon {
    std::string file;  // as the source names it
    std::string png;   // the file's bytes
};

struct BuildPlan {
    std::string base_name;
    std::vector<PlannedKey> template_keys;  // in the order they are written; later ones win
    int icon_width = 16;
    int icon_height = 16;
    std::vector<PlannedIcon> icons;  // image index order
    std::string logo_file;           // empty when the source has no logo
    std::string logo_bytes;
};

// How deep items may nest: the top level is 1, its sub-items 2, and so on. Far more than a menu
// anyone can use, and small enough that a hostile source is refused at once.
inline constexpr int kMaxItemDepth = 16;

// What a file named by the source is for; each use has its size limit.
enum class SourceFileUse { kIcon, kLogo, kKeyFile };
// An item image is at most 256 pixels square: 1 MiB holds any sensible PNG of it.
inline constexpr uint64_t kMaxIconBytes = 1u << 20;
// The logo becomes a bitmap in the icon store, which every toolbar window loads.
inline constexpr uint64_t kMaxLogoBytes = 8u << 20;
// A binary key lives in the template, which every toolbar window reads whole.
inline constexpr uint64_t kMaxKeyFileBytes = 16u << 20;
uint64_t SourceFileLimit(SourceFileUse use);

// Reads a file named by the source (a path relative to the source's folder already joined to it);
// throws tb::Error naming the file when it cannot.
using SourceFileReader = std::function<std::string(const std::string& path, SourceFileUse use)>;

// Throws JsonError naming the place in the source for anything it cannot build.
BuildPlan PlanBuild(const Json& source, const std::string& source_dir, const SourceFileReader& read_file);

// The reader of `tbtool build` and `brand`: a file must lie inside the source's folder or one of
// `allowed_folders` once links are followed, be a regular file, and hold no more bytes than its
// use allows. "FILE: no such file" when it is missing.
SourceFileReader ConfinedSourceReader(const std::string& source_dir, const std::vector<std::string>& allowed_folders);

// The name of the files `build` writes (BASENAME.tb) must be a bare file name: no folder, nothing
// Windows refuses in a file name, no control character. Throws JsonError naming `where`.
void RequireBareFileName(const std::string& name, const std::string& where);

// The dump format's value forms, also used by "keys" in a source; `dir` resolves {"file": ...}.
RawKey KeyValueFromJson(const Json& value, const std::string& where, const std::string& dir,
                        const SourceFileReader& read_file);

RawKey TextValue(std::string bytes);
RawKey IntegerValue(int32_t value);
RawKey BooleanValue(bool value);
RawKey BinaryValue(std::string bytes);

}  // namespace tb::tool
