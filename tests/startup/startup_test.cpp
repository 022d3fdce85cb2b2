#include "settings/startup.hpp"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.hpp"

#include <filesystem>
#include <map>
#include <string>
#include <variant>

#include "base/text.hpp"
#include "settings/toolbar_settings.hpp"
#include "tests/support/template_file.hpp"

namespace tb {
namespace {

std::string Utf8(std::u16string_view text) { return Utf16ToUtf8(text); }

TEST(StartupPathsTest, FileNamesGiveTheBaseNameAndFolder) {
    struct Case {
        std::u16string path, base_name, folder;
    };
    const Case cases[] = {
        {u"C:\\Apps\\Sample Bar.dll", u"Sample Bar", u"C:\\Apps"},
        {u"C:\\Apps\\Sample.Bar.v2.dll", u"Sample.Bar.v2", u"C:\\Apps"},
        {u"C:\\Apps.d\\NoExtension", u"NoExtension", u"C:\\Apps.d"},
        {u"C:\\Bar.dll", u"Bar", u"C:"},
        {u"C:Bar.dll", u"Bar", u"C:"},
        {u"\\\\server\\share\\Bar.dll", u"Bar", u"\\\\server\\share"},
        {u"C:/Apps/Bar.dll", u"Bar", u"C:/Apps/"},
        {u"Bar.dll", u"Bar", u""},
        {u"", u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8(GetModuleBaseName(c.path)), Utf8(c.base_name)) << Utf8(c.path);
        EXPECT_EQ(Utf8(GetFolderOfPath(c.path)), Utf8(c.folder)) << Utf8(c.path);
    }
}

TEST(StartupPathsTest, TheLibraryNameAndLocalFolderGiveEveryPath) {
    ToolbarSettings s;
    SetStartupPaths(s, u"C:\\Users\\u\\AppData\\Local", u"C:\\Apps\\Sample\\Sample Bar.dll");
    EXPECT_EQ(Utf8(s.TemplateBaseName), "Sample Bar");
    EXPECT_EQ(Utf8(s.ModuleFolder), "C:\\Apps\\Sample");
    EXPECT_EQ(Utf8(s.LowDataRoot), "C:\\Users\\u\\AppData\\LocalLow");
    EXPECT_EQ(Utf8(s.DataFolder), "C:\\Users\\u\\AppData\\LocalLow\\Sample Bar");
    EXPECT_EQ(Utf8(TemplateFilePath(s)), "C:\\Users\\u\\AppData\\LocalLow\\Sample Bar\\Sample Bar.tb");
    EXPECT_EQ(Utf8(IconStorePath(s)), "C:\\Users\\u\\AppData\\LocalLow\\Sample Bar\\Icons.bin");
    EXPECT_EQ(Utf8(s.SettingsIniPath), "C:\\Users\\u\\AppData\\LocalLow\\Sample Bar\\Settings.ini");
    EXPECT_EQ(Utf8(s.HistoryPath), "C:\\Users\\u\\AppData\\LocalLow\\Sample Bar\\History.txt");
    EXPECT_EQ(Utf8(CopyrightsFilePath(s)), "C:\\Apps\\Sample\\Copyrights.txt");
}

TEST(StartupPathsTest, AnUnresolvedLibraryPathLeavesTheNamesEmpty) {
    ToolbarSettings s;
    SetStartupPaths(s, u"C:\\Users\\u\\AppData\\Local", u"");
    EXPECT_EQ(Utf8(s.TemplateBaseName), "");
    EXPECT_EQ(Utf8(s.ModuleFolder), "");
    EXPECT_EQ(Utf8(s.DataFolder), "C:\\Users\\u\\AppData\\LocalLow\\");
    EXPECT_EQ(Utf8(TemplateFilePath(s)), "C:\\Users\\u\\AppData\\LocalLow\\\\.tb");
}

// A template as the start-up sees it: keys by path, a missing key reads as the caller's default.
class FakeTemplate {
public:
    using Value = std::variant<std::string, bool, int32_t>;
    explicit FakeTemplate(std::map<std::string, Value> keys) : keys_(std::move(keys)) {}
    std::string ReadString(const char* path, const std::string& fallback) { return Read(path, fallback); }
    bool ReadBool(const char* path, bool fallback) { return Read(path, fallback); }
    int32_t ReadInteger(const char* path, int32_t fallback) { return Read(path, fallback); }

private:
    template <typename T>
    T Read(const char* path, T fallback) {
        const auto found = keys_.find(path);
        return found == keys_.end() ? fallback : std::get<T>(found->second);
    }
    std::map<std::string, Value> keys_;
};

TEST(StartupOptionsTest, AnEmptyTemplateGivesEveryDefault) {
    FakeTemplate empty({});
    ToolbarSettings s;
    ReadStartupOptions(empty, s);
    EXPECT_EQ(s.ToolbarGuid, "{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}");
    EXPECT_EQ(Utf8(s.BarRegistryKey),
              "SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars\\{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}");
    EXPECT_TRUE(s.FullSize);
    EXPECT_EQ(s.FlashWidth, 105);
    EXPECT_EQ(s.FlashHeight, 22);
    const std::string search_url = Utf8(s.SearchUrl);
    EXPECT_TRUE(search_url.starts_with("https://")) << search_url;
    EXPECT_TRUE(search_url.ends_with("/search?q=[SEARCH]")) << search_url;
    EXPECT_EQ(Utf8(s.PreparerInfo), "Prepared by ");
    for (const std::u16string* empty_text : {&s.CompanyName, &s.HomePageUrl, &s.ContactEmail, &s.FlashUrl,
                                             &s.UpdatesUrl, &s.CopyrightText, &s.Description}) {
        EXPECT_EQ(Utf8(*empty_text), "");
    }
}

// A template that sets every start-up option to something other than its default.
FakeTemplate FullTemplate() {
    return FakeTemplate({
        {"\\Options\\Toolbar GUID", std::string("{11111111-2222-3333-4444-55555555555\xC3\xA9}")},
        {"\\Options\\Company Name", std::string("Caf\xC3\xA9 Sample")},
        {"\\Options\\Home Page URL", std::string("http://example.test/")},
        {"\\Options\\Contact E-Mail", std::string("info@example.test")},
        {"\\Options\\Flash URL", std::string("http://example.test/b.swf")},
        {"\\Options\\Search URL", std::string("http://example.test/?q=[SEARCH]")},
        {"\\Options\\Updates URL", std::string("http://example.test/up")},
        {"\\Options\\Copyright", std::string("\xC2\xA9 2024")},
        {"\\Options\\Description", std::string("not UTF-8: \xE9t\xE9")},
        {"\\Options\\Toolbar Full Size", false},
        {"\\Options\\Flash Width", int32_t{300}},
        {"\\Options\\Flash Height", int32_t{-1}},
    });
}

TEST(StartupOptionsTest, TextsAreDecodedFromUtf8ButTheClassIdIsTakenAsStored) {
    FakeTemplate t = FullTemplate();
    ToolbarSettings s;
    ReadStartupOptions(t, s);
    EXPECT_EQ(s.ToolbarGuid, "{11111111-2222-3333-4444-55555555555\xC3\xA9}");
    EXPECT_EQ(s.BarRegistryKey, AnsiToUtf16("SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars\\"
                                            "{11111111-2222-3333-4444-55555555555\xC3\xA9}"));
    EXPECT_EQ(s.CompanyName, u"Caf\u00E9 Sample");
    EXPECT_EQ(s.PreparerInfo, u"Prepared by Caf\u00E9 Sample") << "the default follows the company name";
    EXPECT_EQ(Utf8(s.HomePageUrl), "http://example.test/");
    EXPECT_EQ(Utf8(s.ContactEmail), "info@example.test");
    EXPECT_EQ(Utf8(s.FlashUrl), "http://example.test/b.swf");
    EXPECT_EQ(Utf8(s.SearchUrl), "http://example.test/?q=[SEARCH]");
    EXPECT_EQ(Utf8(s.UpdatesUrl), "http://example.test/up");
    EXPECT_EQ(s.CopyrightText, u"\u00A9 2024");
    EXPECT_EQ(Utf8(s.Description), "") << "text that is not UTF-8 reads as empty";
    EXPECT_FALSE(s.FullSize);
    EXPECT_EQ(s.FlashWidth, 300);
    EXPECT_EQ(s.FlashHeight, -1);
}

TEST(StartupOptionsTest, AStoredPreparerInfoWins) {
    FakeTemplate t({{"\\Options\\Company Name", std::string("Sample")},
                    {"\\Options\\Preparer Info", std::string("Made by hand")}});
    ToolbarSettings s;
    ReadStartupOptions(t, s);
    EXPECT_EQ(Utf8(s.PreparerInfo), "Made by hand");
}

class TemplateFileTest : public testing_support::TempFolderTest {};

TEST_F(TemplateFileTest, AMissingTemplateGivesTheDefaultsAndIsNotCreated) {
    ToolbarSettings s;
    ReadTemplateStartupOptions(Path("Sample Bar.tb"), s);
    EXPECT_EQ(s.ToolbarGuid, kDefaultToolbarGuid);
    EXPECT_TRUE(s.FullSize);
    EXPECT_EQ(s.FlashWidth, 105);
    EXPECT_EQ(Utf8(s.PreparerInfo), "Prepared by ");
    EXPECT_FALSE(std::filesystem::exists(Path("Sample Bar.tb")));
}

TEST_F(TemplateFileTest, ReadsTheOptionsOfATemplateFile) {
    WriteTemplateFile(Path("Sample Bar.tb"), [](TrsStorage& t) {
        t.WriteString("\\Options\\Toolbar GUID", "{00000000-0000-0000-0000-0000000000\xC3\xA9}");
        t.WriteString("\\Options\\Company Name", "Sample");
        t.WriteString("\\Options\\Description", "Caf\xC3\xA9");
        t.WriteBool("\\Options\\Toolbar Full Size", false);
        t.WriteInteger("\\Options\\Flash Width", 300);
        t.WriteString("\\Options\\Flash Height", "$20");  // text keys convert like any other
    });
    ToolbarSettings s;
    ReadTemplateStartupOptions(Path("Sample Bar.tb"), s);
    EXPECT_EQ(s.ToolbarGuid, "{00000000-0000-0000-0000-0000000000\xC3\xA9}") << "taken as stored";
    EXPECT_EQ(Utf8(s.PreparerInfo), "Prepared by Sample");
    EXPECT_EQ(s.Description, u"Caf\u00E9");
    EXPECT_FALSE(s.FullSize);
    EXPECT_EQ(s.FlashWidth, 300);
    EXPECT_EQ(s.FlashHeight, 32);
    EXPECT_EQ(s.SearchUrl, kDefaultSearchUrl);
}

TEST(StartupRecordTest, CopyingTheStartupGroupKeepsTheBuilderGroup) {
    ToolbarSettings loaded;
    SetStartupPaths(loaded, u"C:\\L", u"C:\\A\\Bar.dll");
    FakeTemplate full = FullTemplate();
    ReadStartupOptions(full, loaded);
    loaded.Description = u"not empty";  // the full template's is not UTF-8
    loaded.ToolbarName = u"Bar";
    loaded.MemberId = u"42";

    ToolbarSettings record;
    record.FullSize = true;  // the full template says false
    record.ToolbarVersion = u"3.1";
    record.AboutWidth = 503;
    record.SearchDynamic = true;
    record.AboutColor = u"FFFFFF";
    CopyStartupGroup(loaded, record);

    ToolbarSettings expected = loaded;
    expected.ToolbarVersion = u"3.1";
    expected.AboutWidth = 503;
    expected.SearchDynamic = true;
    expected.AboutColor = u"FFFFFF";
    EXPECT_TRUE(record == expected) << "every start-up field is copied, no builder field is touched";
}

TEST(RegistryValueTest, TurnsIntoText) {
    EXPECT_EQ(Utf8(RegistryValue{}.ToText()), "");
    EXPECT_EQ(Utf8(RegistryValue{u"Sample Bar"}.ToText()), "Sample Bar");
    EXPECT_EQ(Utf8(RegistryValue{int32_t{7}}.ToText()), "7");
    EXPECT_EQ(Utf8(RegistryValue{int32_t{-2147483647 - 1}}.ToText()), "-2147483648");
}

}  // namespace
}  // namespace tb
