#pragma once
// `tbtool probe SOURCE-OR-TEMPLATE [--key PUBKEY]... [--cacert FILE]`: fetches the toolbar's update
// location as the library would and says, file by file, what it finds (address, status, size
// against the limits, whether the certificate is valid for the name; for a signed release the
// signature, class id, version, expiry and hashes) and whether the toolbar would take the release.
// With keys it checks as a library branded with those keys does; without, as an unkeyed one.
// Versions are compared with the given source's or template's, standing for what users have.
#include <iosfwd>
#include <string>
#include <vector>

namespace tb::tool {

struct ProbeOptions {
    std::vector<std::string> key_files;
    std::string ca_file;  // trust this root (a staging server's own CA) instead of the system's
    std::vector<std::string> allowed_folders;  // as for build, when SOURCE-OR-TEMPLATE is a source
};

// Exit 0 when the toolbar would take the release (or users already have it), 1 with the reasons
// when it would not; tb::Error (exit 2) when the input or a key cannot be read.
int ProbeCommand(const std::string& source_or_template, const ProbeOptions& options, std::ostream& out,
                 std::ostream& err);

}  // namespace tb::tool
