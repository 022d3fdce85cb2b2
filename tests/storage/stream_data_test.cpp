// The stream back-end: file names, the embedded copy, handlers that supply or take the bytes,
// folder creation, file errors and progress.
#include <gtest/gtest.h>

#include "base/errors.hpp"
#include "base/platform_folders.hpp"
#include "storage_fixture.hpp"

namespace tb {
namespace {

using testing_support::Bytes;
using testing_support::FileStore;

// A store image with the single root key "From" holding `text`.
std::string ImageWith(const std::string& text) {
    TrsStorage store;
    store.WriteString("\\From", text);
    return TrsBinData::EncodeTables(store);
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }
std::string StemOf(const std::string& path) {
    std::string name = path.substr(path.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.'));
}

TEST(ResolveFileName, CombinesFolderChoiceNameAndExtension) {
    const char s = PathSeparator();
    const std::string sep(1, s);
    const std::string exe = HostExecutablePath();
    ASSERT_FALSE(exe.empty());
    const struct {
        const char* what;
        TrsStreamFileDir dir;
        TrsStreamDataOptions options;
        std::string file_name;
        std::string expected;
    } cases[] = {
        {"custom full path", fdCustom, 0, "C:\\Data\\Tb\\Main.tb", "C:\\Data\\Tb\\Main.tb"},
        {"custom bare name gets .bin", fdCustom, 0, "Main", "Main.bin"},
        {"custom empty name", fdCustom, 0, "", ".bin"},
        {"a dot in a folder is no extension", fdCustom, 0, "a.d" + sep + "Main", "a.d" + sep + "Main.bin"},
        {"windows folder and a relative name", fdWindows, 0, "Sub" + sep + "Main",
         WindowsFolder() + sep + "Sub" + sep + "Main.bin"},
        {"application folder, automatic name", fdApplication, doAutoName, "", FolderOf(exe) + StemOf(exe) + ".bin"},
        {"automatic name keeps the given extension", fdApplication, doAutoName, "x.tb",
         FolderOf(exe) + StemOf(exe) + ".tb"},
        {"a drive part is not appended", fdApplication, 0, "C:\\x\\y.tb", FolderOf(exe) + "y.tb"},
        {"user profile", fdUserProfile, 0, "Tb" + sep + "Data.ini",
         UserAppDataFolder() + sep + "Tb" + sep + "Data.ini"},
    };
    for (const auto& c : cases) {
        TrsBinData data;
        data.FileDir = c.dir;
        data.Options = c.options;
        data.FileName = c.file_name;
        EXPECT_EQ(data.ResolveFileName(), c.expected) << c.what;
    }
}

class StreamDataTest : public testing_support::TempFolderTest {};

TEST_F(StreamDataTest, EmbeddedCopyIsUsedAsChosen) {
    const std::string file_image = ImageWith("file");
    WriteWholeFile(Path("copy.bin"), ImageWith("copy"));
    const struct {
        TrsInternalFileLoad load;
        bool file_exists;
        const char* expected;
    } cases[] = {
        {iflNone, true, "file"},     {iflNone, false, "-"},          {iflNoRealFile, true, "file"},
        {iflNoRealFile, false, "copy"}, {iflAlways, true, "copy"}, {iflAlways, false, "copy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.load << " " << c.file_exists);
        std::remove(Path("main.bin").c_str());
        if (c.file_exists) WriteWholeFile(Path("main.bin"), file_image);
        FileStore f(Path("main.bin"));
        f.data.SetInternalFileName(Path("copy.bin"));
        f.data.InternalFileLoad = c.load;
        f.store.Reload();
        EXPECT_EQ(f.store.ReadString("From", "-"), c.expected);
        EXPECT_EQ(f.data.InternalStream(), ImageWith("copy"));  // parsing leaves the copy alone
    }
}

TEST_F(StreamDataTest, InternalFileNameTakesOrDropsTheCopy) {
    WriteWholeFile(Path("copy.bin"), "abc");
    TrsBinData data;
    data.SetInternalFileName(Path("copy.bin"));
    EXPECT_EQ(data.InternalFileName(), Path("copy.bin"));
    EXPECT_EQ(data.InternalStream(), "abc");
    WriteWholeFile(Path("copy.bin"), "changed");
    data.SetInternalFileName(Path("copy.bin"));  // the same name: nothing happens
    EXPECT_EQ(data.InternalStream(), "abc");
    data.SetInternalFileName(Path("none.bin"));
    EXPECT_EQ(data.InternalFileName(), "");
    EXPECT_EQ(data.InternalStream(), "");
    data.SetInternalStream("xyz");
    EXPECT_EQ(data.InternalStream(), "xyz");
}

TEST_F(StreamDataTest, LoadHandlerCanSupplyTheBytes) {
    WriteWholeFile(Path("main.bin"), ImageWith("file"));
    FileStore f(Path("main.bin"));

    // The handler's bytes alone, the file untouched.
    f.data.OnLoadFromStream = [](TrsStreamData&, TMemoryStream& stream, bool& do_standard) {
        EXPECT_FALSE(do_standard);
        stream.Write(ImageWith("handler"));
    };
    f.store.Reload();
    EXPECT_EQ(f.store.ReadString("From", "-"), "handler");
    EXPECT_EQ(f.data.WorkStream().Bytes(), ImageWith("handler"));  // a handler's bytes stay

    // A handler that asks for the standard load as well: the file wins.
    f.data.OnLoadFromStream = [](TrsStreamData&, TMemoryStream& stream, bool& do_standard) {
        stream.Write(ImageWith("handler"));
        do_standard = true;
    };
    f.store.Reload();
    EXPECT_EQ(f.store.ReadString("From", "-"), "file");
    EXPECT_EQ(f.data.WorkStream().Size(), 0u);
}

TEST_F(StreamDataTest, SaveHandlerCanTakeTheBytes) {
    FileStore f(Path("main.bin"), soSaveOnClose);
    std::string taken;
    f.data.OnSaveToStream = [&](TrsStreamData&, TMemoryStream& stream, bool&) {
        EXPECT_EQ(stream.Position(), 0u);
        taken = stream.Bytes();
    };
    f.store.SetActive(true);
    f.store.WriteString("\\From", "saved");
    f.store.Close();
    EXPECT_EQ(taken, ImageWith("saved"));
    EXPECT_FALSE(FileExists(Path("main.bin")));
}

TEST_F(StreamDataTest, MissingFoldersAreCreatedOnlyWhenAsked) {
    const std::string path = Path("a/b/c/main.bin");
    FileStore f(path, soSaveOnClose);
    f.store.SetActive(true);
    f.store.WriteString("\\From", "deep");
    std::vector<std::string> log;
    f.data.OnAfterSave = [&](TrsStorageData&) { log.push_back("data after save"); };
    f.store.OnAfterSave = [&](TrsStorage&) { log.push_back("store after save"); };
    f.store.SetRootSection("\\Kept");
    try {
        f.store.Close();
        FAIL() << "saved into a missing folder";
    } catch (const FileCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + path + "\". ", 0), 0u) << e.what();
    }
    EXPECT_TRUE(f.store.Active());
    EXPECT_EQ(f.store.RootSection(), "\\Kept");
    EXPECT_EQ(log, std::vector<std::string>{"data after save"});

    f.data.Options = doAutoCreateDir;
    f.store.Close();
    EXPECT_FALSE(f.store.Active());
    EXPECT_EQ(ReadWholeFile(path), [&] {
        TrsStorage expected;
        expected.WriteString("\\From", "deep");
        expected.SetRootSection("\\Kept");
        return TrsBinData::EncodeTables(expected);
    }());
}

TEST_F(StreamDataTest, ProgressIsReportedOncePerPercent) {
    TrsStorage source;
    for (int i = 0; i < 3; ++i) source.WriteInteger("\\S" + std::to_string(i) + "\\k", i);
    WriteWholeFile(Path("p.bin"), TrsBinData::EncodeTables(source));  // 3 sections, 3 keys
    FileStore f(Path("p.bin"));
    std::vector<int> seen;
    f.data.OnProgress = [&](TrsStorageData&, std::int32_t percent) { seen.push_back(percent); };
    f.store.Reload();
    EXPECT_EQ(seen, (std::vector<int>{0, 16, 33, 50, 66, 83, 100}));
}

TEST_F(StreamDataTest, ProgressHandlerThatRaisesStopsTheLoadKeepingWhatWasRead) {
    TrsStorage source;
    for (int i = 0; i < 3; ++i) source.WriteInteger("\\S" + std::to_string(i) + "\\k", i);
    WriteWholeFile(Path("p.bin"), TrsBinData::EncodeTables(source));  // 3 sections, 3 keys
    FileStore f(Path("p.bin"));
    f.data.OnProgress = [](TrsStorageData&, std::int32_t percent) {
        if (percent >= 50) throw Error("cancelled");
    };
    bool after_load = false;
    f.data.OnAfterLoad = [&](TrsStorageData&) { after_load = true; };
    try {
        f.store.Reload();
        FAIL() << "the handler's error was swallowed";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "cancelled");
    }
    EXPECT_TRUE(after_load);
    // The sections read before the handler raised are there; no key was reached.
    ASSERT_EQ(f.store.Sections().size(), 3u);
    EXPECT_EQ(f.store.Sections()[2].name, "S2");
    EXPECT_TRUE(f.store.Keys().empty());
    EXPECT_TRUE(f.store.SectionExists("\\S2"));

