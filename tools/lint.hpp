#pragma once
// Checks of a template (and its icon store) for what would go wrong when the toolbar is built from
// it. The checks follow the toolbar's own reading of the keys, through the same typed reads.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tb::tool {

// The reads the toolbar makes of a template; each read may throw tb::Error as the toolbar's would.
class TemplateView {
public:
    virtual ~TemplateView() = default;
    virtual bool KeyExists(const std::string& path) = 0;
    virtual std::string ReadString(const std::string& path, const std::string& fallback) = 0;
    virtual int32_t ReadInteger(const std::string& path, int32_t fallback) = 0;
    virtual bool ReadBool(const std::string& path, bool fallback) = 0;
    // Names of the keys of a top-level section in table order; empty when there is no such section.
    virtual std::vector<std::string> KeyNames(const std::string& section) = 0;
    // Whether the file ended inside a record, so that the toolbar reads only the records before it.
    virtual bool Damaged() { return false; }
};

struct Finding {
    bool error = false;  // else a warning
    std::string path;    // key path, or the file for findings about a whole file
    std::string reason;
};

// What lint needs to know of the icon store: how many images the toolbar would get, or why it gets
// none.
struct IconStoreFacts {
    std::string file;
    int image_count = 0;
    std::vector<Finding> findings;  // problems found while reading the store itself
};

// base_name: the template's file name without ".tb", which the update location appends.
std::vector<Finding> LintTemplate(TemplateView& view, const std::string& base_name,
                                  const std::optional<IconStoreFacts>& icons);

std::string FormatFinding(const Finding& finding);
bool HasError(const std::vector<Finding>& findings);

}  // namespace tb::tool
