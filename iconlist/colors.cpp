#include "iconlist/colors.hpp"

#include <utility>

#include "base/text.hpp"

namespace tb {
namespace {

constexpr std::int32_t System(std::uint32_t n) { return static_cast<std::int32_t>(0xFF000000u | n); }

constexpr std::pair<std::string_view, std::int32_t> kColors[] = {
    {"clBlack", 0x000000},      {"clMaroon", 0x000080},    {"clGreen", 0x008000},
    {"clOlive", 0x008080},      {"clNavy", 0x800000},      {"clPurple", 0x800080},
    {"clTeal", 0x808000},       {"clGray", 0x808080},      {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},        {"clLime", 0x00FF00},      {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},       {"clFuchsia", 0xFF00FF},   {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},      {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},      {"clMedGray", 0xA4A0A0},   {"clNone", clNone},
    {"clDefault", clDefault},
    {"clScrollBar", System(0)},           {"clBackground", System(1)},
    {"clActiveCaption", System(2)},       {"clInactiveCaption", System(3)},
    {"clMenu", System(4)},                {"clWindow", System(5)},
    {"clWindowFrame", System(6)},         {"clMenuText", System(7)},
    {"clWindowText", System(8)},          {"clCaptionText", System(9)},
    {"clActiveBorder", System(10)},       {"clInactiveBorder", System(11)},
    {"clAppWorkSpace", System(12)},       {"clHighlight", System(13)},
    {"clHighlightText", System(14)},      {"clBtnFace", System(15)},
    {"clBtnShadow", System(16)},          {"clGrayText", System(17)},
    {"clBtnText", System(18)},            {"clInactiveCaptionText", System(19)},
    {"clBtnHighlight", System(20)},       {"cl3DDkShadow", System(21)},
    {"cl3DLight", System(22)},            {"clInfoText", System(23)},
    {"clInfoBk", System(24)},             {"clHotLight", System(26)},
    {"clGradientActiveCaption", System(27)}, {"clGradientInactiveCaption", System(28)},
    {"clMenuHighlight", System(29)},      {"clMenuBar", System(30)},
};
static_assert(std::size(kColors) == 52);

}  // namespace

std::optional<std::int32_t> ColorFromIdent(std::string_view ident) {
    for (const auto& [name, value] : kColors) {
        if (EqualsIgnoreAsciiCase(name, ident)) return value;
    }
    return std::nullopt;
}

std::optional<std::string_view> IdentFromColor(std::int32_t color) {
    for (const auto& [name, value] : kColors) {
        if (value == color) return name;
    }
    return std::nullopt;
}

}  // namespace tb
