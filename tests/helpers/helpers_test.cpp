#include "settings/helpers.hpp"

#include <gtest/gtest.h>

#include "base/errors.hpp"

namespace tb {
namespace {

struct UrlCase {
    const char* name;
    std::string text;
    bool expected;
};

class LooksLikeUrlTable : public testing::TestWithParam<UrlCase> {};

TEST_P(LooksLikeUrlTable, DecidesByTheFirstRuleThatApplies) {
    EXPECT_EQ(LooksLikeUrl(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LooksLikeUrlTable,
    testing::Values(
        UrlCase{"www_prefix", "www.a", true}, UrlCase{"four_characters", "www.", false},
        UrlCase{"empty", "", false}, UrlCase{"trailing_dot", "abcd.", false},
        UrlCase{"trailing_dot_on_long_address", "http://example.com.", false},
        UrlCase{"double_dot", "a..bc.de", false}, UrlCase{"double_dot_on_www", "www..sample", false},
        UrlCase{"news_long_enough", "news:ab", true}, UrlCase{"news_too_short", "news:a", false},
        UrlCase{"thirteen_printable", "abcdefghijklm", true}, UrlCase{"twelve_printable", "abcdefghijkl", false},
        UrlCase{"blank_inside", "www.abc defgh", false}, UrlCase{"tab_inside", "www.abc\tdefgh", false},
        UrlCase{"delete_character", "www.abc\x7f", false}, UrlCase{"code_page_letter", "www.caf\xe9", false},
        UrlCase{"mailto_at_before_dot", "mailto:x@y.z", true},
        UrlCase{"mailto_dot_before_at", "mailto:x.y@z", false},
        UrlCase{"mailto_dot_right_after_at", "mailto:x@.yz", false},
        UrlCase{"http_anywhere", "http://abcd", true}, UrlCase{"http_not_at_start", "x:http://a", true},
        UrlCase{"ftp_dot_at_9", "ftp://ab.cd", true}, UrlCase{"ftp_dot_at_8", "ftp://a.bcd", true},
        UrlCase{"ftp_dot_at_7", "ftp://.abcd", false}, UrlCase{"ftp_too_short", "ftp://abc", false},
        UrlCase{"upper_case_folded", "WWW.SAMPLE", true}, UrlCase{"upper_case_http", "HTTP://abcd", true},
        UrlCase{"no_rule_applies", "sample.com", false}),
    [](const auto& p) { return p.param.name; });

TEST(ColorToHex, WritesRedGreenBlueAndIgnoresTheTopByte) {
    const struct {
        ColorValue color;
        std::u16string hex;
    } cases[] = {{0x00FF8000, u"0080FF"}, {0x00FFFFFF, u"FFFFFF"}, {0, u"000000"},
                 {0x00123456, u"563412"}, {0xFF000000, u"000000"}, {0x000A0B0C, u"0C0B0A"}};
    for (const auto& c : cases) EXPECT_EQ(ColorToHex(c.color), c.hex) << std::hex << c.color;
}

TEST(HexToColor, ReadsThreePairsInEitherCase) {
    EXPECT_EQ(HexToColor(u"0080FF"), 0x00FF8000u);
    EXPECT_EQ(HexToColor(u"FFFFFF"), 0x00FFFFFFu);
    EXPECT_EQ(HexToColor(u"00ff00"), 0x0000FF00u);
    EXPECT_EQ(HexToColor(u"563412 and more"), 0x00123456u);
    for (const ColorValue color : {0x00000000u, 0x00ABCDEFu, 0x00FF8000u}) {
        EXPECT_EQ(HexToColor(ColorToHex(color)), color);
    }
}

TEST(HexToColor, RaisesAConversionErrorForMissingOrBadPairs) {
    for (const std::u16string text : {u"", u"FFF", u"FFFFF", u"GG0000", u"00 000", u"0000-1", u"+F0000"}) {
        EXPECT_THROW(HexToColor(text), ConvertError) << std::string(text.begin(), text.end());
    }
    try {
        HexToColor(u"12ZZ56");
        FAIL();
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'ZZ' is not a valid integer value");
    }
}

}  // namespace
}  // namespace tb
