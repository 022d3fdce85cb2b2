// The browser event sink, driven by the stand-in browser through IDispatch::Invoke with real
// DISPPARAMS, as the browser delivers DWebBrowserEvents2.
#include <gtest/gtest.h>

#include <exdispid.h>

#include <functional>
#include <map>

#include "band/shdocvw_events_win.hpp"
#include "band_fixture.hpp"
#include "base/com_win.hpp"

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;
using testing_support::Arg;

// The kinds of parameters the events declare.
enum class Kind { String, Int32, UInt32, Bool16, Dispatch, VariantRef, Bool16Ref, Int32Ref, DispatchRef };

struct EventCase {
    DISPID id;
    const char* name;
    std::vector<Kind> parameters;
};

const std::vector<EventCase>& AllEvents() {
    using K = Kind;
    static const std::vector<EventCase> events = {
        {102, "StatusTextChange", {K::String}},
        {104, "DownloadComplete", {}},
        {105, "CommandStateChange", {K::Int32, K::Bool16}},
        {106, "DownloadBegin", {}},
        {108, "ProgressChange", {K::Int32, K::Int32}},
        {112, "PropertyChange", {K::String}},
        {113, "TitleChange", {K::String}},
        {225, "PrintTemplateInstantiation", {K::Dispatch}},
        {226, "PrintTemplateTeardown", {K::Dispatch}},
        {227, "UpdatePageStatus", {K::Dispatch, K::VariantRef, K::VariantRef}},
        {250, "BeforeNavigate2",
         {K::Dispatch, K::VariantRef, K::VariantRef, K::VariantRef, K::VariantRef, K::VariantRef, K::Bool16Ref}},
        {251, "NewWindow2", {K::DispatchRef, K::Bool16Ref}},
        {252, "NavigateComplete2", {K::Dispatch, K::VariantRef}},
        {253, "OnQuit", {}},
        {254, "OnVisible", {K::Bool16}},
        {255, "OnToolBar", {K::Bool16}},
        {256, "OnMenuBar", {K::Bool16}},
        {257, "OnStatusBar", {K::Bool16}},
        {258, "OnFullScreen", {K::Bool16}},
        {259, "DocumentComplete", {K::Dispatch, K::VariantRef}},
        {260, "OnTheaterMode", {K::Bool16}},
        {262, "WindowSetResizable", {K::Bool16}},
        {263, "WindowClosing", {K::Bool16, K::Bool16Ref}},
        {264, "WindowSetLeft", {K::Int32}},
        {265, "WindowSetTop", {K::Int32}},
        {266, "WindowSetWidth", {K::Int32}},
        {267, "WindowSetHeight", {K::Int32}},
        {268, "ClientToHostWindow", {K::Int32Ref, K::Int32Ref}},
        {269, "SetSecureLockIcon", {K::Int32}},
        {270, "FileDownload", {K::Bool16, K::Bool16Ref}},
        {271, "NavigateError", {K::Dispatch, K::VariantRef, K::VariantRef, K::VariantRef, K::Bool16Ref}},
        {272, "PrivacyImpactedStateChange", {K::Bool16}},
        {273, "NewWindow3", {K::DispatchRef, K::Bool16Ref, K::UInt32, K::String, K::String}},
        {282, "SetPhishingFilterStatus", {K::Int32}},
        {283, "WindowStateChanged", {K::UInt32, K::UInt32}},
    };
    return events;
}

// Storage for by-reference arguments, and the arguments of one call in declared order.
struct ArgumentSet {
    Variant variants[6];
    VARIANT_BOOL bools[6] = {};
    LONG integers[6] = {};
    IDispatch* dispatches[6] = {};
    Bstr text{L"text"};
    std::vector<VARIANTARG> arguments;

