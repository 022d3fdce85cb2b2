#pragma once
// ToolbarSettings: what one branded toolbar knows about itself, process-wide.
//
// The start-up group is filled once per process, before the class factory exists, from the
// library's own file name, the template file and the bar's registry key (see startup_win.hpp).
// The builder group is filled by every toolbar build from the same template file; until the
// first build it is empty, false or zero.
//
// Browser windows run on threads of their own, so two toolbars of one process may build at the
// same time. The record is therefore never handed out by reference: CurrentSettings() gives a
// consistent copy, ChangeSettings() changes it under the record's lock.
#include <cstdint>
#include <functional>
#include <string>

namespace tb {

// The band's class id when the template names none.
inline constexpr char kDefaultToolbarGuid[] = "{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}";
// The search URL template when the template names none.
inline constexpr char16_t kDefaultSearchUrl[] = u"https://www.google.com/search?q=[SEARCH]";
// The registry key of the bar, below HKEY_LOCAL_MACHINE, without the class id.
inline constexpr char kExplorerBarsKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars\\";
// The browser's list of toolbars, below HKEY_LOCAL_MACHINE: a value named after each class id.
inline constexpr char kToolbarsKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";
// The number under which the system hand cursor is registered at start-up; every form gives it to
// its controls that were designed with the hand-point cursor.
inline constexpr int kHandCursor = 32649;

// Text fields are UTF-16; ToolbarGuid is 8-bit text in the system code page. Field order and names
// are the record's own; the builder's fields are marked.
struct ToolbarSettings {
    std::string ToolbarGuid;
    std::u16string ToolbarName;
    std::u16string ToolbarVersion;  // builder
    std::u16string CompanyName;
    std::u16string HomePageUrl;
    std::u16string FlashUrl;
    std::u16string ContactEmail;
    std::u16string SearchUrl;
    std::u16string UpdatesUrl;  // the template update may append a trailing "/"
    std::u16string TemplateBaseName;
    std::u16string LogoImagePath;     // builder
    std::u16string ModuleFolder;      // no trailing "\"
    std::u16string MainMenuItemName;  // builder
    std::u16string AboutCaption;      // builder
    std::u16string AboutColor;        // builder; at most 6 characters (RRGGBB)
    bool AboutShow = false;           // builder
    int32_t AboutWidth = 0;           // builder
    int32_t AboutHeight = 0;          // builder
    std::u16string AboutFont;         // builder
    int32_t AboutFontSize = 0;        // builder
    std::u16string AboutImagePath;    // builder
    std::u16string AboutButtonCaption;  // builder
    std::u16string PreparerInfo;
    std::u16string CopyrightText;
    std::u16string Description;
    bool FullSize = false;
    bool SearchDynamic = false;  // builder
    bool HideSearchBox = false;  // builder
    int32_t FlashWidth = 0;
    int32_t FlashHeight = 0;
    std::u16string BarRegistryKey;
    std::u16string MemberId;
    std::u16string LowDataRoot;
    std::u16string DataFolder;  // the toolbar data folder: LowDataRoot + "\" + TemplateBaseName
    std::u16string HistoryPath;
    std::u16string SettingsIniPath;

    bool operator==(const ToolbarSettings&) const = default;
};

// Paths derived from the record, never stored in it.
std::u16string TemplateFilePath(const ToolbarSettings& settings);  // DataFolder\<TemplateBaseName>.tb
std::u16string IconStorePath(const ToolbarSettings& settings);     // DataFolder\Icons.bin
std::u16string CopyrightsFilePath(const ToolbarSettings& settings);  // ModuleFolder\Copyrights.txt

// A copy of the process-wide record, consistent even while another thread changes it.
ToolbarSettings CurrentSettings();

// Runs `change` on the process-wide record under its lock. `change` must not call back into
// CurrentSettings or ChangeSettings.
void ChangeSettings(const std::function<void(ToolbarSettings&)>& change);

}  // namespace tb
