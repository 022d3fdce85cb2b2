// tbtool new: a starting toolbar that builds and lints clean at once, and never overwrites.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "base/file.hpp"
#include "tests/tools/tool_run.hpp"
#include "tools/new_toolbar.hpp"

namespace tb::tool {
namespace {

std::string Scratch(const std::string& name) { return tb::tool::Scratch("new_toolbar_test", name); }

std::string GetKey(const std::string& file, const std::string& path) {
    const ToolRun run = Tool({"get", file, path});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

TEST(NewToolbar, BuildsAndLintsCleanWithAClassIdOfItsOwn) {
    const std::string folder = Scratch("meteo");
    std::filesystem::remove_all(folder);
    const ToolRun made = Tool({"new", "Météo Bar", folder});
    ASSERT_EQ(made.status, 0) << made.err;

    const ToolRun built = Tool({"build", folder + "/MeteoBar.json", folder + "/out"});
    ASSERT_EQ(built.status, 0) << built.err;
    EXPECT_EQ(built.err, "") << "a new toolbar has no lint finding, not even a warning";
    const std::string tb = folder + "/out/MeteoBar.tb";
    EXPECT_EQ(GetKey(tb, "\\Options\\Toolbar Name"), "Météo Bar\n");
    EXPECT_NE(GetKey(tb, "\\Options\\Toolbar GUID"), "{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}\n");
    EXPECT_EQ(GetKey(tb, "\\Options\\Search URL"), "https://search.example.com/?q=[SEARCH]\n");
    EXPECT_EQ(GetKey(tb, "\\miAbout\\URL"), "[ABOUT]\n");
    EXPECT_EQ(Tool({"lint", tb, folder + "/out/Icons.bin"}).out, "");

    // A second toolbar gets another class id: two toolbars never share one.
    const std::string other = Scratch("other");
    std::filesystem::remove_all(other);
    ASSERT_EQ(Tool({"new", "Météo Bar", other}).status, 0);
    EXPECT_NE(*ReadWholeFile(other + "/MeteoBar.json"), *ReadWholeFile(folder + "/MeteoBar.json"));
}

TEST(NewToolbar, WritesNothingWhenAFileIsThere) {
    const std::string folder = Scratch("taken");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    WriteWholeFile(folder + "/logo.png", "the publisher's own logo");
    const ToolRun run = Tool({"new", "Taken", folder});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("logo.png: already exists; nothing is written"), std::string::npos) << run.err;
    EXPECT_EQ(*ReadWholeFile(folder + "/logo.png"), "the publisher's own logo");
    EXPECT_FALSE(FileExists(folder + "/Taken.json"));
    EXPECT_FALSE(DirectoryExists(folder + "/icons"));
}

TEST(NewToolbar, BaseNameIsAFileNameAnAddressCanCarry) {
    const struct {
        const char* toolbar_name;
        const char* base_name;
    } cases[] = {
        {"Météo Bar", "MeteoBar"},
        {"My Bar 2", "MyBar2"},
        {"../../etc/passwd", "etcpasswd"},  // no folder can come from the name
        {"Ελληνικά", "Toolbar"},           // nothing Latin left
        {"Straße", "Strae"},               // ß has no plain letter: left out
    };
    for (const auto& c : cases) EXPECT_EQ(BaseNameFor(c.toolbar_name), c.base_name) << c.toolbar_name;
}

TEST(NewToolbar, ClassIdsAreRandomVersion4) {
    const std::regex shape("\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}");
    const std::string a = NewClassId();
    EXPECT_TRUE(std::regex_match(a, shape)) << a;
    EXPECT_NE(a, NewClassId());
}

}  // namespace
}  // namespace tb::tool
