#pragma once
// Text conversions, all in one place. 8-bit text is std::string, either in the system code page or
// holding UTF-8; UTF-16 text is std::u16string in portable code. On Windows the system code page is
// the real ANSI code page; natively Windows-1252 stands in for it.
#include <optional>
#include <string>
#include <string_view>

namespace tb {

// UTF-8 to UTF-16. nullopt when the bytes are not well-formed UTF-8 (overlong forms, surrogates,
// values above U+10FFFF and cut-off sequences are all ill-formed).
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// The template's reading of UTF-8 keys: text that is not valid UTF-8 gives empty text.
std::u16string DecodeUtf8(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// System code page to UTF-16: every byte maps to one character.
std::u16string AnsiToUtf16(std::string_view ansi);

// UTF-16 to the system code page; characters the code page lacks become '?'.
std::string Utf16ToAnsi(std::u16string_view utf16);

// The value of one hexadecimal digit of either case (a UTF-16 unit or a byte), or -1 for any other.
constexpr int HexDigitValue(char32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// Text that stays one line of a line-based file (an INI value, a history entry): each run of CR,
// LF and NUL characters becomes one blank, so nothing written can start a line of its own and the
// words on either side stay apart.
std::string SingleLine(std::string_view text);
std::u16string SingleLine(std::u16string_view text);

// ASCII-only case folding, as used for names and keys compared "without regard to case".
// The text as a JSON string, quotes included: quotation marks, backslashes and control characters
// escaped, every other byte as it is (UTF-8 in, UTF-8 out).
std::string JsonQuoted(std::string_view utf8);

char AsciiUpper(char c);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace tb
