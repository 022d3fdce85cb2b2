// Registration: regsvr32 on copies of the toolbar library, every entry read back with `reg query`
// and the registry functions; the version check and the browser instance in this process.
#include <gtest/gtest.h>

#include "band/class_id_win.hpp"
#include "band/registration_win.hpp"
#include "band_fixture.hpp"
#include "base/com_win.hpp"
#include "registry_support.hpp"
#include "tools/cli.hpp"

#include <oleauto.h>
#include <sstream>

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;
using namespace testing_support;

constexpr char kCategory[] = "{00021492-0000-0000-C000-000000000046}";
// Spelled out here, apart from the library's constants, so a misspelt key in the library shows.
constexpr char kToolbarKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";
constexpr char kBarsKey[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars";
// regsvr32's exit code when DllRegisterServer or DllUnregisterServer fails.
constexpr DWORD kServerFailed = 5;

std::string Upper(std::string text) {
    for (char& c : text) c = AsciiUpper(c);
    return text;
}

std::wstring Quoted(const fs::path& path) { return L"\"" + path.wstring() + L"\""; }

ProgramRun Regsvr32(const fs::path& library, bool unregister = false) {
    return RunProgram(std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + Quoted(library));
}

// A library copy registered under its own class id, so the suites running beside this one never
// see its entries; everything is removed afterwards.
class Registration : public testing::Test {
protected:
    // `guid_text` is the class id as the template stores it (lower case here, on purpose).
    fs::path MakeLibrary(const std::wstring& folder, const std::wstring& base_name, const std::string& guid_text,
                         const std::string& toolbar_name) {
        guid_text_ = guid_text;
        Cleanup();
        if (!toolbar_name.empty()) SetString(HKEY_LOCAL_MACHINE, BarKey(), "Toolbar Name", toolbar_name);
        return copies_.Make(TB_TOOLBAR_DLL, folder, base_name,
                            [&](TrsStorage& store) { store.WriteString("\\Options\\Toolbar GUID", guid_text); });
    }
    void TearDown() override {
        Cleanup();
        browsers_.EndNewOnes();
    }
    void Cleanup() {
        DeleteTree(HKEY_CLASSES_ROOT, ClassKey());
        DeleteTree(HKEY_LOCAL_MACHINE, BarKey());
        DeleteValue(HKEY_LOCAL_MACHINE, kToolbarKey, guid_text_);
        DeleteValue(HKEY_LOCAL_MACHINE, kBarsKey, guid_text_);
    }
    std::string ClassKey() const { return "CLSID\\" + Upper(guid_text_); }
    std::string BarKey() const { return std::string(kBarsKey) + "\\" + guid_text_; }

    // Everything registration writes, as `reg query` lists it.
    std::string Listing() const {
        return RegQuery("HKCR\\" + ClassKey()).output + RegQuery(std::string("HKLM\\") + kToolbarKey, false).output +
               RegQuery(std::string("HKLM\\") + kBarsKey, false).output;
    }

    // regsvr32 starts a browser instance, which stays running under Wine and is ended afterwards;
    // the suites that start browser instances take turns, so none ends another's.
    CrossProcessLock frames_{kFrameWindows};
    BrowserProcessGuard browsers_;
    std::string guid_text_;
    LibraryCopies copies_;
};

TEST_F(Registration, Regsvr32WritesEveryEntryAgainAndAgainAndUnregisterRemovesThem) {
    const fs::path library = MakeLibrary(L"plain", L"RegBar", "{5b0c7e3a-1d2f-4c55-9a11-0e6d2f3b7a01}", "Reg Bar");
    const std::string id = Upper(guid_text_);

    // Wine's browser answers ShowBrowserBar with E_NOTIMPL, so registration reports failure after
    // writing every entry.
    EXPECT_EQ(Regsvr32(library).exit_code, kServerFailed);
    const ProgramRun classes = RegQuery("HKCR\\" + ClassKey());
    ASSERT_EQ(classes.exit_code, 0u);
    EXPECT_NE(classes.output.find("(Default)    REG_SZ    Reg Bar"), std::string::npos) << classes.output;
    EXPECT_NE(classes.output.find("\\InprocServer32"), std::string::npos) << classes.output;
    EXPECT_NE(classes.output.find("ThreadingModel    REG_SZ    Apartment"), std::string::npos) << classes.output;
    EXPECT_NE(classes.output.find(ClassKey() + "\\Implemented Categories\\" + kCategory), std::string::npos)
        << classes.output;
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ClassKey(), nullptr), "Reg Bar");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", nullptr), PathUtf8(library));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClassKey() + "\\Implemented Categories\\" + kCategory));
    // The browser's own keys name the band by the class id as the template stores it.
    const ProgramRun toolbars = RegQuery(std::string("HKLM\\") + kToolbarKey, false);
    EXPECT_NE(toolbars.output.find(guid_text_ + "    REG_SZ    Reg Bar"), std::string::npos) << toolbars.output;
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kToolbarKey, guid_text_.c_str()), "Reg Bar");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kBarsKey, guid_text_.c_str()), "");

