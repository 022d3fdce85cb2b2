// A branded copy loaded by a user whose data folder has no template yet (a new user of a machine
// where the publisher's installer ran): its start-up options, the class id above all, come from the
// template it carries. A template of the user's own wins for everything but the class id.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "settings/startup_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "tests/support/template_file.hpp"
#include "tests/tools/tool_run.hpp"

namespace tb::tool {
namespace {

namespace fs = std::filesystem;

constexpr char kCarriedGuid[] = "{6C1D5A3B-0000-4000-8000-0000000CA221}";
constexpr char kOwnGuid[] = "{6C1D5A3B-0000-4000-8000-0000000C0001}";

fs::path DataFolderOf(const std::wstring& base_name) {
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    return fs::path(std::wstring(buffer) + L"Low") / base_name;
}

std::string Ansi(const fs::path& path) { return Utf16ToAnsi(FromWide(path.wstring())); }

void WriteTemplateBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class BrandedStartup : public testing::Test {
protected:
    void SetUp() override {
        data_ = DataFolderOf(L"Carried Bar");
        std::error_code ignored;
        fs::remove_all(data_, ignored);
        const std::string carried = Scratch("branded_startup", "carried.tb");
        WriteTemplateFile(carried, [](TrsStorage& t) {
            t.WriteString("\\Options\\Toolbar GUID", kCarriedGuid);
            t.WriteString("\\Options\\Company Name", "Carried Publishing");
            t.WriteString("\\Options\\Home Page URL", "http://carried.test/");
            t.WriteBool("\\Options\\Toolbar Full Size", false);
            t.WriteInteger("\\Options\\Flash Height", 40);
        });
        // The data folder is named after the library's file name, so the copy bears the brand's name.
        library_ = Scratch("branded_startup", "Carried Bar.dll");
        const ToolRun run = Tool({"brand", TB_TOOLBAR_LIBRARIES, carried, "--out", library_});
        ASSERT_EQ(run.status, 0) << run.err;
        module_ = LoadLibraryA(library_.c_str());
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
        std::error_code ignored;
        fs::remove_all(data_, ignored);
    }

    fs::path data_;
    std::string library_;
    HMODULE module_ = nullptr;
};

TEST_F(BrandedStartup, AUserWithoutATemplateGetsTheCarriedTemplatesOptions) {
    LoadStartupSettings(module_);
    const ToolbarSettings s = CurrentSettings();
    EXPECT_EQ(s.ToolbarGuid, kCarriedGuid);
    EXPECT_EQ(Utf16ToUtf8(s.BarRegistryKey), std::string(kExplorerBarsKey) + kCarriedGuid);
    EXPECT_EQ(s.CompanyName, u"Carried Publishing");
    EXPECT_EQ(Utf16ToUtf8(s.HomePageUrl), "http://carried.test/");
    EXPECT_FALSE(s.FullSize);
    EXPECT_EQ(s.FlashHeight, 40);
    EXPECT_EQ(s.FlashWidth, 105) << "what the carried template leaves out takes its default";
    EXPECT_TRUE(fs::is_directory(data_)) << "the data folder is made";
    EXPECT_FALSE(fs::exists(data_ / L"Carried Bar.tb")) << "the carried template is only read";
}

// The data folder can be written by sandboxed page content, and registration (run elevated by the
// installer) writes and deletes the keys of the class the settings name: that class id, and the bar
// key named by it, stay the carried template's.
TEST_F(BrandedStartup, AUsersOwnTemplateWinsOverTheCarriedOneButForTheClassId) {
    fs::create_directories(data_);
    WriteTemplateFile(Ansi(data_ / L"Carried Bar.tb"), [](TrsStorage& t) {
        t.WriteString("\\Options\\Toolbar GUID", kOwnGuid);
        t.WriteString("\\Options\\Company Name", "Own Publishing");
    });
    LoadStartupSettings(module_);
    const ToolbarSettings s = CurrentSettings();
    EXPECT_EQ(s.ToolbarGuid, kCarriedGuid);
    EXPECT_EQ(Utf16ToUtf8(s.BarRegistryKey), std::string(kExplorerBarsKey) + kCarriedGuid);
    EXPECT_EQ(s.CompanyName, u"Own Publishing");
    EXPECT_TRUE(s.FullSize) << "nothing of the carried template mixes in";
    EXPECT_EQ(s.FlashHeight, 22);
}

TEST_F(BrandedStartup, AUserWhoseTemplateIsDamagedGetsTheCarriedTemplatesOptions) {
    fs::create_directories(data_);
    const std::string own = Ansi(data_ / L"Carried Bar.tb");
    WriteTemplateFile(own, [](TrsStorage& t) {
        t.WriteString("\\Options\\Company Name", "Own Publishing");
        t.WriteString("\\Options\\Toolbar GUID", kOwnGuid);
    });
    const auto whole = fs::file_size(own);
    struct Damage {
        const char* what;
        std::function<void()> apply;
        std::uintmax_t size_after;
    };
    const Damage damages[] = {
        {"cut short inside the class id", [&] { fs::resize_file(own, whole - 5); }, whole - 5},
        {"no storage file at all", [&] { WriteTemplateBytes(own, std::string(64, '\x7f')); }, 64},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        damage.apply();
        LoadStartupSettings(module_);
        const ToolbarSettings s = CurrentSettings();
        EXPECT_EQ(s.ToolbarGuid, kCarriedGuid);
        EXPECT_EQ(s.CompanyName, u"Carried Publishing");
        EXPECT_EQ(fs::file_size(own), damage.size_after) << "the user's file is left as it is";
    }
}

}  // namespace
}  // namespace tb::tool