    ArgumentSet(const std::vector<Kind>& kinds, IDispatch* sender) {
        for (size_t i = 0; i < kinds.size(); ++i) arguments.push_back(Make(kinds[i], i, sender));
    }
    VARIANTARG Make(Kind kind, size_t i, IDispatch* sender) {
        switch (kind) {
            case Kind::String: { VARIANTARG v = Arg(VT_BSTR); v.bstrVal = text.Get(); return v; }
            case Kind::Int32: { VARIANTARG v = Arg(VT_I4); v.lVal = 7; return v; }
            case Kind::UInt32: { VARIANTARG v = Arg(VT_UI4); v.ulVal = 7; return v; }
            case Kind::Bool16: { VARIANTARG v = Arg(VT_BOOL); v.boolVal = VARIANT_TRUE; return v; }
            case Kind::Dispatch: { VARIANTARG v = Arg(VT_DISPATCH); v.pdispVal = sender; return v; }
            case Kind::VariantRef: { VARIANTARG v = Arg(VT_VARIANT | VT_BYREF); v.pvarVal = variants[i].Get(); return v; }
            case Kind::Bool16Ref: { VARIANTARG v = Arg(VT_BOOL | VT_BYREF); v.pboolVal = &bools[i]; return v; }
            case Kind::Int32Ref: { VARIANTARG v = Arg(VT_I4 | VT_BYREF); v.plVal = &integers[i]; return v; }
            case Kind::DispatchRef: { VARIANTARG v = Arg(VT_DISPATCH | VT_BYREF); v.ppdispVal = &dispatches[i]; return v; }
        }
        return Arg(VT_EMPTY);
    }
};

// An argument of the wrong type for the kind: a string where a number lies and the other way round.
VARIANTARG WrongFor(Kind kind, Bstr& text) {
    if (kind == Kind::String) {
        VARIANTARG v = Arg(VT_I4);
        v.lVal = 0x12345678;
        return v;
    }
    VARIANTARG v = Arg(VT_BSTR);
    v.bstrVal = text.Get();
    return v;
}

// Assigns every handler of the sink; each counts its calls by DISPID.
void CountEveryEvent(TSHDocVwDWebBrowserEvents2& sink, std::map<DISPID, int>& calls) {
    const auto count = [&calls](DISPID id) { return [&calls, id](auto&&...) { ++calls[id]; }; };
    sink.StatusTextChange = count(102);
    sink.DownloadComplete = count(104);
    sink.CommandStateChange = count(105);
    sink.DownloadBegin = count(106);
    sink.ProgressChange = count(108);
    sink.PropertyChange = count(112);
    sink.TitleChange = count(113);
    sink.PrintTemplateInstantiation = count(225);
    sink.PrintTemplateTeardown = count(226);
    sink.UpdatePageStatus = count(227);
    sink.BeforeNavigate2 = count(250);
    sink.NewWindow2 = count(251);
    sink.NavigateComplete2 = count(252);
    sink.OnQuit = count(253);
    sink.OnVisible = count(254);
    sink.OnToolBar = count(255);
    sink.OnMenuBar = count(256);
    sink.OnStatusBar = count(257);
    sink.OnFullScreen = count(258);
    sink.DocumentComplete = count(259);
    sink.OnTheaterMode = count(260);
    sink.WindowSetResizable = count(262);
    sink.WindowClosing = count(263);
    sink.WindowSetLeft = count(264);
    sink.WindowSetTop = count(265);
    sink.WindowSetWidth = count(266);
    sink.WindowSetHeight = count(267);
    sink.ClientToHostWindow = count(268);
    sink.SetSecureLockIcon = count(269);
    sink.FileDownload = count(270);
    sink.NavigateError = count(271);
    sink.PrivacyImpactedStateChange = count(272);
    sink.NewWindow3 = count(273);
    sink.SetPhishingFilterStatus = count(282);
    sink.WindowStateChanged = count(283);
}

class EventSink : public testing_support::BrowserTest {
protected:
    void SetUp() override {
        BrowserTest::SetUp();
        sink_.Connect(Browser().Browser());
    }
    void TearDown() override {
        sink_.Disconnect();
        BrowserTest::TearDown();
    }
    HRESULT Fire(DISPID id, std::vector<VARIANTARG> arguments) { return Browser().FireEvent(id, std::move(arguments)); }

    TSHDocVwDWebBrowserEvents2 sink_;
};

TEST_F(EventSink, EveryEventIsDecodedWithOrWithoutItsHandler) {
    IDispatch* sender = Browser().Browser();
    for (const EventCase& event : AllEvents()) {
        ArgumentSet set(event.parameters, sender);
        EXPECT_EQ(Fire(event.id, set.arguments), S_OK) << event.name << " without a handler";
    }
    std::map<DISPID, int> calls;
    CountEveryEvent(sink_, calls);
    for (const EventCase& event : AllEvents()) {
        ArgumentSet set(event.parameters, sender);
        EXPECT_EQ(Fire(event.id, set.arguments), S_OK) << event.name;
        EXPECT_EQ(calls[event.id], 1) << event.name << " reaches its own handler once";
    }
    EXPECT_EQ(calls.size(), AllEvents().size());
}

