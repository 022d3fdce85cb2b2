// The template update of a library without a key, against an HTTP server on 127.0.0.1 that the
// tests run in a thread: what is swapped in and what stays, the faults of a server, one update at
// a time, the deadline, conditional requests, redirects and the log.
#include "settings/template_update_win.hpp"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.hpp"
#include "tests/support/test_window_win.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "base/file.hpp"
#include "base/handle_win.hpp"
#include "base/text.hpp"
#include "settings/toolbar_settings.hpp"
#include "settings/update_record.hpp"
#include "settings/template_update_task_win.hpp"
#include "settings/web_fetch_win.hpp"
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
constexpr UpdateLimits kQuick{3000, 1500};

std::string TemplateImage(const std::string& toolbar_name, const std::string& version = "1.0") {
    TrsStorage store;
    store.WriteString("\\Options\\Toolbar Name", toolbar_name);
    store.WriteString("\\Options\\Version", version);
    return TrsBinData::EncodeTables(store);
}

std::string IconImage(bool with_icons, const std::string& marker) {
    TrsStorage store;
    if (with_icons) store.WriteBinary("\\Icons", "image list " + marker);
    store.WriteString("\\Marker", marker);
    return TrsBinData::EncodeTables(store);
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

int Count(const std::vector<std::string>& paths, const std::string& path) {
    return static_cast<int>(std::count(paths.begin(), paths.end(), path));
}

class Update : public testing_support::TempFolderTest {
protected:
    void TearDown() override {
        server_.reset();
        for (int i = 0; i < 300 && RunningTransferWorkers() > 0; ++i) Sleep(10);
        EXPECT_EQ(RunningTransferWorkers(), 0);
        EXPECT_FALSE(AnyPartFile()) << "an update left its part file behind";
    }

    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    std::string Current() const { return Path(std::string(kBase) + ".tb"); }
    std::string Previous() const { return Path(std::string(kBase) + " Default.tb"); }
    std::string Icons() const { return Path("Icons.bin"); }
    std::string Log() const { return ReadWholeFile(Path(kUpdateLogName)).value_or(""); }

    void InstallCurrent(const std::string& name, const std::string& icon_marker) {
        WriteWholeFile(Current(), TemplateImage(name));
        WriteWholeFile(Icons(), IconImage(true, icon_marker));
    }
    void Publish(const std::string& name, const std::string& icon_marker, const std::string& version = "2.0") {
        server_->Set(std::string("/bar/") + kBase + ".tb", Reply{TemplateImage(name, version)});
        server_->Set("/bar/icons.bin", Reply{IconImage(true, icon_marker)});
    }
    UpdateTarget Target() const { return {AnsiToUtf16(folder_), AnsiToUtf16(kBase), kDefaultToolbarGuid, std::nullopt}; }
    std::string Run(std::u16string url, const UpdateLimits& limits = kQuick) {
        return UpdateTemplate(Target(), url, limits);
    }
    std::string Run() { return Run(Location()); }
    std::u16string Location() const { return AnsiToUtf16(server_->Root() + "bar/"); }
    std::string Remote(const std::string& name) const { return "/bar/" + name; }

    // The installed files, byte for byte.
    std::pair<std::string, std::string> Installed() const {
        return {ReadWholeFile(Current()).value_or("<none>"), ReadWholeFile(Icons()).value_or("<none>")};
    }
    bool AnyPartFile() const {
        for (const auto& entry : fs::directory_iterator(folder_)) {
            if (entry.path().extension() == ".part") return true;
        }
        return false;
    }

    std::unique_ptr<HttpServer> server_ = std::make_unique<HttpServer>();
};

TEST_F(Update, WithoutALocationNothingIsFetchedOrTouchedOrLogged) {
    InstallCurrent("Old", "old icons");
    for (const std::u16string blank : {u"", u"   "}) {
        std::u16string url = blank;
        EXPECT_EQ(UpdateTemplate(Target(), url, kQuick), "");
        EXPECT_EQ(url, blank);
    }
    EXPECT_TRUE(server_->Requests().empty());
    EXPECT_FALSE(FileExists(Path(kUpdateLogName)));
    EXPECT_EQ(ToolbarName(Current()), "Old");
}

// Accepted files replace the current ones, whose copies become the defaults; the log says so.
TEST_F(Update, UsableFilesAreSwappedInAndTheLogSaysToWhichVersion) {
    InstallCurrent("Old", "old icons");
    Publish("New", "new icons", "2.5");
    std::u16string url = AnsiToUtf16(server_->Root() + "bar");
    EXPECT_EQ(UpdateTemplate(Target(), url, kQuick), "updated to version 2.5");
    EXPECT_EQ(url, Location()) << "the slash is added once";
    EXPECT_EQ(server_->Requests(), (std::vector<std::string>{Remote("SampleBar.tb"), Remote("icons.bin")}));
    EXPECT_EQ(ToolbarName(Current()), "New");
    EXPECT_EQ(IconMarker(Icons()), "new icons");
    EXPECT_EQ(ToolbarName(Previous()), "Old");
    EXPECT_EQ(IconMarker(Path("Icons Default.bin")), "old icons");
    const std::string log = Log();
    EXPECT_NE(log.find("Z " + server_->Root() + "bar/ updated to version 2.5\n"), std::string::npos) << log;
}

// Anything that is no usable store, or does not arrive whole, leaves the installed files as they
// are, byte for byte, and the log names the reason.
TEST_F(Update, WhatIsNotUsableOrNotWholeChangesNothingAndTheLogSaysWhy) {
    const struct {
        const char* name;
        Reply templ;
        const char* reason;
    } cases[] = {
        {"no toolbar name", Reply{TemplateImage("")}, "refused: SampleBar.tb is not a usable template"},
        {"error page", Reply{"<html>gone</html>", 404}, "failed: SampleBar.tb: the server answered 404"},
        {"cut off", Reply{TemplateImage("New"), 200, Mode::kCloseMidBody}, "failed: SampleBar.tb: the connection broke"},
        {"stalled", Reply{TemplateImage("New"), 200, Mode::kStallMidBody}, "failed: SampleBar.tb: no answer"},
        // The internet library reads bytes without a status line as an old-style answer's body.
        {"no HTTP", Reply{"garbage\r\n\r\n", 200, Mode::kRawBytes}, "refused: SampleBar.tb is not a usable template"},
        {"endless", Reply{std::string(1024 * 1024, 'x'), 200, Mode::kEndless}, "failed: SampleBar.tb: size limit"},
        {"too large", Reply{std::string(kTemplateSizeLimit + 1, 'x')}, "failed: SampleBar.tb: size limit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server_ = std::make_unique<HttpServer>();
        InstallCurrent("Old", "old icons");
        server_->Set(Remote("SampleBar.tb"), c.templ);
        server_->Set(Remote("icons.bin"), Reply{IconImage(false, "no image list")});
        const auto before = Installed();
        const std::string outcome = Run();
        EXPECT_NE(outcome.find(c.reason), std::string::npos) << outcome;
        EXPECT_NE(outcome.find("refused: icons.bin is not a usable icon store"), std::string::npos) << outcome;
        EXPECT_EQ(Installed(), before);
        EXPECT_NE(Log().find(c.reason), std::string::npos) << Log();
        EXPECT_FALSE(AnyPartFile());
    }
}

// One deadline for the whole step: a server that drips bytes (each block moves, so no no-answer
// time trips) is given up when the step's time is over, however many files remain.
TEST_F(Update, TheWholeStepEndsByItsDeadline) {
    InstallCurrent("Old", "old icons");
    Reply drip{std::string(64 * 1024, 'x'), 200, Mode::kDrip};
    drip.drip_bytes = 1024;
    drip.drip_ms = 100;
    server_->Set(Remote("SampleBar.tb"), drip);
    server_->Set(Remote("icons.bin"), drip);
    const auto before = Installed();
    const auto start = std::chrono::steady_clock::now();
    const std::string outcome = Run(Location(), UpdateLimits{2000, 1500});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(outcome, "failed: SampleBar.tb: deadline; failed: icons.bin: deadline");
    // Dripping one file alone takes 6.4 s: well before that, with room for a loaded machine.
    EXPECT_LT(took, std::chrono::milliseconds(5000));
    EXPECT_EQ(Installed(), before);
}

// The validators the server sent come back: an unchanged file costs one request and no body.
TEST_F(Update, UnchangedFilesCostOneConditionalRequestEach) {
    InstallCurrent("Old", "old icons");
    Reply templ{TemplateImage("New", "2.0")};
    templ.etag = "\"t-2\"";
    Reply icons{IconImage(true, "new icons")};
    icons.etag = "\"i-2\"";
    server_->Set(Remote("SampleBar.tb"), templ);
    server_->Set(Remote("icons.bin"), icons);
    ASSERT_EQ(Run(), "updated to version 2.0");
    EXPECT_EQ(Run(), "not modified");
    EXPECT_EQ(server_->Requests().size(), 4u);
    EXPECT_EQ(server_->Bodies(), (std::vector<std::string>{Remote("SampleBar.tb"), Remote("icons.bin")}));
    // A validator in the state file that would add a header line of its own is not sent.
    WriteWholeFile(Path(kUpdateStateName), server_->Root() + "bar/SampleBar.tb\t\"t-2\"\r\nX: y\t\n");
    EXPECT_EQ(Run(), "updated to version 2.0");
}

TEST_F(Update, RedirectsAreFollowedAFewHopsAndOnlyToWebAddresses) {
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> hops;  // path, where it points
        const char* outcome;
    } cases[] = {
        {"one hop", {{"/bar/SampleBar.tb", "/moved/SampleBar.tb"}}, "updated to version 2.0"},
        {"three hops", {{"/bar/SampleBar.tb", "/1"}, {"/1", "/2"}, {"/2", "/moved/SampleBar.tb"}}, "updated to version 2.0"},
        {"four hops", {{"/bar/SampleBar.tb", "/1"}, {"/1", "/2"}, {"/2", "/3"}, {"/3", "/moved/SampleBar.tb"}},
         "failed: SampleBar.tb: too many redirects"},
        {"a loop", {{"/bar/SampleBar.tb", "/bar/SampleBar.tb"}}, "failed: SampleBar.tb: too many redirects"},
        {"to ftp", {{"/bar/SampleBar.tb", "ftp://127.0.0.1/SampleBar.tb"}},
         "failed: SampleBar.tb: redirected to an address that is not http or https"},
        {"to a file", {{"/bar/SampleBar.tb", "file:///C:/windows/win.ini"}},
         "failed: SampleBar.tb: redirected to an address that is not http or https"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server_ = std::make_unique<HttpServer>();
        InstallCurrent("Old", "old icons");
        server_->Set("/moved/SampleBar.tb", Reply{TemplateImage("New", "2.0")});
        Reply unchanged{IconImage(true, "old icons")};
        unchanged.etag = "\"same\"";
        server_->Set(Remote("icons.bin"), unchanged);
        WriteWholeFile(Path(kUpdateStateName), server_->Root() + "bar/icons.bin\t\"same\"\t\n");
        for (const auto& [from, to] : c.hops) {
            Reply hop;
            hop.location = to;
            server_->Set(from, hop);
        }
        const std::string outcome = Run();
        EXPECT_EQ(outcome.substr(0, outcome.find("; icons.bin")), c.outcome) << outcome;
    }
}

TEST_F(Update, AnAddressThatIsNotHttpOrHttpsIsNotFetched) {
    InstallCurrent("Old", "old icons");
    for (const char* location : {"ftp://127.0.0.1/bar/", "file:///C:/bar/", "C:\\bar\\"}) {
        std::u16string url = AnsiToUtf16(location);
        const std::string outcome = UpdateTemplate(Target(), url, kQuick);
        EXPECT_NE(outcome.find("not an http or https address"), std::string::npos) << outcome;
    }
    EXPECT_EQ(ToolbarName(Current()), "Old");
}

// Part files of an update that crashed are removed at the next start; what is swapped in is a
// file nobody else may open, rename or delete while it is checked and renamed.
TEST_F(Update, LeftoversGoAndTheFileSwappedInIsHeldAgainstOthers) {
    InstallCurrent("Old", "old icons");
    Publish("New", "new icons");
    WriteWholeFile(Path("update-1-2-3.part"), "left by a crash");
    WriteWholeFile(Path("SampleBar Internet.tb"), "left by an older library");
    std::vector<std::string> attempts;
    SetBeforeSwapForTesting([&](const std::string& part) {
        EXPECT_FALSE(FileExists(Path("update-1-2-3.part")));
        const HANDLE opened = CreateFileA(part.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);
        attempts.push_back(opened == INVALID_HANDLE_VALUE ? "refused" : "opened");
        attempts.push_back(MoveFileA(part.c_str(), (part + ".stolen").c_str()) ? "renamed" : "refused");
        attempts.push_back(DeleteFileA(part.c_str()) ? "deleted" : "refused");
    });
    const std::string outcome = Run();
    SetBeforeSwapForTesting(nullptr);
    EXPECT_EQ(outcome, "updated to version 2.0");
    EXPECT_EQ(attempts, std::vector<std::string>(6, "refused"));
    EXPECT_FALSE(FileExists(Path("SampleBar Internet.tb")));
    EXPECT_EQ(ToolbarName(Current()), "New");
}

// Four windows build at once against a slow server: one update runs, the others build with the
// files as they are, and at no moment is there no template to load.
TEST_F(Update, OneUpdateAtATimeAndTheTemplateIsNeverMissing) {
    InstallCurrent("Old", "old icons");
    Reply slow{TemplateImage("New", "2.0")};
    slow.midway = [] { Sleep(1000); };  // half the template, then a pause
    server_->Set(Remote("SampleBar.tb"), slow);
    server_->Set(Remote("icons.bin"), Reply{IconImage(true, "new icons")});
    std::atomic<bool> done{false};
    std::atomic<int> missing{0};
    std::thread watcher([&] {
        while (!done) {
            if (ToolbarName(Current()).empty()) ++missing;
            Sleep(2);
        }
    });
    std::vector<std::string> outcomes(4);
    std::vector<std::thread> windows;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        windows.emplace_back([&, i] {
            Sleep(static_cast<DWORD>(i * 30));
            outcomes[i] = Run(Location(), UpdateLimits{8000, 3000});
        });
    }
    for (std::thread& window : windows) window.join();
    done = true;
    watcher.join();
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), "updated to version 2.0"), 1) << testing::PrintToString(outcomes);
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), "skipped: another window is updating"), 3);
    EXPECT_EQ(Count(server_->Requests(), Remote("SampleBar.tb")), 1);
    EXPECT_EQ(missing, 0) << "a window found no template";
    EXPECT_EQ(ToolbarName(Current()), "New");
}

