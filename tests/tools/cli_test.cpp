#include <gtest/gtest.h>

#include "base/file.hpp"
#include "tests/tools/tool_run.hpp"

namespace tb::tool {
namespace {

std::string Scratch(const std::string& name) { return tb::tool::Scratch("cli_test", name); }

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
    WriteWholeFile(Scratch("cli_pack.json"), R"({"format": "tbtool dump 1", "version": 2,
        "sections": [{"id": 1, "parent": 0, "name": "Options"}],
        "keys": [{"section": 1, "name": "Toolbar Name", "kind": "string", "value": "Bar"}]})");
    const ToolRun run = Tool({"pack", Scratch("cli_pack.json"), Scratch("cli_pack.tb")});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    // The worked example: "Options\Toolbar Name" = Bar in a version 2 file, byte for byte.
    const std::string expected("RS02\x01\x00\x01\x00" "\x01\x00\x00\x00\x07Options"
                               "\x01\x00\x0CToolbar Name\x01\x00\x03\x00\x00\x00" "Bar",
                               44);
    EXPECT_EQ(ReadWholeFile(Scratch("cli_pack.tb")), expected);
}

TEST(Cli, UnreadableInputExitsTwoNamingTheFile) {
    WriteWholeFile(Scratch("cli_bad.json"), R"({"format": "tbtool dump 1", "sections": [], "keys": [{"section": 0}]})");
    WriteWholeFile(Scratch("cli_broken.json"), "{\"format\": ");
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"pack", Scratch("cli_missing.json"), Scratch("x.tb")}, "cli_missing.json: no such file"},
        {{"pack", Scratch("cli_bad.json"), Scratch("x.tb")}, "cli_bad.json: keys[0]: the field \"name\" is missing"},
        {{"pack", Scratch("cli_broken.json"), Scratch("x.tb")}, "cli_broken.json: not valid JSON"},
        {{"lint", Scratch("cli_missing.tb")}, "cli_missing.tb: no such file"},
        {{"build", Scratch("cli_missing.json"), "out"}, "cli_missing.json: no such file"},
        {{"dump", Scratch("cli_missing.tb")}, "cli_missing.tb: no such file"},
        {{"get", Scratch("cli_missing.tb"), "\\Options\\Version"}, "cli_missing.tb: no such file"},
        {{"inspect", Scratch("cli_missing.bin")}, "cli_missing.bin: no such file"},
        {{"lint", Scratch("cli_bad.json"), Scratch("cli_missing.bin")}, "cli_missing.bin: no such file"},
        {{"compress", Scratch("cli_missing"), Scratch("x.tb")}, "cli_missing: no such file"},
        {{"decompress", Scratch("cli_missing"), Scratch("x.tb")}, "cli_missing: no such file"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Tool(c.args);
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(FileExists(Scratch("x.tb")));
}

}  // namespace
}  // namespace tb::tool
