#include "base/locale.hpp"

namespace tb {

LocaleFormats DefaultLocaleFormats() {
    LocaleFormats f;
    f.long_months = {"January", "February", "March",     "April",   "May",      "June",
                     "July",    "August",   "September", "October", "November", "December"};
    f.long_days = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    for (size_t i = 0; i < 12; ++i) f.short_months[i] = f.long_months[i].substr(0, 3);
    for (size_t i = 0; i < 7; ++i) f.short_days[i] = f.long_days[i].substr(0, 3);
    return f;
}

}  // namespace tb
