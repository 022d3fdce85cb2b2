#pragma once
// A fresh folder per test, removed afterwards. Paths are built with '/', which both platforms accept.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/file.hpp"

namespace tb {

class IniFolderTest : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("tbini_") + info->test_suite_name() + "_" + info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        folder_ = (std::filesystem::temp_directory_path() / name).string();
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }
    std::string Content(const std::string& name) const { return ReadWholeFile(Path(name)).value_or("<missing>"); }
    int FileCount() const {
        int count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) ++count;
        return count;
    }
    std::string folder_;
};

// A test name made of the words of a case's description: "a Ctrl-Z line" gives ACtrlZLine.
inline std::string Identifier(const char* what) {
    std::string name;
    bool upper = true;
    for (const char* p = what; *p; ++p) {
        const char c = *p;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            name.push_back(upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
            upper = false;
        } else {
            upper = true;
        }
    }
    return name;
}

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
    return Identifier(info.param.what);
}

}  // namespace tb
