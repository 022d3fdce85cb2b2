#include "settings/helpers.hpp"

#include <algorithm>

#include "base/errors.hpp"
#include "base/text.hpp"

namespace tb {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Positions count from 1; 0 means "not found".
size_t Position(std::string_view text, std::string_view what) {
    const size_t at = text.find(what);
    return at == std::string_view::npos ? 0 : at + 1;
}

bool LooksLikeMailto(std::string_view lower) {
    if (!lower.starts_with("mailto:")) return false;
    const size_t at = Position(lower, "@");
    const size_t dot = Position(lower, ".");
    return at >= 2 && dot >= 5 && dot > at + 1;
}

// The pair of hex digits at `offset`.
uint32_t HexPair(std::u16string_view text, size_t offset) {
    const std::u16string_view pair = text.substr(std::min(offset, text.size()), 2);
    if (pair.size() == 2) {
        const int high = HexDigitValue(pair[0]);
        const int low = HexDigitValue(pair[1]);
        if (high >= 0 && low >= 0) return static_cast<uint32_t>(high * 16 + low);
    }
    throw ConvertError("'" + Utf16ToAnsi(pair) + "' is not a valid integer value");
}

}  // namespace

bool LooksLikeUrl(std::string_view text) {
    if (text.size() < 5) return false;
    if (text.back() == '.') return false;
    if (text.find("..") != std::string_view::npos) return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 33 || byte > 126) return false;
    }
    std::string lower(text);
    for (char& c : lower) c = LowerAscii(c);

    if (lower.starts_with("www.")) return true;
    if (lower.starts_with("news:") && lower.size() > 6) return true;
    if (lower.size() > 12) return true;
    if (LooksLikeMailto(lower)) return true;
    if (lower.find("http://") != std::string::npos) return true;
    return lower.find("ftp://") != std::string::npos && lower.size() > 10 && Position(lower, ".") >= 8;
}

std::u16string ColorToHex(ColorValue color) {
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string hex;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t byte = (color >> shift) & 0xFF;
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0xF]);
    }
    return hex;
}

ColorValue HexToColor(std::u16string_view text) {
    const uint32_t red = HexPair(text, 0);
    const uint32_t green = HexPair(text, 2);
    const uint32_t blue = HexPair(text, 4);
    return red + green * 256 + blue * 65536;
}

}  // namespace tb
