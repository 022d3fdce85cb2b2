// Natively there is no user locale to consult: the formats are a fixed US-style stand-in, so that
// texts are the same on every machine.
#include "base/locale.hpp"

namespace tb {

const LocaleFormats& SystemLocaleFormats() {
    static const LocaleFormats formats = DefaultLocaleFormats();
    return formats;
}

}  // namespace tb
