#pragma once
// Running tbtool in-process, and a scratch folder for the files of the running test.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.hpp"
#include "tools/cli.hpp"

namespace tb::tool {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

inline ToolRun Tool(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunTool(args, out, err);
    return {status, out.str(), err.str()};
}

// The running test's temporary folder, made (empty) on first use and removed once the test has
// ended, fixture and all: Scratch gives paths in it without a fixture of its own.
class ScratchFolder : public ::testing::EmptyTestEventListener {
public:
    static const testing_support::TempFolder& ForRunningTest() {
        static ScratchFolder* const listener = [] {
            auto* made = new ScratchFolder;
            ::testing::UnitTest::GetInstance()->listeners().Append(made);  // which owns it
            return made;
        }();
        if (!listener->folder_) listener->folder_ = std::make_unique<testing_support::TempFolder>();
        return *listener->folder_;
    }
    void OnTestEnd(const ::testing::TestInfo&) override { folder_.reset(); }

private:
    std::unique_ptr<testing_support::TempFolder> folder_;
};

// A path in the running test's temporary folder, below a folder for `group` (made on the way).
inline std::string Scratch(const std::string& group, const std::string& name) {
    const auto dir = std::filesystem::path(ScratchFolder::ForRunningTest().Folder()) / group;
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

}  // namespace tb::tool
