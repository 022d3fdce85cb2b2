#pragma once
// Colours as stored in property streams: 0x00BBGGRR for a plain colour, 0xFF0000nn for system
// colour nn, clNone and clDefault; and the table of their identifiers (clRed, clBtnFace, ...).
#include <cstdint>
#include <optional>
#include <string_view>

namespace tb {

inline constexpr std::int32_t clNone = 0x1FFFFFFF;
inline constexpr std::int32_t clDefault = 0x20000000;
inline constexpr std::int32_t clBtnFace = static_cast<std::int32_t>(0xFF00000F);

// The colour an identifier names, compared without regard to ASCII case; nullopt when it names none.
std::optional<std::int32_t> ColorFromIdent(std::string_view ident);

// The identifier of a colour, when the table has one.
std::optional<std::string_view> IdentFromColor(std::int32_t color);

}  // namespace tb
