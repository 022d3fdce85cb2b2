// The template update of a library that carries publisher keys (this program's resource TBPUBKEY:
// two keys, as after a rotation): only a whole signed release that is newer, names this toolbar,
// has not expired and matches its files is swapped in. The release of keyed/data/ was signed by
// the native tool with OpenSSL; the tests sign releases of their own here with CNG.
#include <windows.h>

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "base/file.hpp"
#include "base/handle_win.hpp"
#include "base/text.hpp"
#include "settings/release_manifest.hpp"
#include "settings/template_update_win.hpp"
#include "settings/update_record.hpp"
#include "settings/update_signature_win.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/update/http_server_win.hpp"

namespace tb {
namespace {

using testing_support::HttpServer;
using testing_support::Reply;

constexpr char kClassId[] = "{0B5E1C3A-7D2F-4E8B-9A61-C4D3E2F1A0B9}";
constexpr UpdateLimits kQuick{4000, 2000};

std::string Data(const std::string& name) {
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

std::string TemplateImage(const std::string& version, const std::string& name = "Keyed Bar") {
    TrsStorage store;
    store.WriteString("\\Options\\Toolbar Name", name);
    store.WriteString("\\Options\\Version", version);
    store.WriteString("\\Options\\Toolbar GUID", kClassId);
    return TrsBinData::EncodeTables(store);
}

std::string IconImage(const std::string& marker) {
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
Release MakeRelease(const TestKey& key, const std::string& version, const std::string& class_id = kClassId,
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

class KeyedUpdate : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        WriteWholeFile(Path("KeyedBar.tb"), TemplateImage("1.0"));
        WriteWholeFile(Path("Icons.bin"), IconImage("installed"));
    }
    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    void Publish(const Release& r) {
        server_.Set("/bar/KeyedBar.tb", Reply{r.templ});
        server_.Set("/bar/icons.bin", Reply{r.icons});
        server_.Set("/bar/KeyedBar.release", Reply{r.manifest});
    }
    std::string Run() {
        std::u16string url = AnsiToUtf16(server_.Root() + "bar/");
        return UpdateTemplate(Target(), url, kQuick);
    }
    UpdateTarget Target() const {
        return {AnsiToUtf16(folder_), u"KeyedBar", "{0b5e1c3a-7d2f-4e8b-9a61-c4d3e2f1a0b9}",
                PublisherKeys(GetModuleHandleW(nullptr))};
    }
    // SHA-256 of each file of the data folder that the toolbar uses, as text.
    std::string Hashes() const {
        std::string out;
        for (const char* name : {"KeyedBar.tb", "Icons.bin", "KeyedBar Default.tb", "Icons Default.bin"}) {
            const auto bytes = ReadWholeFile(Path(name));
            out += std::string(name) + " " + (bytes ? ToHex(Sha256Of(*bytes)) : "-") + "\n";
        }
        return out;
    }
    std::string Log() const { return ReadWholeFile(Path(kUpdateLogName)).value_or(""); }

    HttpServer server_;
    TestKey first_{"first"};
    TestKey second_{"second"};
};

// Releases signed by either carried key are taken (a rotation); the same release again costs the
// manifest alone.
TEST_F(KeyedUpdate, ANewerReleaseSignedByEitherKeyIsTakenAndTheSameReleaseDownloadsNothing) {
    Publish(MakeRelease(second_, "1.5"));
    EXPECT_EQ(Run(), "updated to version 1.5");
    const Release release = MakeRelease(first_, "2.0");
    Publish(release);
    EXPECT_EQ(Run(), "updated to version 2.0");
    EXPECT_EQ(ReadWholeFile(Path("KeyedBar.tb")), release.templ);
    EXPECT_EQ(ReadWholeFile(Path("Icons.bin")), release.icons);
    EXPECT_EQ(ReadWholeFile(Path("KeyedBar Default.tb")), TemplateImage("1.5"));

    const size_t asked = server_.Requests().size();
    EXPECT_EQ(Run(), "not modified (version 2.0 is installed)");
    EXPECT_EQ(server_.Requests().size(), asked + 1);
    EXPECT_EQ(server_.Requests().back(), "/bar/KeyedBar.release");
    const std::string log = Log();
    EXPECT_NE(log.find("bar/ updated to version 1.5\n"), std::string::npos) << log;
    EXPECT_NE(log.find("bar/ not modified (version 2.0 is installed)\n"), std::string::npos) << log;
}

// The release the native tool signed with OpenSSL verifies here with CNG.
TEST_F(KeyedUpdate, AReleaseSignedByTheNativeToolIsTaken) {
    server_.Set("/bar/KeyedBar.tb", Reply{Data("SampleBar.tb")});
    server_.Set("/bar/icons.bin", Reply{Data("Icons.bin")});
    server_.Set("/bar/KeyedBar.release", Reply{Data("SampleBar.release")});
    EXPECT_EQ(Run(), "updated to version 2.0");
    EXPECT_EQ(ReadWholeFile(Path("KeyedBar.tb")), Data("SampleBar.tb"));
}

// Each release is refused with its reason in the log, and the data folder is byte for byte what
// it was. A release that is not newer is not downloaded at all.
TEST_F(KeyedUpdate, EveryOtherReleaseIsRefusedAndTheInstalledFilesStay) {
    TestKey unknown;
    const auto mixed = [&] {
        Release r = MakeRelease(first_, "2.0");
        r.icons = MakeRelease(first_, "3.0").icons;  // another release's icon store
        return r;
    };
    const auto tampered = [&] {
        Release r = MakeRelease(first_, "2.0");
        r.templ = TemplateImage("2.0", "Keyed Bar, changed");
        return r;
    };
    const auto raised = [&] {
        Release r = MakeRelease(first_, "2.0");
        r.manifest.replace(r.manifest.find("version 2.0"), 11, "version 9.0");
        return r;
    };
    const struct {
        const char* name;
        std::function<Release()> release;
        const char* reason;
        bool files_fetched;
    } cases[] = {
        {"older", [&] { return MakeRelease(first_, "0.9"); }, "refused: version 0.9 is not newer than 1.0", false},
        {"another toolbar", [&] { return MakeRelease(first_, "2.0", "{11111111-2222-3333-4444-555555555555}"); },
         "refused: the release is for another toolbar ({11111111-2222-3333-4444-555555555555})", false},
        {"expired", [&] { return MakeRelease(first_, "2.0", kClassId, -60); }, "refused: the release expired on ",
         false},
        {"unknown key", [&] { return MakeRelease(unknown, "2.0"); }, "refused: signed by an unknown key", false},
        {"manifest changed after signing", raised, "refused: signature does not verify", false},
        {"mixed releases", mixed, "refused: icons.bin does not match the release", true},
        {"tampered template", tampered, "refused: KeyedBar.tb does not match the release", true},
        {"no manifest", [&] { return Release{TemplateImage("2.0"), IconImage("x"), ""}; },
         "refused: KeyedBar.release is no release manifest (not a release manifest)", false},
    };
    const std::string installed = Hashes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = Hashes();
        const size_t asked = server_.Requests().size();
        Publish(c.release());
        const std::string outcome = Run();
        EXPECT_EQ(outcome.rfind(c.reason, 0), 0u) << outcome;
        EXPECT_EQ(Hashes(), before);
        EXPECT_NE(Log().find(c.reason), std::string::npos);
        const std::vector<std::string> requests = server_.Requests();
        const bool fetched = std::count(requests.begin() + static_cast<std::ptrdiff_t>(asked), requests.end(),
                                        "/bar/KeyedBar.tb") > 0;
        EXPECT_EQ(fetched, c.files_fetched);
    }
    EXPECT_EQ(Hashes(), installed);
    std::printf("data folder before:\n%sUpdate.log:\n%sdata folder after:\n%s", installed.c_str(), Log().c_str(),
                Hashes().c_str());
}

// The keys this program carries are found the way the library finds its own: both, in order.
TEST(PublisherKeys, AreTheModulesResource) {
    const auto keys = PublisherKeys(GetModuleHandleW(nullptr));
    ASSERT_TRUE(keys);
    EXPECT_EQ(*keys, (std::vector<std::string>{Data("first.pub"), Data("second.pub")}));
}

}  // namespace
}  // namespace tb