#ifdef _WIN64
    // The 64-bit library registers in the 64-bit view only, where the 64-bit browser looks.
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(), KEY_WOW64_32KEY));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(), KEY_WOW64_64KEY));
#endif

    const std::string first = Listing();
    EXPECT_EQ(Regsvr32(library).exit_code, kServerFailed);
    EXPECT_EQ(Listing(), first) << "registering twice leaves the same entries";

    // What others put there goes too: the bar key with its keywords, the browser's band cache.
    SetString(HKEY_LOCAL_MACHINE, BarKey() + "\\MRUKeywords", "a", "b");
    SetString(HKEY_CLASSES_ROOT, std::string("Component Categories\\") + kCategory + "\\Enum", "Implementing", "x");
    EXPECT_EQ(Regsvr32(library, true).exit_code, 0u);
    EXPECT_EQ(RegQuery("HKCR\\" + ClassKey()).exit_code, 1u) << "no class key is left";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, BarKey()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("Component Categories\\") + kCategory + "\\Enum"));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kToolbarKey, guid_text_.c_str()), std::nullopt);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kBarsKey, guid_text_.c_str()), std::nullopt);
    EXPECT_EQ(RegQuery(std::string("HKLM\\") + kToolbarKey, false).output.find(guid_text_), std::string::npos);

    EXPECT_EQ(Regsvr32(library, true).exit_code, 0u) << "unregistering what is not registered succeeds";
}

TEST_F(Registration, APathWithABlankIsRegisteredInItsShortFormAndAMissingNameAsEmpty) {
    const fs::path library = MakeLibrary(L"with blank", L"Blank Bar", "{5b0c7e3a-1d2f-4c55-9a11-0e6d2f3b7a02}", "");
    ASSERT_NE(PathUtf8(library).find(' '), std::string::npos);
    EXPECT_EQ(Regsvr32(library).exit_code, kServerFailed);

    const std::optional<std::string> server = ReadString(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", nullptr);
    ASSERT_TRUE(server.has_value());
    EXPECT_EQ(server->find(' '), std::string::npos) << *server;
    char long_form[MAX_PATH] = {};
    ASSERT_GT(GetLongPathNameA(server->c_str(), long_form, MAX_PATH), 0u) << *server;
    EXPECT_TRUE(EqualsIgnoreAsciiCase(long_form, PathUtf8(library))) << long_form;
    // The library still loads from the registered path.
    HMODULE loaded = LoadLibraryA(server->c_str());
    EXPECT_NE(loaded, nullptr);
    if (loaded) FreeLibrary(loaded);

    // No "Toolbar Name" under the bar key: the names written are empty.
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ClassKey(), nullptr), "");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kToolbarKey, guid_text_.c_str()), "");
    EXPECT_EQ(Regsvr32(library, true).exit_code, 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey()));
}

TEST_F(Registration, ALibraryWhoseClassIdIsNoClassIdServesAndRegistersNothing) {
    const fs::path library = MakeLibrary(L"bad id", L"BadIdBar", "not-a-class-id", "Bad");
    EXPECT_EQ(Regsvr32(library).exit_code, kServerFailed);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kToolbarKey, "not-a-class-id"), std::nullopt);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\not-a-class-id"));
    EXPECT_EQ(Regsvr32(library, true).exit_code, kServerFailed);

    HMODULE module = LoadLibraryW(library.c_str());
    ASSERT_NE(module, nullptr);
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    ASSERT_NE(get, nullptr);
    void* factory = &module;
    EXPECT_EQ(get(ClassIdFromText("{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}"), IID_IClassFactory, &factory),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
    FreeLibrary(module);
}

