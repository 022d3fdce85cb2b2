#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "settings/startup_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/support/template_file.hpp"

namespace tb {
namespace {

namespace fs = std::filesystem;

std::string Utf8(std::u16string_view text) { return Utf16ToUtf8(text); }
std::string PathUtf8(const fs::path& path) { return Utf16ToUtf8(FromWide(path.wstring())); }

fs::path LongPath(const fs::path& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    return length ? fs::path(std::wstring(buffer, length)) : path;
}

std::string LocalAppData() {
    wchar_t buffer[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer), S_OK);
    return PathUtf8(fs::path(buffer));
}

fs::path LocalLowFolder(const std::wstring& name) {
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return fs::path(std::wstring(buffer) + L"Low") / name;
}

void SetValue(HKEY root, const std::string& key_path, const char* name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, key_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void DeleteValue(HKEY root, const std::string& key_path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, key_path.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

std::string DefaultBarKey() { return std::string(kExplorerBarsKey) + kDefaultToolbarGuid; }

const char* ToolbarDll() { return TB_TOOLBAR_DLL; }

// Copies the toolbar library under another name into a folder of its own and loads it, as a
// publisher's renamed library is loaded by the browser. Everything made is removed afterwards.
class StartupWindowsTest : public testing::Test {
protected:
    void TearDown() override {
        for (HMODULE module : modules_) FreeLibrary(module);
        std::error_code ignored;
        for (const fs::path& folder : made_) fs::remove_all(folder, ignored);
    }

    // Loads <the test's temporary folder>\<folder>\<file_name>; returns the module and its long path.
    HMODULE LoadCopy(const std::wstring& folder, const std::wstring& file_name, fs::path* copy_path = nullptr) {
        const fs::path target_folder = fs::path(temp_.Folder()) / folder;
        fs::create_directories(target_folder);
        const fs::path target = target_folder / file_name;
        fs::copy_file(fs::path(ToolbarDll()), target, fs::copy_options::overwrite_existing);
        HMODULE module = LoadLibraryW(target.c_str());
        EXPECT_NE(module, nullptr) << "cannot load " << PathUtf8(target) << ": " << GetLastError();
        if (module) modules_.push_back(module);
        if (copy_path) *copy_path = LongPath(target);
        return module;
    }

    // The toolbar data folder of a library name; removed now and after the test.
    fs::path FreshDataFolder(const std::wstring& base_name) {
        const fs::path folder = LocalLowFolder(base_name);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        made_.push_back(folder);
        return folder;
    }

    testing_support::TempFolder temp_;  // removed after TearDown has freed the copies
    std::vector<HMODULE> modules_;
    std::vector<fs::path> made_;  // the data folders
};

TEST_F(StartupWindowsTest, ALibraryNamedSampleBarFindsItsFoldersAndTakesEveryDefault) {
    const fs::path data_folder = FreshDataFolder(L"Sample Bar");
    // The default class id's bar key is this test's alone: no other test writes it.
    DeleteValue(HKEY_LOCAL_MACHINE, DefaultBarKey(), "Toolbar Name");
    DeleteValue(HKEY_LOCAL_MACHINE, DefaultBarKey(), "Member Id");
    fs::path library;
    HMODULE module = LoadCopy(L"Sample", L"Sample Bar.dll", &library);
    ASSERT_NE(module, nullptr);

    LoadStartupSettings(module);
    const ToolbarSettings s = CurrentSettings();
    const std::string local_low = LocalAppData() + "Low";
    EXPECT_TRUE(local_low.ends_with("\\AppData\\LocalLow")) << local_low;
    EXPECT_EQ(Utf8(s.TemplateBaseName), "Sample Bar");
    EXPECT_EQ(Utf8(s.ModuleFolder), PathUtf8(library.parent_path()));
    EXPECT_EQ(Utf8(s.LowDataRoot), local_low);
    EXPECT_EQ(Utf8(s.DataFolder), local_low + "\\Sample Bar");
    EXPECT_EQ(Utf8(TemplateFilePath(s)), local_low + "\\Sample Bar\\Sample Bar.tb");
    EXPECT_EQ(Utf8(s.SettingsIniPath), local_low + "\\Sample Bar\\Settings.ini");
    EXPECT_EQ(Utf8(s.HistoryPath), local_low + "\\Sample Bar\\History.txt");
    EXPECT_TRUE(fs::is_directory(data_folder)) << "the data folder is created";
    EXPECT_FALSE(fs::exists(data_folder / L"Sample Bar.tb")) << "the template is only read";

    // No template file: every option takes its default.
    EXPECT_EQ(s.ToolbarGuid, kDefaultToolbarGuid);
    EXPECT_EQ(Utf8(s.BarRegistryKey), DefaultBarKey());
    EXPECT_TRUE(s.FullSize);
    EXPECT_EQ(s.FlashWidth, 105);
    EXPECT_EQ(s.FlashHeight, 22);
    EXPECT_EQ(s.SearchUrl, kDefaultSearchUrl);
    EXPECT_EQ(Utf8(s.PreparerInfo), "Prepared by ");
    EXPECT_EQ(Utf8(s.ToolbarName), "");
    EXPECT_EQ(Utf8(s.MemberId), "");

    // The installer's values under the bar key: a name written as UTF-8 bytes, an integer id.
    SetValue(HKEY_LOCAL_MACHINE, DefaultBarKey(), "Toolbar Name", REG_SZ, std::string("Caf\xC3\xA9 Bar\0", 10));
    SetValue(HKEY_LOCAL_MACHINE, DefaultBarKey(), "Member Id", REG_DWORD, std::string("\x07\0\0\0", 4));
    LoadStartupSettings(module);
    DeleteValue(HKEY_LOCAL_MACHINE, DefaultBarKey(), "Toolbar Name");
    DeleteValue(HKEY_LOCAL_MACHINE, DefaultBarKey(), "Member Id");
    EXPECT_EQ(CurrentSettings().ToolbarName, u"Caf\u00E9 Bar");
    EXPECT_EQ(Utf8(CurrentSettings().MemberId), "7");
}

struct BarValueCase {
    const char* what;
    DWORD type;  // REG_NONE: the bar key does not exist
    std::string bytes;
    std::u16string expected;
};

TEST_F(StartupWindowsTest, ReadsTheTemplateAndTheBarKeyOfTheTemplatesClassId) {
    const std::string guid = "{5A3B6C1D-0000-4000-8000-00000000A11C}";
    const std::string bar_key = std::string(kExplorerBarsKey) + guid;
    const fs::path data_folder = FreshDataFolder(L"Template Bar");
    fs::create_directories(data_folder);
    WriteTemplateFile(Utf16ToAnsi(FromWide((data_folder / L"Template Bar.tb").wstring())), [&](TrsStorage& t) {
        t.WriteString("\\Options\\Toolbar GUID", guid);
        t.WriteString("\\Options\\Company Name", "Caf\xC3\xA9 Sample");
        t.WriteString("\\Options\\Home Page URL", "http://example.test/home");
        t.WriteString("\\Options\\Updates URL", "http://example.test/updates");
        t.WriteBool("\\Options\\Toolbar Full Size", false);
        t.WriteInteger("\\Options\\Flash Height", 40);
    });
    HMODULE module = LoadCopy(L"Template", L"Template Bar.dll");
    ASSERT_NE(module, nullptr);

    const BarValueCase cases[] = {
        {"no bar key", REG_NONE, "", u""},
        {"string of UTF-8 bytes", REG_SZ, std::string("Caf\xC3\xA9 Bar\0", 10), u"Caf\u00E9 Bar"},
        {"32-bit integer", REG_DWORD, std::string("\x07\0\0\0", 4), u"7"},
        {"empty multi-string", REG_MULTI_SZ, std::string("\0\0", 2), u""},
        {"binary", REG_BINARY, std::string("\x01\0\xFF", 3), std::u16string(u"\x01\0\u00FF", 3)},
    };
    for (const BarValueCase& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, bar_key.c_str());
        if (c.type != REG_NONE) {
            SetValue(HKEY_LOCAL_MACHINE, bar_key, "Toolbar Name", c.type, c.bytes);
            SetValue(HKEY_LOCAL_MACHINE, bar_key, "Member Id", c.type, c.bytes);
        }
        LoadStartupSettings(module);
        const ToolbarSettings s = CurrentSettings();
        EXPECT_EQ(s.ToolbarName, c.expected);
        EXPECT_EQ(s.MemberId, c.expected);
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, bar_key.c_str());

    const ToolbarSettings s = CurrentSettings();
    EXPECT_EQ(s.ToolbarGuid, guid);
    EXPECT_EQ(Utf8(s.BarRegistryKey), bar_key);
    EXPECT_EQ(s.CompanyName, u"Caf\u00E9 Sample");
    EXPECT_EQ(s.PreparerInfo, u"Prepared by Caf\u00E9 Sample");
    EXPECT_EQ(Utf8(s.HomePageUrl), "http://example.test/home");
    EXPECT_EQ(Utf8(s.UpdatesUrl), "http://example.test/updates");
    EXPECT_FALSE(s.FullSize);
    EXPECT_EQ(s.FlashWidth, 105);
    EXPECT_EQ(s.FlashHeight, 40);
}

TEST_F(StartupWindowsTest, AShortPathStillGivesTheLongName) {
    FreshDataFolder(L"Short Name Bar");
    fs::path library;
    HMODULE probe = LoadCopy(L"Short", L"Short Name Bar.dll", &library);
    ASSERT_NE(probe, nullptr);
    FreeLibrary(probe);
    modules_.clear();
    wchar_t short_path[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(library.c_str(), short_path, MAX_PATH);
    if (length == 0 || fs::path(short_path).filename() == library.filename()) {
        GTEST_SKIP() << "the file system gives no short name";
    }
    HMODULE module = LoadLibraryW(short_path);
    ASSERT_NE(module, nullptr);
    modules_.push_back(module);

    LoadStartupSettings(module);
    EXPECT_EQ(Utf8(CurrentSettings().TemplateBaseName), "Short Name Bar") << PathUtf8(fs::path(short_path));
}

TEST_F(StartupWindowsTest, StartupRunsOncePerLoadAndReleaseEmptiesTheRecord) {
    FreshDataFolder(L"startup_tests");
    const unsigned loads_before = StartupLoadsRunForTesting();
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([] { EnsureStartupSettings(); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(StartupLoadsRunForTesting() - loads_before, 1u) << "eight threads at once, one load";
    EXPECT_EQ(Utf8(CurrentSettings().TemplateBaseName), "startup_tests") << "this program's own module";

    ChangeSettings([](ToolbarSettings& s) { s.MemberId = u"marker"; });
    EnsureStartupSettings();
    EXPECT_EQ(Utf8(CurrentSettings().MemberId), "marker") << "a second call does not load again";

    ReleaseStartupSettings();
    EXPECT_TRUE(CurrentSettings() == ToolbarSettings{});
    ReleaseStartupSettings();  // one more release than loads changes nothing

    EnsureStartupSettings();
    EXPECT_EQ(Utf8(CurrentSettings().TemplateBaseName), "startup_tests");
    EXPECT_EQ(Utf8(CurrentSettings().MemberId), "");
    ReleaseStartupSettings();
}

TEST(StartupShellTest, ModulePathsAreThisProgramsLongPath) {
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    const fs::path program = LongPath(own);
    EXPECT_EQ(Utf8(GetModulePath()), PathUtf8(program));
    EXPECT_EQ(Utf8(GetModuleFolder()), PathUtf8(program.parent_path()));
    EXPECT_EQ(Utf8(ResolvePathThroughShell(FromWide(program.wstring()))), PathUtf8(program));
    EXPECT_EQ(Utf8(ResolvePathThroughShell(u"C:\\no such folder\\no such file.dll")), "");
    EXPECT_EQ(GetSpecialFolderPath(kLocalAppDataFolder, false), LocalAppData());
}

struct RegistryCase {
    const char* what;
    DWORD type;
    std::string bytes;
    std::u16string expected;
};

TEST(ReadRegistryValueTest, ReadsEveryKindOfValueAndNeverFails) {
    const std::string key = "SOFTWARE\\Toolbar Tests\\ReadRegistryValue";
    const RegistryCase cases[] = {
        {"UTF-8 string", REG_SZ, std::string("Caf\xC3\xA9\0", 6), u"Caf\u00E9"},
        {"code page string", REG_SZ, std::string("Caf\xE9\0", 5), u"Caf\u00E9"},
        {"expandable string stays unexpanded", REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15),
         u"%SystemRoot%\\x"},
        {"empty string", REG_SZ, std::string("\0", 1), u""},
        {"integer", REG_DWORD, std::string("\x07\0\0\0", 4), u"7"},
        {"negative integer", REG_DWORD, std::string("\xFE\xFF\xFF\xFF", 4), u"-2"},
        {"multi-string", REG_MULTI_SZ, std::string("a\0b\0\0", 5), u""},
        {"empty multi-string", REG_MULTI_SZ, std::string("\0", 1), u""},
        {"binary", REG_BINARY, std::string("A\0\xFF\x80", 4), std::u16string(u"A\0\u00FF\u0080", 4)},
        {"empty binary", REG_BINARY, std::string(), u""},
        {"64-bit integer", REG_QWORD, std::string("\x07\0\0\0\0\0\0\0", 8), u""},
    };
    for (const RegistryCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetValue(HKEY_LOCAL_MACHINE, key, "Value", c.type, c.bytes);
        const RegistryValue value = ReadRegistryValue(HKEY_LOCAL_MACHINE, AnsiToUtf16(key), u"Value");
        EXPECT_EQ(value.ToText(), c.expected);
        EXPECT_EQ(std::holds_alternative<int32_t>(value.value), c.type == REG_DWORD);
    }
    // Written as Unicode, as installers of today write the toolbar's name: every character is kept,
    // also those outside the system's code page.
    const std::wstring japanese = L"\u5929\u6C17\u30D0\u30FC";
    HKEY written = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &written, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(written, L"Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(japanese.c_str()),
                   static_cast<DWORD>((japanese.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(written);
    EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, AnsiToUtf16(key), u"Value").ToText(), u"\u5929\u6C17\u30D0\u30FC");
    // A value larger than any name is not read at all.
    for (const DWORD type : {DWORD{REG_SZ}, DWORD{REG_BINARY}}) {
        SetValue(HKEY_LOCAL_MACHINE, key, "Value", type, std::string(200 * 1024, 'x') + '\0');
        EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, AnsiToUtf16(key), u"Value").ToText(), u"") << type;
    }
    EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, AnsiToUtf16(key), u"Missing").ToText(), u"");
    EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Toolbar Tests\\No Such Key", u"Value").ToText(), u"");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Toolbar Tests");
}

}  // namespace
}  // namespace tb
