#pragma once
// Publisher keys and the signature of a release manifest (settings/release_manifest.hpp), shared by
// the authoring tool (which signs) and the toolbar library (which verifies). Off unless a publisher
// turns it on by giving the library a key.
//
// Algorithm: ECDSA over the curve P-256 with SHA-256.
// Public key (the .pub file of `tbtool keygen`): 65 bytes, the uncompressed point: 0x04, X (32
//   bytes, big-endian), Y (32 bytes, big-endian). The library's RCDATA resource "TBPUBKEY" holds one
//   or more of them, one after another (a publisher rotating keys ships the old and the new one).
// Signature: 64 bytes, r then s, each 32 bytes big-endian, over the manifest's signed text.
#include <cstddef>

namespace tb {

inline constexpr size_t kUpdatePublicKeySize = 65;
inline constexpr size_t kUpdateSignatureSize = 64;

}  // namespace tb