// A class of another program, as the test makes it: its key, its server and threading model.
class ForeignClass {
public:
    explicit ForeignClass(std::string id) : id_(std::move(id)) {
        DeleteTree(HKEY_CLASSES_ROOT, Key());
        SetString(HKEY_CLASSES_ROOT, Key(), nullptr, "Someone Else's Class");
        SetString(HKEY_CLASSES_ROOT, Key() + "\\InprocServer32", nullptr, "C:\\windows\\system32\\someone-else.dll");
        SetString(HKEY_CLASSES_ROOT, Key() + "\\InprocServer32", "ThreadingModel", "Both");
        listing_ = Listing();
    }
    ~ForeignClass() {
        DeleteTree(HKEY_CLASSES_ROOT, Key());
        DeleteValue(HKEY_LOCAL_MACHINE, kToolbarKey, id_);
        DeleteValue(HKEY_LOCAL_MACHINE, kBarsKey, id_);
    }
    std::string Key() const { return "CLSID\\" + id_; }
    std::string Listing() const { return RegQuery("HKCR\\" + Key()).output; }
    // The class key as it was made, and nothing of the band under the browser's keys.
    void ExpectUntouched() const {
        EXPECT_EQ(Listing(), listing_);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, Key() + "\\InprocServer32", nullptr), "C:\\windows\\system32\\someone-else.dll");
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kToolbarKey, id_.c_str()), std::nullopt);
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kBarsKey, id_.c_str()), std::nullopt);
    }
    const std::string& Id() const { return id_; }

private:
    std::string id_;
    std::string listing_;
};

// The data folder can be written by sandboxed page content; registration runs elevated. A template
// there naming another program's class must not make registration write over that class or delete it.
TEST_F(Registration, ADataFolderTemplateNamingAForeignClassLeavesItUntouched) {
    // The library carries no template: the data folder's names the class, and both exports refuse.
    const fs::path plain =
        MakeLibrary(L"foreign-plain", L"ForeignBar", "{5B0C7E3A-1D2F-4C55-9A11-0E6D2F3B7AF0}", "Foreign Bar");
    const ForeignClass foreign(guid_text_);
    EXPECT_EQ(Regsvr32(plain).exit_code, kServerFailed);
    foreign.ExpectUntouched();
    EXPECT_EQ(Regsvr32(plain, true).exit_code, kServerFailed);
    foreign.ExpectUntouched();

    // A branded library registers the class of the template it carries, whatever the data folder says.
    const std::string carried_id = "{5B0C7E3A-1D2F-4C55-9A11-0E6D2F3B7AF1}";
    const fs::path carried_template = fs::path(copies_.Folder()) / L"carried.tb";
    WriteTemplateFile(PathUtf8(carried_template),
                      [&](TrsStorage& t) { t.WriteString("\\Options\\Toolbar GUID", carried_id); });
    const fs::path branded = plain.parent_path() / L"Branded" / L"ForeignBar.dll";
    std::ostringstream out, err;
    ASSERT_EQ(tool::RunTool({"brand", PathUtf8(plain), PathUtf8(carried_template), "--out", PathUtf8(branded)}, out, err), 0)
        << err.str();
    guid_text_ = carried_id;  // what Cleanup removes
    const ProgramRun registered = Regsvr32(LongPath(branded));
    // Wine's browser answers ShowBrowserBar with E_NOTIMPL, after every entry is written.
    EXPECT_EQ(registered.exit_code, kServerFailed);
    foreign.ExpectUntouched();
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "CLSID\\" + carried_id + "\\InprocServer32", nullptr),
              PathUtf8(LongPath(branded)));
    EXPECT_EQ(Regsvr32(LongPath(branded), true).exit_code, 0u);
    foreign.ExpectUntouched();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + carried_id));
}

// The library's own class, registered from another file (a second copy, an older install elsewhere):
// neither copy takes the other's registration over or removes it.
TEST_F(Registration, AClassRegisteredForAnotherCopyIsNeitherTakenOverNorRemoved) {
    const std::string id = "{5b0c7e3a-1d2f-4c55-9a11-0e6d2f3b7af2}";
    const fs::path first = MakeLibrary(L"first copy", L"CopyBar", id, "Copy Bar");
    EXPECT_EQ(Regsvr32(first).exit_code, kServerFailed);  // Wine's browser, as above
    const std::string server = ReadString(HKEY_CLASSES_ROOT, ClassKey() + "\\InprocServer32", nullptr).value_or("");
    ASSERT_FALSE(server.empty());

    const fs::path second = LongPath(first.parent_path().parent_path() / L"second copy" / L"CopyBar.dll");
    fs::create_directories(second.parent_path());
    fs::copy_file(first, second, fs::copy_options::overwrite_existing);
    const std::string listing = Listing();
    for (const bool unregister : {false, true}) {
        EXPECT_EQ(Regsvr32(second, unregister).exit_code, kServerFailed) << unregister;
        EXPECT_EQ(Listing(), listing) << unregister;
    }
    fs::remove_all(second.parent_path());
    EXPECT_EQ(Regsvr32(first, true).exit_code, 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey()));
}

