#pragma once
// The commands of tbtool, each with its arguments already checked. They throw tb::Error for input
// they cannot read or write (exit 2) and return kExitFindings when a check fails.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tb::tool {

int DumpCommand(const std::string& file, std::ostream& out, std::ostream& err);
int PackCommand(const std::string& json_file, const std::string& out_file, std::ostream& err);
int GetCommand(const std::string& file, const std::string& path, std::ostream& out, std::ostream& err);
// What `build --sign` signs the built files with.
struct BuildSigning {
    std::string key_file;
    std::optional<int> expires_days;
};
// `allowed_folders`: folders besides the source's own from which the source may take files.
// With `signing`, a build without lint errors is signed as `sign` does (BASENAME.release beside it).
int BuildCommand(const std::string& source_file, const std::string& out_dir, const std::optional<std::string>& name,
                 std::ostream& out, std::ostream& err, const std::vector<std::string>& allowed_folders = {},
                 const std::optional<BuildSigning>& signing = std::nullopt);
int LintCommand(const std::string& template_file, const std::optional<std::string>& icons_file, std::ostream& out,
                std::ostream& err);
int CompressCommand(const std::string& in_file, const std::string& out_file, std::ostream& err);
int DecompressCommand(const std::string& in_file, const std::string& out_file, std::ostream& err);
int InspectCommand(const std::string& icons_file, std::ostream& out, std::ostream& err);
int KeygenCommand(const std::string& prefix, std::ostream& out, std::ostream& err);
int SignCommand(const std::string& key_file, const std::string& template_file, const std::string& icons_file,
                std::optional<int> expires_days, std::ostream& out, std::ostream& err);
struct BrandOptions {
    std::string out_file;
    std::vector<std::string> key_files;  // each --key: the copy trusts releases signed by any of them
    bool no_key = false;                 // --no-key: a keyed library may lose its keys
    std::optional<std::string> name;
    std::vector<std::string> allowed_folders = {};  // as for BuildCommand
};
int BrandCommand(const std::string& library_file, const std::string& source_or_template,
                 const std::optional<std::string>& icons_file, const BrandOptions& options, std::ostream& out,
                 std::ostream& err);
int VerifyCommand(const std::string& public_file, const std::string& release_file, const std::string& template_file,
                  const std::string& icons_file, std::ostream& out, std::ostream& err);

}  // namespace tb::tool
