#include "toolbar/toolbar_description.hpp"

#include "base/text.hpp"

namespace tb {
namespace {

const char* KindName(ItemKind kind) {
    switch (kind) {
        case ItemKind::Item:
            return "item";
        case ItemKind::Submenu:
            return "submenu";
        case ItemKind::Separator:
            return "separator";
        case ItemKind::Control:
            return "control";
    }
    return "item";
}

const char* Bool(bool value) { return value ? "true" : "false"; }

void DescribeItem(const TToolbarItem& item, std::string& out) {
    out += "{\"name\":" + JsonString(item.Name());
    out += ",\"kind\":\"";
    out += KindName(item.Kind());
    out += "\",\"caption\":" + JsonString(item.Caption());
    out += ",\"imageIndex\":" + std::to_string(item.ImageIndex());
    out += ",\"hint\":" + JsonString(item.Hint());
    out += ",\"tag\":" + std::to_string(item.Tag());
    out += ",\"groupIndex\":" + std::to_string(item.GroupIndex());
    out += std::string(",\"autoCheck\":") + Bool(item.AutoCheck());
    out += std::string(",\"checked\":") + Bool(item.Checked());
    out += std::string(",\"enabled\":") + Bool(item.Enabled());
    out += std::string(",\"visible\":") + Bool(item.Visible());
    out += std::string(",\"dropdownArrow\":") + Bool(item.DropdownArrow());
    out += std::string(",\"split\":") + Bool(item.Split());
    out += std::string(",\"clickable\":") + Bool(static_cast<bool>(item.OnClick));
    out += ",\"children\":[";
    bool first = true;
    for (const TToolbarItem* child : item.Children()) {
        if (!first) out += ",";
        first = false;
        DescribeItem(*child, out);
    }
    out += "]}";
}

std::string NameOrNull(const TToolbarItem* item) { return item == nullptr ? "null" : JsonString(item->Name()); }

}  // namespace

std::string JsonString(std::u16string_view text) { return JsonQuoted(Utf16ToUtf8(text)); }

std::string DescribeToolbar(const ToolbarFacts& facts) {
    std::string out = "{\"caption\":" + JsonString(facts.caption);
    out += ",\"toolbar\":[";
    bool first = true;
    if (facts.toolbar != nullptr) {
        for (const TToolbarItem* item : facts.toolbar->TopLevel()) {
            // Only what the template built: the window's own control items are described apart.
            bool owned = false;
            for (const auto& built : facts.toolbar->Items().Items()) owned = owned || built.get() == item;
            if (!owned) continue;
            if (!first) out += ",";
            first = false;
            DescribeItem(*item, out);
        }
    }
    out += "],\"unattached\":[";
    first = true;
    if (facts.toolbar != nullptr) {
        for (const auto& item : facts.toolbar->Items().Items()) {
            if (item->Attached()) continue;
            if (!first) out += ",";
            first = false;
            out += JsonString(item->Name());
        }
    }
    out += "],\"selector\":" + NameOrNull(facts.selector);
    out += ",\"currentSearchUrl\":" + JsonString(facts.current_search_url);
    out += ",\"searchBox\":{\"text\":" + JsonString(facts.search_box.text) + ",\"items\":[";
    first = true;
    for (const std::u16string& entry : facts.search_box.items) {
        if (!first) out += ",";
        first = false;
        out += JsonString(entry);
    }
    out += std::string("],\"visible\":") + Bool(facts.search_box.visible);
    out += ",\"width\":" + std::to_string(facts.search_box.width) + "}";
    out += ",\"mainMenu\":" + NameOrNull(facts.main_menu);
    out += ",\"imageCount\":" + std::to_string(facts.image_count);
    if (facts.logo) {
        out += ",\"logo\":{\"width\":" + std::to_string(facts.logo->width) +
               ",\"height\":" + std::to_string(facts.logo->height) +
               std::string(",\"transparent\":") + Bool(facts.logo->transparent) + "}";
    } else {
        out += ",\"logo\":null";
    }
    out += ",\"errors\":[";
    first = true;
    for (const std::string& message : facts.errors) {
        if (!first) out += ",";
        first = false;
        out += JsonString(AnsiToUtf16(message));
    }
    out += "]";
    if (facts.layout) {
        const LayoutFacts& layout = *facts.layout;
        out += ",\"layout\":{\"dpi\":" + std::to_string(layout.dpi) + ",\"height\":" + std::to_string(layout.height) +
               ",\"iconSize\":" + std::to_string(layout.icon_size) + ",\"buttons\":[";
        first = true;
        for (const ButtonFacts& button : layout.buttons) {
            if (!first) out += ",";
            first = false;
            out += "{\"name\":" + JsonString(button.name) + ",\"caption\":" + JsonString(button.caption) +
                   ",\"left\":" + std::to_string(button.left) + ",\"top\":" + std::to_string(button.top) +
                   ",\"right\":" + std::to_string(button.right) + ",\"bottom\":" + std::to_string(button.bottom) +
                   ",\"textWidth\":" + std::to_string(button.text_width) + "}";
        }
        out += "]}";
    }
    out += "}";
    return out;
}

}  // namespace tb
