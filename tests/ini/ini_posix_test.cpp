#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "ini_fixture.hpp"
#include "settings/big_ini_file.hpp"

namespace tb {
namespace {

// Limits the size of files this process may write, as a full disk would: a write past the limit
// fails part-way with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*old_handler_)(int) = nullptr;
};

using IniInterruptedWriteTest = IniFolderTest;

TEST_F(IniInterruptedWriteTest, AWriteCutOffPartWayLeavesTheOldFileIntact) {
    const std::string path = Path("Settings.ini");
    const std::string old_content = "[Settings]\r\nSearch=old\r\nDate=1/2/2024\r\n\r\n";
    WriteWholeFile(path, old_content);
    {
        FileSizeLimit limit(64);
        EXPECT_THROW(WriteIniString(path, "Settings", "Search", std::string(4096, 'x')), InOutError);
    }
    EXPECT_EQ(Content("Settings.ini"), old_content);
    EXPECT_EQ(FileCount(), 1) << "the temporary file is removed";
    // Once there is room again the write goes through.
    WriteIniString(path, "Settings", "Search", "new");
    EXPECT_EQ(ReadIniString(path, "Settings", "Search"), "new");
    EXPECT_EQ(ReadIniString(path, "Settings", "Date"), "1/2/2024");
}

// Windows refuses to replace a read-only file, whoever asks; natively the rename would replace it
// (and turn mode 444 into 644) even for root, so the portable side refuses it the same way.
TEST_F(IniFolderTest, AReadOnlyFileIsRefusedWithTheInOutErrorAndKept) {
    const std::string path = Path("Settings.ini");
    const std::string old_content = "[Settings]\r\nSearch=old\r\n\r\n";
    WriteWholeFile(path, old_content);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    try {
        WriteIniString(path, "Settings", "Search", "new");
        FAIL() << "no error";
    } catch (const InOutError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_EQ(Content("Settings.ini"), old_content);
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(FileCount(), 1) << "no temporary file is left";
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    WriteIniString(path, "Settings", "Search", "new");
    EXPECT_EQ(ReadIniString(path, "Settings", "Search"), "new");
}

}  // namespace
}  // namespace tb
