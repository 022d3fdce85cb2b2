#include "settings/navigation_win.hpp"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <filesystem>
#include <fstream>

#include "base/file.hpp"
#include "host/stand_in_browser_win.hpp"
#include "tests/helpers/win_support.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/support/test_window_win.hpp"

namespace tb {
namespace {

namespace fs = std::filesystem;
using testing_support::BrowserProcessGuard;
using testing_support::ErrorBoxCloser;
using testing_support::PumpUntil;

// The program that shows a window: for a frame window that should not be there.
std::string OwnerOf(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    char path[MAX_PATH] = "?";
    DWORD size = MAX_PATH;
    if (const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id)) {
        QueryFullProcessImageNameA(process, 0, path, &size);
        CloseHandle(process);
    }
    return "a frame window of process " + std::to_string(id) + " (" + path + ")";
}

// COM on the test's thread, and no other test's browser frame windows meanwhile.
class ComThread : public testing::Test {
protected:
    testing_support::CrossProcessLock frames_{testing_support::kFrameWindows};
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

// An automation object that records the late-bound calls it gets, and can be told to fail them.
class RecordingDispatch final : public IDispatch {
public:
    std::vector<std::wstring> names;
    std::vector<std::wstring> navigated;
    std::vector<VARTYPE> argument_types;
    HRESULT failure = S_OK;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* requested, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; i < count; ++i) {
            names.push_back(requested[i]);
            ids[i] = static_cast<DISPID>(names.size());
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        if (failure != S_OK) return failure;
        if (names.at(static_cast<size_t>(id - 1)) == L"Navigate" && flags == DISPATCH_METHOD && params->cArgs == 1) {
            const VARIANT& url = params->rgvarg[0];
            argument_types.push_back(url.vt);
            navigated.push_back(url.vt == (VT_BSTR | VT_BYREF) ? *url.pbstrVal : url.bstrVal);
        }
        return S_OK;
    }
    ULONG References() const { return references_; }

private:
    ULONG references_ = 1;
};

// A top-level window of the browser's frame class, made by the test.
class FrameWindow : public testing_support::TestWindow {
public:
    FrameWindow() : TestWindow(L"IEFrame", {}, nullptr, WS_OVERLAPPEDWINDOW) {}
};

TEST_F(ComThread, WithAHostingBrowserThePageOpensThereAndNoWindowOfItsOwnIsMade) {
    host::StandInBrowser browser;
    Variant slot;
    NavigateTo(browser.Browser(), slot, u"http://127.0.0.1/caf\u00E9?q=a b");
    EXPECT_TRUE(slot.Empty());
    const auto& calls = browser.Record().navigations;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].url, L"http://127.0.0.1/caf\u00E9?q=a b");
    EXPECT_TRUE(calls[0].same_optional_variant) << "the four optional arguments share one variant";
    EXPECT_EQ(calls[0].flags, (host::ArgumentSeen{VT_I4, 0, L""}));
    EXPECT_TRUE(PumpUntil([&] { return browser.Address() == L"http://127.0.0.1/caf\u00E9?q=a b"; }));

    browser.SetNavigateResult(E_ACCESSDENIED);
    try {
        NavigateTo(browser.Browser(), slot, u"http://127.0.0.1/refused");
        FAIL() << "a failing Navigate is raised";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Code(), E_ACCESSDENIED);
        EXPECT_STRNE(e.what(), "");
    }
    EXPECT_TRUE(slot.Empty());
}

TEST_F(ComThread, KeptObjectNavigatesAndItsFrameComesToTheFront) {
    ASSERT_EQ(FindWindowA("IEFrame", nullptr), nullptr) << OwnerOf(FindWindowA("IEFrame", nullptr));
    FrameWindow frame;
    ASSERT_NE(frame.Handle(), nullptr);
    RecordingDispatch kept;
    Variant slot;
    kept.AddRef();
    slot.AttachDispatch(&kept);

    OpenInBrowserWindow(slot, u"http://127.0.0.1/second");
    EXPECT_EQ(slot.Get()->pdispVal, &kept) << "the kept object is reused, not replaced";
    ASSERT_EQ(kept.navigated, std::vector<std::wstring>{L"http://127.0.0.1/second"});
    EXPECT_EQ(kept.argument_types, std::vector<VARTYPE>{VT_BSTR | VT_BYREF});
    EXPECT_EQ(GetForegroundWindow(), frame.Handle());
}

