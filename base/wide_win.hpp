#pragma once
// Windows-only: wchar_t is 16-bit there, so UTF-16 text crosses between std::u16string (portable
// code) and std::wstring (Win32 calls) without conversion.
#include <string>
#include <string_view>

namespace tb {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows-only header");

inline std::wstring ToWide(std::u16string_view text) { return {text.begin(), text.end()}; }
inline std::u16string FromWide(std::wstring_view text) { return {text.begin(), text.end()}; }

}  // namespace tb
