#include "settings/update_signature_win.hpp"

#include <bcrypt.h>

#include <algorithm>

#include "base/handle_win.hpp"
#include "base/system_library_win.hpp"
#include "settings/module_resource_win.hpp"
#include "settings/release_manifest.hpp"
#include "settings/update_signature.hpp"

namespace tb {
namespace {

// The system's cryptography, loaded when a download is first checked: most browser windows never
// receive a new release, and loading it costs a new browser process more than its toolbar's icons.
struct CngFunctions {
    decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider;
    decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider;
    decltype(&::BCryptCreateHash) BCryptCreateHash;
    decltype(&::BCryptHashData) BCryptHashData;
    decltype(&::BCryptFinishHash) BCryptFinishHash;
    decltype(&::BCryptDestroyHash) BCryptDestroyHash;
    decltype(&::BCryptImportKeyPair) BCryptImportKeyPair;
    decltype(&::BCryptDestroyKey) BCryptDestroyKey;
    decltype(&::BCryptVerifySignature) BCryptVerifySignature;
};

// Every function, or nullptr when the library or one of them cannot be found: then no digest is
// made and no signature holds.
const CngFunctions* Cng() {
    static const CngFunctions* const loaded = []() -> const CngFunctions* {
        SystemLibrary cng(L"bcrypt.dll");
        static const CngFunctions functions{
            TB_SYSTEM_FUNCTION(cng, BCryptOpenAlgorithmProvider), TB_SYSTEM_FUNCTION(cng, BCryptCloseAlgorithmProvider),
            TB_SYSTEM_FUNCTION(cng, BCryptCreateHash),            TB_SYSTEM_FUNCTION(cng, BCryptHashData),
            TB_SYSTEM_FUNCTION(cng, BCryptFinishHash),            TB_SYSTEM_FUNCTION(cng, BCryptDestroyHash),
            TB_SYSTEM_FUNCTION(cng, BCryptImportKeyPair),         TB_SYSTEM_FUNCTION(cng, BCryptDestroyKey),
            TB_SYSTEM_FUNCTION(cng, BCryptVerifySignature),
        };
        return cng.Complete() ? &functions : nullptr;
    }();
    return loaded;
}

// Handles exist only where Cng() gave them out, so their closing finds the functions there.
void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) { Cng()->BCryptCloseAlgorithmProvider(algorithm, 0); }
void DestroyKey(BCRYPT_KEY_HANDLE key) { Cng()->BCryptDestroyKey(key); }
void DestroyHash(BCRYPT_HASH_HANDLE hash) { Cng()->BCryptDestroyHash(hash); }

using UniqueAlgorithm = UniqueAny<NullHandleTraits<BCRYPT_ALG_HANDLE, CloseAlgorithm>>;
using UniqueKey = UniqueAny<NullHandleTraits<BCRYPT_KEY_HANDLE, DestroyKey>>;
using UniqueHash = UniqueAny<NullHandleTraits<BCRYPT_HASH_HANDLE, DestroyHash>>;

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
    if (!Succeeded(Cng()->BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, key.Put(),
                                       reinterpret_cast<PUCHAR>(blob.data()), static_cast<ULONG>(blob.size()), 0))) {
        return UniqueKey();
    }
    return key;
}

}  // namespace

std::string Sha256Of(std::string_view bytes) {
    if (Cng() == nullptr) return {};
    UniqueAlgorithm sha;
    if (!Succeeded(Cng()->BCryptOpenAlgorithmProvider(sha.Put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return {};
    UniqueHash hash;
    if (!Succeeded(Cng()->BCryptCreateHash(sha.Get(), hash.Put(), nullptr, 0, nullptr, 0, 0))) return {};
    // CNG takes at most a ULONG at a time; the update's files are far smaller, but no cut is assumed.
    for (size_t at = 0; at < bytes.size();) {
        const ULONG count = static_cast<ULONG>(std::min<size_t>(bytes.size() - at, 1u << 30));
        if (!Succeeded(Cng()->BCryptHashData(hash.Get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + at)), count, 0))) {
            return {};
        }
        at += count;
    }
    std::string digest(kDigestSize, '\0');
    if (!Succeeded(Cng()->BCryptFinishHash(hash.Get(), reinterpret_cast<PUCHAR>(digest.data()), kDigestSize, 0))) return {};
    return digest;
}

bool VerifyManifestSignature(std::string_view public_key, std::string_view signed_text, std::string_view signature) {
    if (signature.size() != kUpdateSignatureSize || Cng() == nullptr) return false;
    UniqueAlgorithm ecdsa;
    if (!Succeeded(Cng()->BCryptOpenAlgorithmProvider(ecdsa.Put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
    const UniqueKey key = ImportPublicKey(ecdsa.Get(), public_key);
    if (!key) return false;
    std::string digest = Sha256Of(signed_text);
    if (digest.size() != kDigestSize) return false;
    std::string raw(signature);
    return Succeeded(Cng()->BCryptVerifySignature(key.Get(), nullptr, reinterpret_cast<PUCHAR>(digest.data()), kDigestSize,
                                           reinterpret_cast<PUCHAR>(raw.data()), static_cast<ULONG>(raw.size()), 0));
}

std::optional<std::vector<std::string>> PublisherKeys(HMODULE module) {
    const auto carried = ModuleResourceBytes(module, kUpdatePublicKeyResource);
    if (!carried) return std::nullopt;
    return SplitPublicKeys(*carried);
}

}  // namespace tb