    f.data.OnProgress = nullptr;
    f.store.Reload();
    EXPECT_EQ(f.store.ReadInteger("\\S2\\k", -1), 2);
}

// A store holding only part of its file must never write that part over the whole file, whether
// the file was cut short or the load was stopped part-way.
TEST_F(StreamDataTest, PartlyLoadedStoreRefusesToSaveOverItsFile) {
    TrsStorage source;
    for (int i = 0; i < 3; ++i) source.WriteInteger("\\S" + std::to_string(i) + "\\k", i);
    const std::string whole = TrsBinData::EncodeTables(source);
    for (const bool cut_short : {true, false}) {
        SCOPED_TRACE(cut_short ? "file cut short" : "load stopped by a handler");
        const std::string on_disk = cut_short ? whole.substr(0, whole.size() - 3) : whole;
        WriteWholeFile(Path("p.bin"), on_disk);
        FileStore f(Path("p.bin"), soSaveOnClose);
        f.store.SetActive(true);
        if (!cut_short) {
            f.data.OnProgress = [](TrsStorageData&, std::int32_t percent) {
                if (percent >= 50) throw Error("cancelled");
            };
            EXPECT_THROW(f.store.Reload(), Error);
        }
        EXPECT_TRUE(f.store.Damaged());
        EXPECT_THROW(f.store.Close(), TrsException);
        EXPECT_TRUE(f.store.Active()) << "a failed save leaves the store active";
        EXPECT_EQ(ReadWholeFile(Path("p.bin")), on_disk);
        // Once the whole file is read again, saving works as usual.
        f.data.OnProgress = nullptr;
        WriteWholeFile(Path("p.bin"), whole);
        f.store.Reload();
        EXPECT_FALSE(f.store.Damaged());
        f.store.Close();
        EXPECT_FALSE(f.store.Active());
    }
}

TEST_F(StreamDataTest, LoadHandlerThatDetachesTheStoreLeavesItEmpty) {
    FileStore f(Path("main.bin"));
    f.store.WriteString("\\Before", "x");
    f.data.OnLoadFromStream = [&](TrsStreamData& data, TMemoryStream& stream, bool&) {
        stream.Write(ImageWith("handler"));
        data.DetachStore(&f.store);
    };
    f.store.Reload();
    EXPECT_EQ(f.data.CurrentStore(), nullptr);
    EXPECT_TRUE(f.store.Keys().empty());
    EXPECT_EQ(f.store.ReadString("From", "-"), "-");
}

TEST(FolderChain, CreatesEveryLevel) {
    const testing_support::TempFolder temp;
    const std::string root = temp.Path("chain");
    CreateFolderChain(root + "/x/y\\z/");
    EXPECT_TRUE(DirectoryExists(root + "/x/y"));
    CreateFolderChain(root + "/x/y");  // existing folders are no failure
}

}  // namespace
}  // namespace tb
