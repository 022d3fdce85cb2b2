// On 64-bit Windows the registry has two views: a 64-bit library reads the bar key from the 64-bit
// view, a 32-bit library from the 32-bit one (what a 64-bit and a 32-bit browser each load), so an
// installer writes the bar key's values into each view that has a library.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/handle_win.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "settings/startup_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "tests/support/template_file.hpp"
#include "tests/helpers/win_support.hpp"

namespace tb {
namespace {

namespace fs = std::filesystem;

using testing_support::RunsOn64BitWindows;

void SetName(const std::string& key_path, REGSAM view, const std::string& name) {
    UniqueHkey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr,
                              key.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.Get(), "Toolbar Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                             static_cast<DWORD>(name.size() + 1)),
              ERROR_SUCCESS);
}

void DeleteBarKey(const std::string& key_path, REGSAM view) {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), view, 0);
}

TEST(RegistryView, StartupReadsTheBarKeyOfItsOwnArchitecturesView) {
    if (!RunsOn64BitWindows()) GTEST_SKIP() << "32-bit Windows has one registry view";
    // This program stands in for the library: its own name names the data folder and template.
    wchar_t buffer[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer), S_OK);
    wchar_t module_path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module_path, MAX_PATH);
    const std::wstring base_name = fs::path(module_path).stem().wstring();
    const fs::path data_folder = fs::path(std::wstring(buffer) + L"Low") / base_name;
    fs::create_directories(data_folder);
    const std::string guid = "{5A3B6C1D-0000-4000-8000-0000000064B1}";
    WriteTemplateFile(Utf16ToAnsi(FromWide((data_folder / (base_name + L".tb")).wstring())),
                      [&](TrsStorage& t) { t.WriteString("\\Options\\Toolbar GUID", guid); });

    const std::string bar_key = std::string(kExplorerBarsKey) + guid;
    SetName(bar_key, KEY_WOW64_64KEY, "Sixty-four");
    SetName(bar_key, KEY_WOW64_32KEY, "Thirty-two");
    LoadStartupSettings(GetModuleHandleW(nullptr));
    DeleteBarKey(bar_key, KEY_WOW64_64KEY);
    DeleteBarKey(bar_key, KEY_WOW64_32KEY);
    std::error_code ignored;
    fs::remove_all(data_folder, ignored);

    const ToolbarSettings s = CurrentSettings();
    EXPECT_EQ(s.ToolbarGuid, guid);
    EXPECT_EQ(s.ToolbarName, sizeof(void*) == 8 ? u"Sixty-four" : u"Thirty-two");
}

}  // namespace
}  // namespace tb
