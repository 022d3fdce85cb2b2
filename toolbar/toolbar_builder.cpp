#include "toolbar/toolbar_builder.hpp"

#include <algorithm>
#include <vector>

#include "base/text.hpp"
#include "settings/big_ini_file.hpp"
#include "settings/helpers.hpp"
#include "storage/storage.hpp"

namespace tb {
namespace {

constexpr ColorValue kWhite = 0x00FFFFFF;

std::string Path(std::string_view section, std::string_view key) {
    std::string path = "\\";
    path.append(section);
    path.append("\\");
    path.append(key);
    return path;
}

bool IsBlank(char16_t c) { return c == u' '; }

// One template item's keys, in the order the item takes them.
void ReadItemProperties(TrsStorage& tpl, const std::string& s, TToolbarItem& item, TItemOwner& owner,
                        BuildTarget& target, const ToolbarSettings& settings) {
    item.SetCaption(DecodeUtf8(tpl.ReadString(Path(s, "Caption"), "")));
    const std::int32_t icon = tpl.ReadInteger(Path(s, "ImageIndex"), -1);
    item.SetImageIndex(tpl.ReadInteger("\\Icons\\" + std::to_string(icon), -1));
    item.SetDisplayMode(ItemDisplayMode::ImageAndText);
    owner.SetName(item, AnsiToUtf16(tpl.ReadString(Path(s, "Name"), s)));
    const std::string url = tpl.ReadString(Path(s, "URL"), "");
    item.SetHint(AnsiToUtf16(url));
    item.SetTag(tpl.ReadInteger(Path(s, "Tag"), 0));
    item.SetGroupIndex(tpl.ReadInteger(Path(s, "GroupIndex"), 0));
    item.SetAutoCheck(item.GroupIndex() > 0);
    item.SetEnabled(tpl.ReadBool(Path(s, "Enabled"), target.FormEnabled()));
    if (s != "miSearch" && !DecodeUtf8(url).empty()) item.OnClick = target.ItemClickHandler();
    item.SetHint(AnsiToUtf16(ReplaceAllIgnoreCase(url, "[MEMBER]", Utf16ToAnsi(settings.MemberId))));
    item.SetVisible(tpl.ReadBool(Path(s, "Visible"), target.FormVisible()));
}

// Appends the item to the top level, to the named item, or nowhere. An item that would sit deeper
// than kMaxItemNesting levels below the top is attached nowhere: menus are built by recursion on the
// browser's thread, and a hand-made template nesting thousands of levels would run it out of stack.
void Attach(TrsStorage& tpl, const std::string& s, TToolbarItem& item, TToolbarModel& toolbar) {
    const std::string parent = tpl.ReadString(Path(s, "Parent"), "");
    if (parent == "Toolbar") {
        toolbar.AppendTop(item);
        return;
    }
    TToolbarItem* found = toolbar.Items().Find(AnsiToUtf16(parent));
    if (found == nullptr) return;
    int level = 1;
    for (const TToolbarItem* above = found; above->Parent() != nullptr; above = above->Parent()) ++level;
    if (level <= kMaxItemNesting) found->Append(item);
}

template <class Value>
void SetOption(Value ToolbarSettings::*field, Value value) {
    ChangeSettings([&](ToolbarSettings& record) { record.*field = std::move(value); });
}

// The options this build goes on to use itself: another window's build may rewrite the record meanwhile.
struct BuildOptions {
    std::u16string main_menu;
    std::u16string logo_path;
    bool hide_search_box = false;
};

BuildOptions ReadOptions(TrsStorage& tpl, BuildTarget& target, const ToolbarSettings& settings) {
    BuildOptions own;
    const auto utf8 = [&tpl](const char* path, std::u16string_view fallback = {}) {
        return DecodeUtf8(tpl.ReadString(path, Utf16ToUtf8(fallback)));
    };
    const std::u16string folder = settings.DataFolder + u"\\";
    SetOption(&ToolbarSettings::ToolbarVersion, utf8("\\Options\\Version", u"3.1"));
    own.main_menu = AnsiToUtf16(tpl.ReadString("\\Options\\Main Menu", ""));
    SetOption(&ToolbarSettings::MainMenuItemName, own.main_menu);
    own.logo_path = folder + FileNamePart(utf8("\\Options\\Bitmap"));
    SetOption(&ToolbarSettings::LogoImagePath, own.logo_path);
    SetOption(&ToolbarSettings::AboutCaption, utf8("\\Options\\About Caption", u"About " + settings.ToolbarName));
    std::u16string color =
        AnsiToUtf16(tpl.ReadString("\\Options\\About Color", Utf16ToAnsi(ColorToHex(kWhite))));
    if (color.size() > 6) color.resize(6);
    SetOption(&ToolbarSettings::AboutColor, color);
    SetOption(&ToolbarSettings::AboutShow, tpl.ReadBool("\\Options\\About Show", false));
    SetOption(&ToolbarSettings::AboutWidth, tpl.ReadInteger("\\Options\\About Width", 503));
    SetOption(&ToolbarSettings::AboutHeight, tpl.ReadInteger("\\Options\\About Height", 367));
    SetOption(&ToolbarSettings::AboutFont,
              AnsiToUtf16(tpl.ReadString("\\Options\\About Font", Utf16ToAnsi(target.FormFontName()))));
    SetOption(&ToolbarSettings::AboutFontSize, tpl.ReadInteger("\\Options\\About Font Size", target.FormFontSize()));
    SetOption(&ToolbarSettings::AboutImagePath, folder + FileNamePart(utf8("\\Options\\About Bitmap")));
    SetOption(&ToolbarSettings::AboutButtonCaption, utf8("\\Options\\About Button", u"&Close About Box"));
    target.SetLogoTransparent(tpl.ReadBool("\\Options\\Bitmap Transparent", false));
    target.SetSearchBoxWidth(tpl.ReadInteger("\\Options\\Search Width", 145));
    SetOption(&ToolbarSettings::SearchDynamic, tpl.ReadBool("\\Options\\Search Dynamic", true));
    own.hide_search_box = tpl.ReadBool("\\Options\\Hide Search Box", false);
    SetOption(&ToolbarSettings::HideSearchBox, own.hide_search_box);
    return own;
}

void LoadLogoFile(BuildTarget& target, const std::u16string& path) {
    if (!target.FileExists(path)) return;
    if (FileExtension(path) == u".png") {
        target.LoadLogoPng(path);
        return;
    }
    try {
        target.LoadLogoPicture(path);
    } catch (...) {
        // The stored logo (or none) stays.
    }
}

void ApplyStrings(TrsStorage& tpl, BuildTarget& target) {
    tpl.SetRootSection("\\Strings");
    std::vector<std::string> names;
    tpl.GetKeyNames(names);
    const int count = std::min<int>(tpl.KeyCount(), static_cast<int>(names.size()));
    for (int i = 0; i < count; ++i) {
        std::u16string name = AnsiToUtf16(names[static_cast<std::size_t>(i)]);
        name.erase(std::remove_if(name.begin(), name.end(), IsBlank), name.end());
        TToolbarItem* item = target.FindOwnMenuItem(name);
        if (item == nullptr || !item->IsCustomItem()) continue;
        item->SetCaption(AnsiToUtf16(tpl.ReadString(names[static_cast<std::size_t>(i)], Utf16ToAnsi(item->Caption()))));
    }
}

std::vector<std::string> ReadOrder(TrsStorage& tpl) {
    tpl.SetRootSection("\\Order");
    const int count = tpl.KeyCount();
    std::vector<std::string> order;
    order.reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) order.push_back(tpl.ReadString("\\Order\\" + std::to_string(i), ""));
    return order;
}

void BuildItems(TrsStorage& tpl, BuildTarget& target, TToolbarModel& toolbar, const ToolbarSettings& settings,
                const std::vector<std::string>& order, BuildResult& result) {
    TItemOwner& owner = toolbar.Items();
    for (const std::string& s : order) {
        target.ProcessMessages();
        if (s.find("Separator") != std::string::npos) {
            TToolbarItem& separator = owner.Create(ItemKind::Separator);
            owner.SetName(separator, AnsiToUtf16(tpl.ReadString(Path(s, "Name"), s)));
            separator.SetVisible(tpl.ReadBool(Path(s, "Visible"), target.FormVisible()));
            Attach(tpl, s, separator, toolbar);
            continue;
        }
        TToolbarItem* item = nullptr;
        if (s.find("SubMenu") != std::string::npos) {
            item = &owner.Create(ItemKind::Submenu);
            item->SetDropdownArrow(true);
            if (!DecodeUtf8(tpl.ReadString(Path(s, "URL"), "")).empty()) item->SetSplit(true);
        } else if (s == "miSearch") {
            const std::int32_t count = tpl.ReadInteger("\\miSearch\\Count", 0);
            item = &owner.Create(count != 0 ? ItemKind::Submenu : ItemKind::Item);
            if (count > 0) {
                item->SetDropdownArrow(true);
                item->SetSplit(true);
            }
            result.SearchSelector = item;
        } else {
            item = &owner.Create(ItemKind::Item);
        }
        ReadItemProperties(tpl, s, *item, owner, target, settings);
        Attach(tpl, s, *item, toolbar);
    }
}

void SetUpSearchSelector(TToolbarModel& toolbar, BuildTarget& target, const ToolbarSettings& settings,
                         BuildResult& result) {
    if (result.SearchSelector == nullptr) {
        TToolbarItem& selector = toolbar.Items().Create(ItemKind::Item, u"miSearch");
        selector.SetCaption(u"Search");
        selector.SetImageIndex(8);
        selector.SetDisplayMode(ItemDisplayMode::ImageAndText);
        toolbar.AppendTop(selector);
        result.SearchSelector = &selector;
    }
    TToolbarItem& selector = *result.SearchSelector;
    selector.OnClick = target.SearchClickHandler();
    selector.SetHint({});
    selector.SetTag(0);
    result.CurrentSearchUrl = settings.SearchUrl;
}

void SelectEngine(TToolbarModel& toolbar, const ToolbarSettings& settings, BuildResult& result) {
    const std::int32_t type =
        DecimalOr(ReadIniString(Utf16ToAnsi(settings.SettingsIniPath), "Settings", "Search Type"), 1);
    if (type <= 0) return;
    TToolbarItem& selector = *result.SearchSelector;
    for (const auto& owned : toolbar.Items().Items()) {
        TToolbarItem& item = *owned;
        if (&item == &selector || !item.IsCustomItem() || item.Tag() != type) continue;
        item.SetChecked(true);
        result.CurrentSearchUrl = item.Hint();
        selector.SetCaption(item.Caption());
        selector.SetImageIndex(item.ImageIndex());
        selector.SetTag(item.Tag());
        return;
    }
}

}  // namespace

