#pragma once
// Releases for the tests of a keyed library: the two test keys this program carries (and keys it
// does not), and a release signed with one of them, made with the system's cryptography (CNG).
#include <windows.h>

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/file.hpp"
#include "settings/release_manifest.hpp"
#include "settings/update_signature_win.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"

namespace tb::testing_support::releases {

constexpr char kClassId[] = "{0B5E1C3A-7D2F-4E8B-9A61-C4D3E2F1A0B9}";
inline std::string Data(const std::string& name) {
    auto bytes = ReadWholeFile(std::string(TB_SOURCE_DIR) + "/tests/update/keyed/data/" + name);
    if (!bytes) throw std::runtime_error("missing test data " + name);
    return *bytes;
}

// A signing key held by the test: one of the two the program carries, or one it does not know.
class TestKey {
public:
    // The carried key whose private scalar is keyed/data/NAME.private.
    explicit TestKey(const std::string& name) : public_key_(Data(name + ".pub")) {
        Open();
        const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
        std::string blob(reinterpret_cast<const char*>(&header), sizeof header);
        blob += public_key_.substr(1) + Data(name + ".private");
        EXPECT_GE(BCryptImportKeyPair(algorithm_, nullptr, BCRYPT_ECCPRIVATE_BLOB, &key_,
                                      reinterpret_cast<PUCHAR>(blob.data()), static_cast<ULONG>(blob.size()), 0),
                  0);
    }
    // A key made now, which no library carries.
    TestKey() {
        Open();
        BCryptGenerateKeyPair(algorithm_, &key_, 256, 0);
        BCryptFinalizeKeyPair(key_, 0);
        std::string blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64, '\0');
        ULONG size = 0;
        BCryptExportKey(key_, nullptr, BCRYPT_ECCPUBLIC_BLOB, reinterpret_cast<PUCHAR>(blob.data()),
                        static_cast<ULONG>(blob.size()), &size, 0);
        public_key_ = "\x04" + blob.substr(sizeof(BCRYPT_ECCKEY_BLOB));
    }
    ~TestKey() {
        if (key_) BCryptDestroyKey(key_);
        if (algorithm_) BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    std::string Id() const { return KeyIdOf(Sha256Of(public_key_)); }
    std::string Sign(std::string_view text) const {
        std::string digest = Sha256Of(text);
        std::string signature(64, '\0');
        ULONG size = 0;
        BCryptSignHash(key_, nullptr, reinterpret_cast<PUCHAR>(digest.data()), 32,
                       reinterpret_cast<PUCHAR>(signature.data()), 64, &size, 0);
        return signature;
    }

private:
    void Open() { BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0); }

    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_KEY_HANDLE key_ = nullptr;
    std::string public_key_;
};

inline std::string TemplateImage(const std::string& version, const std::string& name = "Keyed Bar") {
    TrsStorage store;
    store.WriteString("\\Options\\Toolbar Name", name);
    store.WriteString("\\Options\\Version", version);
    store.WriteString("\\Options\\Toolbar GUID", kClassId);
    return TrsBinData::EncodeTables(store);
}

inline std::string IconImage(const std::string& marker) {
    TrsStorage store;
    store.WriteBinary("\\Icons", "image list " + marker);
    return TrsBinData::EncodeTables(store);
}

// A release as a publisher serves it: template, icon store, manifest.
struct Release {
    std::string templ;
    std::string icons;
    std::string manifest;
};

// expires_in: seconds from now.
inline Release MakeRelease(const TestKey& key, const std::string& version, const std::string& class_id = kClassId,
                    std::optional<int64_t> expires_in = std::nullopt) {
    Release r{TemplateImage(version), IconImage("icons " + version), ""};
    ReleaseManifest m;
    m.class_id = class_id;
    m.version = version;
    m.template_sha256 = ToHex(Sha256Of(r.templ));
    m.icons_sha256 = ToHex(Sha256Of(r.icons));
    m.made = static_cast<int64_t>(time(nullptr));
    if (expires_in) m.expires = m.made + *expires_in;
    m.key_id = key.Id();
    m.signature = key.Sign(SignedManifestText(m));
    r.manifest = ManifestText(m);
    return r;
}

}  // namespace tb::testing_support::releases
