// tbtool on input made to harm the publisher's machine: a contributed source that writes outside
// OUTDIR, reads files it was not given, reads without end or nests without end, and a crafted
// library handed to `brand`. Each is answered at once, with a message that names the file or item.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>

#include "base/file.hpp"
#include "base/little_endian.hpp"
#include "tests/tools/tool_run.hpp"
#include "tools/json_text.hpp"

namespace tb::tool {
namespace {

namespace fs = std::filesystem;

struct TimedRun {
    ToolRun run;
    double seconds;
};

TimedRun TimedTool(const std::vector<std::string>& args) {
    const auto start = std::chrono::steady_clock::now();
    ToolRun run = Tool(args);
    return {std::move(run), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

// "At once": the faults these tests guard against took from seconds to days; a bound far above a
// loaded machine's start-up of the tool (under Wine, with sanitizers) still tells the two apart.
constexpr double kAtOnce = 5.0;

// A source the tool must refuse, with what its message must hold.
struct RefusedSource {
    const char* what;
    std::string source;
    std::vector<std::string> extra;
    std::string message;
};

// A source folder with one small icon, the source file in it, and an output folder beside it.
class HostileSource : public testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(Scratch("hostile", "x")).parent_path().string();
        fs::remove_all(root_);
        fs::create_directories(root_ + "/src");
        WriteWholeFile(root_ + "/src/icon.png", "not looked at: the limits come first");
        WriteWholeFile(root_ + "/secret.key", "the publisher's private key");
    }
    TimedRun Build(const std::string& source, std::vector<std::string> extra = {}) {
        WriteWholeFile(root_ + "/src/bar.json", source);
        std::vector<std::string> args = {"build", root_ + "/src/bar.json", root_ + "/out"};
        args.insert(args.end(), extra.begin(), extra.end());
        return TimedTool(args);
    }
    // Each source is refused at once with exit 2 and a message holding the case's text.
    void ExpectEachRefusedAtOnce(const std::vector<RefusedSource>& cases) {
        for (const RefusedSource& c : cases) {
            SCOPED_TRACE(c.what);
            const TimedRun r = Build(c.source, c.extra);
            EXPECT_EQ(r.run.status, 2);
            EXPECT_NE(r.run.err.find(c.message), std::string::npos) << r.run.err;
            EXPECT_LT(r.seconds, kAtOnce);
        }
    }
    std::string root_;
};

TEST_F(HostileSource, IsRefusedAtOnceNamingTheItemAndTheFile) {
    WriteWholeFile(root_ + "/src/big.png", std::string((1u << 20) + 1, 'x'));
    ExpectEachRefusedAtOnce({
        {"a name with folders", R"({"name": "../../../../escaped/Evil"})", {},
         R"(bar.json: name: "../../../../escaped/Evil" is not a bare file name)"},
        {"--name with folders", "{}", {"--name", "../Evil"}, R"(--name: "../Evil" is not a bare file name)"},
        {"a name with a control character", "{\"name\": \"Evil\\u0007\"}", {}, "is not a bare file name"},
        {"a file above the source's folder", R"({"keys": {"\\A\\B": {"file": "../secret.key"}}})", {},
         "keys.\\A\\B.file: " + root_ + "/src/../secret.key: lies outside the source's folder"},
        {"an absolute file", R"({"keys": {"\\A\\B": {"file": )" + Json(root_ + "/secret.key").dump() + "}}}", {},
         "lies outside the source's folder"},
        {"an icon that is a folder", R"({"items": [{"caption": "a", "url": "x", "icon": "."}]})", {},
         "items[0].icon: " + root_ + "/src/.: not a regular file"},
        {"a logo that is a folder", R"({"logo": "."})", {}, "logo: " + root_ + "/src/.: not a regular file"},
        {"an icon above its limit", R"({"items": [{"name": "miBig", "caption": "a", "url": "x", "icon": "big.png"}]})",
         {}, "items[0].icon: " + root_ + "/src/big.png: 1048577 bytes, more than the 1048576 bytes allowed for an icon"},
    });
    EXPECT_FALSE(fs::exists(root_ + "/out")) << "nothing is written";
    // Where the name would have put it: four folders above OUTDIR.
    EXPECT_FALSE(fs::exists(fs::path(root_).parent_path().parent_path().parent_path() / "escaped"));
}

TEST_F(HostileSource, AFolderThePublisherAllowsMayBeReadFrom) {
    fs::create_directories(root_ + "/shared");
    WriteWholeFile(root_ + "/shared/blob.bin", "shared bytes");
    const std::string source = R"({"keys": {"\\A\\B": {"file": "../shared/blob.bin"}}})";
    EXPECT_EQ(Build(source).run.status, 2);
    const TimedRun allowed = Build(source, {"--allow-folder", root_ + "/shared"});
    EXPECT_LE(allowed.run.status, 1) << allowed.run.err;
    EXPECT_TRUE(fs::exists(root_ + "/out/bar.tb"));
}

#ifndef _WIN32
TEST_F(HostileSource, LinksAndDevicesAreNoWayOut) {
    fs::create_symlink(root_ + "/secret.key", root_ + "/src/innocent.png");
    fs::create_symlink("/dev/zero", root_ + "/src/zero.png");
    ExpectEachRefusedAtOnce({
        {"a link to a file outside", R"({"keys": {"\\A\\B": {"file": "innocent.png"}}})", {},
         "innocent.png: lies outside the source's folder"},
        {"a link to a device", R"({"logo": "zero.png"})", {}, "zero.png: lies outside the source's folder"},
        {"a device in an allowed folder", R"({"logo": "/dev/zero"})", {"--allow-folder", "/dev"},
         "logo: /dev/zero: not a regular file"},
    });
}
#endif

// Items nested as deep as the source allows, and far deeper: the planning stops at the cap, and its
// work does not grow with the square of the depth on the way there.
TEST_F(HostileSource, DeepNestingStopsAtTheCapNamingTheItem) {
    const auto nested = [](int depth) {
        std::string source = R"({"items": )";
        for (int i = 0; i < depth; ++i) source += R"([{"name": "m)" + std::to_string(i) + R"(", "items": )";
        source += "[]";
        for (int i = 0; i < depth; ++i) source += "}]";
        return source + "}";
    };
    const TimedRun at_cap = Build(nested(16));
    EXPECT_LE(at_cap.run.status, 1) << at_cap.run.err;

    const TimedRun deep = Build(nested(10000));
    EXPECT_EQ(deep.run.status, 2);
    std::string seventeenth = "items[0]";
    for (int i = 1; i < 17; ++i) seventeenth += ".items[0]";
    EXPECT_NE(deep.run.err.find("bar.json: " + seventeenth + ": items nest deeper than 16 levels"), std::string::npos)
        << deep.run.err.substr(0, 300);
    EXPECT_LT(deep.seconds, kAtOnce);
}

// A crafted resource tree in a copy of the real library: every entry of the root names the same
// type directory, and every entry of that one the same language directory, so a reader that
// follows each entry visits count * count of them.
TEST(HostileLibrary, ADirectoryReachedTwiceIsRefusedAtOnce) {
    std::string library;
    std::stringstream list(TB_TOOLBAR_LIBRARIES);
    for (std::string path; library.empty() && std::getline(list, path, '|');) {
        if (auto bytes = ReadWholeFile(path)) library = std::move(*bytes);
    }
    if (library.empty()) GTEST_SKIP() << "no Windows build of the toolbar library here (build/win32, build/win64)";

    const auto u16 = [&](size_t at) { return ByteReader::LoadU16(reinterpret_cast<const unsigned char*>(&library[at])); };
    const auto u32 = [&](size_t at) { return ByteReader::LoadU32(reinterpret_cast<const unsigned char*>(&library[at])); };
    const auto put = [&](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) library[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const auto zero = [&](size_t at, size_t bytes) { std::fill_n(library.begin() + static_cast<std::ptrdiff_t>(at), bytes, '\0'); };
    const size_t coff = u32(0x3C) + 4;
    const size_t sections = coff + 20 + u16(coff + 16);
    size_t raw = 0, size = 0;
    for (size_t i = 0; i < u16(coff + 2); ++i) {
        const size_t header = sections + 40 * i;
        if (library.compare(header, 6, ".rsrc\0", 6) == 0) {
            raw = u32(header + 20);
            size = std::min(u32(header + 16), u32(header + 8));
        }
    }
    ASSERT_NE(raw, 0u) << "the library has a resource section";
    const uint32_t count = static_cast<uint32_t>(std::min<size_t>(300, (size - 48) / 16));
    ASSERT_GE(count, 50u);
    const uint32_t types = 16 + 8 * count;
    const uint32_t languages = types + 16 + 8 * count;
    for (const uint32_t directory : {0u, types}) {
        zero(raw + directory, 12);
        put(raw + directory + 12, 0, 2);
        put(raw + directory + 14, count, 2);
        for (uint32_t i = 0; i < count; ++i) {
            put(raw + directory + 16 + 8 * i, i + 1, 4);
            put(raw + directory + 20 + 8 * i, 0x80000000u | (directory == 0 ? types : languages), 4);
        }
    }
    zero(raw + languages, 16);
    const std::string crafted = Scratch("hostile", "crafted.dll");
    WriteWholeFile(crafted, library);

    const TimedRun r = TimedTool({"brand", crafted, std::string(TB_SOURCE_DIR) + "/samples/sample-bar/sample-bar.json",
                                  "--out", Scratch("hostile", "Branded.dll")});
    EXPECT_EQ(r.run.status, 2);
    // Depth first: the language directory is the first one reached again.
    EXPECT_NE(r.run.err.find(crafted + ": damaged resources: the directory at offset " + std::to_string(languages) +
                             " is reached twice"),
              std::string::npos)
        << r.run.err;
    EXPECT_LT(r.seconds, kAtOnce);
}

// The output's folder is made, as `build` makes OUTDIR.
TEST(HostileLibrary, BrandMakesTheFolderOfItsOutput) {
    std::string library;
    std::stringstream list(TB_TOOLBAR_LIBRARIES);
    for (std::string path; library.empty() && std::getline(list, path, '|');) {
        if (FileExists(path)) library = path;
    }
    if (library.empty()) GTEST_SKIP() << "no Windows build of the toolbar library here (build/win32, build/win64)";
    const std::string out = Scratch("hostile", "made/for/it/Bar.dll");
    fs::remove_all(Scratch("hostile", "made"));
    const ToolRun run =
        Tool({"brand", library, std::string(TB_SOURCE_DIR) + "/samples/sample-bar/sample-bar.json", "--out", out});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(FileExists(out));
}

}  // namespace
}  // namespace tb::tool
