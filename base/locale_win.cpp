// The user's locale, through GetLocaleInfoA (texts in the system code page).
#include <windows.h>

#include "base/locale.hpp"

namespace tb {
namespace {

// The locale's text for `type`, or `fallback` when it gives none.
std::string Info(LCTYPE type, const std::string& fallback) {
    char buffer[256];
    const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
    if (length <= 1) return fallback;
    return std::string(buffer, static_cast<size_t>(length - 1));
}

LocaleFormats ReadUserLocale() {
    LocaleFormats f = DefaultLocaleFormats();
    f.decimal_separator = Info(LOCALE_SDECIMAL, f.decimal_separator);
    f.short_date = Info(LOCALE_SSHORTDATE, f.short_date);
    f.long_time = Info(LOCALE_STIMEFORMAT, f.long_time);
    // The designators may be empty on purpose (24-hour locales).
    char buffer[64];
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_S1159, buffer, sizeof buffer) > 0) f.am = buffer;
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_S2359, buffer, sizeof buffer) > 0) f.pm = buffer;
    for (int i = 0; i < 12; ++i) {
        f.long_months[i] = Info(static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + i), f.long_months[i]);
        f.short_months[i] = Info(static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + i), f.short_months[i]);
    }
    // The locale lists days from Monday (SDAYNAME1); ours start on Sunday.
    for (int i = 0; i < 7; ++i) {
        const int from = (i + 6) % 7;
        f.long_days[i] = Info(static_cast<LCTYPE>(LOCALE_SDAYNAME1 + from), f.long_days[i]);
        f.short_days[i] = Info(static_cast<LCTYPE>(LOCALE_SABBREVDAYNAME1 + from), f.short_days[i]);
    }
    return f;
}

}  // namespace

const LocaleFormats& SystemLocaleFormats() {
    static const LocaleFormats formats = ReadUserLocale();
    return formats;
}

}  // namespace tb
