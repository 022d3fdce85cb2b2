#pragma once
// The user's number and date formats, as the platform gives them. Date and time pictures use the
// platform's picture letters: d dd ddd dddd (day), M MM MMM MMMM (month), y yy yyyy (year),
// h hh (12-hour), H HH (24-hour), m mm (minute), s ss (second), t tt (AM/PM designator), and text
// in single quotes taken as it is.
#include <array>
#include <string>

namespace tb {

struct LocaleFormats {
    std::string decimal_separator = ".";
    std::string short_date = "M/d/yyyy";
    std::string long_time = "h:mm:ss tt";
    std::string am = "AM";
    std::string pm = "PM";
    std::array<std::string, 12> short_months;  // January first
    std::array<std::string, 12> long_months;
    std::array<std::string, 7> short_days;  // Sunday first
    std::array<std::string, 7> long_days;
};

// Read once per process: the user's locale on Windows; natively a fixed US-style stand-in.
const LocaleFormats& SystemLocaleFormats();

// The native stand-in, also the fallback for anything the platform does not give.
LocaleFormats DefaultLocaleFormats();

}  // namespace tb
