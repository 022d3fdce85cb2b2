#pragma once
// Windows only: the cryptography of signed releases with the system's own (CNG). The formats are
// described in settings/update_signature.hpp and settings/release_manifest.cpp.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// The RCDATA resource of the toolbar library that holds the publishers' public keys, as written by
// `tbtool brand --key` (one or more PREFIX.pub of `tbtool keygen`, one after another).
inline constexpr wchar_t kUpdatePublicKeyResource[] = L"TBPUBKEY";

// True when `signature` is a valid signature of `signed_text` for `public_key`. False for anything
// that does not fit: a key or signature of the wrong size or form, a system without the algorithm.
bool VerifyManifestSignature(std::string_view public_key, std::string_view signed_text, std::string_view signature);

// The 32-byte SHA-256 digest of bytes; empty when the system cannot compute it.
std::string Sha256Of(std::string_view bytes);

// The public keys the module carries in its RCDATA resource "TBPUBKEY"; nullopt when it carries no
// such resource (its updates are then not signed). A resource that is not whole keys gives no key
// at all, so such a library takes no release rather than unsigned ones.
std::optional<std::vector<std::string>> PublisherKeys(HMODULE module);

}  // namespace tb
