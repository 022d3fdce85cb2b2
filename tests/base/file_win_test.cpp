// Replacing a file that another toolbar window holds open for a moment: the replace waits its
// turn instead of failing, and a reader that comes at the moment of a replace gets a whole file.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "tests/support/temp_folder.hpp"

namespace tb {
namespace {

class FileConflictTest : public testing_support::TempFolderTest {};

TEST_F(FileConflictTest, ReplaceWaitsWhileAReaderHoldsTheFile) {
    const std::string path = Path("History.txt");
    WriteWholeFile(path, "old");
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::thread closer([reader] {
        Sleep(200);
        CloseHandle(reader);
    });
    EXPECT_NO_THROW(ReplaceFileContent(path, "new"));
    closer.join();
    EXPECT_EQ(ReadWholeFile(path).value_or(""), "new");
}

TEST_F(FileConflictTest, AReaderHeldLongerThanTheWaitIsReported) {
    const std::string path = Path("History.txt");
    WriteWholeFile(path, "old");
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_THROW(ReplaceFileContent(path, "new"), FileCreateError);
    CloseHandle(reader);
    EXPECT_EQ(ReadWholeFile(path).value_or(""), "old");
}

TEST_F(FileConflictTest, ReadersAndWritersOnFourThreadsSeeOnlyWholeFiles) {
    const std::string path = Path("History.txt");
    const std::string a(5000, 'a'), b(7000, 'b');
    WriteWholeFile(path, a);
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                try {
                    if (t % 2) {
                        ReplaceFileContent(path, i % 2 ? a : b);
                    } else {
                        const std::string seen = ReadWholeFile(path).value_or("");
                        if (seen != a && seen != b) ++failures;
                    }
                } catch (const std::exception&) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace tb
