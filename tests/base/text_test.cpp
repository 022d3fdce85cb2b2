#include "base/text.hpp"

#include <gtest/gtest.h>

namespace tb {
namespace {

struct Utf8Case {
    const char* name;
    std::string bytes;
    std::optional<std::u16string> expected;
};

class Utf8Decoding : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, AcceptsWellFormedAndRejectsEverythingElse) {
    const auto& c = GetParam();
    EXPECT_EQ(Utf8ToUtf16(c.bytes), c.expected);
    EXPECT_EQ(DecodeUtf8(c.bytes), c.expected.value_or(u""));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8Decoding,
    testing::Values(Utf8Case{"empty", "", u""}, Utf8Case{"ascii", "Sample Bar", u"Sample Bar"},
                    Utf8Case{"two_bytes", "\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
                    Utf8Case{"three_bytes", "\xE2\x82\xAC", u"\u20AC"},
                    Utf8Case{"four_bytes_make_a_pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
                    Utf8Case{"lone_continuation", "a\x80", std::nullopt},
                    Utf8Case{"overlong_slash", "\xC0\xAF", std::nullopt},
                    Utf8Case{"encoded_surrogate", "\xED\xA0\x80", std::nullopt},
                    Utf8Case{"above_max", "\xF4\x90\x80\x80", std::nullopt},
                    Utf8Case{"cut_off_at_end", "ab\xE2\x82", std::nullopt},
                    Utf8Case{"latin1_byte", "caf\xE9", std::nullopt}),
    [](const auto& p) { return p.param.name; });

TEST(Utf16ToUtf8, RoundTripsEveryPlaneAndReplacesLoneSurrogates) {
    const std::u16string text = u"A\u00E9\u20AC\U0001F600";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}

// The same expectations hold natively (Windows-1252 stand-in) and under Wine (real ANSI code page 1252).
TEST(SystemCodePage, MapsWindows1252BothWays) {
    EXPECT_EQ(AnsiToUtf16("\x80\xE9\x9F"), u"\u20AC\u00E9\u0178");
    EXPECT_EQ(Utf16ToAnsi(u"\u20AC\u00E9\u0178"), "\x80\xE9\x9F");
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
}

TEST(SystemCodePage, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(Utf16ToAnsi(u"a\u4E2D"), "a?");
}

TEST(JsonQuoted, EscapesWhatJsonMustAndKeepsEveryOtherByte) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", "\"\""},
        {"plain", "\"plain\""},
        {"say \"hi\" \\ there", "\"say \\\"hi\\\" \\\\ there\""},
        {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
        {std::string("\0\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\x7f\""},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xF0\x9F\x98\x80\""},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonQuoted(c.in), c.out) << c.in;
}

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(EqualsIgnoreAsciiCase("Search URL", "sEARCH url"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("\xE9", "\xC9"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("ab", "abc"));
}

}  // namespace
}  // namespace tb
