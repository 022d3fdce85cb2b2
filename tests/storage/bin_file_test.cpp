#include <gtest/gtest.h>

#include "storage_fixture.hpp"

namespace tb {
namespace {

using testing_support::Bytes;
using testing_support::FileStore;

// One section Options (id 1) with the text key Toolbar Name = Bar.
const std::string kExample = Bytes({0x52, 0x53, 0x30, 0x32, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00,
                                    0x00, 0x07, 'O',  'p',  't',  'i',  'o',  'n',  's',  0x01, 0x00,
                                    0x0C, 'T',  'o',  'o',  'l',  'b',  'a',  'r',  ' ',  'N',  'a',
                                    'm',  'e',  0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 'B',  'a',  'r'});

class BinFileTest : public testing_support::TempFolderTest {};

TEST_F(BinFileTest, WorkedExampleLoadsAndWritesBackByteForByte) {
    ASSERT_EQ(kExample.size(), 44u);
    WriteWholeFile(Path("a.tb"), kExample);
    FileStore f(Path("a.tb"), soSaveOnClose);
    f.store.SetActive(true);
    EXPECT_TRUE(f.store.Active());
    EXPECT_FALSE(f.store.Damaged());
    EXPECT_EQ(f.store.ReadString("Options\\Toolbar Name", "x"), "Bar");
    EXPECT_EQ(f.store.Sections().size(), 1u);
    EXPECT_EQ(f.store.Keys().size(), 1u);
    f.data.FileName = Path("b.tb");
    f.store.Close();
    EXPECT_EQ(ReadWholeFile(Path("b.tb")), kExample);
}

}  // namespace
}  // namespace tb