// A message handled while the update waits can start another update on the same thread (a second
// window of the same browser thread building): it builds with the files as they are.
TEST_F(Update, AnUpdateStartedFromInsideAnotherIsSkipped) {
    InstallCurrent("Old", "old icons");
    std::string nested;
    testing_support::TestWindow window(L"TbNestedUpdateWindow", [&](UINT message, WPARAM, LPARAM) {
        if (message != WM_APP + 9) return false;
        nested = Run();
        return true;
    });
    ASSERT_NE(window.Handle(), nullptr);
    // Half-way through the template the server posts the message and gives the pump time for it.
    Reply templ{TemplateImage("New", "2.0")};
    templ.midway = [&] {
        PostMessageA(window.Handle(), WM_APP + 9, 0, 0);
        Sleep(300);
    };
    server_->Set(Remote("SampleBar.tb"), templ);
    server_->Set(Remote("icons.bin"), Reply{IconImage(true, "new icons")});
    EXPECT_EQ(Run(), "updated to version 2.0");
    EXPECT_EQ(nested, "skipped: another window is updating");
}

// A frame closed while its update waits: the update ends at once, and WM_QUIT stays for the
// message loop that owns it.
TEST_F(Update, WmQuitDuringAnUpdateEndsItAndReachesTheOwningLoop) {
    InstallCurrent("Old", "old icons");
    const DWORD thread = GetCurrentThreadId();
    Reply stall{TemplateImage("New"), 200, Mode::kStallMidBody};
    server_->Set(Remote("SampleBar.tb"), stall);
    std::thread closer([thread] {
        Sleep(300);
        PostThreadMessageA(thread, WM_QUIT, 7, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    const std::string outcome = Run(Location(), UpdateLimits{6000, 5000});
    const auto took = std::chrono::steady_clock::now() - start;
    closer.join();
    EXPECT_EQ(outcome, "failed: SampleBar.tb: the window closed");
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    MSG message{};
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), 0) << "the owning loop ends";
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_EQ(ToolbarName(Current()), "Old");
}

// The update of a window that is being built runs on a thread of its own: the window's thread
// handles its messages while it waits, and gets the same outcome as from the update in place.
TEST_F(Update, InTheBackgroundTheWaitingThreadHandlesItsMessagesAndGetsTheOutcome) {
    InstallCurrent("Old", "old icons");
    std::atomic<bool> handled{false};
    testing_support::TestWindow window(L"TbUpdateTaskWindow", [&](UINT message, WPARAM, LPARAM) {
        if (message != WM_APP + 3) return false;
        handled = true;
        return true;
    });
    ASSERT_NE(window.Handle(), nullptr);
    Reply templ{TemplateImage("New", "2.0")};
    templ.midway = [&] {
        PostMessageA(window.Handle(), WM_APP + 3, 0, 0);
        Sleep(200);
    };
    server_->Set(Remote("SampleBar.tb"), templ);
    server_->Set(Remote("icons.bin"), Reply{IconImage(true, "new icons")});
    const std::unique_ptr<TemplateUpdateTask> task = TemplateUpdateTask::Start(Target(), Location(), kQuick);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->Wait(), "updated to version 2.0");
    EXPECT_TRUE(handled) << "the message posted during the transfer waited for the update's end";
    EXPECT_EQ(ToolbarName(Current()), "New");
    EXPECT_EQ(IconMarker(Icons()), "new icons");
    EXPECT_EQ(task->Wait(), "updated to version 2.0") << "a second wait has the same outcome";
}

