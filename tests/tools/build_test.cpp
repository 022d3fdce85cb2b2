// tbtool build: the files it writes, read back through the store as the toolbar reads them.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/file.hpp"
#include "storage/bin_data.hpp"
#include "iconlist/png_image_list.hpp"
#include "storage/read_only_store.hpp"
#include "storage/storage.hpp"
#include "tests/tools/tool_run.hpp"

namespace tb::tool {
namespace {

const std::string kSample = std::string(TB_SOURCE_DIR) + "/samples/sample-bar";

std::string Scratch(const std::string& name) { return tb::tool::Scratch("build_test", name); }

// A store loaded from a file through its binary back-end, as the toolbar loads its files.
class StoreFile {
public:
    explicit StoreFile(const std::string& file) : store_(file) {}
    TrsStorage* operator->() { return &store_.Store(); }

private:
    ReadOnlyStore store_;
};

TEST(Build, TheSampleReadsBackAsTheToolbarReadsIt) {
    const std::string out = Scratch("sample") + "/made/by/build";  // folders that do not exist yet
    const ToolRun run = Tool({"build", kSample + "/sample-bar.json", out});
    ASSERT_EQ(run.status, 0) << run.err;
    // Lints clean but for its class id: the sample leaves it out, so a publisher's copy is told to
    // give one of its own.
    EXPECT_EQ(run.err, "warning: \\Options\\Toolbar GUID: missing: the toolbar has the default class id "
                       "{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}, which every toolbar without one of its own shares: "
                       "give it a new one (uuidgen)\n");
    EXPECT_NE(run.out.find("class id {8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06} (the default one"), std::string::npos)
        << run.out;

    StoreFile tpl(out + "/SampleBar.tb");
    EXPECT_EQ(tpl->ReadString("\\Options\\Toolbar Name", ""), "Sample Bar");
    EXPECT_EQ(tpl->ReadInteger("\\Options\\Search Width", 0), 160);
    EXPECT_EQ(tpl->ReadInteger("\\miSearch\\Count", 0), 3);

    // Walk the order as the toolbar does: every entry is visible and hangs below the top level
    // or an item made before it; engines carry the search type numbers 1 to 3.
    tpl->SetRootSection("\\Order");
    const int count = tpl->KeyCount();
    EXPECT_EQ(count, 16);
    std::vector<std::string> made = {"Toolbar"};
    std::vector<int32_t> engine_tags;
    for (int i = 1; i <= count; ++i) {
        const std::string section = tpl->ReadString("\\Order\\" + std::to_string(i), "");
        SCOPED_TRACE(section);
        const std::string base = "\\" + section + "\\";
        EXPECT_TRUE(tpl->ReadBool(base + "Visible", false));
        const std::string parent = tpl->ReadString(base + "Parent", "");
        EXPECT_NE(std::find(made.begin(), made.end(), parent), made.end()) << parent;
        made.push_back(tpl->ReadString(base + "Name", section));
        if (parent == "miSearch") engine_tags.push_back(tpl->ReadInteger(base + "Tag", 0));
        const int32_t icon = tpl->ReadInteger(base + "ImageIndex", -1);
        if (icon >= 0) {
            EXPECT_EQ(tpl->ReadInteger("\\Icons\\" + std::to_string(icon), -1), icon);
        }
    }
    EXPECT_EQ(engine_tags, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(tpl->ReadString("\\miNewsSubMenu\\Name", ""), "miNews");  // the split button's shape

    StoreFile icons(out + "/Icons.bin");
    TPngImageList list;
    EXPECT_EQ(icons->ReadImageList("\\Icons", list), 1);
    ASSERT_EQ(list.Images().size(), 10u);
    EXPECT_EQ(list.PngImages()[0]->Name, "go-home");
    EXPECT_EQ(list.PngImages()[0]->PngImage.Data(), ReadWholeFile(kSample + "/icons/go-home.png"));
    TMemoryStream logo;
    EXPECT_GT(icons->ReadStream("\\Image", logo), 54);
    EXPECT_EQ(logo.Bytes().substr(0, 2), "BM");
}

TEST(Build, TheBaseNameComesFromTheOptionAndIsChecked) {
    const std::string out = Scratch("named");
    // A blank in the base name makes the update address unusable: the build says so and fails.
    const ToolRun run = Tool({"build", kSample + "/sample-bar.json", out, "--name", "Sample Bar"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(FileExists(out + "/Sample Bar.tb"));
    EXPECT_NE(run.err.find("error: \\Options\\Updates URL: the template is never fetched"), std::string::npos) << run.err;
}

TEST(Build, PicturesTheToolbarCannotShowAreRefusedBeforeAnythingIsWritten) {
    WriteWholeFile(Scratch("not-a-png.png"), "hello");
    WriteWholeFile(Scratch("logo.jpg"), "\xFF\xD8\xFF\xE0 pretend JPEG");
    const std::string icon = kSample + "/icons/go-home.png";
    const struct {
        const char* what;
        std::string source;
        const char* message;
    } cases[] = {
        {"icon that is not a PNG", R"({"items": [{"caption": "A", "url": "x", "icon": "not-a-png.png"}]})",
         "not-a-png.png: not a PNG file"},
        {"missing icon", R"({"items": [{"caption": "A", "url": "x", "icon": "gone.png"}]})", "gone.png: no such file"},
        {"logo of another format", R"({"logo": "logo.jpg"})", "logo.jpg: a logo must be a PNG or a Windows bitmap"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(Scratch("bad.json"), c.source);
        const std::string out = Scratch("bad-out");
        const ToolRun run = Tool({"build", Scratch("bad.json"), out});
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(FileExists(out + "/bad.tb"));
        EXPECT_FALSE(FileExists(out + "/Icons.bin"));
    }
}

TEST(Build, AnIconOfAnotherSizeIsFittedWithAWarning) {
    const std::string source = R"({"name": "Small", "items": [{"name": "miA", "caption": "A", "url": "x", "icon": ")" +
                               kSample + R"(/logo.png"}]})";
    WriteWholeFile(Scratch("fit.json"), source);
    // The icon lies in the sample's folder, which the source may read from only when allowed.
    const ToolRun run = Tool({"build", Scratch("fit.json"), Scratch("fit"), "--allow-folder", kSample});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("warning: "), std::string::npos);
    EXPECT_NE(run.err.find("entry 0 (logo) is 22x22: the toolbar fits it into 16x16"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tb::tool
