#include "settings/update_signature_win.hpp"

#include <bcrypt.h>

#include "base/handle_win.hpp"
#include "settings/module_resource_win.hpp"
#include "settings/update_signature.hpp"

namespace tb {
namespace {

void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) { BCryptCloseAlgorithmProvider(algorithm, 0); }

using UniqueAlgorithm = UniqueAny<NullHandleTraits<BCRYPT_ALG_HANDLE, CloseAlgorithm>>;
using UniqueKey = UniqueAny<NullHandleTraits<BCRYPT_KEY_HANDLE, ::BCryptDestroyKey>>;
using UniqueHash = UniqueAny<NullHandleTraits<BCRYPT_HASH_HANDLE, ::BCryptDestroyHash>>;

constexpr ULONG kCoordinateSize = 32;
constexpr ULONG kDigestSize = 32;

bool Succeeded(NTSTATUS status) { return status >= 0; }

// The key as CNG takes it: a header, then X and Y (the point without its leading 0x04).
UniqueKey ImportPublicKey(BCRYPT_ALG_HANDLE ecdsa, std::string_view point) {
    if (point.size() != kUpdatePublicKeySize || static_cast<unsigned char>(point[0]) != 0x04) return UniqueKey();
    std::string blob(sizeof(BCRYPT_ECCKEY_BLOB), '\0');
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordinateSize};
    memcpy(blob.data(), &header, sizeof header);
    blob.append(point.substr(1));
    UniqueKey key;
    if (!Succeeded(BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, key.Put(),
                                       reinterpret_cast<PUCHAR>(blob.data()), static_cast<ULONG>(blob.size()), 0))) {
        return UniqueKey();
    }
    return key;
}

// SHA-256 of the prefix and the file, read in blocks so a large store is never held in memory.
bool DigestOf(std::string_view prefix, const std::string& path, UCHAR (&digest)[kDigestSize]) {
    UniqueAlgorithm sha;
    if (!Succeeded(BCryptOpenAlgorithmProvider(sha.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
    UniqueHash hash;
    if (!Succeeded(BCryptCreateHash(sha.Get(), hash.Put(), nullptr, 0, nullptr, 0, 0))) return false;
    if (!Succeeded(BCryptHashData(hash.Get(), reinterpret_cast<PUCHAR>(const_cast<char*>(prefix.data())),
                                  static_cast<ULONG>(prefix.size()), 0))) {
        return false;
    }
    const UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    static constexpr DWORD kBlock = 64 * 1024;
    std::string block(kBlock, '\0');
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.Get(), block.data(), kBlock, &count, nullptr)) return false;
        if (count == 0) break;
        if (!Succeeded(BCryptHashData(hash.Get(), reinterpret_cast<PUCHAR>(block.data()), count, 0))) return false;
    }
    return Succeeded(BCryptFinishHash(hash.Get(), digest, kDigestSize, 0));
}

}  // namespace

bool VerifyUpdateSignature(std::string_view public_key, std::string_view signed_name, const std::string& path,
                           std::string_view signature) {
    if (signature.size() != kUpdateSignatureSize) return false;
    UniqueAlgorithm ecdsa;
    if (!Succeeded(BCryptOpenAlgorithmProvider(ecdsa.Put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
    const UniqueKey key = ImportPublicKey(ecdsa.Get(), public_key);
    if (!key) return false;
    UCHAR digest[kDigestSize] = {};
    if (!DigestOf(SignedPrefix(signed_name), path, digest)) return false;
    std::string raw(signature);
    return Succeeded(BCryptVerifySignature(key.Get(), nullptr, digest, kDigestSize,
                                           reinterpret_cast<PUCHAR>(raw.data()), static_cast<ULONG>(raw.size()), 0));
}

std::optional<std::string_view> PublisherKey(HMODULE module) {
    return ModuleResourceBytes(module, kUpdatePublicKeyResource);
}

}  // namespace tb
