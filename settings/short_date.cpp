#include "settings/short_date.hpp"

#include <vector>

#include "storage/value_text.hpp"

namespace tb {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t kDaysFrom1899To1970 = 25569;

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool IsPictureLetter(char c) { return c == 'd' || c == 'M' || c == 'y' || c == 'g'; }

// The order of day, month and year in the picture ("dMy", "Mdy", "ydM", ...) and its separator.
void ReadPicture(const std::string& picture, std::string& order, char& separator) {
    order.clear();
    separator = 0;
    for (std::size_t i = 0; i < picture.size(); ++i) {
        const char c = picture[i];
        if (c == '\'') {
            const std::size_t close = picture.find('\'', i + 1);
            if (close == std::string::npos) break;
            i = close;
            continue;
        }
        if (c == 'd' || c == 'M' || c == 'y') {
            if (order.find(c) == std::string::npos) order += c;
        } else if (separator == 0 && !order.empty() && !IsPictureLetter(c) && c != ' ') {
            separator = c;
        }
    }
    if (order.size() != 3) order = "Mdy";
    if (separator == 0) separator = '/';
}

}  // namespace

std::optional<std::int32_t> DayNumberOf(const CivilDate& date) {
    if (date.year < 1 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1 ||
        date.day > DaysInMonth(date.year, date.month)) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(DaysFromCivil(date.year, static_cast<unsigned>(date.month),
                                                   static_cast<unsigned>(date.day)) +
                                     kDaysFrom1899To1970);
}

CivilDate DateOfDayNumber(std::int32_t day_number) {
    std::int64_t z = static_cast<std::int64_t>(day_number) - kDaysFrom1899To1970 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    CivilDate date;
    date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

std::string FormatShortDate(std::int32_t day_number, const LocaleFormats& formats) {
    return FormatDateTime(static_cast<double>(day_number), formats).value_or(std::string());
}

std::optional<std::int32_t> ParseShortDate(std::string_view text, const LocaleFormats& formats, int current_year) {
    std::string order;
    char separator = 0;
    ReadPicture(formats.short_date, order, separator);

    std::size_t at = 0;
    const auto skip_blanks = [&] {
        while (at < text.size() && text[at] == ' ') ++at;
    };
    std::vector<int> numbers;
    std::vector<int> digits;
    skip_blanks();
    for (;;) {
        int value = 0, count = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && count < 5) {
            value = value * 10 + (text[at] - '0');
            ++at;
            ++count;
        }
        if (count == 0 || count > 4) return std::nullopt;
        numbers.push_back(value);
        digits.push_back(count);
        if (numbers.size() == 3 || at >= text.size() || text[at] != separator) break;
        ++at;
    }
    skip_blanks();
    if (at != text.size() || numbers.size() < 2) return std::nullopt;

    CivilDate date;
    int year_digits = 4;
    if (numbers.size() == 2) {
        // Day and month only, in the picture's order without the year.
        std::string short_order;
        for (const char c : order) {
            if (c != 'y') short_order += c;
        }
        (short_order[0] == 'd' ? date.day : date.month) = numbers[0];
        (short_order[1] == 'd' ? date.day : date.month) = numbers[1];
        date.year = current_year;
    } else {
        for (std::size_t i = 0; i < 3; ++i) {
            switch (order[i]) {
                case 'd': date.day = numbers[i]; break;
                case 'M': date.month = numbers[i]; break;
                default:
                    date.year = numbers[i];
                    year_digits = digits[i];
                    break;
            }
        }
    }
    if (year_digits <= 2) {
        // Within 50 years before the current year, or in the years after it.
        date.year += current_year - current_year % 100;
        if (date.year < current_year - 50) date.year += 100;
        else if (date.year >= current_year + 50) date.year -= 100;
    }
    return DayNumberOf(date);
}

}  // namespace tb
