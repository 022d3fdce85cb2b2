// tbdemo: the sample toolbar's first day, with every part that is built so far, under Wine.
//
//   tbdemo LIBRARY.dll INSTALLED.tb INSTALLED-ICONS.bin
//
// 1. Start-up: the library (a copy of Toolbar.dll renamed after the toolbar) is loaded and its
//    start-up settings are worked out from its own name: data folder, template and icon store paths.
// 2. Install: like an installer, the program puts the older template and icon store into the data
//    folder and writes the bar's registry values; start-up then reads them.
// 3. Update: the template update fetches the newer template and icon store from the update location
//    the installed template names (a local server the demo script started) and swaps them in.
// 4. Icons: the icon store's image list becomes a Windows image list.
// 5. Settings and navigation: Settings.ini is written and read back; the home page, with the member
//    id put in, opens in the stand-in browser's window.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "base/com_win.hpp"
#include "base/file.hpp"
#include "base/message_pump_win.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "host/stand_in_browser_win.hpp"
#include "settings/big_ini_file.hpp"
#include "settings/navigation_win.hpp"
#include "settings/startup_win.hpp"
#include "settings/template_update_win.hpp"
#include "settings/update_record.hpp"
#include "settings/toolbar_settings.hpp"
#include "iconlist/png_image_list.hpp"
#include "storage/read_only_store.hpp"
#include "toolkit/image_list_win.hpp"

namespace {

std::string Ansi(const std::u16string& text) { return tb::Utf16ToAnsi(text); }
std::string Utf8(const std::u16string& text) { return tb::Utf16ToUtf8(text); }

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

void Heading(const char* text) { std::printf("\n== %s\n", text); }

void Field(const char* name, const std::string& value) { std::printf("  %-18s %s\n", name, value.c_str()); }

// The template's version and name, read the way the toolbar reads them.
void ShowTemplate(const std::string& path) {
    tb::ReadOnlyStore templ(path);
    tb::TrsStorage& store = templ.Store();
    Field("template", path);
    Field("  Toolbar Name", store.ReadString("\\Options\\Toolbar Name", ""));
    Field("  Version", store.ReadString("\\Options\\Version", "3.1"));
    Field("  Updates URL", store.ReadString("\\Options\\Updates URL", ""));
    Field("  items", std::to_string(store.ReadInteger("\\miSearch\\Count", 0)) + " search engines, " +
                         (store.SetRootSection("\\Order"), std::to_string(store.KeyCount())) + " entries in order");
}

void ShowSettings(const tb::ToolbarSettings& s) {
    Field("ToolbarName", Utf8(s.ToolbarName));
    Field("ToolbarGuid", s.ToolbarGuid);
    Field("MemberId", Utf8(s.MemberId));
    Field("CompanyName", Utf8(s.CompanyName));
    Field("HomePageUrl", Utf8(s.HomePageUrl));
    Field("SearchUrl", Utf8(s.SearchUrl));
    Field("UpdatesUrl", Utf8(s.UpdatesUrl));
    Field("TemplateBaseName", Utf8(s.TemplateBaseName));
    Field("DataFolder", Utf8(s.DataFolder));
    Field("SettingsIniPath", Utf8(s.SettingsIniPath));
    Field("HistoryPath", Utf8(s.HistoryPath));
}

void WriteBarRegistryValues(const tb::ToolbarSettings& s) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, Ansi(s.BarRegistryKey).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        throw tb::Error("cannot create the bar's registry key");
    }
    const std::string name = "Sample Bar \xE2\x80\x93 demo";  // UTF-8, as installers write it
    const std::string member = "demo-42";
    RegSetValueExA(key, "Toolbar Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                   static_cast<DWORD>(name.size() + 1));
    RegSetValueExA(key, "Member Id", 0, REG_SZ, reinterpret_cast<const BYTE*>(member.c_str()),
                   static_cast<DWORD>(member.size() + 1));
    RegCloseKey(key);
}

void Install(const std::string& from, const std::string& to) {
    const auto bytes = tb::ReadWholeFile(from);
    if (!bytes) throw tb::Error("missing " + from);
    tb::WriteWholeFile(to, *bytes);
}

