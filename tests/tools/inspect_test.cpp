// tbtool inspect and the icon store facts lint uses; compress and decompress from outside.
#include <gtest/gtest.h>

#include <functional>

#include "base/file.hpp"
#include "storage/bin_data.hpp"
#include "iconlist/property_stream.hpp"
#include "storage/storage.hpp"
#include "tests/tools/tool_run.hpp"
#include "tools/json_text.hpp"

namespace tb::tool {
namespace {

const std::string kIcons = std::string(TB_SOURCE_DIR) + "/samples/sample-bar/icons/";

std::string Scratch(const std::string& name) { return tb::tool::Scratch("inspect_test", name); }

std::string Png(const char* name) { return *ReadWholeFile(kIcons + name); }

// An icon store whose "\Icons" holds an image list with one entry per picture (an empty picture
// gives an entry without data), and whose "\Image" holds `logo` when it is given.
std::string IconStore(const std::vector<std::string>& pictures, const std::string* logo = nullptr) {
    PropertyWriter w;
    w.Name("PngImages");
    w.BeginCollection();
    for (const std::string& picture : pictures) {
        w.BeginItem();
        if (!picture.empty()) {
            w.Name("PngImage.Data");
            w.Binary(picture);
        }
        w.EndList();
    }
    w.EndList();
    w.EndList();
    TrsStorage store;
    store.SetOptions(0);
    store.WriteBinary("\\Icons", w.Bytes());
    if (logo != nullptr) store.WriteBinary("\\Image", *logo);
    return TrsBinData::EncodeTables(store);
}

ToolRun Inspect(const std::string& image) {
    WriteWholeFile(Scratch("Icons.bin"), image);
    return Tool({"inspect", Scratch("Icons.bin")});
}

TEST(Inspect, ShowsEntriesWithTheirPictures) {
    const ToolRun run = Inspect(IconStore({Png("go-home.png"), Png("edit-find.png")}));
    ASSERT_EQ(run.status, 0) << run.err;
    const Json json = Json::parse(run.out);
    EXPECT_EQ(json["settings"]["Width"], 16);
    EXPECT_EQ(json["settings"]["BkColor"], "clNone");
    EXPECT_EQ(json["images"].dump(),
              R"([{"index":0,"name":"PngImage0","background":"clBtnFace","image":0,"width":16,"height":16},)"
              R"({"index":1,"name":"PngImage1","background":"clBtnFace","image":1,"width":16,"height":16}])");
    EXPECT_EQ(json["image_count"], 2);
    EXPECT_EQ(json["logo"], nullptr);
}

TEST(Inspect, EachFaultOfAnIconStoreGivesItsFinding) {
    const std::string good = Png("go-home.png");
    const std::string logo = "BM not really";
    const std::string stream = IconStore({good});
    const struct {
        const char* what;
        std::string image;
        int status;
        int image_count;
        const char* finding;
    } cases[] = {
        {"no image list", TrsBinData::EncodeTables(TrsStorage()), 0, 0, "warning: ICONS:\\Icons: missing: the toolbar has no images"},
        {"image list cut short", stream.substr(0, stream.size() - 40), 1, 0,
         "error: ICONS: damaged: the file ends inside a record"},
        {"entry that is not a PNG file", IconStore({good, "GIF89a", good}), 1, 3,
         "error: ICONS:\\Icons: entry 1 (PngImage1): not a PNG file: the toolbar shows an empty image in its place"},
        {"damaged PNG file", IconStore({good.substr(0, 60)}), 1, 1, "entry 0 (PngImage0): the PNG file is damaged"},
        {"entry without a picture", IconStore({"", good}), 0, 1,
         "warning: ICONS:\\Icons: entry 0 (PngImage0) has no picture: it adds no image, so every image after it moves down"},
        {"logo that is not a bitmap", IconStore({good}, &logo), 1, 1,
         "error: ICONS:\\Image: the bitmap file ends inside its header: loading the logo fails, and the toolbar drops its images with it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun run = Inspect(c.image);
        EXPECT_EQ(run.status, c.status) << run.err;
        std::string err = run.err;
        for (size_t at; (at = err.find(Scratch("Icons.bin"))) != std::string::npos;) err.replace(at, Scratch("Icons.bin").size(), "ICONS");
        EXPECT_NE(err.find(c.finding), std::string::npos) << err;
        EXPECT_EQ(Json::parse(run.out)["image_count"], c.image_count);
    }
}

TEST(Inspect, AnUnreadableImageListCountsNoImages) {
    // The reader fails on a property the image list does not have: the toolbar drops the list.
    PropertyWriter w;
    w.Name("Width");
    w.Integer(16);
    w.Name("Colour");
    w.Integer(1);
    w.EndList();
    TrsStorage store;
    store.WriteBinary("\\Icons", w.Bytes());
    const ToolRun run = Inspect(TrsBinData::EncodeTables(store));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the image list cannot be read (Property Colour does not exist): the toolbar drops all its images"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(Json::parse(run.out)["image_count"], 0);
}

TEST(Inspect, LintChecksIconNumbersAgainstTheStore) {
    TrsStorage tpl;
    tpl.WriteString("\\Order\\1", "miHome");
    tpl.WriteString("\\miHome\\URL", "http://www.example.com/");
    tpl.WriteBool("\\miHome\\Visible", true);
    tpl.WriteString("\\miHome\\Parent", "Toolbar");
    tpl.WriteInteger("\\miHome\\ImageIndex", 0);
    tpl.WriteInteger("\\Icons\\0", 2);
    WriteWholeFile(Scratch("Bar.tb"), TrsBinData::EncodeTables(tpl));
    WriteWholeFile(Scratch("Icons.bin"), IconStore({Png("go-home.png"), Png("folder.png")}));
    const ToolRun run = Tool({"lint", Scratch("Bar.tb"), Scratch("Icons.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("error: \\Icons\\0: image index 2 is beyond the 2 images of"), std::string::npos) << run.out;
    EXPECT_EQ(Tool({"lint", Scratch("Bar.tb")}).status, 0);  // without the store nothing to compare
}

TEST(Codec, CompressAndDecompressRoundTrip) {
    std::string text;
    for (int i = 0; text.size() < 70000; ++i) text += "line " + std::to_string(i % 97) + " of a template\r\n";
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {{"empty", ""}, {"several blocks", text}, {"three bytes", "abc"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteWholeFile(Scratch("plain"), c.bytes);
        ASSERT_EQ(Tool({"compress", Scratch("plain"), Scratch("packed")}).status, 0);
        ASSERT_EQ(Tool({"decompress", Scratch("packed"), Scratch("unpacked")}).status, 0);
        EXPECT_EQ(ReadWholeFile(Scratch("unpacked")), c.bytes);
    }
    // Three bytes are stored: a length of 4, the stored-block flag, the bytes.
    EXPECT_EQ(ReadWholeFile(Scratch("packed")), std::string("\x04\x00\x00\x00\x80" "abc", 8));
    // Repetitive text shrinks.
    WriteWholeFile(Scratch("plain"), text);
    ASSERT_EQ(Tool({"compress", Scratch("plain"), Scratch("packed")}).status, 0);
    EXPECT_LT(ReadWholeFile(Scratch("packed"))->size(), text.size() / 2);
}

TEST(Codec, ADamagedStreamIsReportedAndNothingIsWritten) {
    const struct {
        const char* what;
        std::string stream;
        int status;
        const char* message;
    } cases[] = {
        {"record cut off", std::string("\x05\x00\x00\x00\x80" "ab", 7), 1, "cut off inside the record at offset 0"},
        {"record too long", std::string("\xFF\xFF\x00\x00\x80", 5), 1, "the record at offset 0 does not decode"},
        {"bytes after the end record", std::string("\x04\x00\x00\x00\x80" "abc\x00\x00\x00\x00junk", 16), 0,
         "the 4 bytes after it are ignored"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteOneFile(Scratch("out"));
        WriteWholeFile(Scratch("stream"), c.stream);
        const ToolRun run = Tool({"decompress", Scratch("stream"), Scratch("out")});
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(FileExists(Scratch("out")), c.status == 0);
    }
}

}  // namespace
}  // namespace tb::tool
