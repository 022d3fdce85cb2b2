#include "base/file.hpp"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.hpp"

#include <filesystem>

#include "base/errors.hpp"

namespace tb {
namespace {

class FileTest : public testing_support::TempFolderTest {};

TEST_F(FileTest, WriteThenReadGivesTheSameBytes) {
    const std::string bytes("RS02\0\xFF\r\n", 8);
    WriteWholeFile(Path("a.bin"), bytes);
    EXPECT_EQ(ReadWholeFile(Path("a.bin")), bytes);
    WriteWholeFile(Path("a.bin"), "x");
    EXPECT_EQ(ReadWholeFile(Path("a.bin")), "x");
    EXPECT_TRUE(FileExists(Path("a.bin")));
    EXPECT_FALSE(DirectoryExists(Path("a.bin")));
}

TEST_F(FileTest, MissingFileReadsAsNothing) {
    EXPECT_EQ(ReadWholeFile(Path("none.bin")), std::nullopt);
    EXPECT_EQ(ReadWholeFile(Path("no/such/folder.bin")), std::nullopt);
    EXPECT_FALSE(FileExists(Path("none.bin")));
}

TEST_F(FileTest, WritingIntoAMissingFolderRaisesTheCreateError) {
    const std::string path = Path("missing/a.ini");
    try {
        WriteWholeFile(path, "x");
        FAIL() << "no error";
    } catch (const FileCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + path + "\". ", 0), 0u) << e.what();
    }
    EXPECT_THROW(ReplaceFileContent(path, "x"), FileCreateError);
}

TEST_F(FileTest, ReplaceFileContentLeavesNoTemporaryFile) {
    WriteWholeFile(Path("s.ini"), "old");
    ReplaceFileContent(Path("s.ini"), "new content");
    EXPECT_EQ(ReadWholeFile(Path("s.ini")), "new content");
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) ++count;
    EXPECT_EQ(count, 1);
}

TEST_F(FileTest, FoldersAndRenames) {
    EXPECT_TRUE(CreateOneDirectory(Path("d")));
    EXPECT_FALSE(CreateOneDirectory(Path("d")));
    EXPECT_TRUE(DirectoryExists(Path("d")));
    WriteWholeFile(Path("a"), "1");
    WriteWholeFile(Path("b"), "2");
    EXPECT_FALSE(RenameOneFile(Path("a"), Path("b"))) << "renaming onto an existing file must fail";
    EXPECT_TRUE(RenameOneFile(Path("a"), Path("c")));
    EXPECT_EQ(ReadWholeFile(Path("c")), "1");
    EXPECT_TRUE(DeleteOneFile(Path("c")));
    EXPECT_FALSE(DeleteOneFile(Path("c")));
}

}  // namespace
}  // namespace tb
