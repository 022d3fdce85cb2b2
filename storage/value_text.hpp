#pragma once
// Texts of key values: integers parsed from text, and the texts of floats, currency amounts and
// date-times in the user's formats.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/locale.hpp"

namespace tb {

// Leading spaces, an optional sign, then decimal digits or hexadecimal digits after "$", "x", "X",
// "0x" or "0X"; nothing may follow and the value must fit in 32 bits (hexadecimal up to FFFFFFFF,
// taken as the signed value of those bits). std::nullopt otherwise.
std::optional<std::int32_t> ParseInteger(std::string_view text);
// The same, raising ConvertError "'%s' is not a valid integer value".
std::int32_t TextToInteger(std::string_view text);

// General floating-point text with 15 significant digits: fixed notation when the value has at
// most 15 digits before the point and is at least 0.00001 in size, else "1.5E20" style.
std::string FormatFloat(double value, const LocaleFormats& formats);
// The amount (ten-thousandths) with at most 4 decimals and no trailing zeros.
std::string FormatCurrency(std::int64_t ten_thousandths, const LocaleFormats& formats);
// Short date, a blank and the long time; the time is left out at midnight. std::nullopt when the
// value is no date between the years 1 and 9999.
std::optional<std::string> FormatDateTime(double days, const LocaleFormats& formats);

// Rounds to the nearest integer, ties to even; std::nullopt when not finite or outside 64 bits.
std::optional<std::int64_t> RoundToInt64(double value);

}  // namespace tb
