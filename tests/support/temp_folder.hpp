#pragma once
// A fresh temporary folder for the running test, removed afterwards. ctest runs every test case as
// a process of its own, side by side, so the folder is named after the suite and the test (and
// TB_TEST_FOLDER_TAG, when set): no two tests share a file. Paths are built with '/', which both
// platforms accept. One per test: a second one in the same test names the same folder and empties it.
//   class MyTest : public tb::testing_support::TempFolderTest {};
//   TEST_F(MyTest, X) { WriteWholeFile(Path("a.ini"), "..."); }
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace tb::testing_support {

class TempFolder {
public:
    TempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("tb_") + info->test_suite_name() + "_" + info->name();
        // The same tests run once more at the same time under other settings (another locale)
        // name a folder of their own.
        if (const char* tag = std::getenv("TB_TEST_FOLDER_TAG")) name += std::string("_") + tag;
        for (char& c : name) {
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            if (!plain) c = '_';
        }
        folder_ = (std::filesystem::temp_directory_path() / name).string();
        std::filesystem::remove_all(folder_);  // left by a run that crashed
        std::filesystem::create_directories(folder_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Folder() const { return folder_; }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }

private:
    std::string folder_;
};

// A fixture whose every test starts with an empty folder of its own.
class TempFolderTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return temp_.Path(name); }

    TempFolder temp_;
    const std::string folder_ = temp_.Folder();
};

}  // namespace tb::testing_support