// A path the library cannot resolve (characters the code page lacks) is no server path: nothing is
// registered, instead of an InprocServer32 of "".
TEST_F(Registration, ALibraryWhosePathCannotBeResolvedRegistersNothing) {
    guid_text_ = "{5B0C7E3A-1D2F-4C55-9A11-0E6D2F3B7AF3}";
    Cleanup();
    // Branded under a plain name (the tool's paths are code page text), then copied into a folder
    // whose name the code page cannot hold.
    const fs::path work(copies_.Folder());
    WriteTemplateFile(PathUtf8(work / L"carried.tb"),
                      [&](TrsStorage& t) { t.WriteString("\\Options\\Toolbar GUID", guid_text_); });
    std::ostringstream out, err;
    ASSERT_EQ(tool::RunTool({"brand", TB_TOOLBAR_DLL, PathUtf8(work / L"carried.tb"), "--out",
                             PathUtf8(work / L"UnnamedBar.dll")},
                            out, err),
              0)
        << err.str();
    const fs::path folder = work / L"\u0416\u0436";
    fs::create_directories(folder);
    const fs::path library = folder / L"UnnamedBar.dll";
    fs::copy_file(work / L"UnnamedBar.dll", library, fs::copy_options::overwrite_existing);
    EXPECT_EQ(Regsvr32(library).exit_code, kServerFailed);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey()));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kToolbarKey, guid_text_.c_str()), std::nullopt);
}

// The type library the library carries: named Toolbar, with the default class id as its library
// id and no types.
TEST(TypeLibrary, LoadTypeLibFindsItInTheLibrary) {
    const std::wstring path = Widen(TB_TOOLBAR_DLL);
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(ClassIdText(attributes->guid), "{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}");
#ifdef _WIN64
    EXPECT_EQ(attributes->syskind, SYS_WIN64);
#else
    EXPECT_EQ(attributes->syskind, SYS_WIN32);
#endif
    library->ReleaseTLibAttr(attributes);
    BSTR name = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(name), L"Toolbar");
    SysFreeString(name);
    EXPECT_EQ(library->GetTypeInfoCount(), 0u);
    // It is not registered: loading it wrote nothing under the type libraries.
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}"));
}

TEST(RegistrationExports, TheLibraryExportsTheFourFunctionsUndecorated) {
    HMODULE module = LoadLibraryA(TB_TOOLBAR_DLL);
    ASSERT_NE(module, nullptr);
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
        EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
    }
    for (const char* name : {"DllGetClassObject@12", "_DllGetClassObject@12", "DllMain", "BandTestRecord"}) {
        EXPECT_EQ(GetProcAddress(module, name), nullptr) << name;
    }
    FreeLibrary(module);
}

// The version check

TEST(BrowserVersion, TheMajorVersionIsTheLeadingNumber) {
    const struct {
        const char* text;
        std::optional<unsigned long> major;
    } cases[] = {
        {"6.00.2900.5512", 6}, {"4.72.3110.8", 4}, {"10.0.19041.1", 10}, {"11", 11}, {"5.", 5},
        {"", std::nullopt},    {"v6.0", std::nullopt}, {".5", std::nullopt}, {"99999999999999999999.1", 1000000000},
    };
    for (const auto& c : cases) {
        const std::optional<unsigned long> major = BrowserMajorVersion(c.text);
        if (c.major) {
            ASSERT_TRUE(major.has_value()) << c.text;
            if (*c.major == 1000000000) {
                EXPECT_GE(*major, 5u) << c.text;
            } else {
                EXPECT_EQ(*major, *c.major) << c.text;
            }
        } else {
            EXPECT_FALSE(major.has_value()) << c.text;
        }
    }
}

