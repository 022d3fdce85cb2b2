// The toolbar library unloads when the browser lets it go: a frame thread that used a band ends and
// its COM frees the library, or the browser frees unused libraries. The unload must return; one that
// does not holds the loader lock, and every later load, thread start or end in the process waits
// behind it. Each unload here runs on a thread of its own and is waited for with a time-out.
#include <winsock2.h>  // before <windows.h>, for the test server
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <thread>

#include "band/class_id_win.hpp"
#include "band/com_server_win.hpp"
#include "band_fixture.hpp"
#include "host/stand_in_browser_win.hpp"
#include "registry_support.hpp"
#include "settings/web_fetch_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/update/http_server_win.hpp"

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;
using namespace testing_support;


constexpr DWORD kUnloadTimeoutMs = 10000;
// The class of the copies here, registered only while a test runs.
constexpr char kClassText[] = "{5B0E7C31-2A44-4E0B-9C61-8D7F0A1E4B27}";

// Runs `work` on a thread of its own and waits for the thread's end. A thread that does not end in
// time is left behind and the process ends at once after the failure is reported: a thread stuck
// in an unload holds the loader lock, so the test program could not even exit normally.
DWORD WINAPI RunWork(void* work) {
    (*static_cast<std::function<void()>*>(work))();
    return 0;
}

void RunOnThreadWithin(std::function<void()> work, const char* what) {
    HANDLE thread = CreateThread(nullptr, 0, &RunWork, &work, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const DWORD waited = WaitForSingleObject(thread, kUnloadTimeoutMs);
    if (waited != WAIT_OBJECT_0) {
        ADD_FAILURE() << what << " did not return within " << kUnloadTimeoutMs << " ms";
        std::fflush(stdout);
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 1);
    }
    CloseHandle(thread);
}

bool IsLoaded(const std::wstring& path) { return GetModuleHandleW(path.c_str()) != nullptr; }

class LibraryUnload : public testing::Test {
protected:
    void SetUp() override {
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        const std::wstring name = L"Unload" + Widen(test.substr(0, 40));
        library_ = copies_
                       .Make(TB_TOOLBAR_DLL, name, name,
                             [](TrsStorage& store) {
                                 store.WriteString("\\Options\\Toolbar GUID", kClassText);
                                 store.WriteString("\\Options\\Home Page URL", "http://home.test/");
                             })
                       .wstring();
    }
    void TearDown() override { DeleteTree(HKEY_CLASSES_ROOT, ClassKey()); }

    static std::string ClassKey() { return std::string("CLSID\\") + kClassText; }

    // The copy as the in-process server of its class, as an installer registers it.
    void Register() {
        SetString(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", nullptr, Narrow(library_));
        SetString(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", "ThreadingModel", "Apartment");
    }

    // What a browser's frame does with a band: loads the library, makes a band, sites it in a frame
    // so its toolbar window is built, and lets it go again.
    static void UseBand(HMODULE module) {
        const auto get_class_object = Export<GetClassObjectFunction>(module, "DllGetClassObject");
        ASSERT_NE(get_class_object, nullptr);
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(get_class_object(ClassIdFromText(kClassText), IID_PPV_ARGS(factory.GetAddressOf())),
                  S_OK);
        ComPtr<IDeskBand> band;
        ASSERT_EQ(
            factory->CreateInstance(nullptr, IID_PPV_ARGS(band.GetAddressOf())),
            S_OK);
        UseBand(band.Get());
    }

    static void UseBand(IDeskBand* band) {
        host::StandInBrowser browser;
        ComPtr<IObjectWithSite> sited;
        ASSERT_EQ(band->QueryInterface(IID_PPV_ARGS(sited.GetAddressOf())), S_OK);
        ASSERT_EQ(sited->SetSite(browser.Site()), S_OK);
        HWND window = nullptr;
        EXPECT_EQ(band->GetWindow(&window), S_OK);
        EXPECT_NE(window, nullptr);
        EXPECT_EQ(band->ShowDW(TRUE), S_OK);
        browser.ProcessPending();
        EXPECT_EQ(band->CloseDW(0), S_OK);
        EXPECT_EQ(sited->SetSite(nullptr), S_OK);
    }

    CrossProcessLock frames_{kFrameWindows};
    LibraryCopies copies_;
    std::wstring library_;
};

TEST_F(LibraryUnload, AFrameThreadThatUsedABandEndsAndTheLibraryGoesWithIt) {
    RunOnThreadWithin(
        [&] {
            if (FAILED(OleInitialize(nullptr))) return;
            if (HMODULE module = LoadLibraryW(library_.c_str())) {
                UseBand(module);
                FreeLibrary(module);
            }
            OleUninitialize();
        },
        "a frame thread's end");
    EXPECT_FALSE(IsLoaded(library_));
}

// The browser's way: the band comes from the registry through COM, and COM unloads the library when
// asked to free unused libraries, and at the latest when the frame thread's COM ends.
TEST_F(LibraryUnload, ComFreesTheLibraryOfABandFromTheRegistry) {
    Register();
    for (const bool free_unused : {true, false}) {
        SCOPED_TRACE(free_unused ? "CoFreeUnusedLibrariesEx" : "OleUninitialize");
        RunOnThreadWithin(
            [&] {
                if (FAILED(OleInitialize(nullptr))) return;
                {
                    ComPtr<IDeskBand> band;
                    EXPECT_EQ(CoCreateInstance(ClassIdFromText(kClassText), nullptr, CLSCTX_INPROC_SERVER,
                                               IID_PPV_ARGS(band.GetAddressOf())),
                              S_OK);
                    EXPECT_TRUE(IsLoaded(library_));
                    if (band) UseBand(band.Get());
                }
                if (free_unused) {
                    CoFreeUnusedLibrariesEx(0, 0);
                    EXPECT_FALSE(IsLoaded(library_)) << "nothing of the library runs any more";
                }
                OleUninitialize();
            },
            free_unused ? "freeing unused libraries" : "a frame thread's end");
        EXPECT_FALSE(IsLoaded(library_));
    }
}

// A template update's worker runs library code after the update has returned (until its read
// ends), with no band and no factory reference left: the library is not idle until it has ended.
TEST(LibraryIdle, NotWhileATransfersWorkerRuns) {
    testing_support::HttpServer server;
    server.Set("/stall", testing_support::Reply{std::string(1000, 'x'), 200,
                                                testing_support::Reply::Mode::kStallMidBody});
    ASSERT_EQ(CanUnloadNow(), S_OK);
    bool busy_seen = false;
    std::thread download([&] {
        FetchUrl(server.Root() + "stall", {}, {1u << 20, 1000, GetTickCount() + 10000});
    });
    for (int i = 0; i < 300 && !busy_seen; ++i) {
        busy_seen = RunningTransferWorkers() > 0 && CanUnloadNow() == S_FALSE;
        Sleep(10);
    }
    download.join();
    for (int i = 0; i < 300 && RunningTransferWorkers() > 0; ++i) Sleep(10);
    EXPECT_TRUE(busy_seen);
    EXPECT_EQ(RunningTransferWorkers(), 0);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace tb
