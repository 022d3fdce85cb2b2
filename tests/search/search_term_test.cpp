#include <gtest/gtest.h>

#include <string>

#include "settings/search_term.hpp"

namespace tb {
namespace {

TEST(EncodeSearchTerm, KeepsEncodesOrReplacesEachByte) {
    const struct {
        std::string term;
        std::string encoded;
    } cases[] = {
        {"a b&c", "a+b%26c"},
        {"100%", "100%25"},
        {"AZaz09*@._-$!'()", "AZaz09*@._-$!'()"},
        {"", ""},
        {"  ", "++"},
        {"a+b", "a%2Bb"},
        {"\"#/:;<=>?[]^`{|}~,\\", "%22%23%2F%3A%3B%3C%3D%3E%3F%5B%5D%5E%60%7B%7C%7D%7E%2C%5C"},
        {std::string("\x00\x01\t\x7F", 4), "%00%01%09%7F"},
        {"caf\xE9 \x80\xFF", "caf%E9+%80%FF"},  // code page bytes, not UTF-8
    };
    for (const auto& c : cases) EXPECT_EQ(EncodeSearchTerm(c.term), c.encoded) << c.term;
}

TEST(EncodeSearchTerm, NeverGrowsBeyondThreeTimesTheTerm) {
    std::string every_byte;
    for (int b = 0; b < 256; ++b) every_byte += static_cast<char>(b);
    const std::string encoded = EncodeSearchTerm(every_byte);
    EXPECT_LE(encoded.size(), every_byte.size() * 3);
    // 26 + 26 + 10 + 10 bytes stay, the blank becomes one byte, the other 183 become three.
    EXPECT_EQ(encoded.size(), 72u + 1u + 183u * 3u);
}

TEST(FillSearchTemplate, ReplacesEveryPlaceholderIgnoringCase) {
    const struct {
        std::string url_template;
        std::string expected;
    } cases[] = {
        {"http://s.test/?q=[SEARCH]", "http://s.test/?q=a+b%26c"},
        {"http://s.test/?q=[search]&again=[Search]", "http://s.test/?q=a+b%26c&again=a+b%26c"},
        {"http://s.test/home", "http://s.test/home"},
        {"[SEARCH", "[SEARCH"},
        {"[SEARCH][SEARCH]", "a+b%26ca+b%26c"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FillSearchTemplate(c.url_template, "a+b%26c"), c.expected) << c.url_template;
    EXPECT_EQ(FillSearchTemplate("http://s.test/?q=[SEARCH]&x=1", ""), "http://s.test/?q=&x=1");
    // The replacement is not searched again for the placeholder.
    EXPECT_EQ(FillSearchTemplate("[SEARCH]", "[SEARCH]"), "[SEARCH]");
}

}  // namespace
}  // namespace tb