TEST(BrowserVersion, BelowFiveTheErrorBoxRefusesOtherwiseRegistrationGoesOn) {
    ErrorBoxCloser boxes;
    EXPECT_TRUE(CheckBrowserVersion("6.00.2900.5512"));
    EXPECT_TRUE(CheckBrowserVersion("10.0.19041.1"));
    // A version that cannot be read is no reason to refuse.
    EXPECT_TRUE(CheckBrowserVersion(""));
    EXPECT_TRUE(CheckBrowserVersion("unknown"));
    EXPECT_TRUE(boxes.Texts().empty());

    EXPECT_FALSE(CheckBrowserVersion("4.72.3110.8"));
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0],
              "You need at least Internet Explorer Version 5 to register the toolbar!\r\n"
              "Your Internet Explorer version is 4.72.3110.8");
}

TEST(BrowserVersion, WinesBrowserIsVersionSix) {
    const std::string version = GetBrowserFileVersion();
    EXPECT_EQ(BrowserMajorVersion(version), 6u) << version;
    EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 3) << version;
}

// The browser instance, in this process

class BrowserInstance : public BrowserTest {
protected:
    void TearDown() override {
        DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + Upper(band_.class_id_text));
        DeleteValue(HKEY_LOCAL_MACHINE, kToolbarKey, band_.class_id_text);
        DeleteValue(HKEY_LOCAL_MACHINE, kBarsKey, band_.class_id_text);
        browsers_.EndNewOnes();
        BrowserTest::TearDown();
    }
    BandRegistration Band(const std::string& text) {
        band_.class_id_text = text;
        band_.class_id = ClassIdFromText(text);
        band_.toolbar_name = "Shown Bar";
        return band_;
    }

    BandRegistration band_;
    BrowserProcessGuard browsers_;
};

TEST_F(BrowserInstance, TheBrowserHidesAndThenShowsTheBar) {
    const BandRegistration band = Band("{5b0c7e3a-1d2f-4c55-9a11-0e6d2f3b7a03}");
    RegisterBand(band, [&] { return ComPtr<IWebBrowser2>(Browser().Browser()); });
    const auto& calls = Browser().Record().bar_calls;
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls) {
        EXPECT_EQ(call.class_id.type, VT_BSTR);
        EXPECT_EQ(Narrow(call.class_id.text), band.class_id_text);
        EXPECT_EQ(call.size.type, VT_EMPTY);
    }
    EXPECT_EQ(calls[0].show.type, VT_EMPTY);
    EXPECT_EQ(calls[1].show.type, VT_BOOL);
    EXPECT_EQ(calls[1].show.integer, VARIANT_TRUE);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kToolbarKey, band.class_id_text.c_str()), "Shown Bar");

    UnregisterBand(band);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + band.class_id_text));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kToolbarKey, band.class_id_text.c_str()), std::nullopt);
}

TEST_F(BrowserInstance, WithoutABrowserTheEntriesAreWrittenAndTheFailureRaised) {
    const BandRegistration band = Band("{5b0c7e3a-1d2f-4c55-9a11-0e6d2f3b7a04}");
    try {
        RegisterBand(band, []() -> ComPtr<IWebBrowser2> { throw ComError(REGDB_E_CLASSNOTREG); });
        FAIL() << "no failure";
    } catch (const ComError& error) {
        EXPECT_EQ(error.Code(), REGDB_E_CLASSNOTREG);
    }
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kToolbarKey, band.class_id_text.c_str()), "Shown Bar");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "CLSID\\" + band.class_id_text + "\\InprocServer32", "ThreadingModel"),
              "Apartment");
}

TEST_F(BrowserInstance, WinesBrowserInstanceDoesNotShowBars) {
    // What regsvr32 meets under Wine: the instance is made, and ShowBrowserBar is not implemented.
    const BandRegistration band = Band("{5b0c7e3a-1d2f-4c55-9a11-0e6d2f3b7a05}");
    // Either way registration fails after writing every entry. The instance answers
    // ShowBrowserBar with E_NOTIMPL; right after another test's browser process was ended, Wine may
    // for a while connect the new instance to the dead process instead (RPC_S_SERVER_UNAVAILABLE).
    HRESULT code = S_OK;
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            RegisterBand(band, &CreateBrowserInstance);
            code = S_OK;
        } catch (const ComError& error) {
            code = error.Code();
        }
        if (code != HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)) break;
        browsers_.EndNewOnes();
        Sleep(1000);
    }
    EXPECT_TRUE(code == E_NOTIMPL || code == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)) << std::hex << code;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + band.class_id_text + "\\Implemented Categories\\" + kCategory));
}

}  // namespace
}  // namespace tb
