#include "band/class_id_win.hpp"


#include "base/errors.hpp"
#include "base/text.hpp"

namespace tb {
namespace {

// Reads `digits` hexadecimal digits at `at`; false when one is not a digit.
bool ReadHex(std::string_view text, size_t at, int digits, unsigned long long& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = HexDigitValue(static_cast<unsigned char>(text[at + static_cast<size_t>(i)]));
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return true;
}

}  // namespace

GUID ClassIdFromText(std::string_view text) {
    const auto invalid = [&] {
        std::string message(1, '\'');
        message.append(text).append("' is not a valid GUID value");
        return ConvertError(message);
    };
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-') {
        throw invalid();
    }
    GUID id{};
    unsigned long long value = 0;
    if (!ReadHex(text, 1, 8, value)) throw invalid();
    id.Data1 = static_cast<unsigned long>(value);
    if (!ReadHex(text, 10, 4, value)) throw invalid();
    id.Data2 = static_cast<unsigned short>(value);
    if (!ReadHex(text, 15, 4, value)) throw invalid();
    id.Data3 = static_cast<unsigned short>(value);
    const size_t byte_positions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, byte_positions[i], 2, value)) throw invalid();
        id.Data4[i] = static_cast<unsigned char>(value);
    }
    return id;
}

std::string ClassIdText(const GUID& id) {
    char text[40];
    wsprintfA(text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
              static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3],
              id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    return text;
}

}  // namespace tb
