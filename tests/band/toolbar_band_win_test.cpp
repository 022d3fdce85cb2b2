// The band object and its factory, through real COM calls on BandUnderTest.dll loaded as the
// browser loads a band: LoadLibrary, DllGetClassObject, then the factory. The band's site is the
// stand-in browser; the window behind the band is the recording test window.
#include <windows.h>
#include <exdispid.h>
#include <shlguid.h>

#include <gtest/gtest.h>

#include "band/class_id_win.hpp"
#include "bare_site_win.hpp"
#include "band_fixture.hpp"
#include "base/com_win.hpp"
#include "host/band_host_win.hpp"
#include "registry_support.hpp"
#include "settings/toolbar_settings.hpp"
#include "test_window_win.hpp"
#include "toolkit/dpi_win.hpp"

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;
using namespace testing_support;


const GUID kBandClass = ClassIdFromText(kDefaultToolbarGuid);
constexpr DWORD kAllBandInfo = 0x7F;

// Writes the template of a test library: its addresses and the full-size option.
std::function<void(TrsStorage&)> Template(bool full_size) {
    return [full_size](TrsStorage& store) {
        store.WriteString("\\Options\\Home Page URL", "http://home.test/");
        store.WriteString("\\Options\\Contact E-Mail", "mailto:help@home.test");
        store.WriteBool("\\Options\\Toolbar Full Size", full_size);
    };
}

class BandObject : public BrowserTest {
protected:
    void SetUp() override {
        BrowserTest::SetUp();
        Load(true);
    }
    void TearDown() override {
        band_.Reset();
        factory_.Reset();
        if (module_) FreeLibrary(module_);
        BrowserTest::TearDown();
    }

    // Loads a copy of the library named after the test, with its own template, and its factory.
    void Load(bool full_size) {
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        const std::wstring name = L"Band" + Widen(test.substr(0, 40)) + (full_size ? L"" : L"Narrow");
        const fs::path path = copies_.Make(TB_BAND_DLL, name, name, Template(full_size));
        band_.Reset();
        factory_.Reset();
        if (module_) FreeLibrary(module_);
        module_ = LoadLibraryW(path.c_str());
        ASSERT_NE(module_, nullptr) << PathUtf8(path);
        get_class_object_ = Export<GetClassObjectFunction>(module_, "DllGetClassObject");
        can_unload_now_ = Export<CanUnloadNowFunction>(module_, "DllCanUnloadNow");
        record_ = Export<BandTestRecordFunction>(module_, "BandTestRecord")();
        ASSERT_EQ(get_class_object_(kBandClass, IID_PPV_ARGS(factory_.GetAddressOf())),
                  S_OK);
        ASSERT_EQ(factory_->CreateInstance(nullptr, IID_PPV_ARGS(band_.GetAddressOf())), S_OK);
    }

    template <class Interface>
    ComPtr<Interface> As() {
        ComPtr<Interface> result;
        EXPECT_EQ(band_.As(&result), S_OK);
        return result;
    }

    // Sites the band in the stand-in browser and asks for its window, as the browser does.
    HWND SiteAndShow() {
        EXPECT_EQ(As<IObjectWithSite>()->SetSite(Browser().Site()), S_OK);
        HWND window = nullptr;
        EXPECT_EQ(As<IDeskBand>()->GetWindow(&window), S_OK);
        return window;
    }

    DESKBANDINFO BandInfo(DWORD band_id = 7) {
        DESKBANDINFO info{};
        info.dwMask = kAllBandInfo;
        wcscpy(info.wszTitle, L"untouched");
        EXPECT_EQ(As<IDeskBand>()->GetBandInfo(band_id, DBIF_VIEWMODE_NORMAL, &info), S_OK);
        return info;
    }

    HRESULT Invoke(UINT_PTR verb) {
        CMINVOKECOMMANDINFO info{};
        info.cbSize = sizeof info;
        info.lpVerb = reinterpret_cast<LPCSTR>(verb);
        return As<IContextMenu>()->InvokeCommand(&info);
    }

