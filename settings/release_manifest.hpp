#pragma once
// The signed release manifest of a toolbar update: which template and icon store make one release
// of one toolbar, and who vouches for it. `tbtool sign` writes it; a toolbar library that carries
// publisher keys takes an update only as a whole release whose manifest verifies. The layout is
// described at the top of release_manifest.cpp. Portable: no cryptography here, only the text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// A manifest is small; anything larger is not one and is not read further.
inline constexpr size_t kReleaseManifestSizeLimit = 2048;
inline constexpr char kReleaseSuffix[] = ".release";

struct ReleaseManifest {
    std::string class_id;         // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as the template names it
    std::string version;          // dotted numbers, e.g. "1.2.10"
    std::string template_sha256;  // 64 lower-case hexadecimal digits
    std::string icons_sha256;     // likewise
    int64_t made = 0;             // seconds since 1970-01-01 UTC
    std::optional<int64_t> expires;  // likewise; none: the release does not expire
    std::string key_id;           // 16 lower-case hexadecimal digits: KeyIdOf the signing key's digest
    std::string signature;        // 64 bytes: r then s, each 32 bytes big-endian (ECDSA P-256, SHA-256)
};

// The signed part: every line up to and including the "key" line, as the writer wrote it.
std::string SignedManifestText(const ReleaseManifest& manifest);

// The whole manifest: the signed part and the "signature" line.
std::string ManifestText(const ReleaseManifest& manifest);

struct ParsedManifest {
    std::optional<ReleaseManifest> manifest;
    std::string signed_text;  // the bytes the signature covers
    std::string error;        // why it is not a manifest, when it is not
};

// Reads a manifest strictly: the lines in their order, each once, each ended by "\n", nothing
// before or after, every value in its one form. Anything else is no manifest, with the reason.
ParsedManifest ParseReleaseManifest(std::string_view text);

// Dotted numbers ("1", "1.2", "10.0.3"): at most 8 parts of at most 9 digits; nullopt otherwise.
std::optional<std::vector<uint32_t>> ParseDottedVersion(std::string_view text);

// <0, 0, >0 as a is older than, the same as, or newer than b; missing parts count as 0 (1.2 = 1.2.0).
int CompareDottedVersions(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);

// A key's id: the first 8 bytes of the SHA-256 digest of its 65-byte public key, as hexadecimal.
std::string KeyIdOf(std::string_view public_key_sha256_digest);

// Lower-case hexadecimal of bytes, and back (nullopt for anything but an even count of digits).
std::string ToHex(std::string_view bytes);
std::optional<std::string> FromHex(std::string_view hex);

// The 65-byte public keys a library carries: one or more keys, one after another.
std::vector<std::string> SplitPublicKeys(std::string_view carried);

// "{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}": braces, 8-4-4-4-12 hexadecimal digits.
bool IsClassIdText(std::string_view text);

}  // namespace tb
