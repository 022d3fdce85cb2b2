#pragma once
// The portable steps of the library's start-up: the names and paths that follow from the library's
// file name and the local application data folder, the options read from the template file, and
// the registry's tagged values. The Windows side (startup_win.hpp) gathers the inputs and runs
// these steps in order.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "base/text.hpp"
#include "settings/toolbar_settings.hpp"

namespace tb {

// The file-name part of a path with its extension removed: C:\Apps\Sample Bar.dll gives Sample Bar.
// Folders end at "\", "/" or a drive's ":".
std::u16string GetModuleBaseName(std::u16string_view path);

// The folder part of a path without a trailing "\": C:\Apps\Sample\Sample Bar.dll gives C:\Apps\Sample.
std::u16string GetFolderOfPath(std::u16string_view path);

// Fills LowDataRoot, DataFolder, ModuleFolder, TemplateBaseName, SettingsIniPath and HistoryPath
// from the local application data folder (C:\Users\u\AppData\Local) and the library's path.
void SetStartupPaths(ToolbarSettings& settings, std::u16string_view local_app_data, std::u16string_view module_path);

// Copies the fields of the start-up group, leaving the builder group as it is.
void CopyStartupGroup(const ToolbarSettings& from, ToolbarSettings& to);

// A registry value as the start-up reads it: text, or a 32-bit integer. Empty text when the value
// is missing or cannot be read.
struct RegistryValue {
    std::variant<std::u16string, int32_t> value;

    // The text itself, or the integer's decimal digits with a leading "-" for negatives.
    std::u16string ToText() const;
};

// Reads the start-up options from an open template store: ToolbarGuid (taken as stored),
// BarRegistryKey, FullSize, the texts (decoded from UTF-8) and the banner size, with the defaults
// of a template that lacks them. `Template` offers ReadString, ReadBool and ReadInteger with a
// default, as TrsStorage does.
template <typename Template>
void ReadStartupOptions(Template& store, ToolbarSettings& settings) {
    const auto text = [&store](const char* path, std::u16string_view fallback = {}) {
        // A default goes through the same decoding as a stored value, so both read alike.
        return DecodeUtf8(store.ReadString(path, Utf16ToUtf8(fallback)));
    };
    settings.ToolbarGuid = store.ReadString("\\Options\\Toolbar GUID", std::string(kDefaultToolbarGuid));
    settings.BarRegistryKey = AnsiToUtf16(kExplorerBarsKey) + AnsiToUtf16(settings.ToolbarGuid);
    settings.FullSize = store.ReadBool("\\Options\\Toolbar Full Size", true);
    settings.CompanyName = text("\\Options\\Company Name");
    settings.HomePageUrl = text("\\Options\\Home Page URL");
    settings.ContactEmail = text("\\Options\\Contact E-Mail");
    settings.FlashUrl = text("\\Options\\Flash URL");
    settings.SearchUrl = text("\\Options\\Search URL", kDefaultSearchUrl);
    settings.UpdatesUrl = text("\\Options\\Updates URL");
    settings.PreparerInfo = text("\\Options\\Preparer Info", u"Prepared by " + settings.CompanyName);
    settings.CopyrightText = text("\\Options\\Copyright");
    settings.Description = text("\\Options\\Description");
    settings.FlashWidth = store.ReadInteger("\\Options\\Flash Width", 105);
    settings.FlashHeight = store.ReadInteger("\\Options\\Flash Height", 22);
}

// Opens the template file read-only through a binary store, reads the start-up options as
// ReadStartupOptions does and closes it again; nothing is ever saved. A missing file gives every
// default. Storage errors (a file that exists but cannot be read) are raised.
void ReadTemplateStartupOptions(const std::string& template_path, ToolbarSettings& settings);

}  // namespace tb
