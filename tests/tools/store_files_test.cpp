// dump, pack and get on storage files: files the store itself writes, hand-made files of the older
// format versions, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "base/file.hpp"
#include "storage/bin_data.hpp"
#include "storage/read_only_store.hpp"
#include "storage/storage.hpp"
#include "tests/support/template_file.hpp"
#include "tests/tools/tool_run.hpp"
#include "tools/json_text.hpp"

namespace tb::tool {
namespace {

std::string Scratch(const std::string& name) { return tb::tool::Scratch("store_files_test", name); }

std::string Le(uint64_t v, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
}

// Lets `fill` write into a store attached to the file, then closes the store, which saves it
// through its binary back-end like any other user of the store.
void SaveThroughStore(const std::string& file, const std::function<void(TrsStorage&)>& fill) {
    DeleteOneFile(file);
    WriteTemplateFile(file, fill);
}

void EveryKind(TrsStorage& s) {
    s.WriteString("\\Options\\Toolbar Name", "Bar \xE2\x82\xAC");
    s.WriteString(std::string("\\Caf\xE9\\\xFF\xFEname", 12), std::string("\x80\x00z", 3));
    s.WriteBinary("\\Options\\Blob", std::string("\x00\x01\xFF", 3));
    s.WriteInteger("\\Options\\Search Width", -42);
    s.WriteFloat("\\Numbers\\Pi", 3.141592653589793);
    s.WriteValue("\\Numbers\\NaN", vkFloat, Le(0x7FF8000000000123ull, 8));
    s.WriteCurrency("\\Numbers\\Money", -123456789);
    s.WriteDateTime("\\Numbers\\When", 45000.75);
    s.WriteBool("\\Numbers\\Yes", true);
    s.WriteValue("\\Numbers\\Odd", vkBoolean, Le(7, 4));
    s.WritePoint("\\Numbers\\Where", -3, 4);
    s.WriteInt64("\\Numbers\\Big", INT64_MIN);
    s.WriteRaw32("\\Numbers\\Raw", 0xFFFFFFFF);
    s.WriteEmpty("\\Numbers\\Nothing");
    s.WriteValue("\\Numbers\\Deep\\Future", static_cast<TrsValueKind>(77), "");
    s.WriteString("Root key", "at the root");
}

// A store that deleted a section: the ids that remain have a gap, and a section made afterwards
// takes the next id after the highest ever given.
void WithGaps(TrsStorage& s) {
    s.WriteString("\\A\\k", "a");
    s.WriteString("\\B\\k", "b");
    s.WriteString("\\C\\Inner\\k", "c");
    s.DeleteSection("\\B");
    s.WriteString("\\D\\k", "d");
}

// A file whose records are not in table order (a store keeps what it loads), loaded and saved again.
void KeepsForeignOrder(TrsStorage& s) {
    const std::string image = std::string("RS02\x02\x00\x02\x00", 8) +
                              std::string("\x05\x00\x00\x00\x01Z", 6) + std::string("\x02\x00\x00\x00\x01" "A", 6) +
                              std::string("\x05\x00\x01z\x03\x00", 6) + Le(5, 4) +
                              std::string("\x05\x00\x01" "a\x03\x00", 6) + Le(6, 4);
    const auto loaded = ReadOnlyStore::FromImage(image);
    s.LoadTables(loaded.Store().Sections(), loaded.Store().Keys(), false);
}

TEST(DumpPack, FilesTheStoreWritesComeBackByteForByte) {
    const struct {
        const char* what;
        std::function<void(TrsStorage&)> fill;
    } cases[] = {
        {"every value kind", EveryKind},
        {"an empty store", [](TrsStorage&) {}},
        {"ids with gaps", WithGaps},
        {"records out of table order", KeepsForeignOrder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = Scratch("saved.tb");
        SaveThroughStore(file, c.fill);
        const auto saved = ReadWholeFile(file);
        ASSERT_TRUE(saved.has_value());

        const ToolRun dump = Tool({"dump", file});
        ASSERT_EQ(dump.status, 0) << dump.err;
        WriteWholeFile(Scratch("saved.json"), dump.out);
        const ToolRun pack = Tool({"pack", Scratch("saved.json"), Scratch("packed.tb")});
        ASSERT_EQ(pack.status, 0) << pack.err;
        EXPECT_EQ(ReadWholeFile(Scratch("packed.tb")), saved);
    }
}

TEST(DumpPack, TheDumpShowsTheTablesAsTheyAre) {
    const std::string file = Scratch("gaps.tb");
    SaveThroughStore(file, WithGaps);
    const ToolRun dump = Tool({"dump", file});
    ASSERT_EQ(dump.status, 0) << dump.err;
    const Json json = Json::parse(dump.out);
    EXPECT_EQ(json["sections"].dump(), R"([{"id":1,"parent":0,"name":"A"},{"id":3,"parent":0,"name":"C"},)"
                                       R"({"id":5,"parent":0,"name":"D"},{"id":4,"parent":3,"name":"Inner"}])");
    EXPECT_EQ(json["keys"][0].dump(), R"({"section":1,"name":"k","kind":"string","value":"a"})");
}

// RS03 keeps names and texts as UTF-16LE; the store turns them into code page text, and pack
// writes the tree in the store's own format.
TEST(DumpPack, OlderVersionsAreReadAndPackedAsTheStoreWouldSaveThem) {
    const auto utf16 = [](std::u16string_view text) {
        std::string out;
        for (char16_t c : text) out += Le(c, 2);
        return out;
    };
    const std::string rs03 = "RS03" + Le(1, 2) + Le(3, 2) +                                   //
                             Le(1, 2) + Le(0, 2) + Le(14, 1) + utf16(u"Options") +              //
                             Le(1, 2) + Le(14, 1) + utf16(u"Caption") + Le(1, 2) + Le(9, 4) +  // odd length:
                             utf16(u"Caf\u00E9") + "x" +                                      // 4 units kept
                             Le(1, 2) + Le(8, 1) + utf16(u"Data") + Le(2, 2) + Le(3, 4) + "\x01\x02\x03" +
                             Le(1, 2) + Le(2, 1) + utf16(u"N") + Le(3, 2) + Le(7, 4);
    const std::string rs01 = "RS01" + Le(1, 2) + Le(3, 2) +                                        //
                             Le(1, 2) + Le(0, 2) + Le(7, 1) + "Options" +                           //
                             Le(1, 2) + Le(7, 1) + "Caption" + Le(1, 2) + Le(4, 2) + "Caf\xE9" +    //
                             Le(1, 2) + Le(4, 1) + "Data" + Le(2, 2) + Le(3, 2) + "\x01\x02\x03" +  //
                             Le(1, 2) + Le(1, 1) + "N" + Le(3, 2) + Le(7, 4);
    // The same tree as the store would save it.
    const std::string rs02 = "RS02" + Le(1, 2) + Le(3, 2) +                                        //
                             Le(1, 2) + Le(0, 2) + Le(7, 1) + "Options" +                           //
                             Le(1, 2) + Le(7, 1) + "Caption" + Le(1, 2) + Le(4, 4) + "Caf\xE9" +    //
                             Le(1, 2) + Le(4, 1) + "Data" + Le(2, 2) + Le(3, 4) + "\x01\x02\x03" +  //
                             Le(1, 2) + Le(1, 1) + "N" + Le(3, 2) + Le(7, 4);
    for (const auto& [version, image] : {std::pair(3, rs03), std::pair(1, rs01)}) {
        SCOPED_TRACE(version);
        WriteWholeFile(Scratch("old.tb"), image);
        const ToolRun dump = Tool({"dump", Scratch("old.tb")});
        ASSERT_EQ(dump.status, 0) << dump.err;
        const Json json = Json::parse(dump.out);
        EXPECT_EQ(json["version"], version);
        EXPECT_EQ(json["keys"][0]["value"], Json({{"hex", "436166e9"}}));  // code page text, not UTF-8
        WriteWholeFile(Scratch("old.json"), dump.out);
        ASSERT_EQ(Tool({"pack", Scratch("old.json"), Scratch("old-packed.tb")}).status, 0);
        EXPECT_EQ(ReadWholeFile(Scratch("old-packed.tb")), rs02);
        EXPECT_EQ(Tool({"get", Scratch("old.tb"), "\\Options\\Caption"}).out, "Caf\xE9\n");
    }
}

TEST(DumpPack, ADamagedFileIsReadAsFarAsItGoesAndFails) {
    const std::string image("RS02\x01\x00\x01\x00\x01\x00\x00\x00\x07Options\x01\x00\x0CToolbar Name\x01\x00\x03\x00\x00\x00" "Bar", 44);
    WriteWholeFile(Scratch("cut.tb"), image.substr(0, 40));
    const ToolRun dump = Tool({"dump", Scratch("cut.tb")});
    EXPECT_EQ(dump.status, 1);
    EXPECT_NE(dump.err.find("cut.tb: damaged"), std::string::npos) << dump.err;
    const Json json = Json::parse(dump.out);
    EXPECT_EQ(json["sections"].size(), 1u);
    EXPECT_EQ(json["keys"].size(), 0u);

    const ToolRun lint = Tool({"lint", Scratch("cut.tb")});
    EXPECT_EQ(lint.status, 1);
    EXPECT_NE(lint.out.find("cut.tb: damaged: the file ends inside a record"), std::string::npos) << lint.out;
}

TEST(Get, ReadsAKeyAsTheToolbarDoes) {
    const std::string file = Scratch("get.tb");
    SaveThroughStore(file, [](TrsStorage& s) {
        s.WriteString("\\Options\\Toolbar Name", "Bar");
        s.WriteInteger("\\Options\\Search Width", 145);
        s.WriteBool("\\Options\\About Show", true);
        s.WriteBinary("\\Options\\Blob", "\x0A\x1B");
        s.WritePoint("\\Options\\Where", 1, -2);
        s.WriteValue("\\Options\\Future", static_cast<TrsValueKind>(77), "");
    });
    const struct {
        const char* path;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {"\\Options\\Toolbar Name", 0, "Bar\n", ""},
        {"options/TOOLBAR NAME", 0, "Bar\n", ""},
        {"\\Options\\Search Width", 0, "145\n", ""},
        {"\\Options\\About Show", 0, "True\n", ""},
        {"\\Options\\Blob", 0, "0A,1B\n", ""},
        {"\\Options\\Where", 0, "(1,-2)\n", ""},
        {"\\Options\\Missing", 1, "", "get.tb: no key \\Options\\Missing\n"},
        {"\\Options\\Future", 1, "", "get.tb: TrsStorage get key value error: Can't read value of key \"\\Options\\Future\" as string type."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const ToolRun run = Tool({"get", file, c.path});
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    const ToolRun missing = Tool({"get", Scratch("none.tb"), "\\Options\\Toolbar Name"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("none.tb: no such file"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace tb::tool
