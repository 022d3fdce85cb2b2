#include <gtest/gtest.h>

#include <algorithm>

#include "storage_fixture.hpp"

namespace tb {
namespace {

using testing_support::Bytes;
using testing_support::FileStore;

// One section Options (id 1) with the text key Toolbar Name = Bar.
const std::string kExample = Bytes({0x52, 0x53, 0x30, 0x32, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00,
                                    0x00, 0x07, 'O',  'p',  't',  'i',  'o',  'n',  's',  0x01, 0x00,
                                    0x0C, 'T',  'o',  'o',  'l',  'b',  'a',  'r',  ' ',  'N',  'a',
                                    'm',  'e',  0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 'B',  'a',  'r'});

class BinFileTest : public testing_support::TempFolderTest {};

TEST_F(BinFileTest, WorkedExampleLoadsAndWritesBackByteForByte) {
    ASSERT_EQ(kExample.size(), 44u);
    WriteWholeFile(Path("a.tb"), kExample);
    FileStore f(Path("a.tb"), soSaveOnClose);
    f.store.SetActive(true);
    EXPECT_TRUE(f.store.Active());
    EXPECT_FALSE(f.store.Damaged());
    EXPECT_EQ(f.store.ReadString("Options\\Toolbar Name", "x"), "Bar");
    EXPECT_EQ(f.store.Sections().size(), 1u);
    EXPECT_EQ(f.store.Keys().size(), 1u);
    f.data.FileName = Path("b.tb");
    f.store.Close();
    EXPECT_EQ(ReadWholeFile(Path("b.tb")), kExample);
}

// A store with one key of every kind, some nested sections and a key of the root.
void FillEveryKind(TrsStorage& store) {
    store.WriteString("\\Options\\Toolbar Name", "Bar");
    store.WriteString("\\Options\\Empty", "");
    store.WriteBinary("\\Icons\\Data", std::string("\0\1\2\xFF", 4));
    store.WriteInteger("\\Options\\Width", -5);
    store.WriteFloat("\\Numbers\\Float", 1.5);
    store.WriteCurrency("\\Numbers\\Money", 12345);
    store.WriteDateTime("\\Numbers\\When", 45306.5);
    store.WriteBool("\\Options\\Visible", true);
    store.WritePoint("\\Numbers\\Where", 3, -4);
    store.WriteInt64("\\Numbers\\Big", -1234567890123LL);
    store.WriteRaw32("\\Numbers\\Raw", 0xFFFFFFFEu);
    store.WriteEmpty("\\Order\\Sub\\Nothing");
    store.WriteValue("\\Order\\Unknown", static_cast<TrsValueKind>(200), "");
    store.WriteString("\\Top", "root key");
}

// End offsets of every record of an RS02 image of the store's tables.
std::vector<size_t> RecordEnds(const TrsStorage& store) {
    std::vector<size_t> ends;
    size_t at = 8;
    for (const auto& s : store.Sections()) ends.push_back(at += 5 + s.name.size());
    for (const auto& k : store.Keys()) {
        at += 5 + k.name.size() + k.Payload().size();
        if (k.kind == vkString || k.kind == vkBinary) at += 4;
        ends.push_back(at);
    }
    return ends;
}

bool SameKey(const TrsKeyRecord& a, const TrsKeyRecord& b) {
    return a.name == b.name && a.section_id == b.section_id && a.kind == b.kind && a.Payload() == b.Payload();
}

TEST_F(BinFileTest, EveryKindSurvivesASaveAndALoad) {
    {
        FileStore f(Path("all.bin"), soSaveOnClose);
        f.store.SetActive(true);
        FillEveryKind(f.store);
        f.store.Close();
    }
    TrsStorage reference;
    FillEveryKind(reference);
    FileStore f(Path("all.bin"));
    f.store.Reload();
    ASSERT_EQ(f.store.Keys().size(), reference.Keys().size());
    for (size_t i = 0; i < reference.Keys().size(); ++i) EXPECT_TRUE(SameKey(f.store.Keys()[i], reference.Keys()[i])) << i;
    EXPECT_EQ(f.store.HighestSectionId(), reference.HighestSectionId());
    EXPECT_EQ(f.store.ReadString("\\Numbers\\Where", ""), "(3,-4)");
    EXPECT_EQ(f.store.ReadString("\\Numbers\\Big", ""), "-1234567890123");
    EXPECT_EQ(f.store.ReadInteger("\\Options\\Width", 0), -5);
}

// An RS03 image of one root key "K" holding `text` (ASCII), as UTF-16LE.
std::string Utf16Image(const std::string& text) {
    const std::uint32_t bytes = static_cast<std::uint32_t>(2 * text.size());
    std::string image = "RS03" + Bytes({0, 0, 1, 0, 0, 0, 2, 'K', 0, 1, 0});
    for (int shift = 0; shift < 32; shift += 8) image.push_back(static_cast<char>((bytes >> shift) & 0xFF));
    for (const char c : text) image += Bytes({c, 0});
    return image;
}

TEST_F(BinFileTest, VersionDecidesLengthsAndTextEncoding) {
    // One key "K" of the root holding the text "hi", in three versions.
    const std::string long_text(40000, 'w');
    const struct {
        const char* what;
        std::string image;
        std::string name;
        std::string text;
    } cases[] = {
        {"RS02: 4-byte lengths", "RS02" + Bytes({0, 0, 1, 0, 0, 0, 1, 'K', 1, 0, 2, 0, 0, 0, 'h', 'i'}), "K", "hi"},
        {"RS01: 2-byte lengths", "RS01" + Bytes({0, 0, 1, 0, 0, 0, 1, 'K', 1, 0, 2, 0, 'h', 'i'}), "K", "hi"},
        {"XYZ7: only the digit counts", "XYZ7" + Bytes({0, 0, 1, 0, 0, 0, 1, 'K', 1, 0, 2, 0, 'h', 'i'}), "K", "hi"},
        {"RS03: UTF-16LE names and texts",
         "RS03" + Bytes({0, 0, 1, 0, 0, 0, 4, 0xC4, 0, 'K', 0, 1, 0, 5, 0, 0, 0, 'h', 0, 0xE9, 0, '!'}), "\xC4K", "h\xE9"},
        {"RS03: a converted text larger than the store's text chunks", Utf16Image(long_text), "K", long_text},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(Path("v.bin"), c.image);
        FileStore f(Path("v.bin"));
        f.store.Reload();
        EXPECT_FALSE(f.store.Damaged());
        ASSERT_EQ(f.store.Keys().size(), 1u);
        EXPECT_EQ(f.store.Keys()[0].name, c.name);
        EXPECT_EQ(f.store.Keys()[0].bytes, c.text);
    }
}

TEST_F(BinFileTest, EmptyOrMissingFilesGiveAnEmptyStore) {
    for (const std::string& image : {std::string(), std::string("RS02\0\0\0\0", 8)}) {
        WriteWholeFile(Path("e.bin"), image);
        FileStore f(Path("e.bin"));
        f.store.SetActive(true);
        EXPECT_TRUE(f.store.Active());
        EXPECT_FALSE(f.store.Damaged());
        EXPECT_TRUE(f.store.Keys().empty());
        EXPECT_EQ(f.store.ReadString("\\Options\\Toolbar Name", "none"), "none");
    }
    FileStore f(Path("missing.bin"));
    f.store.SetActive(true);
    EXPECT_TRUE(f.store.Active());
    EXPECT_FALSE(f.store.KeyExists("\\Options\\Toolbar Name"));
    EXPECT_EQ(f.store.KeyCount(), 0);
    EXPECT_FALSE(FileExists(Path("missing.bin")));
}

// Every prefix of a real file loads without reading outside its data, keeps exactly the records
// that are complete and reports the damage.
TEST_F(BinFileTest, EveryTruncatedPrefixKeepsTheCompleteRecords) {
    TrsStorage reference;
    FillEveryKind(reference);
    const std::string image = TrsBinData::EncodeTables(reference);
    const std::vector<size_t> ends = RecordEnds(reference);
    ASSERT_EQ(ends.back(), image.size());
    const size_t section_count = reference.Sections().size();

    for (size_t length = 0; length < image.size(); ++length) {
        SCOPED_TRACE(length);
        WriteWholeFile(Path("cut.bin"), image.substr(0, length));
        FileStore f(Path("cut.bin"));
        f.store.Reload();
        EXPECT_EQ(f.store.Damaged(), length > 0);
        const size_t complete = static_cast<size_t>(std::count_if(ends.begin(), ends.end(), [&](size_t e) { return e <= length; }));
        const size_t sections = std::min(complete, section_count);
        const size_t keys = complete > section_count ? complete - section_count : 0;
        ASSERT_EQ(f.store.Sections().size(), sections);
        ASSERT_EQ(f.store.Keys().size(), keys);
        for (size_t i = 0; i < keys; ++i) EXPECT_TRUE(SameKey(f.store.Keys()[i], reference.Keys()[i]));
        if (keys > 0) {
            // Reads of the complete part work as usual.
            const TrsKeyRecord& first = reference.Keys()[0];
            std::string path = "\\";
            path.append(first.name);
            EXPECT_EQ(f.store.ReadString(path, "-"), reference.ReadString(path, "-"));
        }
        f.store.ClearAll();
        EXPECT_FALSE(f.store.Damaged());
    }
}

TEST_F(BinFileTest, CountsAndLengthsBeyondTheDataAreNotTrusted) {
    const struct {
        const char* what;
        std::string image;
        size_t sections, keys;
        bool damaged;
    } cases[] = {
        {"65535 sections claimed, none there", "RS02" + Bytes({0xFF, 0xFF, 0xFF, 0xFF}), 0, 0, true},
        {"one section, then 65535 keys claimed",
         "RS02" + Bytes({1, 0, 0xFF, 0xFF, 1, 0, 0, 0, 1, 'S', 1, 0, 1, 'k', 3, 0, 7, 0, 0, 0}), 1, 1, true},
        {"a text length of 4 GiB",
         "RS02" + Bytes({0, 0, 2, 0, 0, 0, 1, 'a', 7, 0, 1, 0, 0, 0, 0, 0, 1, 'b', 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}), 0, 1, true},
        {"an unknown kind carries no payload",
         "RS02" + Bytes({0, 0, 2, 0, 0, 0, 1, 'a', 0xC8, 0, 0, 0, 1, 'b', 3, 0, 9, 0, 0, 0}), 0, 2, false},
        {"a name running past the end", "RS02" + Bytes({1, 0, 0, 0, 1, 0, 0, 0, 200, 'S'}), 0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(Path("bad.bin"), c.image);
        FileStore f(Path("bad.bin"));
        f.store.Reload();
        EXPECT_EQ(f.store.Sections().size(), c.sections);
        EXPECT_EQ(f.store.Keys().size(), c.keys);
        EXPECT_EQ(f.store.Damaged(), c.damaged);
        // Reserving for the claimed counts would take megabytes; the tables hold what came.
        EXPECT_LE(f.store.Keys().capacity(), c.image.size() / 5);
    }
}

TEST_F(BinFileTest, RecordsOutOfOrderAreKeptAsTheyCome) {
    // Keys "b" then "a" of the root: both kept in file order; the binary search may miss one.
    WriteWholeFile(Path("o.bin"), "RS02" + Bytes({0, 0, 2, 0, 0, 0, 1, 'b', 3, 0, 2, 0, 0, 0, 0, 0, 1, 'a', 3, 0, 1, 0, 0, 0}));
    FileStore f(Path("o.bin"), soSaveOnClose);
    f.store.SetActive(true);
    ASSERT_EQ(f.store.Keys().size(), 2u);
    EXPECT_EQ(f.store.Keys()[0].name, "b");
    EXPECT_EQ(f.store.Keys()[1].name, "a");
    EXPECT_FALSE(f.store.Damaged());
    // Lookups answer the same however often they are asked (the read indexes stay out of it).
    const bool a = f.store.KeyExists("a"), b = f.store.KeyExists("b");
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(f.store.KeyExists("a"), a);
        ASSERT_EQ(f.store.KeyExists("b"), b);
    }
    // Writing them back keeps the bytes.
    const auto before = ReadWholeFile(Path("o.bin"));
    f.store.Close();
    EXPECT_EQ(ReadWholeFile(Path("o.bin")), before);
}

TEST_F(BinFileTest, TreesTheFormatCannotHoldAreNotSaved) {
    auto section = [](std::int32_t id, std::int32_t parent, std::string name) {
        TrsSectionRecord s;
        s.id = id;
        s.parent_id = parent;
        s.name = std::move(name);
        return s;
    };
    static const std::string kLongName(256, 'n');
    auto key = [](std::int32_t section_id, std::string_view name) {
        TrsKeyRecord k;
        k.section_id = section_id;
        k.name = name;
        return k;
    };
    const struct {
        const char* what;
        std::vector<TrsSectionRecord> sections;
        std::vector<TrsKeyRecord> keys;
    } cases[] = {
        {"section id above 65535", {section(65536, 0, "S")}, {}},
        {"negative section id", {section(-1, 0, "S")}, {}},
        {"parent id above 65535", {section(1, 70000, "S")}, {}},
        {"negative parent id", {section(1, -1, "S")}, {}},
        {"key of section 65536", {}, {key(65536, "k")}},
        {"key of a negative section", {}, {key(-1, "k")}},
        {"65536 sections", std::vector<TrsSectionRecord>(65536, section(1, 0, "S")), {}},
        {"section name of 256 bytes", {section(1, 0, std::string(256, 'n'))}, {}},
        {"key name of 256 bytes", {}, {key(0, kLongName)}},
        {"65536 keys", {}, std::vector<TrsKeyRecord>(65536, key(0, "k"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(Path("keep.bin"), kExample);
        FileStore f(Path("keep.bin"), soSaveOnClose);
        f.store.SetActive(true);
        f.store.LoadTables(c.sections, c.keys, false);
        try {
            f.store.Close();
            ADD_FAILURE() << "saved";
        } catch (const TrsException& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Storage library error: Cannot save the storage: ", 0), 0u) << e.what();
        }
        EXPECT_TRUE(f.store.Active());  // a failed save leaves the store active
        EXPECT_EQ(ReadWholeFile(Path("keep.bin")), kExample);
        f.store.SetOptions(0);
    }
}

TEST_F(BinFileTest, LargestTreeTheFormatHoldsRoundTrips) {
    TrsStorage big;
    std::vector<TrsKeyRecord> keys(65535);
    std::vector<std::string> names(keys.size());  // the records' texts live here until LoadTables
    for (size_t i = 0; i < keys.size(); ++i) {
        names[i] = std::to_string(100000 + i);
        keys[i].section_id = 65535;
        keys[i].name = names[i];
        keys[i].kind = vkInteger;
    }
    TrsSectionRecord s;
    s.id = 65535;
    s.name = std::string(255, 'n');
    big.LoadTables({s}, std::move(keys), false);
    WriteWholeFile(Path("big.bin"), TrsBinData::EncodeTables(big));
    FileStore f(Path("big.bin"));
    f.store.Reload();
    EXPECT_EQ(f.store.Keys().size(), 65535u);
    EXPECT_EQ(f.store.HighestSectionId(), 65535);
    EXPECT_EQ(f.store.ReadInteger("\\" + std::string(255, 'n') + "\\165534", -1), 0);
}

}  // namespace
}  // namespace tb
