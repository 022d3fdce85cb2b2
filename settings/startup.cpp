#include "settings/startup.hpp"

#include <string>

#include "storage/read_only_store.hpp"
#include "storage/storage.hpp"

namespace tb {
namespace {

bool IsFolderEnd(char16_t c) { return c == u'\\' || c == u'/' || c == u':'; }

// Position just past the folder part of the path (0 when there is none).
size_t FileNameStart(std::u16string_view path) {
    size_t start = path.size();
    while (start > 0 && !IsFolderEnd(path[start - 1])) --start;
    return start;
}

}  // namespace

std::u16string GetModuleBaseName(std::u16string_view path) {
    std::u16string_view name = path.substr(FileNameStart(path));
    const size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos) name = name.substr(0, dot);
    return std::u16string(name);
}

std::u16string GetFolderOfPath(std::u16string_view path) {
    std::u16string_view folder = path.substr(0, FileNameStart(path));
    while (!folder.empty() && folder.back() == u'\\') folder.remove_suffix(1);
    return std::u16string(folder);
}

void SetStartupPaths(ToolbarSettings& settings, std::u16string_view local_app_data, std::u16string_view module_path) {
    settings.LowDataRoot = std::u16string(local_app_data) + u"Low";
    settings.TemplateBaseName = GetModuleBaseName(module_path);
    settings.ModuleFolder = GetFolderOfPath(module_path);
    settings.DataFolder = settings.LowDataRoot + u"\\" + settings.TemplateBaseName;
    settings.SettingsIniPath = settings.DataFolder + u"\\Settings.ini";
    settings.HistoryPath = settings.DataFolder + u"\\History.txt";
}

void CopyStartupGroup(const ToolbarSettings& from, ToolbarSettings& to) {
    to.ToolbarGuid = from.ToolbarGuid;
    to.ToolbarName = from.ToolbarName;
    to.CompanyName = from.CompanyName;
    to.HomePageUrl = from.HomePageUrl;
    to.FlashUrl = from.FlashUrl;
    to.ContactEmail = from.ContactEmail;
    to.SearchUrl = from.SearchUrl;
    to.UpdatesUrl = from.UpdatesUrl;
    to.TemplateBaseName = from.TemplateBaseName;
    to.ModuleFolder = from.ModuleFolder;
    to.PreparerInfo = from.PreparerInfo;
    to.CopyrightText = from.CopyrightText;
    to.Description = from.Description;
    to.FullSize = from.FullSize;
    to.FlashWidth = from.FlashWidth;
    to.FlashHeight = from.FlashHeight;
    to.BarRegistryKey = from.BarRegistryKey;
    to.MemberId = from.MemberId;
    to.LowDataRoot = from.LowDataRoot;
    to.DataFolder = from.DataFolder;
    to.HistoryPath = from.HistoryPath;
    to.SettingsIniPath = from.SettingsIniPath;
}

void ReadTemplateStartupOptions(const std::string& template_path, ToolbarSettings& settings) {
    ReadOnlyStore templ(template_path);
    ReadStartupOptions(templ.Store(), settings);
}

std::u16string RegistryValue::ToText() const {
    if (const auto* text = std::get_if<std::u16string>(&value)) return *text;
    const std::string digits = std::to_string(std::get<int32_t>(value));
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace tb