TEST_F(ComThread, AKeptObjectThatNoLongerAnswersRaisesAndStaysKept) {
    FrameWindow frame;
    RecordingDispatch kept;
    kept.failure = RPC_E_DISCONNECTED;
    Variant slot;
    kept.AddRef();
    slot.AttachDispatch(&kept);
    try {
        OpenInBrowserWindow(slot, u"http://127.0.0.1/");
        FAIL() << "no error raised";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Code(), RPC_E_DISCONNECTED);
    }
    EXPECT_EQ(slot.Get()->pdispVal, &kept);
}

// A URL scheme whose shell command leaves the URL in a file, to see what the system opened.
class MarkingScheme {
public:
    explicit MarkingScheme(const std::string& mark_file) {
        const std::string root = "tbmark";
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CLASSES_ROOT, root.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegSetValueExA(key, "URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
        RegCloseKey(key);
        const std::string command = "cmd.exe /c echo %1> \"" + mark_file + "\"";
        RegCreateKeyExA(HKEY_CLASSES_ROOT, (root + "\\shell\\open\\command").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>(command.size() + 1));
        RegCloseKey(key);
    }
    ~MarkingScheme() { RegDeleteTreeA(HKEY_CLASSES_ROOT, "tbmark"); }
};

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(ComThread, WithoutAFrameWindowTheSystemOpensTheUrl) {
    ASSERT_EQ(FindWindowA("IEFrame", nullptr), nullptr) << OwnerOf(FindWindowA("IEFrame", nullptr));
    const testing_support::TempFolder temp;
    const std::string mark = temp.Folder() + "\\mark.txt";
    MarkingScheme scheme(mark);
    RecordingDispatch kept;
    Variant slot;
    kept.AddRef();
    slot.AttachDispatch(&kept);

    OpenInBrowserWindow(slot, u"tbmark:opened");
    EXPECT_TRUE(PumpUntil([&] { return FileText(mark).find("tbmark:opened") != std::string::npos; }))
        << "nothing opened the URL";
    EXPECT_TRUE(kept.navigated.empty()) << "the kept object is not asked when its window is gone";
}

// The real browser's automation server: the first navigation creates a visible window, the second
// reuses it. The browser process stays running after Release, so the guard ends it.
TEST_F(ComThread, FirstNavigationCreatesAVisibleBrowserWindowAndTheSecondReusesIt) {
    BrowserProcessGuard browsers;
    ASSERT_EQ(FindWindowA("IEFrame", nullptr), nullptr) << OwnerOf(FindWindowA("IEFrame", nullptr));
    {
        Variant slot;
        NavigateTo(nullptr, slot, u"about:blank");
        ASSERT_EQ(slot.Get()->vt, VT_DISPATCH);
        IDispatch* first = slot.Get()->pdispVal;
        const HWND frame = FindWindowA("IEFrame", nullptr);
        ASSERT_NE(frame, nullptr) << "no browser window was created";
        EXPECT_TRUE(IsWindowVisible(frame));

        NavigateTo(nullptr, slot, u"about:blank#second");
        EXPECT_EQ(slot.Get()->pdispVal, first) << "the browser window is reused";

        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(L"LocationURL");
        ASSERT_EQ(first->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        Variant location;
        DISPPARAMS none{};
        ASSERT_EQ(first->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, location.Get(),
                                nullptr, nullptr),
                  S_OK);
        EXPECT_EQ(location.Get()->vt, VT_BSTR);
    }
    browsers.EndNewOnes();
    EXPECT_TRUE(PumpUntil([] { return FindWindowA("IEFrame", nullptr) == nullptr; }, 5000));
}

TEST(ShellOpen, RunsAProgramAndIgnoresATargetThatCannotBeOpened) {
    const testing_support::TempFolder temp;
    const std::string& folder = temp.Folder();
    const std::string mark = folder + "\\mark.txt";
    const std::string script = folder + "\\leave mark.bat";
    WriteWholeFile(script, "@echo ran> \"" + mark + "\"\r\n");

    ShellOpen(std::u16string(script.begin(), script.end()));
    EXPECT_TRUE(PumpUntil([&] { return FileText(mark).find("ran") != std::string::npos; }));

    // A target that cannot be opened raises nothing, shows no error box and runs nothing.
    std::filesystem::remove(mark);
    ErrorBoxCloser boxes;
    EXPECT_NO_THROW(ShellOpen(u"C:\\no such folder\\no such program.exe"));
    EXPECT_NO_THROW(ShellOpen(u""));
    EXPECT_NO_THROW(ShellOpen(std::u16string(mark.begin(), mark.end())));  // no longer there
    PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_FALSE(FileExists(mark));
}

// The Flash control's file in each of the three places the check searches, and in one it does not.
class FlashCheck : public testing::TestWithParam<std::pair<const char*, const char*>> {
protected:
    testing_support::CrossProcessLock folder_lock_{testing_support::kWindowsFolder};
    void SetUp() override {
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        windows_ = windows;
        for (const char* folder : {"\\System\\Macromed", "\\system32\\Macromed"}) {
            fs::remove_all(windows_ + folder);
        }
    }
    void TearDown() override {
        for (const char* folder : {"\\System\\Macromed", "\\system32\\Macromed"}) {
            fs::remove_all(windows_ + folder);
        }
    }
    std::string windows_;
};

TEST_P(FlashCheck, FindsTheControlFileInItsFolder) {
    const auto [folder, file] = GetParam();
    EXPECT_FALSE(IsFlashInstalled());
    fs::create_directories(windows_ + folder);
    WriteWholeFile(windows_ + folder + "\\" + file, "");
    const bool searched = std::string(file) != "flash.dll" && std::string(folder) != "\\system32\\Macromed";
    EXPECT_EQ(IsFlashInstalled(), searched) << folder << "\\" << file;
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FlashCheck,
    testing::Values(std::pair{"\\System\\Macromed\\Flash", "Flash10.ocx"},
                    std::pair{"\\System\\Macromed\\Flash", "swflash.ocx"},
                    std::pair{"\\System\\Macromed", "flash.ocx"},
                    std::pair{"\\system32\\Macromed\\Flash", "swflash.ocx"},
                    std::pair{"\\system32\\Macromed\\Flash", "FL32.OCX"},
                    std::pair{"\\system32\\Macromed\\Flash", "flash.dll"},
                    std::pair{"\\system32\\Macromed", "swflash.ocx"}),
    [](const auto& p) {
        std::string name = std::string(p.param.first) + "_" + p.param.second;
        for (char& c : name) {
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST(CanonicalizeUrl, DecodesEscapesAndKeepsLongUrlsWhole) {
    ErrorBoxCloser boxes;
    EXPECT_EQ(CanonicalizeUrl("http://a/b%20c"), "http://a/b c");
    EXPECT_EQ(CanonicalizeUrl("http://127.0.0.1/%41%42/x"), "http://127.0.0.1/AB/x");
    const std::string path(600, 'p');
    EXPECT_EQ(CanonicalizeUrl("http://127.0.0.1/" + path + "%21"), "http://127.0.0.1/" + path + "!");
    const std::string fits = "http://127.0.0.1/" + std::string(255 - 17, 'q');
    EXPECT_EQ(CanonicalizeUrl(fits), fits);
    EXPECT_EQ(CanonicalizeUrl(fits + "r"), fits + "r");
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST(ShowErrorBox, ShowsTheMessageUnderTheTitleErrorUntilClosed) {
    ErrorBoxCloser boxes;
    ShowErrorBox("Error: The parameter is incorrect.");
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Error: The parameter is incorrect."});
}

// The window layer hands in its dialog seam: the box goes there, as it is, and nowhere else.
std::vector<std::string> g_routed;
int RecordBox(HWND, const std::string& text, const std::string& caption, UINT flags) {
    g_routed.push_back(caption + "|" + text + "|" + std::to_string(flags));
    return IDOK;
}

TEST(ShowErrorBox, GoesThroughTheBoxFunctionTheWindowLayerGave) {
    ErrorBoxCloser boxes;
    g_routed.clear();
    SetMessageBoxFunction(&RecordBox);
    ShowErrorBox("Error: The parameter is incorrect.");
    SetMessageBoxFunction(nullptr);
    ASSERT_EQ(g_routed.size(), 1u);
    EXPECT_EQ(g_routed.back(), "Error|Error: The parameter is incorrect.|" + std::to_string(MB_OK | MB_ICONWARNING));
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(boxes.Texts().empty()) << "no system box besides";
}

}  // namespace
}  // namespace tb