TEST_F(EventSink, ArgumentsOfAnotherTypeOrTooFewAreRefusedBeforeTheHandler) {
    std::map<DISPID, int> calls;
    CountEveryEvent(sink_, calls);
    IDispatch* sender = Browser().Browser();
    Bstr wrong_text(L"not a number");
    for (const EventCase& event : AllEvents()) {
        for (size_t k = 0; k < event.parameters.size(); ++k) {
            ArgumentSet set(event.parameters, sender);
            set.arguments[k] = WrongFor(event.parameters[k], wrong_text);
            EXPECT_EQ(Fire(event.id, set.arguments), DISP_E_TYPEMISMATCH) << event.name << " parameter " << k;
        }
        if (!event.parameters.empty()) {
            ArgumentSet set(event.parameters, sender);
            set.arguments.pop_back();
            EXPECT_EQ(Fire(event.id, set.arguments), DISP_E_BADPARAMCOUNT) << event.name;
        }
    }
    EXPECT_TRUE(calls.empty()) << "no handler runs for a refused call";

    // A reference that points nowhere is refused too, rather than written through.
    VARIANTARG nowhere = Arg(VT_BOOL | VT_BYREF);
    nowhere.pboolVal = nullptr;
    EXPECT_EQ(Fire(DISPID_WINDOWCLOSING, {Arg(VT_BOOL), nowhere}), DISP_E_TYPEMISMATCH);
    // 32-bit integers of either signedness are the same 32 bits and are taken.
    VARIANTARG left = Arg(VT_UI4);
    left.ulVal = 5;
    EXPECT_EQ(Fire(DISPID_WINDOWSETLEFT, {left}), S_OK);
}

TEST_F(EventSink, HandlersGetTheValuesAndReferencesWriteThrough) {
    std::wstring status;
    sink_.StatusTextChange = [&](TSHDocVwDWebBrowserEvents2& sender, const std::wstring& text) {
        EXPECT_EQ(&sender, &sink_);
        status = text;
    };
    LONG progress = 0, progress_max = 0;
    sink_.ProgressChange = [&](auto&, LONG p, LONG m) {
        progress = p;
        progress_max = m;
    };
    sink_.ClientToHostWindow = [](auto&, LONG& cx, LONG& cy) {
        cx = 640;
        cy = 480;
    };
    ULONG flags = 0;
    std::wstring context, url;
    sink_.NewWindow3 = [&](auto&, IDispatch*& disp, VARIANT_BOOL& cancel, ULONG f, const std::wstring& c,
                           const std::wstring& u) {
        disp = nullptr;
        cancel = VARIANT_TRUE;
        flags = f;
        context = c;
        url = u;
    };

    Bstr text(L"Done");
    VARIANTARG status_arg = Arg(VT_BSTR);
    status_arg.bstrVal = text.Get();
    EXPECT_EQ(Fire(DISPID_STATUSTEXTCHANGE, {status_arg}), S_OK);
    EXPECT_EQ(status, L"Done");

    VARIANTARG p = Arg(VT_I4), m = Arg(VT_I4);
    p.lVal = 30;
    m.lVal = 100;
    EXPECT_EQ(Fire(DISPID_PROGRESSCHANGE, {p, m}), S_OK);
    EXPECT_EQ(progress, 30);
    EXPECT_EQ(progress_max, 100);

    LONG cx = 0, cy = 0;
    VARIANTARG cx_arg = Arg(VT_I4 | VT_BYREF), cy_arg = Arg(VT_I4 | VT_BYREF);
    cx_arg.plVal = &cx;
    cy_arg.plVal = &cy;
    EXPECT_EQ(Fire(DISPID_CLIENTTOHOSTWINDOW, {cx_arg, cy_arg}), S_OK);
    EXPECT_EQ(cx, 640);
    EXPECT_EQ(cy, 480);

    IDispatch* new_window = Browser().Browser();
    VARIANT_BOOL cancel = VARIANT_FALSE;
    Bstr from(L"http://from/"), to(L"http://to/");
    std::vector<VARIANTARG> args = {Arg(VT_DISPATCH | VT_BYREF), Arg(VT_BOOL | VT_BYREF), Arg(VT_UI4), Arg(VT_BSTR),
                                    Arg(VT_BSTR)};
    args[0].ppdispVal = &new_window;
    args[1].pboolVal = &cancel;
    args[2].ulVal = 0x80000006u;
    args[3].bstrVal = from.Get();
    args[4].bstrVal = to.Get();
    EXPECT_EQ(Fire(DISPID_NEWWINDOW3, args), S_OK);
    EXPECT_EQ(new_window, nullptr);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    EXPECT_EQ(flags, 0x80000006u);
    EXPECT_EQ(context, L"http://from/");
    EXPECT_EQ(url, L"http://to/");
}