void ListDataFolder(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::printf("  %-26s %8lu bytes\n", found.cFileName, found.nFileSizeLow);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

int Run(const std::wstring& library_path, const std::string& installed_template, const std::string& installed_icons) {
    HMODULE library = LoadLibraryW(library_path.c_str());
    if (!library) {
        std::fprintf(stderr, "tbdemo: cannot load the library (error %lu)\n", GetLastError());
        return 1;
    }

    Heading("1. start-up of the library, from its own file name (nothing installed yet)");
    tb::LoadStartupSettings(library);
    tb::ToolbarSettings settings = tb::CurrentSettings();
    ShowSettings(settings);
    const std::string data_folder = Ansi(settings.DataFolder);

    Heading("2. an installer puts the older template and icon store in place and writes the registry");
    Install(installed_template, Ansi(tb::TemplateFilePath(settings)));
    Install(installed_icons, Ansi(tb::IconStorePath(settings)));
    WriteBarRegistryValues(settings);
    tb::LoadStartupSettings(library);
    settings = tb::CurrentSettings();
    ShowSettings(settings);
    ShowTemplate(Ansi(tb::TemplateFilePath(settings)));

    Heading("3. the template update fetches the newer files from the update location");
    tb::UpdateTemplate();
    ListDataFolder(data_folder);
    {
        const auto log = tb::ReadWholeFile(data_folder + "\\" + tb::kUpdateLogName);
        std::printf("  Update.log: %s", log ? log->c_str() : "(none)\n");
    }
    ShowTemplate(Ansi(tb::TemplateFilePath(settings)));

    Heading("4. the icon store's images become a Windows image list");
    {
        tb::ReadOnlyStore icon_store(Ansi(tb::IconStorePath(settings)));
        tb::TrsStorage& icons = icon_store.Store();
        tb::TPngImageList model;
        icons.ReadImageList("\\Icons", model);
        const tb::UniqueImageList list = tb::CreatePlatformImageList(model);
        int width = 0, height = 0;
        ImageList_GetIconSize(list.Get(), &width, &height);
        Field("entries", std::to_string(model.PngImages().size()));
        Field("image list", std::to_string(ImageList_GetImageCount(list.Get())) + " images of " +
                                std::to_string(width) + " x " + std::to_string(height) + " pixels, 32-bit");
        Field("logo (\\Image)", icons.KeyExists("\\Image") ? "a bitmap is stored" : "none");
        icons.Close();
    }

    Heading("5. Settings.ini and opening the home page in the stand-in browser");
    const std::string ini = Ansi(settings.SettingsIniPath);
    tb::WriteIniString(ini, "Settings", "Search Type", "2");
    tb::WriteIniString(ini, "Settings", "Search", "weather tomorrow");
    Field("Search Type", tb::ReadIniString(ini, "Settings", "Search Type"));
    Field("Search", tb::ReadIniString(ini, "Settings", "Search"));
    {
        tb::host::StandInBrowser browser;
        tb::Variant own_window;
        std::u16string home = settings.HomePageUrl + u"?member=" + settings.MemberId;
        tb::NavigateTo(browser.Browser(), own_window, home);
        // The browser finishes a navigation from its message loop, as the real one does.
        for (int i = 0; i < 50 && browser.Address().empty(); ++i) {
            tb::PumpWaitingMessages();
            Sleep(10);
        }
        Field("navigated to", Utf8(tb::FromWide(browser.Address())));
        Field("window title", Utf8(tb::FromWide(WindowText(browser.Frame()))));
    }

    tb::ReleaseStartupSettings();
    FreeLibrary(library);
    std::printf("\nThe toolbar window, the band object and registration come with the next issues; the band\n"
                "cannot be hosted yet, so this demo stops here.\n");
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tbdemo LIBRARY.dll INSTALLED.tb INSTALLED-ICONS.bin\n");
        return 2;
    }
    OleInitialize(nullptr);
    int status = 1;
    try {
        status = Run(argv[1], tb::Utf16ToAnsi(tb::FromWide(argv[2])), tb::Utf16ToAnsi(tb::FromWide(argv[3])));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tbdemo: %s\n", e.what());
    }
    OleUninitialize();
    return status;
}
