#pragma once
// Small pure helpers shared by the toolbar window, the about box and the template update: a test
// whether a text looks like a web address, and colours as six hex digits.
#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

// A colour as the toolbar keeps it: 0x00BBGGRR (red in the low byte). The top byte is not used.
using ColorValue = uint32_t;

// True when the text looks like a web address: at least 5 printable ASCII characters without blanks,
// "..", or a trailing "."; then "www." or "news:" at the start, more than 12 characters, a plausible
// "mailto:" address, or "http://" or "ftp://" somewhere in it. Never fails.
bool LooksLikeUrl(std::string_view text);

// Red, green and blue as two upper-case hex digits each: 0x00FF8000 gives "0080FF".
std::u16string ColorToHex(ColorValue color);

// The inverse of ColorToHex: characters 1-2 are red, 3-4 green, 5-6 blue; later characters are
// ignored and letter case does not matter. Raises ConvertError ("'%s' is not a valid integer value")
// when one of the three pairs is missing or not two hex digits.
ColorValue HexToColor(std::u16string_view text);

}  // namespace tb
