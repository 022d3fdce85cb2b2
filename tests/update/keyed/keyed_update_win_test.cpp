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
#include "tests/update/keyed/release_maker_win.hpp"

namespace tb {
namespace {

using testing_support::HttpServer;
using testing_support::Reply;
using namespace testing_support::releases;

constexpr UpdateLimits kQuick{4000, 2000};

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