    LibraryCopies copies_;
    HMODULE module_ = nullptr;
    GetClassObjectFunction get_class_object_ = nullptr;
    CanUnloadNowFunction can_unload_now_ = nullptr;
    TestWindowRecord* record_ = nullptr;
    ComPtr<IClassFactory> factory_;
    ComPtr<IUnknown> band_;
};

// The factory and the server's counts

TEST_F(BandObject, TheFactoryServesOnlyTheBandsClassAndOnlyItsInterfaces) {
    void* out = &out;
    EXPECT_EQ(get_class_object_(IID_IDeskBand, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(get_class_object_(kBandClass, IID_IClassFactory, nullptr), E_POINTER);
    out = &out;
    EXPECT_EQ(get_class_object_(kBandClass, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(get_class_object_(kBandClass, IID_PPV_ARGS(unknown.GetAddressOf())), S_OK);

    EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IDeskBand, nullptr), E_POINTER);
    out = &out;
    EXPECT_EQ(factory_->CreateInstance(band_.Get(), IID_IDeskBand, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    out = &out;
    EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ComPtr<IDeskBand> second;
    EXPECT_EQ(factory_->CreateInstance(nullptr, IID_PPV_ARGS(second.GetAddressOf())), S_OK);
    EXPECT_NE(second.Get(), As<IDeskBand>().Get()) << "every call makes a new band";
}

TEST_F(BandObject, TheLibraryCanUnloadOnlyWhenNoBandFactoryReferenceOrLockRemains) {
    EXPECT_EQ(can_unload_now_(), S_FALSE) << "a band and a factory reference";
    factory_->LockServer(TRUE);
    IClassFactory* factory = factory_.Detach();
    factory->Release();
    EXPECT_EQ(can_unload_now_(), S_FALSE) << "the band and the lock";
    band_.Reset();
    EXPECT_EQ(can_unload_now_(), S_FALSE) << "the lock";
    factory->LockServer(FALSE);  // the factory itself lives as long as the library
    EXPECT_EQ(can_unload_now_(), S_OK);

    // A band whose query failed is gone again at once.
    void* out = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(can_unload_now_(), S_OK);
    factory->AddRef();
    EXPECT_EQ(can_unload_now_(), S_FALSE);
    factory->Release();
    EXPECT_EQ(can_unload_now_(), S_OK);
}

// An outer object that counts the references its inner band hands to it.
class Outer final : public IUnknown {
public:
    LONG references = 1;
    IUnknown* inner = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
};

TEST_F(BandObject, AnAggregatedBandHandsItsCountingAndQueriesToTheOuterObject) {
    Outer outer;
    ASSERT_EQ(factory_->CreateInstance(&outer, IID_PPV_ARGS(&outer.inner)), S_OK);
    IDeskBand* band = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_PPV_ARGS(&band)), S_OK);
    EXPECT_EQ(outer.references, 2) << "the interface's reference is the outer object's";
    IUnknown* identity = nullptr;
    ASSERT_EQ(band->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
    EXPECT_EQ(identity, &outer);
    identity->Release();
    band->Release();
    EXPECT_EQ(outer.references, 1);
    band_.Reset();
    EXPECT_EQ(outer.inner->Release(), 0u);
    factory_.Reset();
    EXPECT_EQ(can_unload_now_(), S_OK) << "the inner band is gone";
}

// Interfaces

TEST_F(BandObject, AnswersExactlyItsInterfacesWithOneIdentity) {
    for (const IID* iid : {&IID_IInputObject, &IID_IContextMenu, &IID_IObjectWithSite, &IID_IPersistStreamInit,
                           &IID_IPersist, &IID_IDeskBand, &IID_ISupportErrorInfo}) {
        ComPtr<IUnknown> answered;
        ASSERT_EQ(band_->QueryInterface(*iid, reinterpret_cast<void**>(answered.GetAddressOf())), S_OK);
        ComPtr<IUnknown> identity;
        ASSERT_EQ(answered.As(&identity), S_OK);
        EXPECT_EQ(identity.Get(), band_.Get());
        EXPECT_EQ(As<ISupportErrorInfo>()->InterfaceSupportsErrorInfo(*iid), S_OK);
    }
    for (const IID* iid : {&IID_IOleWindow, &IID_IDockingWindow, &IID_IPersistStream, &IID_IDispatch,
                           &IID_IInputObjectSite}) {
        void* out = &out;
        EXPECT_EQ(band_->QueryInterface(*iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(As<ISupportErrorInfo>()->InterfaceSupportsErrorInfo(*iid), S_FALSE);
    }
}

TEST_F(BandObject, PersistsNothingButItsClassId) {
    CLSID id{};
    EXPECT_EQ(As<IPersist>()->GetClassID(&id), S_OK);
    EXPECT_EQ(id, kBandClass);
    const ComPtr<IPersistStreamInit> persist = As<IPersistStreamInit>();
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    EXPECT_EQ(persist->Load(nullptr), S_OK);
    EXPECT_EQ(persist->Save(nullptr, TRUE), S_OK);
    ULARGE_INTEGER size{};
    EXPECT_EQ(persist->GetSizeMax(&size), E_NOTIMPL);
    EXPECT_EQ(persist->InitNew(), E_NOTIMPL);
    EXPECT_EQ(As<IDeskBand>()->ContextSensitiveHelp(TRUE), E_NOTIMPL);
    RECT border{};
    EXPECT_EQ(As<IDeskBand>()->ResizeBorderDW(&border, nullptr, FALSE), E_NOTIMPL);
}

// Site, window and events

TEST_F(BandObject, SitingAndTheFirstGetWindowMakeTheWindowHandItTheBrowserAndConnectItsEvents) {
    ASSERT_EQ(As<IObjectWithSite>()->SetSite(Browser().Site()), S_OK);
    EXPECT_EQ(Browser().Record().window_queries, 1);
    ASSERT_EQ(Browser().Record().service_queries.size(), 1u);
    EXPECT_EQ(Browser().Record().service_queries[0], SID_SWebBrowserApp);
    EXPECT_EQ(record_->windows_created, 0) << "no window before GetWindow";
    ComPtr<IOleWindow> site_window;
    EXPECT_EQ(As<IObjectWithSite>()->GetSite(IID_PPV_ARGS(site_window.GetAddressOf())),
              S_OK);

    HWND first = nullptr, second = nullptr;
    ASSERT_EQ(As<IDeskBand>()->GetWindow(&first), S_OK);
    ASSERT_EQ(As<IDeskBand>()->GetWindow(&second), S_OK);
    EXPECT_EQ(first, second);
    EXPECT_EQ(record_->windows_created, 1);
    EXPECT_EQ(record_->last_window, first);
    EXPECT_EQ(record_->last_parent, Browser().BandArea());
    EXPECT_EQ(GetParent(first), Browser().BandArea());
    EXPECT_EQ(record_->last_browser, static_cast<void*>(Browser().Browser()));
    EXPECT_EQ(Browser().SinkCount(), 1u);

    // The browser's events reach the window.
    Bstr address(L"http://page.test/");
    VARIANT none;
    VariantInit(&none);
    ASSERT_EQ(Browser().Browser()->Navigate(address.Get(), &none, &none, &none, &none), S_OK);
    Browser().ProcessPending();
    EXPECT_EQ(record_->document_completes, 1);

    EXPECT_EQ(As<IDeskBand>()->CloseDW(0), S_OK);
    EXPECT_EQ(record_->windows_destroyed, 1);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(Browser().SinkCount(), 0u) << "the window's destruction disconnected its sink";

    HWND third = nullptr;
    ASSERT_EQ(As<IDeskBand>()->GetWindow(&third), S_OK);
    EXPECT_EQ(record_->windows_created, 2) << "after CloseDW a new window is made";
    EXPECT_TRUE(IsWindow(third));
    EXPECT_EQ(Browser().SinkCount(), 1u);
}

TEST_F(BandObject, ANullSiteKeepsWhatTheLastSiteGave) {
    SiteAndShow();
    EXPECT_EQ(As<IObjectWithSite>()->SetSite(nullptr), S_OK);
    ComPtr<IOleWindow> site_window;
    EXPECT_EQ(As<IObjectWithSite>()->GetSite(IID_PPV_ARGS(site_window.GetAddressOf())),
              S_OK);
    ASSERT_EQ(As<IContextMenu>()->QueryContextMenu(CreatePopupMenu(), 0, 1, 4, 0), MAKE_HRESULT(0, 0, 4));
    EXPECT_EQ(Invoke(0), S_OK);
    EXPECT_EQ(Browser().Record().exec_calls.size(), 1u) << "the command target is still there";
}

TEST_F(BandObject, WithoutASiteThereIsNoSiteToGive) {
    void* out = &out;
    EXPECT_EQ(As<IObjectWithSite>()->GetSite(IID_IUnknown, &out), E_FAIL);
    EXPECT_EQ(out, nullptr);
}

TEST_F(BandObject, ReleasingTheBandWithoutClosingItTakesTheWindowAlong) {
    const HWND window = SiteAndShow();
    ASSERT_TRUE(IsWindow(window));
    band_.Reset();
    EXPECT_EQ(record_->windows_destroyed, 1);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Browser().SinkCount(), 0u);
}

TEST_F(BandObject, ABrowserWithoutEventsStillGetsItsToolbar) {
    // A browser that is no event source: the connection fails, the toolbar shows all the same.
    BareBrowser browser;
    BareSite site(Browser().BandArea(), &browser);
    ASSERT_EQ(As<IObjectWithSite>()->SetSite(static_cast<IOleWindow*>(&site)), S_OK);
    HWND window = nullptr;
    ASSERT_EQ(As<IDeskBand>()->GetWindow(&window), S_OK);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(record_->last_browser, static_cast<void*>(static_cast<IWebBrowser2*>(&browser)));
    // Without IInputObjectSite there is nobody to tell about focus; the band still keeps it.
    EXPECT_EQ(As<IDeskBand>()->ShowDW(TRUE), S_OK);
    EXPECT_EQ(As<IInputObject>()->HasFocusIO(), S_OK);
    EXPECT_EQ(As<IDeskBand>()->CloseDW(0), S_OK);
    EXPECT_FALSE(record_->sink_connected_when_destroyed);
    band_.Reset();
    EXPECT_EQ(site.references, 1) << "the band released what it took from the site";
    EXPECT_EQ(browser.references, 1);
}

TEST_F(BandObject, AWindowThatCannotBeMadeFailsGetWindowUntilItCanBe) {
    ASSERT_EQ(As<IObjectWithSite>()->SetSite(Browser().Site()), S_OK);
    record_->fail_create = true;
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(As<IDeskBand>()->GetWindow(&window), E_FAIL);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(Browser().SinkCount(), 0u);
    EXPECT_EQ(As<IDeskBand>()->GetWindow(nullptr), E_POINTER);
    record_->fail_create = false;
    EXPECT_EQ(As<IDeskBand>()->GetWindow(&window), S_OK);
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(BandObject, ACloseThatArrivesWhileTheWindowIsBuiltClosesItOnceItExists) {
    ASSERT_EQ(As<IObjectWithSite>()->SetSite(Browser().Site()), S_OK);
    record_->while_building = [](void* band) { static_cast<IDeskBand*>(band)->CloseDW(0); };
    record_->while_building_context = As<IDeskBand>().Get();
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(As<IDeskBand>()->GetWindow(&window), HRESULT_FROM_WIN32(ERROR_CANCELLED));
    record_->while_building = nullptr;
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(record_->windows_created, 1);
    EXPECT_EQ(record_->windows_destroyed, 1);
    EXPECT_FALSE(IsWindow(record_->last_window));
    EXPECT_EQ(Browser().SinkCount(), 0u);
    // The close ended that build only: asked again, the band makes its window.
    EXPECT_EQ(As<IDeskBand>()->GetWindow(&window), S_OK);
    EXPECT_TRUE(IsWindow(window));
}

// Focus and keys

TEST_F(BandObject, AClickOrControlInTheWindowMakesTheBandReportTheFocus) {
    const HWND window = SiteAndShow();
    EXPECT_EQ(As<IInputObject>()->HasFocusIO(), S_FALSE);
    // A child control's creation sends WM_PARENTNOTIFY to the window.
    const HWND child = CreateWindowExW(0, L"BUTTON", L"b", WS_CHILD, 0, 0, 10, 10, window, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(As<IInputObject>()->HasFocusIO(), S_OK);
    const auto& changes = Browser().Record().focus_changes;
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back().object, band_.Get());
    EXPECT_TRUE(changes.back().focus);
    EXPECT_EQ(record_->parent_notifies, 1) << "the window's own handling saw the message once";
    DestroyWindow(child);
    EXPECT_EQ(record_->parent_notifies, 2);
}

TEST_F(BandObject, ShowAndActivationSetTheFocusTheBandReports) {
    const ComPtr<IDeskBand> band = As<IDeskBand>();
    const ComPtr<IInputObject> input = As<IInputObject>();
    ASSERT_EQ(As<IObjectWithSite>()->SetSite(Browser().Site()), S_OK);
    EXPECT_EQ(input->UIActivateIO(TRUE, nullptr), S_OK) << "before any window there is nothing to focus";
    EXPECT_EQ(record_->focus_calls, 0);
    EXPECT_EQ(input->HasFocusIO(), S_OK);
    EXPECT_EQ(input->UIActivateIO(FALSE, nullptr), S_OK);
    EXPECT_EQ(input->HasFocusIO(), S_FALSE);

    EXPECT_EQ(band->ShowDW(TRUE), S_OK);
    EXPECT_EQ(input->HasFocusIO(), S_OK);
    EXPECT_EQ(band->ShowDW(FALSE), S_OK);
    EXPECT_EQ(input->HasFocusIO(), S_FALSE);
    const auto& changes = Browser().Record().focus_changes;
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(changes[0].focus);
    EXPECT_FALSE(changes[1].focus);
    EXPECT_EQ(changes[0].object, band_.Get());

    HWND window = nullptr;
    ASSERT_EQ(band->GetWindow(&window), S_OK);
    EXPECT_EQ(input->UIActivateIO(TRUE, nullptr), S_OK);
    EXPECT_EQ(record_->focus_calls, 1);
    record_->fail_focus = true;
    EXPECT_EQ(input->UIActivateIO(TRUE, nullptr), S_OK) << "a window that cannot take the focus";
    EXPECT_EQ(record_->focus_calls, 2);
    EXPECT_EQ(input->HasFocusIO(), S_OK);
}

TEST_F(BandObject, TheTabKeyGoesBackToTheBrowserOtherKeysToTheWindow) {
    const HWND window = SiteAndShow();
    const struct {
        UINT message;
        WPARAM key;
        HRESULT result;
        int key_downs, chars;
    } cases[] = {
        {WM_KEYDOWN, VK_TAB, S_FALSE, 0, 0},
        {WM_CHAR, '\t', S_FALSE, 0, 0},
        {WM_KEYUP, VK_TAB, S_FALSE, 0, 0},
        {WM_KEYDOWN, 'A', S_OK, 1, 0},
        {WM_CHAR, 'a', S_OK, 1, 1},
    };
    for (const auto& c : cases) {
        MSG message{};
        message.hwnd = window;
        message.message = c.message;
        message.wParam = c.key;
        EXPECT_EQ(As<IInputObject>()->TranslateAcceleratorIO(&message), c.result) << c.message << " " << c.key;
        EXPECT_EQ(record_->key_downs, c.key_downs) << c.message << " " << c.key;
        EXPECT_EQ(record_->chars, c.chars) << c.message << " " << c.key;
    }
}

// The context menu

TEST_F(BandObject, TheContextMenuGetsFourEntriesInOrderWhateverTheIdRange) {
    const HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "Browser's own");
    AppendMenuA(menu, MF_STRING, 2, "Browser's last");
    // The browser offers two ids only.
    EXPECT_EQ(As<IContextMenu>()->QueryContextMenu(menu, 1, 100, 101, CMF_NORMAL), MAKE_HRESULT(0, 0, 4));
    const char* expected[] = {"Browser's own", "Update Bandinfo", "About Toolbar...", "Toolbar Website",
                              "Toolbar Support", "Browser's last"};
    const UINT ids[] = {1, 100, 101, 102, 103, 2};
    ASSERT_EQ(GetMenuItemCount(menu), 6);
    for (int i = 0; i < 6; ++i) {
        char text[64] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, expected[i]);
        EXPECT_EQ(GetMenuItemID(menu, i), ids[i]);
    }
    DestroyMenu(menu);
    EXPECT_EQ(As<IContextMenu>()->GetCommandString(0, GCS_VERBA, nullptr, nullptr, 0), S_OK);
}

TEST_F(BandObject, CommandsAreRefusedBeforeTheMenuAndOutsideItsEntries) {
    SiteAndShow();
    for (UINT_PTR offset = 0; offset < 4; ++offset) EXPECT_EQ(Invoke(offset), E_FAIL) << offset;
    ASSERT_EQ(As<IContextMenu>()->QueryContextMenu(CreatePopupMenu(), 0, 1, 4, 0), MAKE_HRESULT(0, 0, 4));
    EXPECT_EQ(Invoke(4), E_FAIL);
    EXPECT_EQ(Invoke(0xFFFF), E_FAIL);
    static const char kVerb[] = "open";
    EXPECT_EQ(Invoke(reinterpret_cast<UINT_PTR>(kVerb)), E_FAIL) << "a verb given as text";
    EXPECT_EQ(As<IContextMenu>()->InvokeCommand(nullptr), E_INVALIDARG);
    EXPECT_TRUE(Browser().Record().exec_calls.empty());
    EXPECT_TRUE(Browser().Record().navigations.empty());
    EXPECT_EQ(record_->about_calls, 0);
}

TEST_F(BandObject, EachEntryDoesItsCommand) {
    SiteAndShow();
    BandInfo(42);
    ASSERT_EQ(As<IContextMenu>()->QueryContextMenu(CreatePopupMenu(), 0, 1, 4, 0), MAKE_HRESULT(0, 0, 4));

    EXPECT_EQ(Invoke(0), S_OK);
    const auto& exec = Browser().Record().exec_calls;
    ASSERT_EQ(exec.size(), 1u);
    EXPECT_EQ(exec[0].group, CGID_DeskBand);
    EXPECT_EQ(exec[0].command, static_cast<DWORD>(DBID_BANDINFOCHANGED));
    EXPECT_EQ(exec[0].option, 0u);
    EXPECT_EQ(exec[0].input.type, VT_I4);
    EXPECT_EQ(exec[0].input.integer, 42) << "the band id the browser gave last";
    EXPECT_TRUE(exec[0].has_output);

    EXPECT_EQ(Invoke(1), S_OK);
    EXPECT_EQ(record_->about_calls, 1);
    EXPECT_FALSE(record_->last_about_splash) << "the modal about box";

    EXPECT_EQ(Invoke(2), S_OK);
    EXPECT_EQ(Invoke(3), S_OK);
    const auto& navigations = Browser().Record().navigations;
    ASSERT_EQ(navigations.size(), 2u);
    EXPECT_EQ(navigations[0].url, L"http://home.test/");
    EXPECT_EQ(navigations[1].url, L"mailto:help@home.test");
    EXPECT_TRUE(navigations[0].same_optional_variant);
    EXPECT_EQ(navigations[0].flags.type, VT_I4);
}

TEST_F(BandObject, ACommandThatFailsIsShownInTheErrorBoxAndReported) {
    SiteAndShow();
    ASSERT_EQ(As<IContextMenu>()->QueryContextMenu(CreatePopupMenu(), 0, 1, 4, 0), MAKE_HRESULT(0, 0, 4));
    {
        ErrorBoxes boxes;
        record_->fail_about = true;
        EXPECT_EQ(Invoke(1), E_FAIL);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Invalid about colour."});
    }
    {
        ErrorBoxes boxes;
        Browser().SetNavigateResult(E_ACCESSDENIED);
        EXPECT_EQ(Invoke(2), E_ACCESSDENIED);
        ASSERT_EQ(boxes.Texts().size(), 1u);
        EXPECT_FALSE(boxes.Texts()[0].empty());
    }
}

// Size information

TEST_F(BandObject, BandInfoReportsTheWindowsSizeAndDropsTitleAndColour) {
    const HWND window = SiteAndShow();
    RECT bounds{};
    GetWindowRect(window, &bounds);
    const DESKBANDINFO info = BandInfo();
    EXPECT_EQ(info.dwMask, 0x2Fu);
    EXPECT_STREQ(info.wszTitle, L"untouched");
    EXPECT_EQ(info.ptMinSize.x, GetSystemMetrics(SM_CXSCREEN) - 20) << "full size by default";
    EXPECT_EQ(info.ptMinSize.y, bounds.bottom - bounds.top);
    EXPECT_EQ(info.ptMaxSize.x, -1);
    EXPECT_EQ(info.ptMaxSize.y, -1);
    EXPECT_EQ(info.ptIntegral.x, 1);
    EXPECT_EQ(info.ptIntegral.y, 1);
    EXPECT_EQ(info.ptActual.x, bounds.right - bounds.left);
    EXPECT_EQ(info.ptActual.y, bounds.bottom - bounds.top);
    EXPECT_EQ(info.ptActual.x, 600);
    EXPECT_EQ(info.ptActual.y, 24);
    EXPECT_EQ(info.dwModeFlags, static_cast<DWORD>(DBIMF_NORMAL));

    // Only what was asked for is filled.
    DESKBANDINFO some{};
    some.dwMask = DBIM_ACTUAL | DBIM_TITLE;
    some.ptMinSize = {5, 5};
    EXPECT_EQ(As<IDeskBand>()->GetBandInfo(1, 0, &some), S_OK);
    EXPECT_EQ(some.dwMask, static_cast<DWORD>(DBIM_ACTUAL));
    EXPECT_EQ(some.ptMinSize.x, 5);
    EXPECT_EQ(As<IDeskBand>()->GetBandInfo(1, 0, nullptr), E_INVALIDARG);
}

// The window moved to a screen of another scale and laid itself out again: the browser is asked
// to measure the band again, inside the browser's window and as a window of its own alike.
TEST_F(BandObject, AChangeOfScaleHasTheBrowserMeasureTheBandAgain) {
    const HWND window = SiteAndShow();
    DESKBANDINFO info{};
    info.dwMask = DBIM_ACTUAL;
    ASSERT_EQ(As<IDeskBand>()->GetBandInfo(7, 0, &info), S_OK);  // the browser's id for the band
    const auto& exec = Browser().Record().exec_calls;
    ASSERT_TRUE(exec.empty());
    SendMessageW(window, kDpiChangedAfterParentMessage, 0, 0);
    RECT suggested{0, 0, 1200, 48};
    SendMessageW(window, kDpiChangedMessage, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(exec.size(), 2u);
    for (const auto& call : exec) {
        EXPECT_EQ(call.group, CGID_DeskBand);
        EXPECT_EQ(call.command, static_cast<DWORD>(DBID_BANDINFOCHANGED));
        EXPECT_EQ(call.input.integer, 7);
    }
    SendMessageW(window, WM_SIZE, 0, 0);
    EXPECT_EQ(exec.size(), 2u) << "other messages ask nothing";
}

TEST_F(BandObject, WithoutFullSizeTheBandIsAtLeast275Wide) {
    Load(false);
    SiteAndShow();
    EXPECT_EQ(BandInfo().ptMinSize.x, 275);
}

TEST_F(BandObject, BeforeAnyWindowTheWindowsSizesAreZero) {
    const DESKBANDINFO info = BandInfo();
    EXPECT_EQ(info.dwMask, 0x2Fu);
    EXPECT_EQ(info.ptActual.x, 0);
    EXPECT_EQ(info.ptActual.y, 0);
    EXPECT_EQ(info.ptMinSize.y, 0);
    EXPECT_EQ(record_->windows_created, 0);
}

// The stand-in browser hosts the library as the browser does.
TEST_F(BandObject, TheStandInBrowserHostsAndClosesTheBand) {
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    host::BandHost host(Browser());
    host.Load(fs::path(TB_BAND_DLL).wstring(), kBandClass);
    ASSERT_TRUE(host.Hosting());
    EXPECT_TRUE(IsWindow(host.BandWindow()));
    EXPECT_EQ(GetParent(host.BandWindow()), Browser().BandArea());
    EXPECT_EQ(host.BandInfo().dwMask, 0x2Fu);
    EXPECT_EQ(Browser().SinkCount(), 1u);
    const HWND window = host.BandWindow();
    host.Close();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Browser().SinkCount(), 0u);
}

}  // namespace
}  // namespace tb