// A frame closed while its window waits for the update: the transfers end at once, the log says
// why, and WM_QUIT reaches the loop that owns the thread. A task nobody waits for gives up too.
TEST_F(Update, InTheBackgroundAQuitOrAnUnwaitedTaskEndsItAtOnce) {
    InstallCurrent("Old", "old icons");
    server_->Set(Remote("SampleBar.tb"), Reply{TemplateImage("New"), 200, Mode::kStallMidBody});
    const DWORD thread = GetCurrentThreadId();
    std::thread closer([thread] {
        Sleep(300);
        PostThreadMessageA(thread, WM_QUIT, 9, 0);
    });
    auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<TemplateUpdateTask> task = TemplateUpdateTask::Start(Target(), Location(), {6000, 5000});
    EXPECT_EQ(task->Wait(), "failed: SampleBar.tb: the window closed");
    closer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    MSG message{};
    EXPECT_EQ(GetMessageA(&message, nullptr, 0, 0), 0) << "the owning loop ends";
    EXPECT_EQ(message.wParam, 9u);
    EXPECT_EQ(ToolbarName(Current()), "Old");

    start = std::chrono::steady_clock::now();
    {
        const std::unique_ptr<TemplateUpdateTask> unwaited = TemplateUpdateTask::Start(Target(), Location(), {6000, 5000});
        Sleep(300);  // into the stalled body
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_NE(Log().find("failed: SampleBar.tb: the window closed", Log().find("the window closed") + 1), std::string::npos)
        << Log();
    EXPECT_EQ(ToolbarName(Current()), "Old");
}

// The log stays small: past its size it moves aside (one older file kept) and starts again.
TEST_F(Update, TheLogIsRotatedAtItsSize) {
    InstallCurrent("Old", "old icons");
    Publish("Old", "old icons");
    const std::string full(kUpdateLogRotateSize, 'x');
    WriteWholeFile(Path(kUpdateLogName), full);
    Run();
    EXPECT_EQ(ReadWholeFile(Path(kUpdateOldLogName)), full);
    const std::string log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    Run();
    const std::string longer = Log();
    EXPECT_EQ(std::count(longer.begin(), longer.end(), '\n'), 2);
}

// Windows that finish at the same moment each append their line: one window's open log does not
// cost another window its line.
TEST_F(Update, ALineIsKeptWhileAnotherWindowHasTheLogOpen) {
    InstallCurrent("Old", "old icons");
    server_->Set(Remote("SampleBar.tb"), Reply{"<html>gone</html>", 404});
    {
        const UniqueFile other(CreateFileA(Path(kUpdateLogName).c_str(), FILE_APPEND_DATA,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(other);
        Run();
    }
    EXPECT_NE(Log().find("failed: SampleBar.tb: the server answered 404"), std::string::npos) << Log();
}

}  // namespace
}  // namespace tb
