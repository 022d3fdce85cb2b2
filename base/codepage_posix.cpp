// The system code page of native builds: Windows-1252, the code page Wine reports for en-US.
// Its five unassigned bytes map to the C1 controls of the same value, as Windows maps them.
#include <cerrno>
#include <cstring>

#include "base/errors.hpp"
#include "base/text.hpp"

namespace tb {
namespace {

constexpr char16_t kHighHalf[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char16_t ByteToChar(unsigned char b) {
    return (b >= 0x80 && b < 0xA0) ? kHighHalf[b - 0x80] : static_cast<char16_t>(b);
}

}  // namespace

std::u16string AnsiToUtf16(std::string_view ansi) {
    std::u16string out;
    out.reserve(ansi.size());
    for (char c : ansi) out.push_back(ByteToChar(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf16ToAnsi(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char16_t c = utf16[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k) {
            if (kHighHalf[k] == c) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        }
        // A surrogate pair is one character, so it becomes one '?'.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            ++i;
        }
        out.push_back(mapped);
    }
    return out;
}

std::string SystemErrorMessage(int code) { return std::strerror(code); }

int LastSystemError() { return errno; }

}  // namespace tb
