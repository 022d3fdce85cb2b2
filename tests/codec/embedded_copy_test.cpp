#include "storage/embedded_copy.hpp"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/file.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"

namespace tb {
namespace {

// "InternalFile" data of a template with "Options\Toolbar Name" = Sample Bar and 20 buttons.
std::string SampleProperty() {
    std::ifstream in(TB_SOURCE_DIR "/tests/codec/data/sample-template.internalfile", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The 44-byte file with "Options\Toolbar Name" = Bar.
const std::string kRealFile("RS02\x01\x00\x01\x00\x01\x00\x00\x00\x07Options\x01\x00\x0CToolbar Name\x01\x00\x03\x00\x00\x00" "Bar",
                            44);

class EmbeddedCopy : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        data_.FileDir = fdCustom;
        data_.Options = 0;
        data_.FileName = Path("Main.tb");
        store_.SetOptions(0);
        store_.SetStorageData(&data_);
    }
    void TearDown() override { store_.SetStorageData(nullptr); }
    std::string ToolbarName() {
        store_.Reload();
        return store_.ReadString("Options\\Toolbar Name", "(none)");
    }

    TrsBinData data_;
    TrsStorage store_;
};

TEST_F(EmbeddedCopy, PropertyDataIsTheMarkerTheLengthAndTheChunkedStream) {
    EXPECT_EQ(EncodeInternalFile(""), "");
    const std::string data = EncodeInternalFile("abc");
    EXPECT_EQ(data, std::string("\x01\x01\x08\x00\x00\x00" "\x04\x00\x00\x00\x80" "abc", 14));
    std::string copy;
    EXPECT_TRUE(DecodeInternalFile(data, copy));
    EXPECT_EQ(copy, "abc");
}

TEST_F(EmbeddedCopy, LoadsInPlaceOfAMissingFileWithNoRealFile) {
    data_.InternalFileLoad = iflNoRealFile;
    ASSERT_TRUE(LoadInternalFile(data_, SampleProperty()));
    EXPECT_EQ(ToolbarName(), "Sample Bar");
    EXPECT_EQ(store_.ReadString("\\Buttons\\Button17\\URL", ""), "Button 17|http://www.example.com/pages/17.html");

    // A real file wins over the copy.
    WriteWholeFile(data_.FileName, kRealFile);
    EXPECT_EQ(ToolbarName(), "Bar");
}

TEST_F(EmbeddedCopy, AlwaysAndNoneChooseTheCopyOrTheFile) {
    WriteWholeFile(data_.FileName, kRealFile);
    ASSERT_TRUE(LoadInternalFile(data_, SampleProperty()));
    data_.InternalFileLoad = iflAlways;
    EXPECT_EQ(ToolbarName(), "Sample Bar");
    data_.InternalFileLoad = iflNone;
    EXPECT_EQ(ToolbarName(), "Bar");
    std::filesystem::remove(data_.FileName);
    EXPECT_EQ(ToolbarName(), "(none)");
}

TEST_F(EmbeddedCopy, SavedPropertyOfTheInternalStreamRoundTrips) {
    ASSERT_TRUE(LoadInternalFile(data_, SampleProperty()));
    const std::string saved = SaveInternalFile(data_);
    EXPECT_EQ(saved, SampleProperty());
    TrsBinData other;
    ASSERT_TRUE(LoadInternalFile(other, saved));
    EXPECT_EQ(other.InternalStream(), data_.InternalStream());
}

TEST_F(EmbeddedCopy, DamagedDataLeavesTheCopyEmpty) {
    data_.InternalFileLoad = iflNoRealFile;
    const std::string good = SampleProperty();
    std::vector<std::string> damaged;
    for (std::size_t cut = 0; cut < good.size(); ++cut) damaged.push_back(good.substr(0, cut));
    damaged.push_back("\x02\x01" + good.substr(2));                      // wrong marker
    damaged.push_back("\x01\x02" + good.substr(2));                      // wrong second marker byte
    std::string long_length = good;
    long_length[2] = '\xFF';                                              // length past the data
    damaged.push_back(long_length);
    // The first block's control word and first unit become a copy from before the start: the
    // lengths still fit, only the block does not decode.
    std::string bad_block = good;
    ASSERT_EQ(good[10], '\x40');
    bad_block.replace(11, 4, std::string("\xFF\xFF\x00\x10", 4));
    ASSERT_EQ(bad_block.size(), good.size());
    damaged.push_back(bad_block);
    // A record cut short inside the stream, with the outer length telling the truth about it.
    std::string short_stream = good.substr(0, 6) + good.substr(6, 100);
    short_stream[2] = 100;
    short_stream[3] = short_stream[4] = short_stream[5] = 0;
    damaged.push_back(short_stream);

    for (const auto& data : damaged) {
        // An earlier copy does not survive either: the damaged one replaces it.
        ASSERT_TRUE(LoadInternalFile(data_, good));
        EXPECT_FALSE(LoadInternalFile(data_, data)) << data.size();
        EXPECT_EQ(data_.InternalStream(), "");
    }
    EXPECT_EQ(ToolbarName(), "(none)");
}

}  // namespace
}  // namespace tb
