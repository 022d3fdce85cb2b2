#include "band/shdocvw_events_win.hpp"

#include <utility>

#include "base/boundary_win.hpp"
#include "base/com_win.hpp"
#include "base/errors.hpp"

namespace tb {
namespace {

// A call whose arguments do not match the event: refused with the code, before any handler runs.
struct ArgumentsRefused {
    HRESULT code;
};

// The arguments of one call, read by the event's parameter number through the map. Each accessor
// checks the argument's type tag (and, for references, that the reference is not null).
class Arguments {
public:
    Arguments(const DISPPARAMS& parameters, const std::vector<UINT>& map) : parameters_(parameters), map_(map) {}

    // Refuses a call with fewer arguments than the event declares.
    void Expect(size_t count) const {
        if (map_.size() < count) throw ArgumentsRefused{DISP_E_BADPARAMCOUNT};
    }

    std::wstring String(size_t k) const {
        const VARIANTARG& v = At(k, VT_BSTR);
        return v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
    }
    // A 32-bit integer of either signedness: the four tags all hold 32 bits, read as they lie.
    LONG Int32(size_t k) const { return static_cast<LONG>(Integer32(k)); }
    ULONG UInt32(size_t k) const { return Integer32(k); }
    VARIANT_BOOL Bool16(size_t k) const { return At(k, VT_BOOL).boolVal; }
    IDispatch* Dispatch(size_t k) const { return At(k, VT_DISPATCH).pdispVal; }

    VARIANT& VariantRef(size_t k) const { return *NotNull(At(k, VT_VARIANT | VT_BYREF).pvarVal); }
    VARIANT_BOOL& Bool16Ref(size_t k) const { return *NotNull(At(k, VT_BOOL | VT_BYREF).pboolVal); }
    LONG& Int32Ref(size_t k) const { return *NotNull(At(k, VT_I4 | VT_BYREF).plVal); }
    IDispatch*& DispatchRef(size_t k) const { return *NotNull(At(k, VT_DISPATCH | VT_BYREF).ppdispVal); }

private:
    const VARIANTARG& Argument(size_t k) const {
        if (k >= map_.size()) throw ArgumentsRefused{DISP_E_BADPARAMCOUNT};
        return parameters_.rgvarg[map_[k]];
    }
    const VARIANTARG& At(size_t k, VARTYPE type) const {
        const VARIANTARG& v = Argument(k);
        if (v.vt != type) throw ArgumentsRefused{DISP_E_TYPEMISMATCH};
        return v;
    }
    ULONG Integer32(size_t k) const {
        const VARIANTARG& v = Argument(k);
        switch (v.vt) {
            case VT_I4: return static_cast<ULONG>(v.lVal);
            case VT_UI4: return v.ulVal;
            case VT_INT: return static_cast<ULONG>(v.intVal);
            case VT_UINT: return v.uintVal;
            default: throw ArgumentsRefused{DISP_E_TYPEMISMATCH};
        }
    }
    template <class T>
    static T* NotNull(T* reference) {
        if (!reference) throw ArgumentsRefused{DISP_E_TYPEMISMATCH};
        return reference;
    }

