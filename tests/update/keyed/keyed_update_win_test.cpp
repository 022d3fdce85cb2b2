// The template update of a library that carries a publisher's key (this program's resource
// TBPUBKEY): only files whose detached signatures verify are swapped in. The published files and
// their signatures were made by the native tool with OpenSSL; the library checks them with CNG.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/file.hpp"
#include "base/text.hpp"
#include "settings/template_update_win.hpp"
#include "settings/update_signature_win.hpp"
#include "storage/bin_data.hpp"
#include "storage/read_only_store.hpp"
#include "storage/storage.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/update/http_server_win.hpp"

namespace tb {
namespace {

namespace fs = std::filesystem;
using testing_support::HttpServer;
using testing_support::Reply;

constexpr DownloadTimeouts kQuickTimes{2000, 1500, 10000};

std::string Data(const std::string& name) {
    auto bytes = ReadWholeFile(std::string(TB_SOURCE_DIR) + "/tests/update/keyed/data/" + name);
    if (!bytes) throw std::runtime_error("missing test data " + name);
    return *bytes;
}

std::string OldTemplate() {
    TrsStorage store;
    store.WriteString("\\Options\\Toolbar Name", "Old");
    return TrsBinData::EncodeTables(store);
}

std::string OldIcons() {
    TrsStorage store;
    store.WriteBinary("\\Icons", "old image list");
    return TrsBinData::EncodeTables(store);
}

// The same bytes with one byte changed at `at`.
std::string Flipped(std::string bytes, size_t at) {
    bytes.at(at) = static_cast<char>(bytes.at(at) ^ 0x01);
    return bytes;
}

struct Published {
    std::string file;
    std::optional<std::string> signature;  // nullopt: the server has none (its 404 page)
};

struct KeyedCase {
    const char* name;
    Published (*templ)();
    Published (*icons)();
    bool template_accepted;
    bool icons_accepted;
};

Published GoodTemplate() { return {Data("SampleBar.tb"), Data("SampleBar.tb.sig")}; }
Published GoodIcons() { return {Data("Icons.bin"), Data("Icons.bin.sig")}; }

const KeyedCase kCases[] = {
    {"GoodSignatures", GoodTemplate, GoodIcons, true, true},
    {"NoSignatures", [] { return Published{Data("SampleBar.tb"), std::nullopt}; },
     [] { return Published{Data("Icons.bin"), std::nullopt}; }, false, false},
    {"SignaturesOfTheOtherFile", [] { return Published{Data("SampleBar.tb"), Data("Icons.bin.sig")}; },
     [] { return Published{Data("Icons.bin"), Data("SampleBar.tb.sig")}; }, false, false},
    // Still a usable template and icon store, with one byte changed inside a value: the toolbar's
    // name, and the middle of the first icon's picture.
    {"TamperedFiles",
     [] {
         std::string file = Data("SampleBar.tb");
         return Published{Flipped(file, file.find("Sample Bar") + 9), Data("SampleBar.tb.sig")};
     },
     [] {
         std::string file = Data("Icons.bin");
         return Published{Flipped(file, file.find("IDAT") + 20), Data("Icons.bin.sig")};
     },
     false, false},
    {"SignedWithAnotherKey", [] { return Published{Data("SampleBar.tb"), Data("SampleBar.tb.other-key.sig")}; },
     [] { return Published{Data("Icons.bin"), Data("Icons.bin.other-key.sig")}; }, false, false},
    {"DamagedSignatures", [] { return Published{Data("SampleBar.tb"), Data("SampleBar.tb.sig").substr(0, 63)}; },
     [] { return Published{Data("Icons.bin"), Flipped(Data("Icons.bin.sig"), 5)}; }, false, false},
    {"OnlyTheIconStoreSigned", [] { return Published{Data("SampleBar.tb"), std::nullopt}; }, GoodIcons, false, true},
};

class KeyedUpdate : public testing_support::TempFolderTest, public testing::WithParamInterface<KeyedCase> {
protected:
    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    void Publish(const std::string& remote, const Published& published) {
        server_.Set("/bar/" + remote, Reply{published.file});
        if (published.signature) server_.Set("/bar/" + remote + ".sig", Reply{*published.signature});
    }

    HttpServer server_;
};

TEST_P(KeyedUpdate, OnlyFilesWithAGoodSignatureAreSwappedIn) {
    const KeyedCase& c = GetParam();
    WriteWholeFile(Path("SampleBar.tb"), OldTemplate());
    WriteWholeFile(Path("Icons.bin"), OldIcons());
    const Published templ = c.templ();
    const Published icons = c.icons();
    Publish("SampleBar.tb", templ);
    Publish("icons.bin", icons);

    std::u16string url = AnsiToUtf16(server_.Root() + "bar/");
    UpdateTemplate(AnsiToUtf16(folder_), u"SampleBar", url, UpdateLimits{kQuickTimes});

    const std::vector<std::string> asked = {"/bar/SampleBar.tb", "/bar/SampleBar.tb.sig", "/bar/icons.bin",
                                            "/bar/icons.bin.sig"};
    EXPECT_EQ(server_.Requests(), asked);
    EXPECT_EQ(ReadWholeFile(Path("SampleBar.tb")), c.template_accepted ? templ.file : OldTemplate());
    EXPECT_EQ(ReadWholeFile(Path("Icons.bin")), c.icons_accepted ? icons.file : OldIcons());
    EXPECT_EQ(FileExists(Path("SampleBar Internet.tb")), !c.template_accepted) << "a rejected download stays aside";

    // The toolbar still loads a named template and an icon store, and nothing is left that the
    // limits would not allow, signature downloads included.
    ReadOnlyStore loaded_template(Path("SampleBar.tb"));
    EXPECT_FALSE(DecodeUtf8(loaded_template.Store().ReadString("\\Options\\Toolbar Name", "")).empty());
    ReadOnlyStore loaded_icons(Path("Icons.bin"));
    EXPECT_TRUE(loaded_icons.Store().KeyExists("\\Icons"));
    for (const auto& entry : fs::directory_iterator(folder_)) {
        EXPECT_NE(entry.path().extension(), ".sig") << entry.path().string();
        EXPECT_LE(entry.file_size(), kIconStoreSizeLimit);
    }
}

INSTANTIATE_TEST_SUITE_P(Signatures, KeyedUpdate, testing::ValuesIn(kCases),
                         [](const auto& p) { return p.param.name; });

// The key this program carries is found the way the library finds its own.
TEST(PublisherKey, IsTheModulesResource) {
    const auto key = PublisherKey(GetModuleHandleW(nullptr));
    ASSERT_TRUE(key);
    EXPECT_EQ(std::string(*key), Data("publisher.pub"));
}

}  // namespace
}  // namespace tb
