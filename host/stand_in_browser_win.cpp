#include "host/stand_in_browser_win.hpp"

#include <commctrl.h>
#include <exdispid.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlguid.h>

#include "base/boundary_win.hpp"
#include "base/window_object_win.hpp"
#include "host/browser_stub_win.hpp"

#include <algorithm>
#include <utility>

namespace tb::host {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kFrameClass[] = L"IEFrame";
// The rebar's height while it holds no band.
constexpr int kEmptyBandAreaHeight = 30;
constexpr int kLineHeight = 20;
// Posted to the frame: finish the queued navigations and bar wishes outside the band's call.
constexpr UINT kProcessPending = WM_APP + 1;

void RegisterClasses() {
    static const bool registered = [] {
        WNDCLASSW frame{};
        frame.lpfnWndProc = &StandInBrowser::FrameProcEntry;
        frame.hInstance = GetModuleHandleW(nullptr);
        frame.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        frame.lpszClassName = kFrameClass;
        RegisterClassW(&frame);
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_COOL_CLASSES};
        InitCommonControlsEx(&controls);
        return true;
    }();
    (void)registered;
}

std::wstring BstrText(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

}  // namespace

ArgumentSeen DescribeArgument(const VARIANT* argument) {
    ArgumentSeen seen;
    if (!argument) {
        seen.type = VT_ILLEGAL;
        return seen;
    }
    seen.type = argument->vt;
    switch (argument->vt) {
        case VT_I4: seen.integer = argument->lVal; break;
        case VT_INT: seen.integer = argument->intVal; break;
        case VT_UI4: seen.integer = argument->ulVal; break;
        case VT_I2: seen.integer = argument->iVal; break;
        case VT_BOOL: seen.integer = argument->boolVal; break;
        case VT_BSTR: seen.text = BstrText(argument->bstrVal); break;
        case VT_BYREF | VT_VARIANT: return DescribeArgument(argument->pvarVal);
        default: break;
    }
    return seen;
}

// Reference counting shared by the stand-in's COM objects. They keep a plain pointer to their
// StandInBrowser, cleared when it goes, after which they answer RPC_E_DISCONNECTED.
template <class Derived>
class Counted {
public:
    ULONG CountUp() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG CountDown() {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete static_cast<Derived*>(this);
        return static_cast<ULONG>(left);
    }

protected:
    virtual ~Counted() = default;
    LONG references_ = 1;
};

