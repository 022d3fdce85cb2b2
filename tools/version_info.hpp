#pragma once
// The version resource of a library (VS_VERSIONINFO), read as a tree of nodes so that single
// string values can be changed and the whole written back.
//
// Node layout, every node starting on a 4-byte boundary of the resource:
//   length (of the node with its children, without the padding after it), value length (in
//   UTF-16 units for a text value, in bytes for a binary one), type (1 text, 0 binary), the key
//   (UTF-16, zero-terminated), padding to 4, the value, padding to 4, the children.
// The root "VS_VERSION_INFO" holds the fixed file information (52 bytes); its child
// "StringFileInfo" holds one table per language and code page ("040904b0"), whose children are
// the strings ("ProductName", "FileDescription", ...).
#include <optional>
#include <string>
#include <vector>

namespace tb::tool {

struct VersionNode {
    std::u16string key;
    bool text = false;
    std::string value;  // the value's bytes (for text: UTF-16 with its terminating zero)
    std::vector<VersionNode> children;
};

// Throws PeFormatError when the resource is cut off or its lengths do not fit.
VersionNode ParseVersionInfo(const std::string& resource);
std::string WriteVersionInfo(const VersionNode& root);

// The string `name` of the first string table; nullopt when there is none.
std::optional<std::u16string> VersionString(const VersionNode& root, const std::u16string& name);
// Sets the string `name` in every string table (adding it where it is missing). Throws
// PeFormatError when the resource has no string table.
void SetVersionString(VersionNode& root, const std::u16string& name, const std::u16string& value);

}  // namespace tb::tool
