#include <gtest/gtest.h>

#include <exdispid.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlguid.h>

#include "base/com_win.hpp"
#include "host/band_host_win.hpp"
#include "host/stand_in_browser_win.hpp"
#include "tests/helpers/win_support.hpp"

namespace tb::host {
namespace {

using Microsoft::WRL::ComPtr;
using testing_support::PumpUntil;

// Shown as far as the window itself says: the frame of a test is never shown on screen.
bool HasVisibleStyle(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

BOOL CALLBACK MatchOwnFrame(HWND window, LPARAM result) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t type[32] = {};
    GetClassNameW(window, type, 32);
    if (process != GetCurrentProcessId() || wcscmp(type, L"IEFrame") != 0) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

// The browser frame window of this process: other test programs may show theirs meanwhile.
HWND OwnFrameWindow() {
    HWND found = nullptr;
    EnumWindows(&MatchOwnFrame, reinterpret_cast<LPARAM>(&found));
    return found;
}

// What an event sink got in one Invoke.
struct Delivery {
    DISPID id = 0;
    WORD flags = 0;
    UINT count = 0;
    UINT named = 0;
    std::vector<VARTYPE> types;  // in the order of rgvarg: the last declared argument first
    std::wstring url;            // the URL argument of the navigation events
    IDispatch* sender = nullptr;
};

// A DWebBrowserEvents2 sink like the toolbar's: answers the event interface with its IDispatch.
class RecordingSink final : public IDispatch {
public:
    std::vector<Delivery> deliveries;
    bool cancel_navigation = false;
    bool answer_event_interface = true;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || (answer_event_interface && iid == DIID_DWebBrowserEvents2)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        Delivery d{id, flags, params->cArgs, params->cNamedArgs, {}, {}, nullptr};
        for (UINT i = 0; i < params->cArgs; ++i) d.types.push_back(params->rgvarg[i].vt);
        const UINT n = params->cArgs;
        if ((id == DISPID_BEFORENAVIGATE2 && n == 7) ||
            ((id == DISPID_NAVIGATECOMPLETE2 || id == DISPID_DOCUMENTCOMPLETE) && n == 2)) {
            d.sender = params->rgvarg[n - 1].pdispVal;
            const VARIANT* url = params->rgvarg[n - 2].pvarVal;
            if (url->vt == VT_BSTR) d.url = url->bstrVal;
        }
        if (id == DISPID_BEFORENAVIGATE2 && n == 7 && cancel_navigation) *params->rgvarg[0].pboolVal = VARIANT_TRUE;
        deliveries.push_back(d);
        return S_OK;
    }
};

class StandIn : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override {
        browser_.reset();
        OleUninitialize();
    }
    StandInBrowser& Browser() { return *browser_; }

    // Connects a sink the way the toolbar's event sink does.
    DWORD Connect(RecordingSink& sink, ComPtr<IConnectionPoint>& point) {
        ComPtr<IConnectionPointContainer> container;
        EXPECT_EQ(Browser().Browser()->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
        EXPECT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point), S_OK);
        DWORD cookie = 0;
        EXPECT_EQ(point->Advise(static_cast<IDispatch*>(&sink), &cookie), S_OK);
        return cookie;
    }

    testing_support::CrossProcessLock frames_{testing_support::kFrameWindows};
    std::unique_ptr<StandInBrowser> browser_ = std::make_unique<StandInBrowser>();
};