std::u16string FileNamePart(std::u16string_view path) {
    const std::size_t cut = path.find_last_of(u"\\/:");
    return std::u16string(cut == std::u16string_view::npos ? path : path.substr(cut + 1));
}

std::u16string FileExtension(std::u16string_view path) {
    const std::u16string name = FileNamePart(path);
    const std::size_t dot = name.rfind(u'.');
    return dot == std::u16string::npos ? std::u16string() : name.substr(dot);
}

std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view what, std::string_view with) {
    if (what.empty()) return std::string(text);
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.size() - i >= what.size() && EqualsIgnoreAsciiCase(text.substr(i, what.size()), what)) {
            out.append(with);
            i += what.size();
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

std::int32_t DecimalOr(std::string_view text, std::int32_t fallback) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return fallback;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return fallback;
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) return fallback;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return fallback;
    return static_cast<std::int32_t>(value);
}

void BuildToolbarFromTemplate(TrsStorage& tpl, BuildTarget& target, TToolbarModel& toolbar,
                              const ToolbarSettings& settings, BuildResult& result) {
    target.UpdateTemplate();
    target.LoadIconsAndStoredLogo();
    target.ReloadTemplate();
    const BuildOptions own = ReadOptions(tpl, target, settings);
    LoadLogoFile(target, own.logo_path);
    target.SetSearchBoxVisible(!own.hide_search_box);
    ApplyStrings(tpl, target);
    const std::vector<std::string> order = ReadOrder(tpl);
    BuildItems(tpl, target, toolbar, settings, order, result);
    SetUpSearchSelector(toolbar, target, settings, result);
    SelectEngine(toolbar, settings, result);
    TToolbarItem* main_menu = toolbar.Items().Find(own.main_menu);
    if (main_menu != nullptr) {
        result.MainMenuItem = main_menu;
        target.LinkMainMenu(*main_menu);
    }
}

}  // namespace tb
