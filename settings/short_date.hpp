#pragma once
// Dates as the user writes them: the short date format of the locale (LocaleFormats::short_date).
// Day numbers count days from 1899-12-30 (day 0), as the date-time values of the stores do.
//
// Reading takes two or three numbers separated by the format's date separator (the first character
// of the picture that is not a picture letter), in the format's order of day, month and year; blanks
// around the text are allowed. Two numbers are day and month in the format's order, in the current
// year. A year of one or two digits lies within the 50 years before the current year or the 49 after it. Month
// names, weekdays and anything else are not read: they give no date.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/locale.hpp"

namespace tb {

struct CivilDate {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
};

// The day number of a date of the years 1 to 9999; std::nullopt for a date that does not exist.
std::optional<std::int32_t> DayNumberOf(const CivilDate& date);
CivilDate DateOfDayNumber(std::int32_t day_number);

// The date in the short date format.
std::string FormatShortDate(std::int32_t day_number, const LocaleFormats& formats);
// The date the text gives in the short date format, or std::nullopt (the empty text included).
std::optional<std::int32_t> ParseShortDate(std::string_view text, const LocaleFormats& formats, int current_year);

}  // namespace tb
