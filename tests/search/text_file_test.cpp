// The history file and the copyright text: read by their mark, written as UTF-16 with FF FE.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.hpp"
#include "settings/text_file.hpp"

namespace tb {
namespace {

using Lines = std::vector<std::u16string>;

std::string Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string Be(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit >> 8);
        bytes += static_cast<char>(unit & 0xFF);
    }
    return bytes;
}

TEST(ReadTextLines, DetectsTheEncodingByItsMark) {
    const struct {
        const char* what;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"UTF-16LE", "\xFF\xFE" + Le(u"caf\u00E9\r\n\u65E5\u672C\r\n"), {u"caf\u00E9", u"\u65E5\u672C"}},
        {"UTF-16BE", "\xFE\xFF" + Be(u"caf\u00E9\r\n\u65E5\u672C"), {u"caf\u00E9", u"\u65E5\u672C"}},
        {"UTF-8", "\xEF\xBB\xBF" "caf\xC3\xA9\r\n\xE6\x97\xA5\xE6\x9C\xAC\r\n", {u"caf\u00E9", u"\u65E5\u672C"}},
        {"no mark: the code page", "caf\xE9\r\nna\xEFve", {u"caf\u00E9", u"na\u00EFve"}},
        {"a mark alone", "\xFF\xFE", {}},
        {"nothing", "", {}},
        {"surrogate pair", "\xFF\xFE" + Le(u"\U0001F600"), {u"\U0001F600"}},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadTextLines(c.bytes), c.lines) << c.what;
}

TEST(ReadTextLines, SplitsAtCrLfCrOrLfAndKeepsEmptyLines) {
    const struct {
        std::u16string text;
        Lines lines;
    } cases[] = {
        {u"a\r\nb\rc\nd", {u"a", u"b", u"c", u"d"}},
        {u"a\r\n\r\nb\r\n", {u"a", u"", u"b"}},
        {u"\r\n", {u""}},
        {u"a\n\rb", {u"a", u"", u"b"}},
        {u"a\r", {u"a"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadTextLines("\xFF\xFE" + Le(c.text)), c.lines);
        EXPECT_EQ(ReadTextLines(Utf16ToAnsi(c.text)), c.lines);
    }
}

TEST(ReadTextLines, DamagedFilesLoseNoReadableLine) {
    // An odd length loses the last half character only.
    EXPECT_EQ(ReadTextLines("\xFF\xFE" + Le(u"one\r\ntwo") + "x"), (Lines{u"one", u"two"}));
    // Unpaired surrogates stay as they are.
    EXPECT_EQ(ReadTextLines("\xFF\xFE" + Le(std::u16string(u"a\xD800" u"b\r\n\xDC00", 6))),
              (Lines{std::u16string(u"a\xD800" u"b", 3), std::u16string(u"\xDC00", 1)}));
    // A stray NUL is dropped, the rest of its line kept.
    EXPECT_EQ(ReadTextLines("\xFF\xFE" + Le(std::u16string(u"ab\0c\r\nd", 7))), (Lines{u"abc", u"d"}));
    // A UTF-8 file with one bad line: the good lines are UTF-8, the bad one is read in the code page.
    EXPECT_EQ(ReadTextLines("\xEF\xBB\xBF" "caf\xC3\xA9\r\ncaf\xE9\r\n\xE6\x97\xA5"),
              (Lines{u"caf\u00E9", u"caf\u00E9", u"\u65E5"}));
}

TEST(WriteTextLines, WritesLittleEndianUtf16WithMarkAndCrLf) {
    EXPECT_EQ(WriteTextLines({}), "\xFF\xFE");
    EXPECT_EQ(WriteTextLines({u"ab", u""}), std::string("\xFF\xFE" "a\0b\0\r\0\n\0\r\0\n\0", 14));
    const Lines lines = {u"caf\u00E9", u"\u65E5\u672C", u"\U0001F600", u"", u"last"};
    EXPECT_EQ(ReadTextLines(WriteTextLines(lines)), lines);
    // A UTF-8 history is written back as UTF-16 with its mark.
    const Lines from_utf8 = ReadTextLines("\xEF\xBB\xBF" "caf\xC3\xA9\n");
    EXPECT_EQ(WriteTextLines(from_utf8), "\xFF\xFE" + Le(u"caf\u00E9\r\n"));
}

// An entry holding a line break or NUL (a pasted search) is written as the one entry it was.
TEST(WriteTextLines, AnEntryWithLineBreaksOrNulReadsBackAsOneEntry) {
    const Lines written = {u"one\r\ntwo", u"a\rb\nc", std::u16string(u"x\0y", 3), u"plain"};
    EXPECT_EQ(ReadTextLines(WriteTextLines(written)), (Lines{u"one two", u"a b c", u"x y", u"plain"}));
}

}  // namespace
}  // namespace tb
