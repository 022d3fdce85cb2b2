#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "ini_fixture.hpp"
#include "settings/big_ini_file.hpp"

namespace tb {
namespace {

using IniWindowsTest = IniFolderTest;

// Another program (a virus scanner, a second browser) holds the file open without allowing it to
// be replaced: the new content cannot take its place, and the old file must survive whole.
TEST_F(IniWindowsTest, AReplaceThatFailsLeavesTheOldFileIntact) {
    const std::string path = Path("Settings.ini");
    const std::string old_content = "[Settings]\r\nSearch=old\r\n\r\n";
    WriteWholeFile(path, old_content);
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_THROW(WriteIniString(path, "Settings", "Search", "new"), InOutError);
    CloseHandle(holder);
    EXPECT_EQ(Content("Settings.ini"), old_content);
    EXPECT_EQ(FileCount(), 1) << "the temporary file is removed";
}

}  // namespace
}  // namespace tb
