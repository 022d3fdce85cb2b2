// A storage file that exists but is held open by another program without sharing.
#include <windows.h>

#include <gtest/gtest.h>

#include "storage_fixture.hpp"

namespace tb {
namespace {

class LockedFileTest : public testing_support::TempFolderTest {};

TEST_F(LockedFileTest, LoadRaisesTheOpenErrorAndLeavesTheStoreInactive) {
    WriteWholeFile(Path("t.tb"), std::string("RS02\0\0\0\0", 8));
    HANDLE lock = CreateFileA(Path("t.tb").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    testing_support::FileStore f(Path("t.tb"));
    try {
        f.store.SetActive(true);
        ADD_FAILURE() << "loaded a locked file";
    } catch (const FileOpenError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + Path("t.tb") + "\". ", 0), 0u) << e.what();
    }
    EXPECT_FALSE(f.store.Active());
    CloseHandle(lock);
    f.store.SetActive(true);
    EXPECT_TRUE(f.store.Active());
}

}  // namespace
}  // namespace tb
