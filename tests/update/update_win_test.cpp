#include "settings/template_update_win.hpp"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.hpp"

#include <filesystem>
#include <thread>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "base/text.hpp"
#include "settings/toolbar_settings.hpp"
#include "settings/update_signature_win.hpp"
#include "storage/bin_data.hpp"
#include "storage/read_only_store.hpp"
#include "storage/storage.hpp"
#include "tests/update/http_server_win.hpp"

namespace tb {
namespace {

namespace fs = std::filesystem;
using testing_support::HttpServer;
using testing_support::Reply;
using Mode = Reply::Mode;

constexpr char kBase[] = "SampleBar";
// Short enough that a stalled server ends a test quickly; the shipped size limits.
constexpr DownloadTimeouts kQuickTimes{2000, 1500, 10000};
constexpr UpdateLimits kQuick{kQuickTimes};
constexpr DownloadLimits kQuickDownload{kQuickTimes};

std::string TemplateImage(const std::string& toolbar_name) {
    TrsStorage store;
    store.WriteString("\\Options\\Toolbar Name", toolbar_name);
    store.WriteString("\\Options\\Home Page", "http://127.0.0.1/home");
    return TrsBinData::EncodeTables(store);
}

std::string IconImage(bool with_icons, const std::string& marker) {
    TrsStorage store;
    if (with_icons) store.WriteBinary("\\Icons", "image list " + marker);
    store.WriteString("\\Marker", marker);
    return TrsBinData::EncodeTables(store);
}


std::string Flipped(std::string bytes, size_t at) {
    bytes.at(at) = static_cast<char>(bytes.at(at) ^ 0x01);
    return bytes;
}

std::string ToolbarName(const std::string& path) {
    if (!FileExists(path)) return "";
    ReadOnlyStore loaded(path);
    return loaded.Store().ReadString("Options\\Toolbar Name", "");
}

std::string IconMarker(const std::string& path) {
    if (!FileExists(path)) return "";
    ReadOnlyStore loaded(path);
    return loaded.Store().KeyExists("\\Icons") ? loaded.Store().ReadString("\\Marker", "") : "";
}

class Update : public testing_support::TempFolderTest {
protected:
    void TearDown() override {
        // A transfer given up on ends when its server goes, and then removes its own file.
        server_.reset();
        EXPECT_TRUE(WaitForNoPartFiles()) << "a given-up transfer left its file behind";
    }
    bool WaitForNoPartFiles() {
        for (int i = 0; i < 500; ++i) {
            bool any = false;
            for (const auto& entry : fs::directory_iterator(folder_)) {
                any = any || entry.path().extension() == ".part";
            }
            if (!any) return true;
            Sleep(10);
        }
        return false;
    }

    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    std::string Current() const { return Path(std::string(kBase) + ".tb"); }
    std::string Download() const { return Path(std::string(kBase) + " Internet.tb"); }
    std::string Previous() const { return Path(std::string(kBase) + " Default.tb"); }

    void InstallCurrent(const std::string& name, const std::string& icon_marker) {
        WriteWholeFile(Current(), TemplateImage(name));
        WriteWholeFile(Path("Icons.bin"), IconImage(true, icon_marker));
    }
    void Publish(const std::string& name, const std::string& icon_marker) {
        server_->Set(std::string("/bar/") + kBase + ".tb", Reply{TemplateImage(name)});
        server_->Set("/bar/icons.bin", Reply{IconImage(true, icon_marker)});
    }
    std::u16string Run(std::u16string url, const UpdateLimits& limits = kQuick) {
        UpdateTemplate(AnsiToUtf16(folder_), AnsiToUtf16(kBase), url, limits);
        return url;
    }
    std::u16string Location() const { return AnsiToUtf16(server_->Root() + "bar/"); }

    // What must hold after any update: the toolbar loads a template and an icon store.
    void ExpectWorkingToolbar() {
        EXPECT_FALSE(ToolbarName(Current()).empty()) << "the toolbar lost its template";
        EXPECT_FALSE(IconMarker(Path("Icons.bin")).empty()) << "the toolbar lost its icon store";
    }
    // What must hold after any transfer: nothing in the data folder is larger than the update takes.
    void ExpectNoFileLargerThan(unsigned long long limit) {
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.is_regular_file()) {
                EXPECT_LE(entry.file_size(), limit) << entry.path().string();
            }
        }
    }
    bool AnyPartFile() const {
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().extension() == ".part") return true;
        }
        return false;
    }

    std::unique_ptr<HttpServer> server_ = std::make_unique<HttpServer>();
};