TEST_F(StandIn, SiteOffersItsWindowFocusCommandsAndTheBrowser) {
    IUnknown* site = Browser().Site();
    ComPtr<IInputObjectSite> input;
    ComPtr<IOleWindow> window;
    ComPtr<IOleCommandTarget> commands;
    ASSERT_EQ(site->QueryInterface(IID_PPV_ARGS(&input)), S_OK);
    ASSERT_EQ(site->QueryInterface(IID_PPV_ARGS(&window)), S_OK);
    ASSERT_EQ(site->QueryInterface(IID_PPV_ARGS(&commands)), S_OK);

    HWND parent = nullptr;
    ASSERT_EQ(window->GetWindow(&parent), S_OK);
    EXPECT_EQ(parent, Browser().BandArea());
    EXPECT_EQ(GetAncestor(parent, GA_ROOT), Browser().Frame());
    EXPECT_EQ(OwnFrameWindow(), Browser().Frame());

    // As the band does it: the service provider is asked through the command target.
    ComPtr<IServiceProvider> services;
    ASSERT_EQ(commands.As(&services), S_OK);
    ComPtr<IWebBrowser2> web;
    ASSERT_EQ(services->QueryService(SID_SWebBrowserApp, IID_PPV_ARGS(&web)), S_OK);
    EXPECT_EQ(web.Get(), Browser().Browser());
    ComPtr<IUnknown> none;
    EXPECT_EQ(services->QueryService(IID_IOleWindow, IID_PPV_ARGS(&none)), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    EXPECT_EQ(input->OnFocusChangeIS(site, TRUE), S_OK);
    EXPECT_EQ(input->OnFocusChangeIS(site, FALSE), S_OK);
    const auto& record = Browser().Record();
    ASSERT_EQ(record.focus_changes.size(), 2u);
    EXPECT_TRUE(record.focus_changes[0].focus);
    EXPECT_FALSE(record.focus_changes[1].focus);
    EXPECT_EQ(record.focus_changes[0].object, site);
    EXPECT_EQ(record.service_queries.size(), 2u);
    EXPECT_EQ(record.window_queries, 1);
}

TEST_F(StandIn, BandInfoChangedIsRecordedAndAsksForTheBandInfoAgain) {
    int refreshed = 0;
    Browser().SetBandInfoHandler([&] { ++refreshed; });
    ComPtr<IOleCommandTarget> commands;
    ASSERT_EQ(Browser().Site()->QueryInterface(IID_PPV_ARGS(&commands)), S_OK);
    VARIANT band_id;
    VariantInit(&band_id);
    band_id.vt = VT_I4;
    band_id.lVal = 7;
    Variant out;
    EXPECT_EQ(commands->Exec(&CGID_DeskBand, DBID_BANDINFOCHANGED, 0, &band_id, out.Get()), S_OK);
    EXPECT_EQ(commands->Exec(&IID_IUnknown, 5, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED);
    EXPECT_EQ(refreshed, 0) << "the browser asks again later, not inside the band's call";
    EXPECT_TRUE(PumpUntil([&] { return refreshed == 1; }));

    const auto& calls = Browser().Record().exec_calls;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].group, CGID_DeskBand);
    EXPECT_EQ(calls[0].command, 0u);
    EXPECT_EQ(calls[0].option, 0u);
    EXPECT_EQ(calls[0].input, (ArgumentSeen{VT_I4, 7, L""}));
    EXPECT_TRUE(calls[0].has_output);
}

