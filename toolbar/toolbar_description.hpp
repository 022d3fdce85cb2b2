#pragma once
// What a built toolbar window holds, as one line of JSON, for tests and tools:
//   {"caption":..., "toolbar":[item...], "unattached":[name...], "selector":name|null,
//    "currentSearchUrl":..., "searchBox":{"text","items","visible","width"}, "mainMenu":name|null,
//    "imageCount":n (-1 without an image list), "logo":{"width","height","transparent"}|null,
//    "errors":[message...], "layout":{...}}
// "layout" (only when the window was measured): {"dpi","height" (the window's, what the band asks
//   the browser for),"iconSize","buttons":[{"name","caption","left","top","right","bottom",
//   "textWidth"}...]}: each shown top-level button in toolbar coordinates, with the width its
//   caption needs in the toolbar's font, so a reader can tell a clipped caption.
// Each item: {"name","kind" (item|submenu|separator|control),"caption","imageIndex","hint","tag",
//   "groupIndex","autoCheck","checked","enabled","visible","dropdownArrow","split","clickable",
//   "children":[item...]}
// Only the items the template built (those of the toolbar's own name space) are listed; the
// window's own control items on the top level (logo, search box, banner) are left out, since their
// state is described by "logo" and "searchBox".
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/item_model.hpp"

namespace tb {

struct SearchBoxFacts {
    std::u16string text;
    std::vector<std::u16string> items;
    bool visible = true;
    int width = 0;
};

struct LogoFacts {
    int width = 0;
    int height = 0;
    bool transparent = false;
};

struct ButtonFacts {
    std::u16string name;
    std::u16string caption;
    int left = 0, top = 0, right = 0, bottom = 0;
    int text_width = 0;
};

struct LayoutFacts {
    int dpi = 96;
    int height = 0;
    int icon_size = 0;  // 0 without an image list
    std::vector<ButtonFacts> buttons;
};

struct ToolbarFacts {
    std::u16string caption;
    const TToolbarModel* toolbar = nullptr;
    const TToolbarItem* selector = nullptr;
    std::u16string current_search_url;
    SearchBoxFacts search_box;
    const TToolbarItem* main_menu = nullptr;
    int image_count = -1;
    std::optional<LogoFacts> logo;
    std::vector<std::string> errors;  // 8-bit messages in the system code page
    std::optional<LayoutFacts> layout;
};

std::string DescribeToolbar(const ToolbarFacts& facts);

// JSON string literal of UTF-16 text (as UTF-8, with the escapes JSON requires).
std::string JsonString(std::u16string_view text);

}  // namespace tb
