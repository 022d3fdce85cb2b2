#pragma once
// Detached signatures of the update's files, shared by the authoring tool (which signs) and the
// toolbar library (which verifies). Off unless a publisher turns it on by giving the library a key.
//
// Algorithm: ECDSA over the curve P-256 with SHA-256.
// Public key (the .pub file of `tbtool keygen`, and the library's RCDATA resource "TBPUBKEY"):
//   65 bytes, the uncompressed point: 0x04, X (32 bytes, big-endian), Y (32 bytes, big-endian).
// Signature (the .sig file next to the signed file, e.g. "SampleBar.tb.sig", "icons.bin.sig"):
//   64 bytes, r then s, each 32 bytes big-endian.
// Signed message: SignedPrefix(name) followed by the file's bytes, where name is the file's name as
//   the update asks for it (the template's "B.tb", "icons.bin"), as UTF-8. The name binds a signature to one
//   file of one toolbar: a signature of the icon store, or of another toolbar of the same publisher,
//   does not pass for the template.
#include <string>
#include <string_view>

namespace tb {

inline constexpr size_t kUpdatePublicKeySize = 65;
inline constexpr size_t kUpdateSignatureSize = 64;
inline constexpr char kSignatureSuffix[] = ".sig";

// "toolbar update signature 1\n" + the name with ASCII letters in lower case + "\n": file names
// are compared without regard to case where the toolbar runs.
inline std::string SignedPrefix(std::string_view file_name) {
    std::string prefix = "toolbar update signature 1\n";
    for (const char c : file_name) prefix += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    prefix += '\n';
    return prefix;
}

}  // namespace tb
