#include "storage/value_text.hpp"

#include <cmath>
#include <cstdlib>

#include "base/decimal_digits.hpp"
#include "base/errors.hpp"
#include "base/text.hpp"

namespace tb {
namespace {

// Civil date of a day number counted from 1970-01-01 (proleptic Gregorian calendar).
void CivilFromDays(std::int64_t z, std::int64_t& year, unsigned& month, unsigned& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

std::string Padded(std::int64_t value, int width) {
    const std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) >= width) return digits;
    std::string padded(static_cast<size_t>(width) - digits.size(), '0');
    padded += digits;
    return padded;
}

struct DateTimeParts {
    std::int64_t year;
    unsigned month, day, weekday;  // weekday 0 = Sunday
    unsigned hour, minute, second;
};

// Expands a date or time picture (see base/locale.hpp).
void AppendPicture(std::string& out, const std::string& picture, const DateTimeParts& t, const LocaleFormats& f) {
    for (size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        if (c == '\'') {
            const size_t close = picture.find('\'', i + 1);
            const size_t end = close == std::string::npos ? picture.size() : close;
            out.append(picture, i + 1, end - i - 1);
            i = close == std::string::npos ? end : close + 1;
            continue;
        }
        size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) ++run;
        switch (c) {
            case 'd':
                if (run <= 2) out += Padded(t.day, static_cast<int>(run));
                else out += run == 3 ? f.short_days[t.weekday] : f.long_days[t.weekday];
                break;
            case 'M':
                if (run <= 2) out += Padded(t.month, static_cast<int>(run));
                else out += run == 3 ? f.short_months[t.month - 1] : f.long_months[t.month - 1];
                break;
            case 'y':
                if (run <= 2) out += Padded(t.year % 100, static_cast<int>(run));
                else out += Padded(t.year, 4);
                break;
            case 'h': out += Padded(t.hour % 12 == 0 ? 12 : t.hour % 12, run >= 2 ? 2 : 1); break;
            case 'H': out += Padded(t.hour, run >= 2 ? 2 : 1); break;
            case 'm': out += Padded(t.minute, run >= 2 ? 2 : 1); break;
            case 's': out += Padded(t.second, run >= 2 ? 2 : 1); break;
            case 't': {
                const std::string& designator = t.hour < 12 ? f.am : f.pm;
                out += run == 1 ? designator.substr(0, 1) : designator;
                break;
            }
            case 'g': break;  // era: none in the Gregorian calendar's usual pictures
            default: out.append(run, c); break;
        }
        i += run;
    }
}

}  // namespace

std::optional<std::int32_t> ParseInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;
    std::uint64_t magnitude = 0;
    const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    for (; i < text.size(); ++i) {
        const int digit = hex ? HexDigitValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (magnitude > limit) return std::nullopt;
    }
    std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}

std::int32_t TextToInteger(std::string_view text) {
    if (auto value = ParseInteger(text)) return *value;
    throw ConvertError("'" + std::string(text) + "' is not a valid integer value");
}

std::string FormatFloat(double value, const LocaleFormats& formats) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    DecimalDigits leading = LeadingDigits(std::fabs(value), 15);
    std::string& digits = leading.digits;
    const int exponent = leading.exponent;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string text = value < 0 ? "-" : "";
    const int count = static_cast<int>(digits.size());
    if (exponent >= 15 || exponent < -5) {
        text += digits[0];
        if (count > 1) {
            text += formats.decimal_separator;
            text.append(digits, 1);
        }
        text += 'E';
        if (exponent < 0) text += '-';
        text += std::to_string(std::abs(exponent));
    } else if (exponent >= 0) {
        const int whole = exponent + 1;
        if (count <= whole) {
            text += digits;
            text.append(static_cast<size_t>(whole - count), '0');
        } else {
            text += digits.substr(0, static_cast<size_t>(whole)) + formats.decimal_separator +
                    digits.substr(static_cast<size_t>(whole));
        }
    } else {
        text += '0';
        text += formats.decimal_separator;
        text.append(static_cast<size_t>(-exponent - 1), '0');
        text += digits;
    }
    return text;
}

std::string FormatCurrency(std::int64_t ten_thousandths, const LocaleFormats& formats) {
    const bool negative = ten_thousandths < 0;
    const std::uint64_t magnitude =
        negative ? 0u - static_cast<std::uint64_t>(ten_thousandths) : static_cast<std::uint64_t>(ten_thousandths);
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 10000);
    std::string decimals = Padded(static_cast<std::int64_t>(magnitude % 10000), 4);
    while (!decimals.empty() && decimals.back() == '0') decimals.pop_back();
    if (!decimals.empty()) text += formats.decimal_separator + decimals;
    return text;
}

std::optional<std::string> FormatDateTime(double days, const LocaleFormats& formats) {
    // 0001-01-01 is day -693593, 9999-12-31 day 2958465.
    if (!std::isfinite(days) || days <= -693594.0 || days >= 2958466.0) return std::nullopt;
    const double whole = std::trunc(days);
    auto ms = static_cast<std::int64_t>(std::llround(std::fabs(days - whole) * 86400000.0));
    if (ms >= 86400000) ms = 86400000 - 1;
    const auto day_number = static_cast<std::int64_t>(whole);
    DateTimeParts t{};
    CivilFromDays(day_number - 25569, t.year, t.month, t.day);
    if (t.year < 1 || t.year > 9999) return std::nullopt;
    t.weekday = static_cast<unsigned>(((day_number % 7) + 7 + 6) % 7);  // 1899-12-30 was a Saturday
    t.hour = static_cast<unsigned>(ms / 3600000);
    t.minute = static_cast<unsigned>(ms / 60000 % 60);
    t.second = static_cast<unsigned>(ms / 1000 % 60);
    std::string text;
    AppendPicture(text, formats.short_date, t, formats);
    if (ms != 0) {
        text += ' ';
        AppendPicture(text, formats.long_time, t, formats);
    }
    return text;
}

std::optional<std::int64_t> RoundToInt64(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double rounded = std::nearbyint(value);  // the default mode rounds ties to even
    if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0) return std::nullopt;
    return static_cast<std::int64_t>(rounded);
}

}  // namespace tb
