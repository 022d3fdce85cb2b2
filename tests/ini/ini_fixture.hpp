#pragma once
// A fresh folder per test (tests/support/temp_folder.hpp) and what the INI tests look at in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/file.hpp"
#include "tests/support/temp_folder.hpp"

namespace tb {

class IniFolderTest : public testing_support::TempFolderTest {
protected:
    std::string Content(const std::string& name) const { return ReadWholeFile(Path(name)).value_or("<missing>"); }
    int FileCount() const {
        int count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_)) ++count;
        return count;
    }
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