TEST_F(StandIn, NavigateShowsTheAddressAndDeliversTheEventsThroughInvoke) {
    RecordingSink sink;
    ComPtr<IConnectionPoint> point;
    Connect(sink, point);
    Bstr url(L"http://127.0.0.1/page");
    VARIANT zero;
    VariantInit(&zero);
    zero.vt = VT_I4;
    ASSERT_EQ(Browser().Browser()->Navigate(url.Get(), &zero, &zero, &zero, &zero), S_OK);

    const auto& call = Browser().Record().navigations.at(0);
    EXPECT_EQ(call.url, L"http://127.0.0.1/page");
    EXPECT_TRUE(call.same_optional_variant);
    EXPECT_EQ(call.flags, (ArgumentSeen{VT_I4, 0, L""}));

    ASSERT_TRUE(PumpUntil([&] { return sink.deliveries.size() == 3; }));
    EXPECT_EQ(Browser().Address(), L"http://127.0.0.1/page");
    wchar_t title[256] = {};
    GetWindowTextW(OwnFrameWindow(), title, 256);
    EXPECT_NE(std::wstring(title).find(L"http://127.0.0.1/page"), std::wstring::npos);

    const std::vector<DISPID> order = {DISPID_BEFORENAVIGATE2, DISPID_NAVIGATECOMPLETE2, DISPID_DOCUMENTCOMPLETE};
    for (size_t i = 0; i < 3; ++i) {
        const Delivery& d = sink.deliveries[i];
        EXPECT_EQ(d.id, order[i]);
        EXPECT_EQ(d.flags, DISPATCH_METHOD);
        EXPECT_EQ(d.named, 0u);
        EXPECT_EQ(d.url, L"http://127.0.0.1/page");
        EXPECT_EQ(d.sender, static_cast<IDispatch*>(Browser().Browser()));
    }
    const std::vector<VARTYPE> before = {VT_BOOL | VT_BYREF,    VT_VARIANT | VT_BYREF, VT_VARIANT | VT_BYREF,
                                         VT_VARIANT | VT_BYREF, VT_VARIANT | VT_BYREF, VT_VARIANT | VT_BYREF,
                                         VT_DISPATCH};
    EXPECT_EQ(sink.deliveries[0].types, before);
    EXPECT_EQ(sink.deliveries[2].types, (std::vector<VARTYPE>{VT_VARIANT | VT_BYREF, VT_DISPATCH}));
}

TEST_F(StandIn, ASinkThatCancelsKeepsTheOldAddress) {
    RecordingSink sink;
    sink.cancel_navigation = true;
    ComPtr<IConnectionPoint> point;
    Connect(sink, point);
    Bstr url(L"http://127.0.0.1/cancelled");
    VARIANT none;
    VariantInit(&none);
    ASSERT_EQ(Browser().Browser()->Navigate(url.Get(), &none, &none, &none, &none), S_OK);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(sink.deliveries.size(), 1u);
    EXPECT_EQ(Browser().Address(), L"");
    EXPECT_EQ(Browser().Record().navigations.size(), 1u) << "the request is recorded all the same";
}