TEST_F(EventSink, ACancelSetInBeforeNavigate2StopsTheBrowsersNavigation) {
    std::wstring seen;
    sink_.BeforeNavigate2 = [&](auto&, IDispatch*, VARIANT& url, VARIANT&, VARIANT&, VARIANT&, VARIANT&,
                                VARIANT_BOOL& cancel) {
        if (url.vt == VT_BSTR) seen = url.bstrVal;
        cancel = VARIANT_TRUE;
    };
    int completes = 0;
    sink_.DocumentComplete = [&](auto&, IDispatch*, VARIANT&) { ++completes; };
    Bstr address(L"http://example.test/");
    VARIANT none;
    VariantInit(&none);
    ASSERT_EQ(Browser().Browser()->Navigate(address.Get(), &none, &none, &none, &none), S_OK);
    Browser().ProcessPending();
    EXPECT_EQ(seen, L"http://example.test/");
    EXPECT_EQ(Browser().Address(), L"") << "the browser saw the handler's cancel";
    EXPECT_EQ(completes, 0);

    sink_.BeforeNavigate2 = nullptr;
    ASSERT_EQ(Browser().Browser()->Navigate(address.Get(), &none, &none, &none, &none), S_OK);
    Browser().ProcessPending();
    EXPECT_EQ(Browser().Address(), L"http://example.test/");
    EXPECT_EQ(completes, 1);
}

