// The tree: name collation, path forms, the current section, writes and removals.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "storage/storage.hpp"

namespace tb {
namespace {

TEST(CompareNames, FoldsOnlyAsciiLettersAndComparesUnsigned) {
    const struct {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"Search URL", "search url", 0},
        {"AB", "A_B", -1},         // letters compare in upper case, before '_'
        {"Zed", "_zed", -1},
        {"ab", "abc", -1},         // a prefix sorts first
        {"10", "2", -1},
        {"\xE9", "\xC9", 1},       // non-ASCII letters are not folded
        {"\x80", "z", 1},          // bytes compare unsigned
        {"", "", 0},
        {"[", "a", 1},             // '[' (0x5B) is above 'A'
    };
    for (const auto& c : cases) {
        const int r = CompareNames(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
        const int back = CompareNames(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " vs " << c.a;
    }
}

class PathTest : public ::testing::Test {
protected:
    void SetUp() override {
        store.WriteString("\\Options\\Search URL", "url");
        store.WriteString("\\Top", "top");
        store.WriteString("\\Order\\1", "one");
        store.WriteString("\\A\\B\\C\\K", "deep");
    }
    TrsStorage store;
};

TEST_F(PathTest, PathFormsFindTheSameKey) {
    const struct {
        const char* path;
        const char* value;
    } cases[] = {
        {"\\Options\\Search URL", "url"},
        {"\\OPTIONS\\SEARCH URL", "url"},
        {"\\options\\search url", "url"},
        {"/Options/Search URL", "url"},
        {"\\Options/Search URL", "url"},
        {"Options\\Search URL", "url"},     // relative to the root, which is current
        {"\\\\Options\\Search URL", "url"},  // leading separators are skipped
        {"\\Options\\\\Search URL", "url"},  // a separator ending the section path
        {"\\Options\\\\\\Search URL", "-"},  // an empty segment finds nothing
        {"\\A\\\\B\\C\\K", "-"},
        {"A/B/C/K", "deep"},
        {"Top", "top"},
        {"\\Top", "top"},
        {"/Top", "top"},
        {"\\Missing\\Search URL", "-"},
        {"\\Options\\Search", "-"},
        {"\\Options\\Search URL\\", "-"},
        {"", "-"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(store.ReadString(c.path, "-"), c.value) << c.path;
        EXPECT_EQ(store.KeyExists(c.path), std::string(c.value) != "-") << c.path;
    }
}

// Once a table has served a run of reads unchanged, lookups go through its hash index, which folds
// names eight bytes at a time: letters in every position of long names still fold, and the bytes
// that differ from a letter's other case by the same bit ('@' and '`', '[' and '{', non-ASCII
// letters) still tell names apart.
TEST(ReadIndexes, FoldOnlyAsciiLettersInLongNames) {
    TrsStorage store;
    const struct {
        const char* written;
        const char* read;
    } cases[] = {
        {"\\Section Of Letters AbcXyz\\abcdefghijklmnopqrstuvwxyz", "\\sECTION oF lETTERS aBCxYZ\\ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        {"\\Punctuation\\key @ and [ 12", "\\PUNCTUATION\\KEY @ AND [ 12"},
        {"\\Punctuation\\key ` and { 12", "\\punctuation\\Key ` And { 12"},
        {"\\Accents\\\xC9tat long name", "\\ACCENTS\\\xC9TAT LONG NAME"},
        {"\\Accents\\\xE9tat long name", "\\accents\\\xE9tat LONG name"},
    };
    for (const auto& c : cases) store.WriteString(c.written, c.written);
    for (int run = 0; run < 100; ++run) store.KeyExists("\\Punctuation\\key @ and [ 12");
    for (const auto& c : cases) EXPECT_EQ(store.ReadString(c.read, "-"), c.written) << c.read;
    EXPECT_EQ(store.ReadString("\\Punctuation\\key ` and [ 12", "-"), "-");
    EXPECT_EQ(store.ReadString("\\Accents\\\xC9TAT LONG NAMF", "-"), "-");
}

// Enough unchanged reads for both tables to get their read indexes.
void BuildReadIndexes(TrsStorage& store) {
    for (int run = 0; run < 100; ++run) store.KeyExists("\\No such section\\key");
    for (int run = 0; run < 100; ++run) store.KeyExists("no such key");
}

// The read indexes keep short names in their slots and compare names a word at a time, the last
// partial word loaded as overlapping words: a name of every length finds its entry in the other
// case, and a name that differs in any one byte finds nothing.
TEST(ReadIndexes, NamesOfEveryLengthFindTheirEntryOnly) {
    TrsStorage store;
    std::vector<std::string> names;  // one name per length, so that no changed name exists
    for (size_t n = 1; n <= 20; ++n) {
        std::string name;
        for (size_t i = 0; i < n; ++i) name += static_cast<char>('a' + (i * 7 + n) % 26);
        names.push_back(name);
    }
    auto upper = [](std::string text) {
        for (char& c : text) c = static_cast<char>(c - 'a' + 'A');
        return text;
    };
    auto changed = [](std::string text, size_t at) {
        text[at] = text[at] == 'q' ? 'r' : 'q';
        return text;
    };
    for (const auto& section : names) {
        for (const auto& key : names) store.WriteString("\\" + section + "\\" + key, section + "/" + key);
    }
    BuildReadIndexes(store);
    for (const auto& section : names) {
        for (const auto& key : names) {
            ASSERT_EQ(store.ReadString("\\" + upper(section) + "\\" + upper(key), "-"), section + "/" + key);
            for (size_t at = 0; at < section.size(); ++at) {
                ASSERT_EQ(store.ReadString("\\" + changed(section, at) + "\\" + key, "-"), "-") << section << " " << at;
            }
            for (size_t at = 0; at < key.size(); ++at) {
                ASSERT_EQ(store.ReadString("\\" + section + "\\" + changed(key, at), "-"), "-") << key << " " << at;
            }
        }
    }
}

// The key index keeps each key's value in its slot: a value replaced where it stands must be read
// back at once, and texts moved by a compaction must not be read where they were.
TEST(ReadIndexes, FollowValuesReplacedInPlaceAndTextsThatMove) {
    TrsStorage store;
    auto path = [](int i) { return "\\Section\\A key with a long name " + std::to_string(i); };
    for (int i = 0; i < 50; ++i) store.WriteString(path(i), "value " + std::to_string(i));
    store.WriteString("\\Section\\k", "short name");
    BuildReadIndexes(store);
    ASSERT_EQ(store.ReadString(path(1), "-"), "value 1");

    store.WriteInteger(path(1), 42);
    EXPECT_EQ(store.ReadString(path(1), "-"), "42");
    EXPECT_EQ(store.ReadInteger(path(1), 0), 42);
    store.WriteBool(path(2), true);
    EXPECT_TRUE(store.ReadBool(path(2), false));
    store.WriteString(path(3), "True");
    EXPECT_TRUE(store.ReadBool(path(3), false));
    store.WriteBinary("\\Section\\k", std::string("\x01\x02", 2));
    EXPECT_EQ(store.ReadString("\\Section\\k", "-"), "01,02");

    // Long values written over one key until the store compacts its texts, which moves every name
    // and value; the reads right after must not use the old places.
    const std::string big(200 * 1024, 'x');
    for (int i = 0; i < 12; ++i) store.WriteString(path(4), big + std::to_string(i));
    for (int i = 5; i < 50; ++i) ASSERT_EQ(store.ReadString(path(i), "-"), "value " + std::to_string(i));
    BuildReadIndexes(store);
    for (int i = 5; i < 50; ++i) ASSERT_EQ(store.ReadString(path(i), "-"), "value " + std::to_string(i));
    EXPECT_EQ(store.ReadString(path(4), "-"), big + "11");
    EXPECT_EQ(store.ReadInteger(path(1), 0), 42);
}

// A key name longer than a slot's length field (only tables loaded as given can hold one) is
// checked and read through its record.
TEST(ReadIndexes, KeysTooLongForASlotAreReadThroughTheirRecords) {
    const std::string long_name(300, 'k');
    std::vector<TrsSectionRecord> sections(1);
    sections[0].name = "S";
    sections[0].id = 1;
    std::vector<TrsKeyRecord> keys(2);
    keys[0].name = "a";
    keys[0].section_id = 1;
    keys[0].kind = vkInteger;
    keys[0].fixed[0] = 7;
    keys[1].name = long_name;
    keys[1].section_id = 1;
    keys[1].kind = vkString;
    keys[1].bytes = "long";
    TrsStorage store;
    store.LoadTables(sections, keys, false);
    BuildReadIndexes(store);
    EXPECT_EQ(store.ReadString("\\S\\" + std::string(300, 'K'), "-"), "long");
    EXPECT_EQ(store.ReadString("\\S\\" + std::string(299, 'k'), "-"), "-");
    EXPECT_EQ(store.ReadString("\\S\\" + std::string(299, 'k') + "j", "-"), "-");
    EXPECT_EQ(store.ReadInteger("\\s\\A", 0), 7);
}

TEST_F(PathTest, RootSectionMovesTheCurrentSection) {
    store.SetRootSection("\\Order");
    EXPECT_EQ(store.ReadString("1", "-"), "one");
    EXPECT_EQ(store.ReadString("\\Order\\1", "-"), "one");
    EXPECT_EQ(store.ReadString("Top", "-"), "-");  // bare names are keys of the current section
    EXPECT_EQ(store.KeyCount(), 1);

    // Without a leading separator the path is still taken from the root.
    store.SetRootSection("A\\B");
    store.SetRootSection("Order");
    EXPECT_EQ(store.RootSection(), "Order");
    EXPECT_EQ(store.ReadString("1", "-"), "one");

    store.SetRootSection("A/B");
    EXPECT_EQ(store.ReadString("C\\K", "-"), "deep");  // relative to the current section
    EXPECT_EQ(store.KeyCount(), 0);

    // An empty segment leaves the root current, with the text kept as given.
    store.SetRootSection("A\\\\B");
    EXPECT_EQ(store.RootSection(), "A\\\\B");
    EXPECT_EQ(store.CurrentSection(), -1);
    EXPECT_EQ(store.ReadString("Top", "-"), "top");
}

TEST_F(PathTest, RootSectionCreatesAMissingSectionEmpty) {
    const size_t before = store.Sections().size();
    store.SetRootSection("\\Strings");
    EXPECT_EQ(store.Sections().size(), before + 1);
    EXPECT_EQ(store.KeyCount(), 0);
    std::vector<std::string> names{"stale"};
    store.GetKeyNames(names);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(store.SectionExists("\\Strings"));
    store.Reload();  // no back-end: the store empties
    EXPECT_FALSE(store.SectionExists("\\Strings"));
}

TEST(KeyNames, ListTheCurrentSectionInCollationOrder) {
    TrsStorage store;
    for (const char* name : {"2", "10", "b", "A", "_x", "B2"}) store.WriteInteger(std::string("\\Order\\") + name, 1);
    store.WriteInteger("\\Other\\z", 1);
    store.SetRootSection("\\Order");
    std::vector<std::string> names;
    store.GetKeyNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"10", "2", "A", "b", "B2", "_x"}));
    EXPECT_EQ(store.KeyCount(), 6);
}

TEST(KeyEvents, AddAndDeletionReportTheKeys) {
    TrsStorage store;
    std::vector<std::string> log;
    store.OnKeyAdd = [&](TrsStorage&, const std::string& name) { log.push_back("+" + name); };
    store.OnKeyDeletion = [&](TrsStorage&, const std::string& name) { log.push_back("-" + name); };
    store.WriteString("\\S\\b", "1");
    store.WriteString("\\S\\B", "2");  // the same key: no event
    store.WriteString("\\S\\T\\c", "3");
    store.WriteString("\\R\\a", "4");
    store.ReadString("\\S\\missing", "");  // reads never create
    EXPECT_EQ(log, (std::vector<std::string>{"+b", "+c", "+a"}));
    EXPECT_EQ(store.ReadString("\\S\\b", ""), "2");

    log.clear();
    EXPECT_TRUE(store.DeleteSection("\\S"));
    EXPECT_EQ(log, (std::vector<std::string>{"-b", "-c"}));
    EXPECT_FALSE(store.KeyExists("\\S\\T\\c"));
    EXPECT_FALSE(store.SectionExists("\\S\\T"));
    EXPECT_EQ(store.Sections().size(), 1u);

    log.clear();
    EXPECT_FALSE(store.DeleteKey("\\R\\none"));
    EXPECT_TRUE(store.DeleteKey("\\r\\A"));
    EXPECT_FALSE(store.DeleteSection("\\"));  // the root stays
    store.WriteInteger("\\Z", 1);
    store.WriteInteger("\\Y", 1);
    log.clear();
    store.ClearAll();
    EXPECT_EQ(log, (std::vector<std::string>{"-Y", "-Z"}));
}

TEST(Removal, DeletingTheCurrentSectionSelectsTheRoot) {
    TrsStorage store;
    store.WriteInteger("\\A\\B\\k", 1);
    store.WriteInteger("\\top", 2);
    store.SetRootSection("\\A\\B");
    EXPECT_EQ(store.KeyCount(), 1);
    EXPECT_TRUE(store.DeleteSection("\\A"));
    EXPECT_EQ(store.CurrentSection(), -1);
    EXPECT_EQ(store.RootSection(), "");
    EXPECT_EQ(store.KeyCount(), 1);
    EXPECT_EQ(store.ReadInteger("top", 0), 2);
}

TEST(Writes, NamesTheFormatCannotHoldAreRefused) {
    TrsStorage store;
    EXPECT_THROW(store.WriteString("\\A\\\\B\\k", "x"), TrsException);  // an empty segment
    EXPECT_THROW(store.WriteString("\\" + std::string(256, 's') + "\\k", "x"), TrsException);
    EXPECT_THROW(store.WriteString("\\S\\" + std::string(256, 'k'), "x"), TrsException);
    EXPECT_THROW(store.WriteValue("\\S\\k", vkInteger, "123"), TrsException);  // wrong payload size
    store.WriteString("\\" + std::string(255, 's') + "\\" + std::string(255, 'k'), "x");
    EXPECT_EQ(store.Keys().size(), 1u);
}

TEST(Reads, StreamReadsAppendAtThePosition) {
    TrsStorage store;
    store.WriteString("\\a", "first");
    store.WriteBinary("\\b", std::string("\0\1", 2));
    store.WriteInteger("\\n", 5);
    store.WriteString("\\empty", "");
    TMemoryStream stream;
    stream.Write(">>");
    EXPECT_EQ(store.ReadStream("\\a", stream), 5);
    EXPECT_EQ(store.ReadStream("\\b", stream), 2);
    EXPECT_EQ(store.ReadStream("\\n", stream), 0);
    EXPECT_EQ(store.ReadStream("\\empty", stream), 0);
    EXPECT_EQ(store.ReadStream("\\none", stream), 0);
    EXPECT_EQ(stream.Bytes(), std::string(">>first\0\1", 9));

    TMemoryStream source(std::string("xyz"));
    source.Seek(1);
    store.WriteStream("\\c", source);
    EXPECT_EQ(store.ReadString("\\c", ""), "79,7A");
    EXPECT_EQ(source.Position(), 3u);
}

TEST(Writes, ValuesSurviveRewritesOfEveryOtherKey) {
    // Rewrites leave old texts behind until the store compacts them; every value stays intact.
    TrsStorage store;
    auto value = [](int key, int round) { return std::string(1000, static_cast<char>('a' + (key + round) % 26)); };
    for (int round = 0; round < 150; ++round) {
        for (int key = 0; key < 20; ++key) {
            const std::string path = "\\S" + std::to_string(key % 3) + "\\key " + std::to_string(key);
            if (round % 7 == 3) {
                store.DeleteKey(path);
            } else {
                store.WriteString(path, value(key, round));
            }
        }
    }
    for (int key = 0; key < 20; ++key) {
        EXPECT_EQ(store.ReadString("\\S" + std::to_string(key % 3) + "\\key " + std::to_string(key), ""), value(key, 149));
    }
    // A value taken from the store itself can be written back into it.
    ASSERT_EQ(store.Keys()[0].name, "key 0");
    store.WriteString("\\copy", store.Keys()[0].bytes);
    EXPECT_EQ(store.ReadString("\\copy", ""), value(0, 149));
}

TEST(HexText, BreaksLinesAfterTwentySixBytes) {
    EXPECT_EQ(BytesToHexText(""), "");
    EXPECT_EQ(BytesToHexText(std::string("\x0A\x1B", 2)), "0A,1B");
    const std::string line26 = [] {
        std::string s;
        for (int i = 0; i < 26; ++i) s += "FF,";
        return s;
    }();
    EXPECT_EQ(BytesToHexText(std::string(27, '\xFF')), line26 + "FF");  // a lone last byte stays
    EXPECT_EQ(BytesToHexText(std::string(28, '\xFF')), line26 + "\r\nFF,FF");
    EXPECT_EQ(BytesToHexText(std::string(54, '\xFF')), line26 + "\r\n" + line26 + "\r\nFF,FF");
}

TEST(StorageErrors, PrefixesFollowTheKind) {
    const struct {
        int kind;
        const char* prefix;
    } cases[] = {
        {0, "TrsStorage get key value error:"}, {1, "TrsXMLData parser error:"},
        {2, "TrsStorage set key value error:"}, {3, "TrsSearch prepare search error:"},
        {4, "TrsSearch error:"},                {5, "TrsRegData error:"},
        {6, "Storage library error:"},          {130, "TrsStorage set key value error:"},
    };
    for (const auto& c : cases) {
        try {
            RaiseStorageError(c.kind, "detail");
        } catch (const TrsException& e) {
            EXPECT_EQ(std::string(e.what()), std::string(c.prefix) + " detail");
        }
    }
}

// Random writes, removals, moves of the current section and reads. After each step both tables
// must be strictly sorted, the current ranges exact, and every lookup (through the caches) must
// agree with a plain scan of the tables.
class TreeModel {
public:
    explicit TreeModel(TrsStorage& store) : store_(store) {}

    // The section id at a path of names from the root, or -1; a plain scan.
    std::int32_t SectionId(const std::vector<std::string>& names) const {
        std::int32_t id = 0;
        for (const std::string& name : names) {
            std::int32_t next = -1;
            for (const auto& s : store_.Sections()) {
                if (s.parent_id == id && CompareNames(s.name, name) == 0) next = s.id;
            }
            if (next < 0) return -1;
            id = next;
        }
        return id;
    }
    const TrsKeyRecord* Key(std::int32_t section_id, const std::string& name) const {
        for (const auto& k : store_.Keys()) {
            if (k.section_id == section_id && CompareNames(k.name, name) == 0) return &k;
        }
        return nullptr;
    }

    void CheckInvariants() const {
        const auto& sections = store_.Sections();
        const auto& keys = store_.Keys();
        for (size_t i = 1; i < sections.size(); ++i) {
            const auto& a = sections[i - 1];
            const auto& b = sections[i];
            ASSERT_TRUE(a.parent_id < b.parent_id || (a.parent_id == b.parent_id && CompareNames(a.name, b.name) < 0));
        }
        for (size_t i = 1; i < keys.size(); ++i) {
            const auto& a = keys[i - 1];
            const auto& b = keys[i];
            ASSERT_TRUE(a.section_id < b.section_id ||
                        (a.section_id == b.section_id && CompareNames(a.name, b.name) < 0));
        }
        const std::int32_t id = store_.CurrentSectionId();
        size_t key_first = keys.size(), key_end = keys.size(), child_first = sections.size(), child_end = sections.size();
        key_first = std::find_if(keys.begin(), keys.end(), [&](auto& k) { return k.section_id >= id; }) - keys.begin();
        key_end = std::find_if(keys.begin(), keys.end(), [&](auto& k) { return k.section_id > id; }) - keys.begin();
        child_first = std::find_if(sections.begin(), sections.end(), [&](auto& s) { return s.parent_id >= id; }) - sections.begin();
        child_end = std::find_if(sections.begin(), sections.end(), [&](auto& s) { return s.parent_id > id; }) - sections.begin();
        EXPECT_EQ(store_.KeyRangeFirst(), key_first);
        EXPECT_EQ(store_.KeyRangeEnd(), key_end);
        EXPECT_EQ(store_.ChildRangeFirst(), child_first);
        EXPECT_EQ(store_.ChildRangeEnd(), child_end);
    }

private:
    TrsStorage& store_;
};

TEST(TreeModelTest, RandomEditsKeepTablesSortedRangesExactAndCachesTrue) {
    const char* const kNames[] = {"a", "A", "b", "_c", "B1", "z"};
    std::mt19937 random(12345);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto random_names = [&](int max_depth) {
        std::vector<std::string> names;
        const int depth = pick(max_depth + 1);
        for (int i = 0; i < depth; ++i) names.push_back(kNames[pick(6)]);
        return names;
    };
    auto join = [](const std::vector<std::string>& names, char sep) {
        std::string path;
        for (const auto& n : names) path += sep + n;
        return path;
    };

    // A lookup of `section` + `key` (absolute, or relative to the current section) compared with
    // a plain scan.
    struct Lookup {
        std::vector<std::string> section;
        std::string key;
        bool absolute = true;
        char sep = '\\';
    };
    TrsStorage store;
    TreeModel model(store);
    std::vector<std::string> current;  // names of the current section from the root
    auto path_of = [&](const Lookup& l) {
        const std::string section_path = join(l.section, l.sep);
        if (section_path.empty()) return l.absolute ? l.sep + l.key : l.key;
        return (l.absolute ? section_path : section_path.substr(1)) + l.sep + l.key;
    };
    auto full_of = [&](const Lookup& l) {
        std::vector<std::string> full = l.absolute ? std::vector<std::string>() : current;
        full.insert(full.end(), l.section.begin(), l.section.end());
        return full;
    };
    auto check = [&](const Lookup& l) {
        const std::int32_t section_id = model.SectionId(full_of(l));
        const TrsKeyRecord* expected = section_id < 0 ? nullptr : model.Key(section_id, l.key);
        const auto found = store.FindKey(path_of(l), false);
        ASSERT_EQ(found.has_value(), expected != nullptr) << path_of(l);
        if (found) {
            EXPECT_EQ(&store.Keys()[*found], expected) << path_of(l);
        }
    };

    Lookup previous;
    for (int step = 0; step < 4000; ++step) {
        SCOPED_TRACE(step);
        Lookup l{random_names(3), kNames[pick(6)], pick(2) == 0, pick(2) ? '\\' : '/'};
        const std::string key_path = path_of(l);
        const std::vector<std::string> full = full_of(l);

        switch (pick(6)) {
            case 0:
            case 1:
                store.WriteInteger(key_path, step);
                break;
            case 2:
                store.DeleteKey(key_path);
                break;
            case 3:
                if (pick(4) == 0 && !full.empty()) {
                    const bool gone = model.SectionId(full) >= 0;
                    store.DeleteSection(join(full, '\\'));
                    if (gone && full.size() <= current.size() &&
                        std::equal(full.begin(), full.end(), current.begin(),
                                   [](auto& x, auto& y) { return CompareNames(x, y) == 0; })) {
                        current.clear();
                    }
                }
                break;
            case 4:
                current = random_names(2);
                store.SetRootSection(join(current, l.sep));
                break;
            default:
                break;
        }
        ASSERT_NO_FATAL_FAILURE(model.CheckInvariants());
        EXPECT_EQ(store.CurrentSectionId(), model.SectionId(current) < 0 ? 0 : model.SectionId(current));
        // The previous lookup again (its cache entries may be stale now), then this one twice.
        ASSERT_NO_FATAL_FAILURE(check(previous));
        ASSERT_NO_FATAL_FAILURE(check(l));
        ASSERT_NO_FATAL_FAILURE(check(l));
        previous = l;
        if (step % 500 == 499) {
            // A run of reads with no change between them: long enough for the read indexes.
            for (int read = 0; read < 300; ++read) {
                Lookup r{random_names(3), kNames[pick(6)], pick(2) == 0, '\\'};
                ASSERT_NO_FATAL_FAILURE(check(r));
                EXPECT_EQ(store.SectionExists(join(r.section, '\\')), r.section.empty() || model.SectionId(r.section) >= 0);
            }
        }
    }
    EXPECT_GT(store.Keys().size(), 20u);
}

}  // namespace
}  // namespace tb