    const DISPPARAMS& parameters_;
    const std::vector<UINT>& map_;
};

// The DISPIDs of DWebBrowserEvents2.
enum : DISPID {
    kStatusTextChange = 102,
    kDownloadComplete = 104,
    kCommandStateChange = 105,
    kDownloadBegin = 106,
    kProgressChange = 108,
    kPropertyChange = 112,
    kTitleChange = 113,
    kPrintTemplateInstantiation = 225,
    kPrintTemplateTeardown = 226,
    kUpdatePageStatus = 227,
    kBeforeNavigate2 = 250,
    kNewWindow2 = 251,
    kNavigateComplete2 = 252,
    kOnQuit = 253,
    kOnVisible = 254,
    kOnToolBar = 255,
    kOnMenuBar = 256,
    kOnStatusBar = 257,
    kOnFullScreen = 258,
    kDocumentComplete = 259,
    kOnTheaterMode = 260,
    kWindowSetResizable = 262,
    kWindowClosing = 263,
    kWindowSetLeft = 264,
    kWindowSetTop = 265,
    kWindowSetWidth = 266,
    kWindowSetHeight = 267,
    kClientToHostWindow = 268,
    kSetSecureLockIcon = 269,
    kFileDownload = 270,
    kNavigateError = 271,
    kPrivacyImpactedStateChange = 272,
    kNewWindow3 = 273,
    kSetPhishingFilterStatus = 282,
    kWindowStateChanged = 283,
};

}  // namespace

// The base sink

TSHDocVwEventsBaseSink::TSHDocVwEventsBaseSink(std::string name, const IID& sink_iid)
    : name_(std::move(name)), sink_iid_(sink_iid) {}

TSHDocVwEventsBaseSink::~TSHDocVwEventsBaseSink() { Disconnect(); }

void TSHDocVwEventsBaseSink::Connect(IUnknown* source) {
    Disconnect();
    const auto fail = [this](const std::string& reason) {
        connection_point_.Reset();
        cookie_ = 0;
        return Error("Unable to connect " + name_ + ".\r" + reason);
    };
    if (!source) throw fail(ComError::MessageFor(E_POINTER));
    Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
    HRESULT code = source->QueryInterface(IID_PPV_ARGS(container.GetAddressOf()));
    if (FAILED(code) || !container) throw fail(ComError::MessageFor(FAILED(code) ? code : E_NOINTERFACE));
    code = container->FindConnectionPoint(sink_iid_, connection_point_.ReleaseAndGetAddressOf());
    if (FAILED(code) || !connection_point_) throw fail(ComError::MessageFor(FAILED(code) ? code : E_POINTER));
    DWORD cookie = 0;
    code = connection_point_->Advise(static_cast<IDispatch*>(this), &cookie);
    if (FAILED(code)) throw fail(ComError::MessageFor(code));
    cookie_ = cookie;
    source_ = source;
}

void TSHDocVwEventsBaseSink::Disconnect() noexcept {
    if (!source_) return;
    if (SUCCEEDED(connection_point_->Unadvise(cookie_))) {
        connection_point_.Reset();
        source_.Reset();
    } else {
        // The source may be gone: its references are forgotten, not released.
        connection_point_.Detach();
        source_.Detach();
    }
    cookie_ = 0;
}

HRESULT STDMETHODCALLTYPE TSHDocVwEventsBaseSink::QueryInterface(REFIID iid, void** out) {
    return QueryInterfaceFromTable(
        this, iid, out,
        {TB_QI_ENTRY(TSHDocVwEventsBaseSink, IDispatch),
         InterfaceEntry{&sink_iid_, &CastToInterface<TSHDocVwEventsBaseSink, IDispatch>}});
}

HRESULT STDMETHODCALLTYPE TSHDocVwEventsBaseSink::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TSHDocVwEventsBaseSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TSHDocVwEventsBaseSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TSHDocVwEventsBaseSink::Invoke(DISPID id, REFIID, LCID, WORD flags,
                                                         DISPPARAMS* parameters, VARIANT*, EXCEPINFO*, UINT*) {
    return ComBoundary([&]() -> HRESULT {
        if ((flags & DISPATCH_METHOD) == 0) {
            // "<class> only supports sinking of method calls!": a property access is no event.
            OutputDebugStringA((std::string(ClassName()) + " only supports sinking of method calls!\n").c_str());
            return DISP_E_MEMBERNOTFOUND;
        }
        static const DISPPARAMS kNoArguments{};
        const DISPPARAMS& given = parameters ? *parameters : kNoArguments;
        const UINT count = given.cArgs;
        if (count > 0 && !given.rgvarg) return E_INVALIDARG;
        if (given.cNamedArgs > count || (given.cNamedArgs > 0 && !given.rgdispidNamedArgs)) {
            return DISP_E_BADPARAMCOUNT;
        }
        // Positional arguments arrive last first; a named argument j carries its parameter's DISPID.
        std::vector<UINT> map(count);
        for (UINT i = 0; i < count; ++i) map[i] = count - 1 - i;
        for (UINT j = 0; j < given.cNamedArgs; ++j) {
            const DISPID named = given.rgdispidNamedArgs[j];
            if (named >= 0 && static_cast<UINT>(named) < count) map[static_cast<UINT>(named)] = j;
        }
        return DoInvoke(id, given, map);
    });
}

// The browser's events

TSHDocVwDWebBrowserEvents2::TSHDocVwDWebBrowserEvents2(std::string name)
    : TSHDocVwEventsBaseSink(std::move(name), DIID_DWebBrowserEvents2) {}

HRESULT TSHDocVwDWebBrowserEvents2::DoInvoke(DISPID id, const DISPPARAMS& parameters, const std::vector<UINT>& map) {
    const Arguments a(parameters, map);
    // Every argument is read (and checked) before the handler is called.
    const auto call = [this](auto& handler, auto&&... arguments) {
        if (handler) handler(*this, std::forward<decltype(arguments)>(arguments)...);
    };
    try {
        switch (id) {
            case kStatusTextChange: a.Expect(1); call(StatusTextChange, a.String(0)); break;
            case kDownloadComplete: call(DownloadComplete); break;
            case kCommandStateChange: {
                a.Expect(2);
                const LONG command = a.Int32(0);
                call(CommandStateChange, command, a.Bool16(1));
                break;
            }
            case kDownloadBegin: call(DownloadBegin); break;
            case kProgressChange: {
                a.Expect(2);
                const LONG progress = a.Int32(0);
                call(ProgressChange, progress, a.Int32(1));
                break;
            }
            case kPropertyChange: a.Expect(1); call(PropertyChange, a.String(0)); break;
            case kTitleChange: a.Expect(1); call(TitleChange, a.String(0)); break;
            case kPrintTemplateInstantiation: a.Expect(1); call(PrintTemplateInstantiation, a.Dispatch(0)); break;
            case kPrintTemplateTeardown: a.Expect(1); call(PrintTemplateTeardown, a.Dispatch(0)); break;
            case kUpdatePageStatus: {
                a.Expect(3);
                IDispatch* disp = a.Dispatch(0);
                VARIANT& page = a.VariantRef(1);
                call(UpdatePageStatus, disp, page, a.VariantRef(2));
                break;
            }
            case kBeforeNavigate2: {
                a.Expect(7);
                IDispatch* disp = a.Dispatch(0);
                VARIANT& url = a.VariantRef(1);
                VARIANT& flags = a.VariantRef(2);
                VARIANT& target = a.VariantRef(3);
                VARIANT& post_data = a.VariantRef(4);
                VARIANT& headers = a.VariantRef(5);
                call(BeforeNavigate2, disp, url, flags, target, post_data, headers, a.Bool16Ref(6));
                break;
            }
            case kNewWindow2: {
                a.Expect(2);
                IDispatch*& disp = a.DispatchRef(0);
                call(NewWindow2, disp, a.Bool16Ref(1));
                break;
            }
            case kNavigateComplete2: {
                a.Expect(2);
                IDispatch* disp = a.Dispatch(0);
                call(NavigateComplete2, disp, a.VariantRef(1));
                break;
            }
            case kOnQuit: call(OnQuit); break;
            case kOnVisible: a.Expect(1); call(OnVisible, a.Bool16(0)); break;
            case kOnToolBar: a.Expect(1); call(OnToolBar, a.Bool16(0)); break;
            case kOnMenuBar: a.Expect(1); call(OnMenuBar, a.Bool16(0)); break;
            case kOnStatusBar: a.Expect(1); call(OnStatusBar, a.Bool16(0)); break;
            case kOnFullScreen: a.Expect(1); call(OnFullScreen, a.Bool16(0)); break;
            case kDocumentComplete: {
                a.Expect(2);
                IDispatch* disp = a.Dispatch(0);
                call(DocumentComplete, disp, a.VariantRef(1));
                break;
            }
            case kOnTheaterMode: a.Expect(1); call(OnTheaterMode, a.Bool16(0)); break;
            case kWindowSetResizable: a.Expect(1); call(WindowSetResizable, a.Bool16(0)); break;
            case kWindowClosing: {
                a.Expect(2);
                const VARIANT_BOOL child = a.Bool16(0);
                call(WindowClosing, child, a.Bool16Ref(1));
                break;
            }
            case kWindowSetLeft: a.Expect(1); call(WindowSetLeft, a.Int32(0)); break;
            case kWindowSetTop: a.Expect(1); call(WindowSetTop, a.Int32(0)); break;
            case kWindowSetWidth: a.Expect(1); call(WindowSetWidth, a.Int32(0)); break;
            case kWindowSetHeight: a.Expect(1); call(WindowSetHeight, a.Int32(0)); break;
            case kClientToHostWindow: {
                a.Expect(2);
                LONG& cx = a.Int32Ref(0);
                call(ClientToHostWindow, cx, a.Int32Ref(1));
                break;
            }
            case kSetSecureLockIcon: a.Expect(1); call(SetSecureLockIcon, a.Int32(0)); break;
            case kFileDownload: {
                a.Expect(2);
                const VARIANT_BOOL active = a.Bool16(0);
                call(FileDownload, active, a.Bool16Ref(1));
                break;
            }
            case kNavigateError: {
                a.Expect(5);
                IDispatch* disp = a.Dispatch(0);
                VARIANT& url = a.VariantRef(1);
                VARIANT& frame = a.VariantRef(2);
                VARIANT& status = a.VariantRef(3);
                call(NavigateError, disp, url, frame, status, a.Bool16Ref(4));
                break;
            }
            case kPrivacyImpactedStateChange: a.Expect(1); call(PrivacyImpactedStateChange, a.Bool16(0)); break;
            case kNewWindow3: {
                a.Expect(5);
                IDispatch*& disp = a.DispatchRef(0);
                VARIANT_BOOL& cancel = a.Bool16Ref(1);
                const ULONG flags = a.UInt32(2);
                const std::wstring context = a.String(3);
                call(NewWindow3, disp, cancel, flags, context, a.String(4));
                break;
            }
            case kSetPhishingFilterStatus: a.Expect(1); call(SetPhishingFilterStatus, a.Int32(0)); break;
            case kWindowStateChanged: {
                a.Expect(2);
                const ULONG state = a.UInt32(0);
                call(WindowStateChanged, state, a.UInt32(1));
                break;
            }
            default: return DISP_E_MEMBERNOTFOUND;
        }
    } catch (const ArgumentsRefused& refused) {
        return refused.code;
    } catch (...) {
        OutputDebugStringA((Name() + ": an event handler failed: " + MessageOfCaughtException() + "\n").c_str());
        return E_UNEXPECTED;
    }
    return S_OK;
}

}  // namespace tb
