// tbtool brand on the toolbar library as built: what the copy carries, what stays as it was, and
// the files it refuses without writing anything.
#include <gtest/gtest.h>

#include <filesystem>

#include <sstream>

#include "base/file.hpp"
#include "base/little_endian.hpp"
#include "storage/embedded_copy.hpp"
#include "tests/tools/tool_run.hpp"
#include "tools/brand.hpp"
#include "tools/pe_resources.hpp"
#include "tools/version_info.hpp"

namespace tb::tool {
namespace {

const std::string kSource = std::string(TB_SOURCE_DIR) + "/samples/sample-bar/sample-bar.json";

std::vector<std::string> Libraries() {
    std::vector<std::string> found;
    std::stringstream list(TB_TOOLBAR_LIBRARIES);
    for (std::string path; std::getline(list, path, '|');) {
        if (FileExists(path)) found.push_back(path);
    }
    return found;
}

const ResourceId kRcData = ResourceId::Number(kResourceTypeRcData);

std::string Carried(const PeResources& pe, const char16_t* name) {
    const Resource* r = pe.Find(kRcData, ResourceId::Name(name));
    if (r == nullptr) return "(none)";
    std::string copy;
    EXPECT_TRUE(DecodeInternalFile(r->data, copy));
    return copy;
}

std::u16string VersionText(const PeResources& pe, const std::u16string& name) {
    const Resource* r = pe.Find(ResourceId::Number(kResourceTypeVersion), ResourceId::Number(1));
    if (r == nullptr) return u"(no version)";
    return VersionString(ParseVersionInfo(r->data), name).value_or(u"(none)");
}

class BrandTest : public ::testing::Test {
protected:
    void SetUp() override {
        libraries_ = Libraries();
        if (libraries_.empty()) GTEST_SKIP() << "no Windows build of the toolbar library here (build/win32, build/win64)";
        const ToolRun built = Tool({"build", kSource, Scratch("brand", "files")});
        ASSERT_EQ(built.status, 0) << built.err;
        template_ = *ReadWholeFile(Scratch("brand", "files") + "/SampleBar.tb");
        icons_ = *ReadWholeFile(Scratch("brand", "files") + "/Icons.bin");
    }
    std::vector<std::string> libraries_;
    std::string template_, icons_;
};

// The copy carries what the toolbar reads, its version resource names the toolbar, and the rest of
// the file up to the resources is the original's, byte for byte; branding it again replaces what
// it carries instead of adding to it.
TEST_F(BrandTest, CopyCarriesTheToolbarAndKeepsTheRest) {
    for (const std::string& library : libraries_) {
        SCOPED_TRACE(library);
        const std::string original = *ReadWholeFile(library);
        const std::string out = Scratch("brand", "SampleBar.dll");
        const std::string key = Scratch("brand", "publisher.pub");
        WriteWholeFile(key, "\x04" + std::string(64, 'k'));
        const ToolRun run = Tool({"brand", library, kSource, "--out", out, "--key", key});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string branded = *ReadWholeFile(out);
        const PeResources pe = PeResources::Parse(branded);
        const PeResources before = PeResources::Parse(original);
        EXPECT_EQ(Carried(pe, u"TBTEMPLATE"), template_);
        EXPECT_EQ(Carried(pe, u"TBICONS"), icons_);
        ASSERT_NE(pe.Find(kRcData, ResourceId::Name(u"TBPUBKEY")), nullptr);
        EXPECT_EQ(pe.Find(kRcData, ResourceId::Name(u"TBPUBKEY"))->data, "\x04" + std::string(64, 'k'));
        // Two keys (a rotation): both are carried, one after the other.
        const std::string next_key = Scratch("brand", "next.pub");
        WriteWholeFile(next_key, "\x04" + std::string(64, 'n'));
        const std::string rotated = Scratch("brand", "Rotated.dll");
        ASSERT_EQ(Tool({"brand", library, kSource, "--out", rotated, "--key", key, "--key", next_key}).status, 0);
        EXPECT_EQ(PeResources::Parse(*ReadWholeFile(rotated)).Find(kRcData, ResourceId::Name(u"TBPUBKEY"))->data,
                  "\x04" + std::string(64, 'k') + "\x04" + std::string(64, 'n'));
        EXPECT_EQ(VersionText(pe, u"ProductName"), u"Sample Bar");
        EXPECT_EQ(VersionText(pe, u"FileDescription"), u"Sample Bar");
        for (const char16_t* kept : {u"CompanyName", u"FileVersion", u"InternalName", u"OriginalFilename"}) {
            EXPECT_EQ(VersionText(pe, kept), VersionText(before, kept));
        }
        // Every other resource (the manifest among them) is the original's.
        for (const Resource& r : before.Resources()) {
            if (r.type == ResourceId::Number(kResourceTypeVersion)) continue;
            const Resource* same = pe.Find(r.type, r.name);
            ASSERT_NE(same, nullptr);
            EXPECT_EQ(same->data, r.data);
            EXPECT_EQ(same->language, r.language);
        }
        EXPECT_EQ(pe.Is64Bit(), before.Is64Bit());
        // Headers apart, nothing before the resources changed; the checksum is the new file's.
        const size_t first_section = 0x400;
        ASSERT_EQ(pe.ResourceFileOffset(), before.ResourceFileOffset());
        EXPECT_TRUE(branded.compare(first_section, before.ResourceFileOffset() - first_section, original,
                                    first_section, before.ResourceFileOffset() - first_section) == 0);
        const size_t checksum_at = pe.ChecksumOffset();
        EXPECT_EQ(PeChecksum(branded, checksum_at),
                  ByteReader::LoadU32(reinterpret_cast<const unsigned char*>(branded.data() + checksum_at)));

        // Branded again from a template alone, under another name: one template, no icon store,
        // and the key goes only when that is asked for: without --key or --no-key the keyed copy
        // is refused (it would silently take unsigned updates), and nothing is written.
        const std::string tb = Scratch("brand", "files") + "/SampleBar.tb";
        const std::string again = Scratch("brand", "Other.dll");
        std::filesystem::remove(again);
        const ToolRun dropped = Tool({"brand", out, tb, "--out", again, "--name", "Other Bar"});
        EXPECT_EQ(dropped.status, kExitUsage);
        EXPECT_NE(dropped.err.find("--no-key"), std::string::npos) << dropped.err;
        EXPECT_FALSE(std::filesystem::exists(again));
        ASSERT_EQ(Tool({"brand", out, tb, "--out", again, "--name", "Other Bar", "--no-key"}).status, 0);
        const PeResources twice = PeResources::Parse(*ReadWholeFile(again));
        EXPECT_EQ(Carried(twice, u"TBTEMPLATE"), template_);
        EXPECT_EQ(Carried(twice, u"TBICONS"), "(none)");
        EXPECT_EQ(twice.Find(kRcData, ResourceId::Name(u"TBPUBKEY")), nullptr);
        EXPECT_EQ(twice.Resources().size(), before.Resources().size() + 1);
        EXPECT_EQ(VersionText(twice, u"ProductName"), u"Other Bar");
    }
}

// Every cut of the library, a program, a file that is no PE file and a damaged resource tree are
// refused, and no output file appears.
TEST_F(BrandTest, DamagedOrForeignFilesWriteNothing) {
    const std::string library = libraries_.front();
    const std::string original = *ReadWholeFile(library);
    BrandInputs inputs{template_, icons_, {}, false, "Sample Bar"};
    for (size_t cut = 0; cut < original.size(); cut += cut < 0x1000 ? 1 : 509) {
        EXPECT_THROW(BrandLibrary(original.substr(0, cut), inputs), PeFormatError) << "cut at " << cut;
    }
    std::string program = original;
    program[static_cast<size_t>(ByteReader::LoadU32(reinterpret_cast<const unsigned char*>(program.data() + 0x3C))) + 4 + 19] &= ~0x20;  // the library flag (0x2000)
    std::string tree = original;
    tree[PeResources::Parse(original).ResourceFileOffset() + 14] = '\xFF';  // numbered entries
    tree[PeResources::Parse(original).ResourceFileOffset() + 15] = '\xFF';
    const struct {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"template", template_, "no MZ header"},
        {"program", program, "not a library"},
        {"empty", "", "no MZ header"},
        {"resource tree", tree, "damaged resources"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = Scratch("brand", std::string(c.name) + ".dll");
        const std::string out = Scratch("brand", std::string(c.name) + "-out.dll");
        WriteWholeFile(in, c.bytes);
        DeleteOneFile(out);
        const ToolRun run = Tool({"brand", in, kSource, "--out", out});
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("is not written"), std::string::npos) << run.err;
        EXPECT_FALSE(FileExists(out));
    }
}

}  // namespace
}  // namespace tb::tool