// The one connection point: DWebBrowserEvents2.
class EventConnectionPoint final : public IConnectionPoint {
public:
    explicit EventConnectionPoint(IConnectionPointContainer* container) : container_(container) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromTable(this, iid, out, {TB_QI_ENTRY(EventConnectionPoint, IConnectionPoint)});
    }
    // Lives exactly as long as its container, which forwards the counting.
    ULONG STDMETHODCALLTYPE AddRef() override { return container_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return container_->Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = DIID_DWebBrowserEvents2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
        if (!out) return E_POINTER;
        *out = container_;
        container_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        return ComBoundary([&]() -> HRESULT {
            if (!sink || !cookie) return E_POINTER;
            *cookie = 0;
            // The sink must answer the event interface, as a browser's connection point asks.
            ComPtr<IDispatch> events;
            if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2,
                                            reinterpret_cast<void**>(events.GetAddressOf())))) {
                return CONNECT_E_CANNOTCONNECT;
            }
            sinks_.push_back({last_cookie_ + 1, events});
            *cookie = ++last_cookie_;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        return ComBoundary([&]() -> HRESULT {
            const auto found =
                std::find_if(sinks_.begin(), sinks_.end(), [&](const auto& s) { return s.first == cookie; });
            if (found == sinks_.end()) return CONNECT_E_NOCONNECTION;
            sinks_.erase(found);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    std::vector<ComPtr<IDispatch>> Sinks() const {
        std::vector<ComPtr<IDispatch>> result;
        for (const auto& sink : sinks_) result.push_back(sink.second);
        return result;
    }
    size_t Count() const { return sinks_.size(); }
    void DropAll() { sinks_.clear(); }

private:
    IConnectionPointContainer* container_;
    DWORD last_cookie_ = 0;
    std::vector<std::pair<DWORD, ComPtr<IDispatch>>> sinks_;
};

class BrowserObject final : public Counted<BrowserObject>, public BrowserStub, public IConnectionPointContainer {
public:
    explicit BrowserObject(StandInBrowser* owner) : owner_(owner), events_(this) {}
    void Detach() {
        owner_ = nullptr;
        events_.DropAll();
    }
    EventConnectionPoint& Events() { return events_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromTable(this, iid, out,
                                       {TB_QI_ENTRY(BrowserObject, IWebBrowser2), TB_QI_ENTRY(BrowserObject, IDispatch),
                                        TB_QI_ENTRY(BrowserObject, IWebBrowser),
                                        TB_QI_ENTRY(BrowserObject, IWebBrowserApp),
                                        TB_QI_ENTRY(BrowserObject, IConnectionPointContainer)});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CountUp(); }
    ULONG STDMETHODCALLTYPE Release() override { return CountDown(); }

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
        *out = &events_;
        events_.AddRef();
        return S_OK;
    }

    // The four calls a band makes.
    HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT* flags, VARIANT* target_frame, VARIANT* post_data,
                                       VARIANT* headers) override {
        return ComBoundary([&]() -> HRESULT {
            if (!owner_) return RPC_E_DISCONNECTED;
            return owner_->Navigate(url, flags, target_frame, post_data, headers);
        });
    }
    HRESULT STDMETHODCALLTYPE get_Width(LONG* width) override {
        if (!owner_) return RPC_E_DISCONNECTED;
        if (!width) return E_POINTER;
        ++owner_->record_.width_queries;
        RECT frame{};
        GetWindowRect(owner_->frame_, &frame);
        *width = frame.right - frame.left;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_StatusText(BSTR text) override {
        return ComBoundary([&]() -> HRESULT {
            if (!owner_) return RPC_E_DISCONNECTED;
            const std::wstring status = BstrText(text);
            owner_->record_.status_texts.push_back(status);
            SetWindowTextW(owner_->status_bar_, status.c_str());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE ShowBrowserBar(VARIANT* class_id, VARIANT* show, VARIANT* size) override {
        return ComBoundary([&]() -> HRESULT {
            if (!owner_) return RPC_E_DISCONNECTED;
            owner_->ShowBar(class_id, show, size);
            return S_OK;
        });
    }

    // Everything else a browser offers answers E_NOTIMPL (BrowserStub).

private:
    StandInBrowser* owner_;
    EventConnectionPoint events_;
};

class BandSiteObject final : public Counted<BandSiteObject>,
                             public IInputObjectSite,
                             public IOleWindow,
                             public IOleCommandTarget,
                             public IServiceProvider {
public:
    explicit BandSiteObject(StandInBrowser* owner) : owner_(owner) {}
    void Detach() { owner_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromTable(this, iid, out,
                                       {TB_QI_ENTRY(BandSiteObject, IInputObjectSite),
                                        TB_QI_ENTRY(BandSiteObject, IOleWindow),
                                        TB_QI_ENTRY(BandSiteObject, IOleCommandTarget),
                                        TB_QI_ENTRY(BandSiteObject, IServiceProvider)});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CountUp(); }
    ULONG STDMETHODCALLTYPE Release() override { return CountDown(); }

    // IInputObjectSite
    HRESULT STDMETHODCALLTYPE OnFocusChangeIS(IUnknown* object, BOOL focus) override {
        return ComBoundary([&]() -> HRESULT {
            if (!owner_) return RPC_E_DISCONNECTED;
            owner_->record_.focus_changes.push_back({object, focus != FALSE});
            return S_OK;
        });
    }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = nullptr;
        if (!owner_) return RPC_E_DISCONNECTED;
        ++owner_->record_.window_queries;
        *window = owner_->band_area_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleCommandTarget: the band's "band info changed" is the one command the stand-in knows.
    HRESULT STDMETHODCALLTYPE QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD command, DWORD option, VARIANT* input,
                                   VARIANT* output) override {
        return ComBoundary([&]() -> HRESULT {
            if (!owner_) return RPC_E_DISCONNECTED;
            ExecCall call;
            if (group) call.group = *group;
            call.command = command;
            call.option = option;
            call.input = DescribeArgument(input);
            call.has_output = output != nullptr;
            owner_->record_.exec_calls.push_back(call);
            if (group && *group == CGID_DeskBand && command == DBID_BANDINFOCHANGED) {
                owner_->band_info_changed_ = true;
                PostMessageW(owner_->frame_, kProcessPending, 0, 0);
                return S_OK;
            }
            return OLECMDERR_E_NOTSUPPORTED;
        });
    }

    // IServiceProvider: the hosting browser.
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return ComBoundary([&]() -> HRESULT {
            if (!owner_) return RPC_E_DISCONNECTED;
            owner_->record_.service_queries.push_back(service);
            if (service == SID_SWebBrowserApp || service == SID_SInternetExplorer) {
                return owner_->browser_->QueryInterface(iid, out);
            }
            return E_NOINTERFACE;
        });
    }

private:
    StandInBrowser* owner_;
};

StandInBrowser::StandInBrowser() {
    RegisterClasses();
    browser_ = MakeComObject<BrowserObject>(this);
    site_ = MakeComObject<BandSiteObject>(this);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    frame_ = CreateWindowExW(0, kFrameClass, L"Stand-in browser", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                             CW_USEDEFAULT, 1024, 600, nullptr, nullptr, instance, this);
    // Placed by the frame (no alignment of its own); its height follows its bands.
    band_area_ = CreateWindowExW(0, REBARCLASSNAMEW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | RBS_VARHEIGHT |
                                     RBS_BANDBORDERS | CCS_NODIVIDER | CCS_NOPARENTALIGN | CCS_NORESIZE,
                                 0, 0, 0, 0, frame_, nullptr, instance, nullptr);
    REBARINFO bar{};
    bar.cbSize = sizeof bar;
    SendMessageW(band_area_, RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&bar));
    address_label_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0,
                                     0, 0, frame_, nullptr, instance, nullptr);
    status_bar_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, 0, 0,
                                  0, frame_, nullptr, instance, nullptr);
    Layout();
}

