// Dates in the user's short date format: reading in the format's order and separator, the years of
// two digits, what is no date, and every day of a span written and read back in three formats.
#include <gtest/gtest.h>

#include "settings/short_date.hpp"

namespace tb {
namespace {

LocaleFormats WithPicture(const char* picture) {
    LocaleFormats formats = DefaultLocaleFormats();
    formats.short_date = picture;
    return formats;
}

std::int32_t Day(int year, int month, int day) { return DayNumberOf({year, month, day}).value(); }

TEST(ShortDate, DayNumbersCountFromTheLastDaysOf1899) {
    EXPECT_EQ(Day(1899, 12, 30), 0);
    EXPECT_EQ(Day(1970, 1, 1), 25569);
    EXPECT_EQ(Day(2009, 3, 15) - Day(2009, 2, 28), 15);
    EXPECT_FALSE(DayNumberOf({2009, 2, 29}));
    EXPECT_TRUE(DayNumberOf({2008, 2, 29}));
}

TEST(ShortDate, ReadsInTheFormatsOrderAndSeparator) {
    struct Case {
        const char* picture;
        const char* text;
        std::optional<std::int32_t> expected;
    } cases[] = {
        {"M/d/yyyy", "3/15/2009", Day(2009, 3, 15)},
        {"M/d/yyyy", " 03/05/2009 ", Day(2009, 3, 5)},
        {"d.M.yyyy", "15.3.2009", Day(2009, 3, 15)},
        {"dd.MM.yyyy", "5.3.2009", Day(2009, 3, 5)},
        {"yyyy-MM-dd", "2009-03-15", Day(2009, 3, 15)},
        {"M/d/yyyy", "3/15/09", Day(2009, 3, 15)},   // two digits: the years around the current one
        {"M/d/yyyy", "3/15/80", Day(1980, 3, 15)},
        {"M/d/yyyy", "3/15", Day(2026, 3, 15)},      // no year: the current one
        {"d.M.yyyy", "15.3", Day(2026, 3, 15)},
        {"M/d/yyyy", "", std::nullopt},
        {"M/d/yyyy", "15/3/2009", std::nullopt},     // no month 15
        {"d.M.yyyy", "3/15/2009", std::nullopt},     // another separator
        {"M/d/yyyy", "2/29/2009", std::nullopt},
        {"M/d/yyyy", "3/15/2009x", std::nullopt},
        {"M/d/yyyy", "3/15/2009/1", std::nullopt},
        {"M/d/yyyy", "March 15, 2009", std::nullopt},
        {"M/d/yyyy", "3/15/10000", std::nullopt},
        {"M/d/yyyy", "3", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.picture) + " " + c.text);
        EXPECT_EQ(ParseShortDate(c.text, WithPicture(c.picture), 2026), c.expected);
    }
}

TEST(ShortDate, EveryDayOfASpanReadsBackAsWritten) {
    for (const char* picture : {"M/d/yyyy", "d.M.yyyy", "yyyy-MM-dd", "dd/MM/yy"}) {
        SCOPED_TRACE(picture);
        const LocaleFormats formats = WithPicture(picture);
        for (std::int32_t day = Day(1999, 12, 1); day <= Day(2001, 3, 31); ++day) {
            const std::string text = FormatShortDate(day, formats);
            ASSERT_EQ(ParseShortDate(text, formats, 2000), day) << text;
        }
    }
}

}  // namespace
}  // namespace tb
