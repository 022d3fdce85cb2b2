#pragma once
// Running tbtool in-process, and a scratch folder for the files of one test program.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

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

// A path in a folder of the system's temporary folder kept for the running test of `group`: ctest
// runs the tests of one program side by side, so no two tests may share a file.
inline std::string Scratch(const std::string& group, const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("tbtool_" + group) /
                     ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

}  // namespace tb::tool
