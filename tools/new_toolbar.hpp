#pragma once
// `tbtool new NAME [FOLDER]`: a starting toolbar a publisher edits, that builds and lints clean as
// it is: a fresh class id, the toolbar's name, the common options, two buttons, a search box with
// one engine, an about box, the sample's icons and logo, and the schema beside it for editors.
#include <iosfwd>
#include <string>

namespace tb::tool {

// The files' base name for a toolbar name: its letters and digits (accents taken off Latin
// letters), without blanks, since the template update appends it to the update location;
// "Toolbar" when nothing is left.
std::string BaseNameFor(const std::string& toolbar_name);

// A new random class id, "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}".
std::string NewClassId();

// The source text for a toolbar (UTF-8 JSON).
std::string StarterSource(const std::string& toolbar_name, const std::string& base_name, const std::string& class_id);

// Writes FOLDER/BASENAME.json and the files it names. FOLDER defaults to BASENAME; it may exist,
// but nothing in it is ever overwritten (exit 1, nothing written, when a file is already there).
int NewCommand(const std::string& toolbar_name, const std::string& folder, std::ostream& out, std::ostream& err);

}  // namespace tb::tool