TEST_F(Update, WithoutALocationNothingIsFetchedOrTouched) {
    InstallCurrent("Old", "old icons");
    for (const std::u16string blank : {u"", u"   ", u"\t "}) {
        EXPECT_EQ(Run(blank), blank);
    }
    EXPECT_TRUE(server_->Requests().empty());
    EXPECT_EQ(fs::directory_iterator(folder_) == fs::directory_iterator(), false);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

TEST_F(Update, AMissingSlashIsAddedOnceAndBothFilesAreAskedFor) {
    const std::u16string without = AnsiToUtf16(server_->Root() + "bar");
    EXPECT_EQ(Run(without), without + u"/");
    EXPECT_EQ(Run(without + u"/"), without + u"/");
    const std::vector<std::string> expected = {"/bar/SampleBar.tb", "/bar/icons.bin", "/bar/SampleBar.tb",
                                               "/bar/icons.bin"};
    EXPECT_EQ(server_->Requests(), expected);
}

TEST_F(Update, AcceptedFilesReplaceTheCurrentOnesWhichBecomeTheDefaults) {
    InstallCurrent("Old", "old icons");
    WriteWholeFile(Previous(), TemplateImage("Older"));
    WriteWholeFile(Path("Icons Default.bin"), IconImage(true, "older icons"));
    Publish("New", "new icons");
    Run(Location());

    EXPECT_EQ(ToolbarName(Current()), "New");
    EXPECT_EQ(ToolbarName(Previous()), "Old");
    EXPECT_FALSE(FileExists(Download()));
    EXPECT_EQ(IconMarker(Path("Icons.bin")), "new icons");
    EXPECT_EQ(IconMarker(Path("Icons Default.bin")), "old icons");
    EXPECT_FALSE(FileExists(Path("Internet Icons.bin")));
}

TEST_F(Update, WithoutCurrentFilesTheDownloadsBecomeCurrent) {
    Publish("New", "new icons");
    Run(Location());
    EXPECT_EQ(ToolbarName(Current()), "New");
    EXPECT_EQ(IconMarker(Path("Icons.bin")), "new icons");
    EXPECT_FALSE(FileExists(Previous()));
    EXPECT_FALSE(FileExists(Path("Icons Default.bin")));
}

TEST_F(Update, ADownloadWithoutAToolbarNameOrIconsIsLeftAside) {
    InstallCurrent("Old", "old icons");
    server_->Set("/bar/SampleBar.tb", Reply{TemplateImage("")});
    server_->Set("/bar/icons.bin", Reply{IconImage(false, "no icons key")});
    Run(Location());
    EXPECT_EQ(ToolbarName(Current()), "Old");
    EXPECT_EQ(IconMarker(Path("Icons.bin")), "old icons");
    EXPECT_TRUE(FileExists(Download()));
    EXPECT_TRUE(FileExists(Path("Internet Icons.bin")));
    EXPECT_FALSE(FileExists(Previous()));
    EXPECT_FALSE(FileExists(Path("Icons Default.bin")));
}

TEST_F(Update, TheIconPhaseRunsAfterARejectedTemplateAndAnErrorPageIsKeptUntilTheNextUpdate) {
    InstallCurrent("Old", "old icons");
    server_->Set("/bar/icons.bin", Reply{IconImage(true, "new icons")});
    Run(Location());  // the template gets the server's 404 page
    EXPECT_EQ(ToolbarName(Current()), "Old");
    EXPECT_EQ(IconMarker(Path("Icons.bin")), "new icons");
    ASSERT_TRUE(FileExists(Download()));
    EXPECT_NE(ReadWholeFile(Download())->find("404 Not Found"), std::string::npos);

    // The next update, with the server gone, starts by removing the old error page.
    std::u16string gone = AnsiToUtf16("http://127.0.0.1:" + std::to_string(HttpServer::ClosedPort()) + "/bar/");
    Run(gone);
    EXPECT_FALSE(FileExists(Download()));
    ExpectWorkingToolbar();
}

// A downloaded template whose records run past its end is rejected even when the name reads well.
TEST_F(Update, ADamagedDownloadIsRejected) {
    InstallCurrent("Old", "old icons");
    const std::string whole = TemplateImage("New");
    server_->Set("/bar/SampleBar.tb", Reply{whole.substr(0, whole.size() - 3)});
    std::string icons = IconImage(true, "new icons");
    server_->Set("/bar/icons.bin", Reply{icons.substr(0, icons.size() - 1)});
    Run(Location());
    EXPECT_EQ(ToolbarName(Current()), "Old");
    EXPECT_EQ(IconMarker(Path("Icons.bin")), "old icons");
}

struct Fault {
    const char* name;
    Mode mode;
    std::string body;
    bool leaves_download;  // a complete (if useless) answer stays on disk; a broken transfer does not
};

class UpdateFaults : public Update, public testing::WithParamInterface<Fault> {};

TEST_P(UpdateFaults, TheToolbarKeepsItsFilesAndNoPartialDownloadRemains) {
    const Fault& fault = GetParam();
    InstallCurrent("Old", "old icons");
    const std::string good = TemplateImage("New");
    const std::string body = fault.body.empty() && fault.mode != Mode::kWhole ? good : fault.body;
    server_->Set("/bar/SampleBar.tb", Reply{body, 200, fault.mode});
    server_->Set("/bar/icons.bin", Reply{fault.body.empty() && fault.mode != Mode::kWhole ? IconImage(true, "new") : body,
                                        200, fault.mode});
    const DWORD start = GetTickCount();
    Run(Location());
    EXPECT_LT(GetTickCount() - start, 15000u) << "the update must not hang";
    EXPECT_EQ(ToolbarName(Current()), "Old");
    EXPECT_EQ(IconMarker(Path("Icons.bin")), "old icons");
    EXPECT_EQ(FileExists(Download()), fault.leaves_download);
    EXPECT_EQ(FileExists(Path("Internet Icons.bin")), fault.leaves_download);
    EXPECT_EQ(server_->Requests().size(), 2u) << "the icon phase runs as well";
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, UpdateFaults,
    testing::Values(Fault{"ClosedMidBody", Mode::kCloseMidBody, "", false},
                    Fault{"ResetMidBody", Mode::kResetMidBody, "", false},
                    Fault{"StalledMidBody", Mode::kStallMidBody, "", false},
                    Fault{"Garbage", Mode::kWhole, std::string("\x07\x00\xff\xfe garbage \x01\x02\x03", 16), true},
                    Fault{"EmptyBody", Mode::kWhole, "", true},
                    Fault{"NoHttpAtAll", Mode::kRawBytes, "SSH-2.0-not-a-web-server\r\n", true}),
    [](const auto& p) { return p.param.name; });

TEST_F(Update, AServerThatIsDownChangesNothing) {
    InstallCurrent("Old", "old icons");
    std::u16string down = AnsiToUtf16("http://127.0.0.1:" + std::to_string(HttpServer::ClosedPort()) + "/bar/");
    Run(down);
    ExpectWorkingToolbar();
    EXPECT_EQ(ToolbarName(Current()), "Old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 2);
}

TEST_F(Update, ADownloadThatCannotBeWrittenIsRaisedAndStopsTheUpdate) {
    InstallCurrent("Old", "old icons");
    Publish("New", "new icons");
    fs::create_directories(Download());  // a folder where the download should go
    std::u16string url = Location();
    EXPECT_THROW(UpdateTemplate(AnsiToUtf16(folder_), AnsiToUtf16(kBase), url, kQuick), FileCreateError);
    EXPECT_EQ(server_->Requests(), std::vector<std::string>{"/bar/SampleBar.tb"}) << "no icon phase";
    ExpectWorkingToolbar();

    // A data folder that does not exist at all.
    std::u16string again = Location();
    EXPECT_THROW(UpdateTemplate(AnsiToUtf16(folder_ + "\\missing"), AnsiToUtf16(kBase), again, kQuick),
                 FileCreateError);
    EXPECT_FALSE(fs::exists(folder_ + "\\missing"));
}

// Holds a file open without letting anyone rename or delete it.
class RenameBlocker {
public:
    explicit RenameBlocker(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr)) {}
    ~RenameBlocker() { Release(); }
    bool Holding() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

TEST_F(Update, ACurrentFileThatCannotBeRenamedStaysInUse) {
    InstallCurrent("Old", "old icons");
    Publish("New", "new icons");
    RenameBlocker current(Current());
    RenameBlocker icons(Path("Icons.bin"));
    ASSERT_TRUE(current.Holding() && icons.Holding());
    Run(Location());
    current.Release();
    icons.Release();
    EXPECT_EQ(ToolbarName(Current()), "Old");
    EXPECT_EQ(IconMarker(Path("Icons.bin")), "old icons");
}

// The download is held open by someone else while it would be renamed into place: the current file,
// already moved to its " Default" name, comes back.
TEST_F(Update, ADownloadThatCannotTakeItsPlaceBringsTheCurrentFileBack) {
    InstallCurrent("Old", "old icons");
    Publish("New", "new icons");
    std::vector<std::unique_ptr<RenameBlocker>> blockers;
    SetBeforeSwapForTesting([&](const std::string& download) {
        blockers.push_back(std::make_unique<RenameBlocker>(download));
    });
    Run(Location());
    SetBeforeSwapForTesting(nullptr);
    ASSERT_EQ(blockers.size(), 2u);
    EXPECT_TRUE(blockers[0]->Holding() && blockers[1]->Holding());
    blockers.clear();
    EXPECT_EQ(ToolbarName(Current()), "Old");
    EXPECT_EQ(IconMarker(Path("Icons.bin")), "old icons");
    EXPECT_EQ(ToolbarName(Download()), "New") << "the download stays for the next update";
    EXPECT_FALSE(FileExists(Previous()));
}

std::atomic<int> handled{0};

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP + 7) ++handled;
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST_F(Update, WindowMessagesAreHandledBetweenBlocks) {
    handled = 0;
    WNDCLASSA type{};
    type.lpfnWndProc = CountingWindowProc;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = "TbUpdateTestWindow";
    RegisterClassA(&type);
    const HWND window = CreateWindowA("TbUpdateTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);

    // The server posts a message half-way through the body and waits until the download handled it.
    bool handled_during_transfer = false;
    server_->Set("/file", Reply{std::string(8192, 'x'), 200, Mode::kWhole, [&] {
                                   PostMessageA(window, WM_APP + 7, 0, 0);
                                   for (int i = 0; i < 300 && handled == 0; ++i) Sleep(10);
                                   handled_during_transfer = handled > 0;
                               }});
    DownloadFile(server_->Root() + "file", Path("file.bin"), kQuickDownload);
    DestroyWindow(window);
    EXPECT_TRUE(handled_during_transfer);
    EXPECT_EQ(ReadWholeFile(Path("file.bin")), std::string(8192, 'x'));
}

// A server that sends less than a block and then goes quiet keeps the worker's read waiting (a read
// returns once its block is full or the connection ends). Giving up must end the worker as well:
// while it waits it holds the connection, its part file and the library.
TEST_F(Update, GivingUpEndsTheWorkersReadAndRemovesItsPartFile) {
    server_->Set("/file", Reply{std::string(1000, 'x'), 200, Mode::kStallMidBody});
    DownloadLimits limits = kQuickDownload;
    limits.timeouts.receive_ms = 1000;
    ASSERT_EQ(RunningTransferWorkers(), 0);
    std::thread download([&] { DownloadFile(server_->Root() + "file", Path("file.bin"), limits); });
    bool seen_waiting = false;  // the worker runs and has its part file: the read waits
    for (int i = 0; i < 300 && !seen_waiting; ++i) {
        seen_waiting = RunningTransferWorkers() == 1 && AnyPartFile();
        Sleep(10);
    }
    download.join();
    const DWORD gave_up = GetTickCount();
    while (RunningTransferWorkers() > 0 && GetTickCount() - gave_up < 2000) Sleep(10);
    EXPECT_TRUE(seen_waiting);
    EXPECT_EQ(RunningTransferWorkers(), 0) << "the worker still waits in its read after the transfer was given up";
    EXPECT_FALSE(AnyPartFile());
    EXPECT_FALSE(FileExists(Path("file.bin")));
}

// Without its event the wait would spin for as long as the transfer runs; a transfer that cannot
// have one does not start, and leaves no file.
TEST_F(Update, ATransferWithoutItsEventIsNotStarted) {
    server_->Set("/file", Reply{"body"});
    SetEventCreationFailsForTesting(true);
    DownloadFile(server_->Root() + "file", Path("file.bin"), kQuickDownload);
    SetEventCreationFailsForTesting(false);
    EXPECT_FALSE(FileExists(Path("file.bin")));
    EXPECT_TRUE(server_->Requests().empty());

    DownloadFile(server_->Root() + "file", Path("file.bin"), kQuickDownload);
    EXPECT_EQ(ReadWholeFile(Path("file.bin")), "body");
}

TEST_F(Update, ATextThatIsNoWebAddressIsNotFetched) {
    DownloadFile("127.0.0.1", Path("a.bin"), kQuickDownload);
    DownloadFile("http://127.0.0.1:" + std::to_string(server_->Root().size()) + "/a b", Path("b.bin"), kQuickDownload);
    EXPECT_FALSE(FileExists(Path("a.bin")));
    EXPECT_FALSE(FileExists(Path("b.bin")));
    EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(Update, TheToolbarRecordGivesThePlacesAndKeepsTheAddedSlash) {
    const ToolbarSettings saved = CurrentSettings();
    Publish("New", "new icons");
    const std::u16string without = AnsiToUtf16(server_->Root() + "bar");
    ChangeSettings([&](ToolbarSettings& s) {
        s.DataFolder = AnsiToUtf16(folder_);
        s.TemplateBaseName = AnsiToUtf16(kBase);
        s.UpdatesUrl = without;
    });
    UpdateTemplate();
    const std::u16string kept = CurrentSettings().UpdatesUrl;
    ChangeSettings([&](ToolbarSettings& s) { s = saved; });
    EXPECT_EQ(kept, without + u"/");
    EXPECT_EQ(ToolbarName(Current()), "New");
    EXPECT_EQ(IconMarker(Path("Icons.bin")), "new icons");
}

// Bounded downloads. The tests use small limits through the same seam as the time-outs; the
// shipped limits are far larger but are applied by the same code.

struct SizeCase {
    const char* name;
    Mode mode;         // with or without an announced length
    long long margin;  // the limit minus the body's size
    bool accepted;
};

class UpdateSizeLimit : public Update, public testing::WithParamInterface<SizeCase> {};

TEST_P(UpdateSizeLimit, ABodyOverTheLimitLeavesNoFileAndOneAtTheLimitIsTaken) {
    const SizeCase& c = GetParam();
    InstallCurrent("Old", "old icons");
    const std::string templ = TemplateImage("New");
    const std::string icons = IconImage(true, "new icons");
    server_->Set("/bar/SampleBar.tb", Reply{templ, 200, c.mode});
    server_->Set("/bar/icons.bin", Reply{icons, 200, c.mode});
    UpdateLimits limits = kQuick;
    limits.template_bytes = templ.size() + c.margin;
    limits.icon_store_bytes = icons.size() + c.margin;
    Run(Location(), limits);

    EXPECT_EQ(ToolbarName(Current()), c.accepted ? "New" : "Old");
    EXPECT_EQ(IconMarker(Path("Icons.bin")), c.accepted ? "new icons" : "old icons");
    EXPECT_FALSE(FileExists(Download()));
    EXPECT_FALSE(FileExists(Path("Internet Icons.bin")));
    ExpectWorkingToolbar();
}

INSTANTIATE_TEST_SUITE_P(Bounds, UpdateSizeLimit,
                         testing::Values(SizeCase{"AnnouncedAtTheLimit", Mode::kWhole, 0, true},
                                         SizeCase{"AnnouncedOneOver", Mode::kWhole, -1, false},
                                         SizeCase{"UnannouncedAtTheLimit", Mode::kUnannounced, 0, true},
                                         SizeCase{"UnannouncedOneOver", Mode::kUnannounced, -1, false}),
                         [](const auto& p) { return p.param.name; });

TEST_F(Update, AnEndlessBodyStopsAtTheLimitAndLeavesNoFile) {
    InstallCurrent("Old", "old icons");
    server_->Set("/bar/SampleBar.tb", Reply{std::string(4096, 'x'), 200, Mode::kEndless});
    server_->Set("/bar/icons.bin", Reply{std::string(4096, 'y'), 200, Mode::kEndless});
    UpdateLimits limits = kQuick;
    limits.template_bytes = 256 << 10;
    limits.icon_store_bytes = 512 << 10;
    const DWORD start = GetTickCount();
    Run(Location(), limits);
    EXPECT_LT(GetTickCount() - start, 8000u) << "ended by the size limit, well before the deadline";
    EXPECT_EQ(server_->Requests().size(), 2u);
    EXPECT_FALSE(FileExists(Download()));
    EXPECT_FALSE(FileExists(Path("Internet Icons.bin")));
    EXPECT_FALSE(AnyPartFile());
    ExpectNoFileLargerThan(limits.icon_store_bytes);
    ExpectWorkingToolbar();
    EXPECT_EQ(ToolbarName(Current()), "Old");
}

// The server announces more than the limit and sends half of it; half would fit, so a transfer that
// started writing would have a file by then.
TEST_F(Update, AnAnnouncedLengthOverTheLimitIsRefusedBeforeWriting) {
    InstallCurrent("Old", "old icons");
    const std::string body(48 << 10, 'x');
    std::atomic<bool> written_midway{false};
    server_->Set("/file", Reply{body, 200, Mode::kWhole, [&] {
                                    Sleep(500);
                                    written_midway = AnyPartFile() || FileExists(Path("file.bin"));
                                }});
    DownloadLimits limits = kQuickDownload;
    limits.max_bytes = 32 << 10;
    DownloadFile(server_->Root() + "file", Path("file.bin"), limits);
    EXPECT_FALSE(written_midway);
    EXPECT_FALSE(FileExists(Path("file.bin")));

    limits.max_bytes = body.size();
    DownloadFile(server_->Root() + "file", Path("file.bin"), limits);
    EXPECT_TRUE(written_midway) << "the check above would see a transfer that writes";
    EXPECT_EQ(ReadWholeFile(Path("file.bin")), body);
}

// A block every 200 ms never trips the no-progress time-out (a read returns once its block is
// full); the deadline ends each transfer.
TEST_F(Update, ADripFedTransferEndsByItsDeadline) {
    InstallCurrent("Old", "old icons");
    Reply drip{std::string(64 << 10, 'x'), 200, Mode::kDrip};
    drip.drip_ms = 200;
    drip.drip_bytes = 1024;
    server_->Set("/bar/SampleBar.tb", drip);
    server_->Set("/bar/icons.bin", drip);
    UpdateLimits limits = kQuick;
    limits.timeouts = {2000, 1000, 1500};
    const DWORD start = GetTickCount();
    Run(Location(), limits);
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 2 * 1500u);
    EXPECT_LT(took, 2 * 1500u + 3000u);
    EXPECT_EQ(server_->Requests().size(), 2u);
    EXPECT_FALSE(FileExists(Download()));
    EXPECT_FALSE(FileExists(Path("Internet Icons.bin")));
    ExpectWorkingToolbar();
    EXPECT_EQ(ToolbarName(Current()), "Old");
}

// Signature checks with the system's cryptography, on files the native tool signed. The keyed
// program (keyed/) runs them through whole updates; here, the keys that are no keys.
TEST(UpdateSignature, OnlyTheRightKeyNameAndBytesVerify) {
    const std::string data = std::string(TB_SOURCE_DIR) + "/tests/update/keyed/data/";
    const std::string key = *ReadWholeFile(data + "publisher.pub");
    const std::string signature = *ReadWholeFile(data + "SampleBar.tb.sig");
    const std::string file = data + "SampleBar.tb";
    ASSERT_TRUE(VerifyUpdateSignature(key, "SampleBar.tb", file, signature));
    EXPECT_TRUE(VerifyUpdateSignature(key, "samplebar.tb", file, signature)) << "letter case does not matter";

    const struct {
        const char* what;
        std::string key;
        std::string name;
        std::string file;
    } cases[] = {
        {"another name", key, "OtherBar.tb", file},
        {"another file", key, "SampleBar.tb", data + "Icons.bin"},
        {"a missing file", key, "SampleBar.tb", data + "missing.tb"},
        {"a key without its form byte", key.substr(1), "SampleBar.tb", file},
        {"a key of the compressed form", "\x03" + key.substr(1, 32), "SampleBar.tb", file},
        {"a point off the curve", Flipped(key, 64), "SampleBar.tb", file},
        {"no key", "", "SampleBar.tb", file},
    };
    for (const auto& c : cases) EXPECT_FALSE(VerifyUpdateSignature(c.key, c.name, c.file, signature)) << c.what;
}

}  // namespace
}  // namespace tb