StandInBrowser::~StandInBrowser() {
    browser_->Detach();
    site_->Detach();
    if (frame_) {
        SetWindowLongPtrW(frame_, GWLP_USERDATA, 0);
        DestroyWindow(frame_);
    }
}

IUnknown* StandInBrowser::Site() const { return static_cast<IInputObjectSite*>(site_.Get()); }
IWebBrowser2* StandInBrowser::Browser() const { return browser_.Get(); }

std::wstring StandInBrowser::StatusText() const {
    wchar_t text[1024] = {};
    GetWindowTextW(status_bar_, text, 1024);
    return text;
}

size_t StandInBrowser::SinkCount() const { return browser_->Events().Count(); }

LRESULT CALLBACK StandInBrowser::FrameProcEntry(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return WindowBoundary([&] { return FrameProc(window, message, wparam, lparam); });
}

LRESULT StandInBrowser::FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = SelfOf<StandInBrowser>(window, message, lparam);
    if (self) {
        switch (message) {
            case WM_SIZE: self->Layout(); return 0;
            case WM_NOTIFY:
                if (reinterpret_cast<const NMHDR*>(lparam)->code == RBN_HEIGHTCHANGE) self->Layout();
                return 0;
            case kProcessPending: self->ProcessPending(); return 0;
            case WM_CLOSE: PostQuitMessage(0); return 0;
            default: break;
        }
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void StandInBrowser::Layout() {
    if (!band_area_ || !address_label_ || !status_bar_) return;
    RECT client{};
    GetClientRect(frame_, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    MoveWindow(address_label_, 4, 2, width - 8, kLineHeight, TRUE);
    const auto bands = static_cast<int>(SendMessageW(band_area_, RB_GETBANDCOUNT, 0, 0));
    const auto bar_height = static_cast<int>(SendMessageW(band_area_, RB_GETBARHEIGHT, 0, 0));
    MoveWindow(band_area_, 0, kLineHeight + 4, width, bands > 0 && bar_height > 0 ? bar_height : kEmptyBandAreaHeight,
               TRUE);
    MoveWindow(status_bar_, 4, std::max(0, height - kLineHeight), width - 8, kLineHeight, TRUE);
}

namespace {

// The rebar band's sizes from the band's answer: its smallest size, its height, its wish.
REBARBANDINFOW RebarBand(HWND window, const DESKBANDINFO& info) {
    REBARBANDINFOW band{};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_STYLE | RBBIM_IDEALSIZE;
    // Locked, one band a row, as the browser shows its toolbars.
    band.fStyle = RBBS_NOGRIPPER | RBBS_BREAK;
    band.hwndChild = window;
    RECT box{};
    GetWindowRect(window, &box);
    const LONG height = (info.dwMask & DBIM_ACTUAL) && info.ptActual.y > 0 ? info.ptActual.y : box.bottom - box.top;
    band.cxMinChild = (info.dwMask & DBIM_MINSIZE) ? static_cast<UINT>(std::max<LONG>(0, info.ptMinSize.x)) : 0;
    band.cyMinChild = static_cast<UINT>(std::max<LONG>(height, (info.dwMask & DBIM_MINSIZE) ? info.ptMinSize.y : 0));
    band.cyChild = band.cyMinChild;
    band.cyMaxChild = band.cyMinChild;
    band.cyIntegral = (info.dwMask & DBIM_INTEGRAL) && info.ptIntegral.y > 0 ? static_cast<UINT>(info.ptIntegral.y) : 1;
    const LONG wish = (info.dwMask & DBIM_ACTUAL) && info.ptActual.x > 0 ? info.ptActual.x : box.right - box.left;
    band.cx = static_cast<UINT>(std::max<LONG>(wish, static_cast<LONG>(band.cxMinChild)));
    band.cxIdeal = band.cx;
    return band;
}

}  // namespace

int StandInBrowser::BandIndex(HWND window) const {
    if (!window) return -1;
    const auto count = static_cast<int>(SendMessageW(band_area_, RB_GETBANDCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        REBARBANDINFOW band{};
        band.cbSize = sizeof band;
        band.fMask = RBBIM_CHILD;
        if (SendMessageW(band_area_, RB_GETBANDINFOW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&band)) &&
            band.hwndChild == window) {
            return i;
        }
    }
    return -1;
}

void StandInBrowser::AddBand(HWND window, const DESKBANDINFO& info) {
    if (BandIndex(window) >= 0) return UpdateBand(window, info);
    REBARBANDINFOW band = RebarBand(window, info);
    SendMessageW(band_area_, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
    Layout();
}

void StandInBrowser::UpdateBand(HWND window, const DESKBANDINFO& info) {
    const int index = BandIndex(window);
    if (index < 0) return AddBand(window, info);
    REBARBANDINFOW band = RebarBand(window, info);
    band.fMask &= ~static_cast<UINT>(RBBIM_CHILD | RBBIM_STYLE);
    SendMessageW(band_area_, RB_SETBANDINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&band));
    Layout();
}

void StandInBrowser::ShowBand(HWND window, bool show) {
    const int index = BandIndex(window);
    if (index < 0) return;
    SendMessageW(band_area_, RB_SHOWBAND, static_cast<WPARAM>(index), show ? TRUE : FALSE);
    Layout();
}

void StandInBrowser::RemoveBand(HWND window) {
    const int index = BandIndex(window);
    if (index < 0) return;
    SendMessageW(band_area_, RB_DELETEBAND, static_cast<WPARAM>(index), 0);
    Layout();
}

bool StandInBrowser::HoldsBand(HWND window) const { return BandIndex(window) >= 0; }

bool StandInBrowser::BandShown(HWND window) const {
    const int index = BandIndex(window);
    if (index < 0) return false;
    REBARBANDINFOW band{};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_STYLE;
    SendMessageW(band_area_, RB_GETBANDINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&band));
    return (band.fStyle & RBBS_HIDDEN) == 0;
}

HRESULT StandInBrowser::Navigate(BSTR url, VARIANT* flags, VARIANT* target_frame, VARIANT* post_data,
                                 VARIANT* headers) {
    NavigateCall call;
    call.url = BstrText(url);
    call.flags = DescribeArgument(flags);
    call.target_frame = DescribeArgument(target_frame);
    call.post_data = DescribeArgument(post_data);
    call.headers = DescribeArgument(headers);
    call.same_optional_variant = flags && flags == target_frame && flags == post_data && flags == headers;
    record_.navigations.push_back(call);
    if (FAILED(navigate_result_)) return navigate_result_;

    // Like a browser: BeforeNavigate2 at once, with a Cancel the sinks may set; the rest later.
    VARIANT url_value, flags_value, frame_value, post_value, headers_value;
    for (VARIANT* v : {&url_value, &flags_value, &frame_value, &post_value, &headers_value}) VariantInit(v);
    url_value.vt = VT_BSTR;
    url_value.bstrVal = SysAllocString(call.url.c_str());
    flags_value.vt = VT_I4;
    flags_value.lVal = 0;
    frame_value.vt = VT_BSTR;
    frame_value.bstrVal = SysAllocString(L"");
    headers_value.vt = VT_BSTR;
    headers_value.bstrVal = SysAllocString(L"");
    VARIANT_BOOL cancel = VARIANT_FALSE;
    std::vector<VARIANTARG> arguments(7);
    for (VARIANTARG& a : arguments) VariantInit(&a);
    arguments[0].vt = VT_DISPATCH;
    arguments[0].pdispVal = browser_.Get();
    VARIANT* by_reference[] = {&url_value, &flags_value, &frame_value, &post_value, &headers_value};
    for (int i = 0; i < 5; ++i) {
        arguments[static_cast<size_t>(i) + 1].vt = VT_VARIANT | VT_BYREF;
        arguments[static_cast<size_t>(i) + 1].pvarVal = by_reference[i];
    }
    arguments[6].vt = VT_BOOL | VT_BYREF;
    arguments[6].pboolVal = &cancel;
    FireEvent(DISPID_BEFORENAVIGATE2, arguments);
    for (VARIANT* v : by_reference) VariantClear(v);
    if (cancel != VARIANT_FALSE) return S_OK;

    pending_navigations_.push_back(call.url);
    PostMessageW(frame_, kProcessPending, 0, 0);
    return S_OK;
}

void StandInBrowser::FinishNavigation(const std::wstring& url) {
    address_ = url;
    SetWindowTextW(address_label_, url.c_str());
    SetWindowTextW(frame_, (url + L" - Stand-in browser").c_str());
    for (const DISPID event : {DISPID_NAVIGATECOMPLETE2, DISPID_DOCUMENTCOMPLETE}) {
        VARIANT url_value;
        VariantInit(&url_value);
        url_value.vt = VT_BSTR;
        url_value.bstrVal = SysAllocString(url.c_str());
        std::vector<VARIANTARG> arguments(2);
        VariantInit(&arguments[0]);
        arguments[0].vt = VT_DISPATCH;
        arguments[0].pdispVal = browser_.Get();
        VariantInit(&arguments[1]);
        arguments[1].vt = VT_VARIANT | VT_BYREF;
        arguments[1].pvarVal = &url_value;
        FireEvent(event, arguments);
        VariantClear(&url_value);
    }
}

void StandInBrowser::ShowBar(VARIANT* class_id, VARIANT* show, VARIANT* size) {
    ShowBarCall call{DescribeArgument(class_id), DescribeArgument(show), DescribeArgument(size)};
    record_.bar_calls.push_back(call);
    // An empty or false wish hides the bar, as in the browser; anything else shows it.
    VARIANT as_bool;
    VariantInit(&as_bool);
    bool wish = false;
    if (show && show->vt != VT_EMPTY && SUCCEEDED(VariantChangeType(&as_bool, show, 0, VT_BOOL))) {
        wish = as_bool.boolVal != VARIANT_FALSE;
    }
    pending_bars_.emplace_back(call.class_id.text, wish);
    PostMessageW(frame_, kProcessPending, 0, 0);
}

void StandInBrowser::ProcessPending() {
    while (!pending_navigations_.empty()) {
        const std::wstring url = pending_navigations_.front();
        pending_navigations_.erase(pending_navigations_.begin());
        FinishNavigation(url);
    }
    while (!pending_bars_.empty()) {
        const auto wish = pending_bars_.front();
        pending_bars_.erase(pending_bars_.begin());
        if (bar_handler_) bar_handler_(wish.first, wish.second);
    }
    if (band_info_changed_) {
        band_info_changed_ = false;
        if (band_info_handler_) band_info_handler_();
    }
}

HRESULT StandInBrowser::FireEvent(DISPID id, std::vector<VARIANTARG> arguments) {
    std::reverse(arguments.begin(), arguments.end());  // the last argument comes first
    DISPPARAMS parameters{};
    parameters.rgvarg = arguments.empty() ? nullptr : arguments.data();
    parameters.cArgs = static_cast<UINT>(arguments.size());
    HRESULT result = S_OK;
    for (const auto& sink : browser_->Events().Sinks()) {
        result = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr,
                              nullptr);
        record_.events.push_back({id, result});
    }
    return result;
}

}  // namespace tb::host