TEST_F(EventSink, UnknownEventsPropertyAccessAndFailingHandlersAreRefused) {
    int calls = 0;
    sink_.OnQuit = [&](auto&) {
        ++calls;
        throw std::runtime_error("handler failed");
    };
    EXPECT_EQ(Fire(261, {}), DISP_E_MEMBERNOTFOUND) << "261 lies between two events";
    EXPECT_EQ(Fire(9999, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Fire(DISPID_ONQUIT, {}), E_UNEXPECTED);
    EXPECT_EQ(calls, 1);

    DISPPARAMS none{};
    EXPECT_EQ(sink_.Invoke(DISPID_ONQUIT, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(sink_.Invoke(DISPID_ONQUIT, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              E_UNEXPECTED)
        << "no parameters at all is a call without arguments";
    EXPECT_EQ(calls, 2);
}

// Invoke called directly, with named arguments.
class ArgumentMap : public testing::Test {
protected:
    HRESULT CallProgress(std::vector<VARIANTARG> rgvarg, std::vector<DISPID> named) {
        DISPPARAMS parameters{};
        parameters.rgvarg = rgvarg.data();
        parameters.cArgs = static_cast<UINT>(rgvarg.size());
        parameters.rgdispidNamedArgs = named.empty() ? nullptr : named.data();
        parameters.cNamedArgs = static_cast<UINT>(named.size());
        return sink_.Invoke(DISPID_PROGRESSCHANGE, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr,
                            nullptr);
    }
    static VARIANTARG Int(LONG value) {
        VARIANTARG v = Arg(VT_I4);
        v.lVal = value;
        return v;
    }

    TSHDocVwDWebBrowserEvents2 sink_;
    LONG progress_ = -1, progress_max_ = -1;
    void SetUp() override {
        sink_.ProgressChange = [this](auto&, LONG p, LONG m) {
            progress_ = p;
            progress_max_ = m;
        };
    }
};

TEST_F(ArgumentMap, PositionalArgumentsArriveLastFirst) {
    // rgvarg[0] is the last parameter: parameter 0 reads index 1, parameter 1 index 0.
    EXPECT_EQ(CallProgress({Int(100), Int(30)}, {}), S_OK);
    EXPECT_EQ(progress_, 30);
    EXPECT_EQ(progress_max_, 100);
}

TEST_F(ArgumentMap, NamedArgumentsGoWhereTheirDispidsSay) {
    // Parameter 0 named at position 0: it reads index 0; parameter 1 keeps index 0 from the
    // positional map.
    EXPECT_EQ(CallProgress({Int(11), Int(22)}, {0}), S_OK);
    EXPECT_EQ(progress_, 11);
    EXPECT_EQ(progress_max_, 11);
    // Both named, in reverse of the usual order.
    EXPECT_EQ(CallProgress({Int(11), Int(22)}, {0, 1}), S_OK);
    EXPECT_EQ(progress_, 11);
    EXPECT_EQ(progress_max_, 22);
    // Named DISPIDs outside the argument list are ignored.
    EXPECT_EQ(CallProgress({Int(100), Int(30)}, {5}), S_OK);
    EXPECT_EQ(progress_, 30);
    EXPECT_EQ(progress_max_, 100);
    // More names than arguments is no call of this event.
    EXPECT_EQ(CallProgress({Int(1)}, {0, 1}), DISP_E_BADPARAMCOUNT);
}

TEST_F(EventSink, ConnectingAgainUnadvisesFirstAndDestructionDisconnects) {
    EXPECT_EQ(Browser().SinkCount(), 1u);
    sink_.Connect(Browser().Browser());
    EXPECT_EQ(Browser().SinkCount(), 1u) << "the old connection was unadvised before the new one";

    host::StandInBrowser other;
    sink_.Connect(other.Browser());
    EXPECT_EQ(Browser().SinkCount(), 0u);
    EXPECT_EQ(other.SinkCount(), 1u);
    {
        TSHDocVwDWebBrowserEvents2 second("Second");
        second.Connect(other.Browser());
        EXPECT_EQ(other.SinkCount(), 2u);
    }
    EXPECT_EQ(other.SinkCount(), 1u) << "destruction disconnects";
    sink_.Disconnect();
    EXPECT_FALSE(sink_.Connected());
    EXPECT_EQ(other.SinkCount(), 0u);
    sink_.Disconnect();  // disconnected already: nothing happens
    EXPECT_FALSE(sink_.Connected());
}

TEST_F(EventSink, AFailedUnadviseStillLeavesTheSinkDisconnected) {
    auto gone = std::make_unique<host::StandInBrowser>();
    TSHDocVwDWebBrowserEvents2 sink;
    sink.Connect(gone->Browser());
    gone.reset();  // the browser drops its sinks: Unadvise now fails
    sink.Disconnect();
    EXPECT_FALSE(sink.Connected());
}

// An object that is no event source.
class NoSource final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

TEST(EventSinkAlone, AFailedConnectSaysWhichSinkAndWhyAndStaysDisconnected) {
    TSHDocVwDWebBrowserEvents2 sink;
    EXPECT_EQ(sink.Name(), "BrowserEvents");
    NoSource source;
    try {
        sink.Connect(&source);
        FAIL() << "Connect succeeded";
    } catch (const Error& error) {
        const std::string text = error.what();
        EXPECT_EQ(text.rfind("Unable to connect BrowserEvents.\r", 0), 0u) << text;
        EXPECT_GT(text.size(), std::string("Unable to connect BrowserEvents.\r").size()) << "the reason follows";
    }
    EXPECT_FALSE(sink.Connected());
}

TEST(EventSinkAlone, AnswersItsInterfacesAsOneIDispatchAndIgnoresCounting) {
    TSHDocVwDWebBrowserEvents2 sink;
    void* unknown = nullptr;
    void* dispatch = nullptr;
    void* events = nullptr;
    ASSERT_EQ(sink.QueryInterface(IID_IUnknown, &unknown), S_OK);
    ASSERT_EQ(sink.QueryInterface(IID_IDispatch, &dispatch), S_OK);
    ASSERT_EQ(sink.QueryInterface(DIID_DWebBrowserEvents2, &events), S_OK);
    EXPECT_EQ(unknown, dispatch);
    EXPECT_EQ(events, dispatch);
    void* other = &sink;
    EXPECT_EQ(sink.QueryInterface(IID_IConnectionPoint, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sink.AddRef(), 2u);
        EXPECT_EQ(sink.Release(), 1u);
    }
    EXPECT_EQ(sink.Release(), 1u);
    UINT count = 5;
    EXPECT_EQ(sink.GetTypeInfoCount(&count), E_NOTIMPL);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&sink);
    EXPECT_EQ(sink.GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(info, nullptr);
}

}  // namespace
}  // namespace tb
