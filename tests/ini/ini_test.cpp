#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "ini_fixture.hpp"
#include "settings/big_ini_file.hpp"

namespace tb {
namespace {

struct ReadCase {
    const char* what;
    std::string file;
    const char* section;
    const char* key;
    std::string expected;
};

// Cases print as their names, so that test lists stay readable.
void PrintTo(const ReadCase& c, std::ostream* out) { *out << Identifier(c.what); }

class IniReadTest : public IniFolderTest, public testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadTest, ReadsTheValue) {
    const ReadCase& c = GetParam();
    WriteWholeFile(Path("Settings.ini"), c.file);
    EXPECT_EQ(ReadIniString(Path("Settings.ini"), c.section, c.key), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReadTest,
    testing::Values(
        ReadCase{"section and key ignore letter case", "[settings]\r\nsearch=abc\r\n", "Settings", "Search", "abc"},
        ReadCase{"the first = splits", "[Settings]\r\nSearch=a=b\r\n", "Settings", "Search", "a=b"},
        ReadCase{"blanks and quotes are part of the value", "[Settings]\r\nSearch=\" abc \"  \r\n", "Settings",
                 "Search", "\" abc \"  "},
        ReadCase{"blanks around = belong to the key", "[Settings]\r\nSearch = abc\r\n", "Settings", "Search", ""},
        ReadCase{"a line without = never matches", "[Settings]\r\nSearch\r\n", "Settings", "Search", ""},
        ReadCase{"empty value", "[Settings]\r\nSearch=\r\n", "Settings", "Search", ""},
        ReadCase{"the first of two equal keys", "[Settings]\r\nSearch=1\r\nSEARCH=2\r\n", "Settings", "Search", "1"},
        ReadCase{"the first of two equal sections; later lines dropped",
                 "[Settings]\r\nSearch=1\r\n[SETTINGS]\r\nSearch=2\r\nDate=x\r\n", "Settings", "Date", ""},
        ReadCase{"a header with a trailing blank is a line of the section before",
                 "[A]\r\n[Settings] \r\nSearch=x\r\n", "A", "Search", "x"},
        ReadCase{"a header with a trailing blank starts no section", "[A]\r\n[Settings] \r\nSearch=x\r\n",
                 "Settings", "Search", ""},
        ReadCase{"lines before the first header are dropped", "Search=0\r\n[Settings]\r\n", "Settings", "Search", ""},
        ReadCase{"blanks inside the brackets are part of the name", "[ Settings ]\r\nSearch=1\r\n", " settings ",
                 "Search", "1"},
        ReadCase{"LF and lone CR end lines too", "[Settings]\nA=1\rSearch=2\r\n", "Settings", "Search", "2"},
        ReadCase{"the last line needs no line break", "[Settings]\r\nSearch=end", "Settings", "Search", "end"},
        ReadCase{"a Ctrl-Z line is empty", "[Settings]\r\n\x1A\r\nSearch=z\r\n", "Settings", "Search", "z"},
        ReadCase{"bytes above 127 are kept", "[Settings]\r\nSearch=caf\xE9\r\n", "Settings", "Search", "caf\xE9"},
        ReadCase{"an empty file", "", "Settings", "Search", ""}),
    CaseName<ReadCase>);

struct WriteCase {
    const char* what;
    std::string file;  // empty: no file
    const char* section;
    const char* key;
    const char* value;
    bool changes;
    std::string expected;  // the file afterwards
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << Identifier(c.what); }

class IniWriteTest : public IniFolderTest, public testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, WritesTheFile) {
    const WriteCase& c = GetParam();
    if (!c.file.empty()) WriteWholeFile(Path("Settings.ini"), c.file);
    {
        TBigIniFile ini(Path("Settings.ini"));
        ini.WriteString(c.section, c.key, c.value);
        EXPECT_EQ(ini.Changed(), c.changes) << c.what;
        ini.UpdateFile();
        EXPECT_FALSE(ini.Changed());
    }
    EXPECT_EQ(Content("Settings.ini"), c.expected) << c.what;
    EXPECT_EQ(FileCount(), 1) << "no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWriteTest,
    testing::Values(
        WriteCase{"a missing file gets the one section and line", "", "Settings", "Search", "abc", true,
                  "[Settings]\r\nSearch=abc\r\n\r\n"},
        WriteCase{"a line differing in case is replaced", "[settings]\r\nsearch=abc\r\n", "Settings", "Search", "abc",
                  true, "[settings]\r\nSearch=abc\r\n\r\n"},
        WriteCase{"an identical line leaves the file as it is", "[Settings]\nSearch=abc", "Settings", "Search", "abc",
                  false, "[Settings]\nSearch=abc"},
        WriteCase{"a line with blanks around = stays and a new one is added", "[Settings]\r\nSearch = abc\r\n",
                  "Settings", "Search", "x", true, "[Settings]\r\nSearch = abc\r\nSearch=x\r\n\r\n"},
        WriteCase{"comments and lines without = stay; stray and empty lines go",
                  "stray=1\r\n\r\n[Settings]\r\n; note\r\nplain\r\n\r\n\x1A\r\nA=1\r\n", "Settings", "B", "2", true,
                  "[Settings]\r\n; note\r\nplain\r\nA=1\r\nB=2\r\n\r\n"},
        WriteCase{"the second of two equal sections disappears", "[Settings]\r\nA=1\r\n[settings]\r\nA=2\r\n",
                  "Settings", "A", "3", true, "[Settings]\r\nA=3\r\n\r\n"},
        WriteCase{"a header without lines disappears", "[Empty]\r\n[Settings]\r\nA=1\r\n", "Settings", "A", "2", true,
                  "[Settings]\r\nA=2\r\n\r\n"},
        WriteCase{"a new section goes to the end", "[A]\r\nx=1\r\n", "B", "y", "2", true,
                  "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n\r\n"},
        WriteCase{"a header with a trailing blank before any section is dropped", "[Settings] \r\nA=1\r\n",
                  "Settings", "A", "2", true, "[Settings]\r\nA=2\r\n\r\n"},
        WriteCase{"a value with = is written whole", "", "Settings", "Search", "a=b", true,
                  "[Settings]\r\nSearch=a=b\r\n\r\n"}),
    CaseName<WriteCase>);

using IniFileTest = IniFolderTest;

TEST_F(IniFileTest, WritingTheSameValueTwiceRewritesOnlyOnce) {
    WriteIniString(Path("Settings.ini"), "Settings", "Search", "abc");
    EXPECT_EQ(Content("Settings.ini"), "[Settings]\r\nSearch=abc\r\n\r\n");
    // The same content in other bytes: a second write of the same value must leave them alone.
    WriteWholeFile(Path("Settings.ini"), "[Settings]\nSearch=abc\n");
    WriteIniString(Path("Settings.ini"), "Settings", "Search", "abc");
    EXPECT_EQ(Content("Settings.ini"), "[Settings]\nSearch=abc\n");
}

TEST_F(IniFileTest, KeysKeepTheOrderOfTheirFirstWrite) {
    const std::string path = Path("Settings.ini");
    WriteIniString(path, "Settings", "Date", "1/2/2024");
    WriteIniString(path, "Settings", "Search Type", "1");
    WriteIniString(path, "Settings", "Search", "first");
    WriteIniString(path, "Settings", "Search", "the last search text");
    EXPECT_EQ(Content("Settings.ini"),
              "[Settings]\r\nDate=1/2/2024\r\nSearch Type=1\r\nSearch=the last search text\r\n\r\n");
    EXPECT_EQ(ReadIniString(path, "settings", "SEARCH TYPE"), "1");
}

TEST_F(IniFileTest, SectionSearchFindsEverySectionFromWhereverItResumes) {
    WriteWholeFile(Path("a.ini"), "[A]\r\nk=a\r\n[B]\r\nk=b\r\n[C]\r\nk=c\r\n");
    TBigIniFile ini(Path("a.ini"));
    for (const char* section : {"C", "A", "B", "C", "B", "A", "a"}) {
        EXPECT_EQ(ini.ReadString(section, "k", "?"), std::string(1, static_cast<char>(section[0] | 0x20)))
            << section;
    }
    EXPECT_EQ(ini.ReadString("D", "k", "default"), "default");
    EXPECT_EQ(ini.ReadString("B", "missing", "default"), "default");
    // A new section is found again after it was appended behind the others.
    ini.WriteString("D", "k", "d");
    EXPECT_EQ(ini.ReadString("A", "k", "?"), "a");
    EXPECT_EQ(ini.ReadString("D", "k", "?"), "d");
}

TEST_F(IniFileTest, MissingFileReadsAsEmptyAndIsNotCreated) {
    EXPECT_EQ(ReadIniString(Path("Settings.ini"), "Settings", "Search"), "");
    TBigIniFile ini(Path("Settings.ini"));
    EXPECT_EQ(ini.Sections().Count(), 0u);
    ini.UpdateFile();
    EXPECT_FALSE(FileExists(Path("Settings.ini")));
}

TEST_F(IniFileTest, DestructionWritesAChange) {
    {
        TBigIniFile ini(Path("Settings.ini"));
        ini.WriteString("Settings", "Search", "kept");
    }
    EXPECT_EQ(ReadIniString(Path("Settings.ini"), "Settings", "Search"), "kept");
}

TEST_F(IniFileTest, WritingIntoAMissingFolderRaisesTheInOutError) {
    const std::string path = Path("no such folder/Settings.ini");
    try {
        WriteIniString(path, "Settings", "Search", "abc");
        FAIL() << "no error";
    } catch (const InOutError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    // Reading the same missing file is no error.
    EXPECT_EQ(ReadIniString(path, "Settings", "Search"), "");
}

TEST_F(IniFileTest, AFileThatCannotBeReadRaisesTheInOutError) {
    // A folder in place of the file exists but cannot be read as a file.
    std::filesystem::create_directories(Path("Settings.ini"));
    EXPECT_THROW(ReadIniString(Path("Settings.ini"), "Settings", "Search"), InOutError);
    EXPECT_THROW(WriteIniString(Path("Settings.ini"), "Settings", "Search", "x"), InOutError);
}

// What a caller writes (the search box's text, a pasted clipboard) stays one value on one line:
// each run of CR, LF and NUL becomes one blank, and nothing can start a section or a key of its own.
TEST_F(IniFileTest, LineBreaksAndNulInWhatIsWrittenStayOnItsLine) {
    const struct {
        const char* what;
        std::string value;
        std::string read_back;
    } cases[] = {
        {"an injected section", "abc\r\n[Other]\r\nInjected=1", "abc [Other] Injected=1"},
        {"lone CR and LF", "a\rb\nc", "a b c"},
        {"NUL", std::string("x\0y", 3), "x y"},
        {"a run of them", std::string("p\r\n\0\r\nq", 7), "p q"},
        {"one at each end", "\nmid\r", " mid "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Path("Settings.ini");
        WriteIniString(path, "Settings", "Search", c.value);
        EXPECT_EQ(ReadIniString(path, "Settings", "Search"), c.read_back);
        EXPECT_EQ(ReadIniString(path, "Other", "Injected"), "");
        EXPECT_EQ(Content("Settings.ini"), "[Settings]\r\nSearch=" + c.read_back + "\r\n\r\n");
    }
    // Names given by a caller are held to the same rule.
    WriteIniString(Path("Names.ini"), "Set\r\ntings", "Se\narch", "v");
    EXPECT_EQ(Content("Names.ini"), "[Set tings]\r\nSe arch=v\r\n\r\n");
}

}  // namespace
}  // namespace tb
