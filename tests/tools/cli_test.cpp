#include <gtest/gtest.h>

#include <sstream>

#include "base/file.hpp"
#include "tools/cli.hpp"

namespace tb::tool {
namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun Tool(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunTool(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(Cli, UsageMistakesExitTwoWithTheSynopsis) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "Usage: tbtool COMMAND"},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"get", "a.tb"}, "tbtool get: too few arguments\nUsage: tbtool get FILE PATH"},
        {{"pack", "a", "b", "c"}, "tbtool pack: too many arguments"},
        {{"build", "s.json", "out", "--name"}, "--name needs a value"},
        {{"lint", "--strict", "a.tb"}, "unknown option --strict"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Tool(c.args);
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

TEST(Cli, HelpForEachCommand) {
    for (const char* command : {"dump", "pack", "get", "build", "lint", "compress", "decompress", "inspect"}) {
        const ToolRun run = Tool({command, "--help"});
        EXPECT_EQ(run.status, kExitOk) << command;
        EXPECT_EQ(run.out.rfind(std::string("Usage: tbtool ") + command, 0), 0u) << run.out;
    }
}

TEST(Cli, PackWritesTheFileOfADump) {
    WriteWholeFile("cli_pack.json", R"({"format": "tbtool dump 1", "version": 2,
        "sections": [{"id": 1, "parent": 0, "name": "Options"}],
        "keys": [{"section": 1, "name": "Toolbar Name", "kind": "string", "value": "Bar"}]})");
    const ToolRun run = Tool({"pack", "cli_pack.json", "cli_pack.tb"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(ReadWholeFile("cli_pack.tb")->size(), 44u);
}

TEST(Cli, UnreadableInputExitsTwoNamingTheFile) {
    WriteWholeFile("cli_bad.json", R"({"format": "tbtool dump 1", "sections": [], "keys": [{"section": 0}]})");
    WriteWholeFile("cli_broken.json", "{\"format\": ");
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"pack", "cli_missing.json", "x.tb"}, "cli_missing.json: no such file"},
        {{"pack", "cli_bad.json", "x.tb"}, "cli_bad.json: keys[0]: the field \"name\" is missing"},
        {{"pack", "cli_broken.json", "x.tb"}, "cli_broken.json: not valid JSON"},
        {{"lint", "cli_missing.tb"}, "cli_missing.tb: no such file"},
        {{"build", "cli_missing.json", "out"}, "cli_missing.json: no such file"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Tool(c.args);
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(FileExists("x.tb"));
}

}  // namespace
}  // namespace tb::tool
