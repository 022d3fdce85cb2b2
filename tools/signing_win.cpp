// The Windows build of the tool does not sign or make keys: a publisher's private key is made and
// used by one implementation only (OpenSSL, in the native tool), so there is one key file format
// and no second place where the private key is handled.
#include "base/errors.hpp"
#include "tools/signing.hpp"

namespace tb::tool {

namespace {
[[noreturn]] void NativeOnly() {
    throw Error("keys and signatures are made by the native tool (built with OpenSSL on Linux)");
}
}  // namespace

KeyPair GenerateKeyPair() { NativeOnly(); }

void SaveNewKeyPair(const KeyPair&, const std::string&, const std::string&) { NativeOnly(); }

std::string SignContent(const std::string&, std::string_view) { NativeOnly(); }

std::string PublicKeyOf(const std::string&) { NativeOnly(); }

std::string Sha256(std::string_view) { NativeOnly(); }

bool VerifyContent(std::string_view, std::string_view, std::string_view) { NativeOnly(); }

}  // namespace tb::tool
