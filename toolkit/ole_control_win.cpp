#include "toolkit/ole_control_win.hpp"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <stdexcept>

#include "base/boundary_win.hpp"
#include "base/system_library_win.hpp"

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;

using AtlAxWinInitFunction = BOOL(WINAPI*)();
using AtlAxCreateControlFunction = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**);
using AtlAxGetControlFunction = HRESULT(WINAPI*)(HWND, IUnknown**);

// atl.dll, loaded once and kept for the process (its window class must outlive every host window).
struct SystemContainer {
    AtlAxCreateControlFunction create = nullptr;
    AtlAxGetControlFunction get = nullptr;
    bool ready = false;
};

const SystemContainer& Container() {
    static const SystemContainer container = [] {
        SystemContainer made;
        const auto init = SystemFunction<AtlAxWinInitFunction>(L"atl.dll", "AtlAxWinInit");
        made.create = SystemFunction<AtlAxCreateControlFunction>(L"atl.dll", "AtlAxCreateControl");
        made.get = SystemFunction<AtlAxGetControlFunction>(L"atl.dll", "AtlAxGetControl");
        made.ready = init != nullptr && made.create != nullptr && made.get != nullptr && init();
        return made;
    }();
    return container;
}

}  // namespace

// The control's events: IDispatch under the source interface's id. Holds a plain pointer to its
// control object, cleared when the control disconnects.
class TOleControl::EventSink final : public IDispatch {
public:
    EventSink(TOleControl* owner, const IID& source) : owner_(owner), source_(source) {}
    void Orphan() { owner_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return QueryInterfaceFromTable(this, iid, out,
                                       {TB_QI_ENTRY(EventSink, IDispatch),
                                        InterfaceEntry{&source_, &CastToInterface<EventSink, IDispatch>}});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* arguments, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return ComBoundary([&] {
            if (owner_ != nullptr && owner_->OnEvent) {
                DISPPARAMS none{};
                owner_->OnEvent(id, arguments != nullptr ? *arguments : none);
            }
            return S_OK;
        });
    }

private:
    ~EventSink() = default;
    LONG references_ = 1;
    TOleControl* owner_;
    IID source_;
};

TOleControl::TOleControl(std::u16string name) : TWinControl(std::move(name)) {}

TOleControl::~TOleControl() {
    DisconnectEvents();
    const HWND host = Handle();
    Detach();
    control_.Reset();
    // The host window releases its control when it goes; it may have gone with its parent already.
    if (host != nullptr && IsWindow(host)) DestroyWindow(host);
}

void TOleControl::Create(HWND parent, const CLSID& class_id) {
    const SystemContainer& container = Container();
    if (!container.ready) throw Error("The system's ActiveX container (atl.dll) is not available");
    HWND host = CreateWindowExW(0, L"AtlAxWin", nullptr, WS_CHILD | WS_CLIPCHILDREN, 0, 0, 10, 10, parent, nullptr,
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (host == nullptr) throw Error("Cannot create the ActiveX container window");
    UniqueHwnd owned(host);
    wchar_t class_text[64] = {};
    StringFromGUID2(class_id, class_text, 64);
    ComPtr<IUnknown> container_object;
    ThrowIfFailed(container.create(class_text, host, nullptr, &container_object));
    ComPtr<IUnknown> control;
    ThrowIfFailed(container.get(host, &control));
    if (!control) throw ComError(E_NOINTERFACE);
    control_ = control;
    Attach(owned.Release());
    ConnectEvents();
}

void TOleControl::ConnectEvents() {
    ComPtr<IConnectionPointContainer> points;
    if (FAILED(control_.As(&points))) return;
    IID source = IID_NULL;
    ComPtr<IProvideClassInfo2> info;
    if (SUCCEEDED(control_.As(&info))) info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
    ComPtr<IConnectionPoint> point;
    if (source == IID_NULL || FAILED(points->FindConnectionPoint(source, &point))) {
        // No class information: the first outgoing interface that is not the property notifications.
        ComPtr<IEnumConnectionPoints> all;
        if (FAILED(points->EnumConnectionPoints(&all))) return;
        for (;;) {
            ComPtr<IConnectionPoint> candidate;
            ULONG got = 0;
            if (all->Next(1, &candidate, &got) != S_OK || got == 0) return;
            IID iid = IID_NULL;
            if (SUCCEEDED(candidate->GetConnectionInterface(&iid)) && iid != IID_IPropertyNotifySink) {
                source = iid;
                point = candidate;
                break;
            }
        }
    }
    ComPtr<EventSink> sink = MakeComObject<EventSink>(this, source);
    DWORD cookie = 0;
    if (FAILED(point->Advise(sink.Get(), &cookie))) {
        sink->Orphan();
        return;
    }
    connection_ = point;
    sink_ = sink;
    cookie_ = cookie;
}

void TOleControl::DisconnectEvents() {
    if (sink_) sink_->Orphan();
    if (connection_ && cookie_ != 0) connection_->Unadvise(cookie_);
    connection_.Reset();
    sink_.Reset();
    cookie_ = 0;
}

ComPtr<IDispatch> TOleControl::DispatchOf(REFIID iid) const {
    if (!control_) throw ComError(E_POINTER);
    ComPtr<IDispatch> dispatch;
    // A dual interface is an IDispatch.
    ThrowIfFailed(control_->QueryInterface(iid, &dispatch));
    return dispatch;
}

Variant TOleControl::Call(REFIID iid, const wchar_t* name, WORD flags, std::vector<VARIANTARG> arguments) {
    ComPtr<IDispatch> dispatch = DispatchOf(iid);
    DISPID id = DISPID_UNKNOWN;
    auto* names = const_cast<LPOLESTR>(name);
    ThrowIfFailed(dispatch->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id));
    std::reverse(arguments.begin(), arguments.end());  // Invoke takes them last first
    DISPPARAMS parameters{arguments.empty() ? nullptr : arguments.data(), nullptr,
                          static_cast<UINT>(arguments.size()), 0};
    Variant result;
    ThrowIfFailed(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result.Get(), nullptr, nullptr));
    return result;
}

void TOleControl::PutProperty(REFIID iid, DISPID id, const VARIANT& value) {
    ComPtr<IDispatch> dispatch = DispatchOf(iid);
    VARIANTARG argument = value;  // not owned: the caller's value
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{&argument, &named, 1, 1};
    ThrowIfFailed(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &parameters, nullptr,
                                   nullptr, nullptr));
}

}  // namespace tb
