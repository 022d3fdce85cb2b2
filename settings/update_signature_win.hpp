#pragma once
// Windows only: checks the detached signature of a downloaded update file with the system's
// cryptography (CNG). The formats are described in settings/update_signature.hpp.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace tb {

// The RCDATA resource of the toolbar library that holds the publisher's public key, as written by
// `tbtool keygen` (PREFIX.pub).
inline constexpr wchar_t kUpdatePublicKeyResource[] = L"TBPUBKEY";

// True when `signature` is a valid signature of the bytes of the file at `path` under the name
// `signed_name` for `public_key`. False for anything that does not fit: a key or signature of the
// wrong size or form, a file that cannot be read, a system without the algorithm.
bool VerifyUpdateSignature(std::string_view public_key, std::string_view signed_name, const std::string& path,
                           std::string_view signature);

// The public key the module carries in its RCDATA resource "TBPUBKEY"; nullopt when it carries
// none (its updates are then not signed).
std::optional<std::string_view> PublisherKey(HMODULE module);

}  // namespace tb