TEST_F(StandIn, ConnectionPointRefusesWhatABrowserRefuses) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(Browser().Browser()->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point), S_OK);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, DIID_DWebBrowserEvents2);

    RecordingSink stranger;
    stranger.answer_event_interface = false;
    DWORD cookie = 99;
    EXPECT_EQ(point->Advise(static_cast<IDispatch*>(&stranger), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);

    RecordingSink sink;
    ASSERT_EQ(point->Advise(static_cast<IDispatch*>(&sink), &cookie), S_OK);
    EXPECT_EQ(Browser().SinkCount(), 1u);
    EXPECT_EQ(point->Unadvise(cookie + 1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(Browser().FireEvent(DISPID_DOCUMENTCOMPLETE, {}), S_OK);
    EXPECT_TRUE(sink.deliveries.empty());
}

TEST_F(StandIn, WidthStatusTextAndBarsAreAnsweredAndTheRestIsNotImplemented) {
    IWebBrowser2* web = Browser().Browser();
    RECT frame{};
    GetWindowRect(Browser().Frame(), &frame);
    LONG width = 0;
    ASSERT_EQ(web->get_Width(&width), S_OK);
    EXPECT_EQ(width, frame.right - frame.left);

    Bstr status(L"Search the web");
    ASSERT_EQ(web->put_StatusText(status.Get()), S_OK);
    EXPECT_EQ(Browser().StatusText(), L"Search the web");
    EXPECT_EQ(Browser().Record().status_texts, std::vector<std::wstring>{L"Search the web"});

    std::vector<std::pair<std::wstring, bool>> wishes;
    Browser().SetBarHandler([&](const std::wstring& id, bool show) { wishes.emplace_back(id, show); });
    VARIANT id, show, size;
    VariantInit(&id);
    VariantInit(&show);
    VariantInit(&size);
    id.vt = VT_BSTR;
    id.bstrVal = SysAllocString(L"{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}");
    show.vt = VT_BOOL;
    show.boolVal = VARIANT_FALSE;
    ASSERT_EQ(web->ShowBrowserBar(&id, &show, &size), S_OK);
    ASSERT_EQ(web->ShowBrowserBar(&id, &size, &size), S_OK);
    EXPECT_TRUE(PumpUntil([&] { return wishes.size() == 2; }));
    EXPECT_EQ(wishes[0], std::make_pair(std::wstring(L"{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}"), false));
    EXPECT_FALSE(wishes[1].second) << "an empty wish hides";
    EXPECT_EQ(Browser().Record().bar_calls.at(0).class_id.text, L"{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}");
    EXPECT_EQ(Browser().Record().bar_calls.at(0).show.type, VT_BOOL);
    VariantClear(&id);

    Bstr location;
    EXPECT_EQ(web->get_LocationURL(location.Put()), E_NOTIMPL);
    EXPECT_EQ(web->GoBack(), E_NOTIMPL);
    EXPECT_EQ(web->Quit(), E_NOTIMPL);
    UINT count = 5;
    EXPECT_EQ(web->GetTypeInfoCount(&count), E_NOTIMPL);
    EXPECT_EQ(count, 0u);
}

TEST_F(StandIn, ReferencesKeptPastTheBrowserAnswerDisconnected) {
    ComPtr<IWebBrowser2> web = Browser().Browser();
    ComPtr<IOleWindow> window;
    ASSERT_EQ(Browser().Site()->QueryInterface(IID_PPV_ARGS(&window)), S_OK);
    browser_.reset();
    Bstr url(L"http://127.0.0.1/");
    VARIANT none;
    VariantInit(&none);
    EXPECT_EQ(web->Navigate(url.Get(), &none, &none, &none, &none), RPC_E_DISCONNECTED);
    HWND parent = reinterpret_cast<HWND>(1);
    EXPECT_EQ(window->GetWindow(&parent), RPC_E_DISCONNECTED);
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(OwnFrameWindow(), nullptr);
    // Only the test's own references keep them: the browser held one each, and gave it up.
    EXPECT_EQ(web.Get()->AddRef(), 2u);
    web.Get()->Release();
    EXPECT_EQ(window.Get()->AddRef(), 2u);
    window.Get()->Release();
}

// A band in the test's own process that does what a toolbar band does with its site.
class TestBand final : public IDeskBand, public IObjectWithSite {
public:
    std::vector<std::string> calls;
    ComPtr<IInputObjectSite> input_site;
    ComPtr<IWebBrowser2> browser;
    HWND parent = nullptr;
    HWND window = nullptr;

    ~TestBand() {
        if (window) DestroyWindow(window);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IDeskBand) {
            *out = static_cast<IDeskBand*>(this);
        } else if (iid == IID_IObjectWithSite) {
            *out = static_cast<IObjectWithSite*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override {
        calls.push_back(site ? "SetSite" : "SetSite(null)");
        if (!site) return S_OK;
        site->QueryInterface(IID_PPV_ARGS(&input_site));
        ComPtr<IOleWindow> ole_window;
        site->QueryInterface(IID_PPV_ARGS(&ole_window));
        ole_window->GetWindow(&parent);
        ComPtr<IServiceProvider> services;
        site->QueryInterface(IID_PPV_ARGS(&services));
        services->QueryService(SID_SWebBrowserApp, IID_PPV_ARGS(&browser));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSite(REFIID, void** out) override {
        *out = nullptr;
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
        calls.push_back("GetWindow");
        if (!window) {
            window = CreateWindowW(L"STATIC", L"band", WS_CHILD, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
        }
        *out = window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ShowDW(BOOL show) override {
        calls.push_back(show ? "ShowDW(TRUE)" : "ShowDW(FALSE)");
        if (input_site) input_site->OnFocusChangeIS(static_cast<IDeskBand*>(this), show);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CloseDW(DWORD) override {
        calls.push_back("CloseDW");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ResizeBorderDW(LPCRECT, IUnknown*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBandInfo(DWORD, DWORD, DESKBANDINFO* info) override {
        calls.push_back("GetBandInfo");
        info->ptMinSize = {275, 26};
        info->ptMaxSize = {-1, -1};
        info->ptIntegral = {1, 1};
        info->ptActual = {400, 26};
        info->dwModeFlags = DBIMF_NORMAL;
        info->dwMask &= ~(DBIM_TITLE | DBIM_BKCOLOR);
        return S_OK;
    }
};

TEST_F(StandIn, HostsABandAsTheBrowserDoesAndHidesItOnRequest) {
    TestBand band;
    {
        BandHost host(Browser());
        host.Host(static_cast<IDeskBand*>(&band));
        EXPECT_EQ(band.calls, (std::vector<std::string>{"SetSite", "GetWindow", "ShowDW(TRUE)", "GetBandInfo"}));
        EXPECT_EQ(band.parent, Browser().BandArea());
        EXPECT_EQ(band.browser.Get(), Browser().Browser());
        EXPECT_EQ(host.BandWindow(), band.window);
        EXPECT_TRUE(HasVisibleStyle(band.window));
        // In a band of the frame's rebar: the band's height, its row's width, never below its minimum.
        EXPECT_TRUE(Browser().HoldsBand(band.window));
        EXPECT_TRUE(Browser().BandShown(band.window));
        RECT placed{};
        GetWindowRect(band.window, &placed);
        EXPECT_GE(placed.right - placed.left, 400);
        EXPECT_EQ(placed.bottom - placed.top, 26);
        SetWindowPos(Browser().Frame(), nullptr, 0, 0, 200, 300, SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(band.window, &placed);
        EXPECT_GE(placed.right - placed.left, 275);
        EXPECT_EQ(host.BandInfo().dwMask, static_cast<DWORD>(DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL |
                                                             DBIM_ACTUAL | DBIM_MODEFLAGS));

        // The band asks to be hidden, as its close command does.
        VARIANT id, show, none;
        VariantInit(&id);
        VariantInit(&show);
        VariantInit(&none);
        id.vt = VT_BSTR;
        id.bstrVal = SysAllocString(host.ClassIdText().c_str());
        show.vt = VT_BOOL;
        show.boolVal = VARIANT_FALSE;
        band.calls.clear();
        ASSERT_EQ(band.browser->ShowBrowserBar(&id, &show, &none), S_OK);
        VariantClear(&id);
        EXPECT_TRUE(PumpUntil([&] { return !Browser().BandShown(band.window); }));
        EXPECT_FALSE(HasVisibleStyle(band.window));
        EXPECT_EQ(band.calls, std::vector<std::string>{"ShowDW(FALSE)"});
        band.calls.clear();
    }
    EXPECT_EQ(band.calls, (std::vector<std::string>{"ShowDW(FALSE)", "CloseDW", "SetSite(null)"}));
    EXPECT_FALSE(Browser().HoldsBand(band.window));
    const auto& focus = Browser().Record().focus_changes;
    ASSERT_FALSE(focus.empty());
    EXPECT_TRUE(focus.front().focus);
}

TEST_F(StandIn, LoadingALibraryWithoutABandFailsWithTheReason) {
    BandHost host(Browser());
    CLSID id{};
    try {
        host.Load(L"C:\\no such folder\\Toolbar.dll", id);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot load"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(host.Hosting());
    EXPECT_THROW(host.Load(L"kernel32.dll", id), Error);
}

}  // namespace
}  // namespace tb::host
