#pragma once
// Publisher keys and signatures of release manifests (the formats are described in
// settings/update_signature.hpp and settings/release_manifest.cpp). Natively they are made with OpenSSL; the Windows build of the tool
// does not sign (see signing_win.cpp) and raises tb::Error from each function.
#include <string>
#include <string_view>

namespace tb::tool {

struct KeyPair {
    std::string private_pem;  // PKCS#8, unencrypted: the publisher keeps it private
    std::string public_key;   // kUpdatePublicKeySize bytes
};

KeyPair GenerateKeyPair();

// Writes the private key to key_file (readable by its owner only) and the public key to
// public_file. Neither may exist yet: a publisher's key is never overwritten. Error when a file
// exists or cannot be written; then neither file is left.
void SaveNewKeyPair(const KeyPair& pair, const std::string& key_file, const std::string& public_file);

// The signature of `content`. Error when the key cannot be read or is no P-256 key.
std::string SignContent(const std::string& private_pem, std::string_view content);

// The 65-byte public key of a private key; Error as SignContent.
std::string PublicKeyOf(const std::string& private_pem);

// The 32-byte SHA-256 digest of bytes.
std::string Sha256(std::string_view bytes);

// True when `signature` is a valid signature of `content` for `public_key`; false for any
// signature, key or content that does not fit.
bool VerifyContent(std::string_view public_key, std::string_view content, std::string_view signature);

}  // namespace tb::tool
