// A stand-in for the Flash control, for the banner's tests only (no Flash player runs here). It
// registers itself under the Flash control's class id and answers what the banner uses: Stop, Play
// and PercentLoaded by name and the movie property (dispatch id 102) through one dispatch interface
// that it gives for IDispatch and for the Flash interface's id; and it fires the ready-state event
// (dispatch id -609) from its message queue once a movie address is set.
//
// The movie address steers it: "percent=0" in it makes PercentLoaded answer 0, "state=N" fires
// state N instead of 4. The property "Calls" gives what it was asked, e.g. "Stop;Movie=http://a;Play".
//
// Every event sink it is given is also watched: it keeps one reference of its own to each, which
// the export ReleaseWatchedSinks gives back, telling how many of those sinks someone still holds.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <vector>

namespace {

constexpr CLSID kFlashClassId = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr IID kFlashInterface = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// The stand-in's own event interface (a dispatch interface): announced through IProvideClassInfo2.
constexpr IID kEvents = {0x5B1E6C3A, 0x2F4D, 0x4E8B, {0x9A, 0x61, 0x7C, 0x0D, 0x3E, 0x52, 0xA9, 0x14}};
constexpr DISPID kPlay = 1, kStop = 2, kPercentLoaded = 3, kMovie = 102, kCalls = 200;
constexpr UINT kFire = WM_APP + 1;

LONG g_objects = 0;
LONG g_locks = 0;
HMODULE g_module = nullptr;
std::vector<IUnknown*> g_watched_sinks;

class StandIn;

LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

class StandIn;

// The one connection point; its references are its control's.
class EventPoint final : public IConnectionPoint {
public:
    explicit EventPoint(StandIn& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    StandIn& owner_;
};

class StandIn final : public IDispatch, public IConnectionPointContainer, public IProvideClassInfo2,
                      public IOleObject {
public:
    StandIn() {
        InterlockedIncrement(&g_objects);
        WNDCLASSW type = {};
        type.lpfnWndProc = &QueueProc;
        type.hInstance = g_module;
        type.lpszClassName = L"TbFlashStandInQueue";
        RegisterClassW(&type);
        queue_ = CreateWindowExW(0, L"TbFlashStandInQueue", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module,
                                 nullptr);
        SetWindowLongPtrW(queue_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kFlashInterface) {
            *out = static_cast<IDispatch*>(this);
        } else if (iid == IID_IConnectionPointContainer) {
            *out = static_cast<IConnectionPointContainer*>(this);
        } else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2) {
            *out = static_cast<IProvideClassInfo2*>(this);
        } else if (iid == IID_IOleObject) {
            *out = static_cast<IOleObject*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        static const struct {
            const wchar_t* name;
            DISPID id;
        } known[] = {{L"Play", kPlay}, {L"Stop", kStop}, {L"PercentLoaded", kPercentLoaded}, {L"Movie", kMovie},
                     {L"Calls", kCalls}};
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (const auto& k : known) {
                if (_wcsicmp(names[i], k.name) == 0) ids[i] = k.id;
            }
            if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override {
        switch (id) {
            case kPlay:
            case kStop:
                Log(id == kPlay ? L"Play" : L"Stop");
                return S_OK;
            case kPercentLoaded:
                Log(L"PercentLoaded");
                if (result != nullptr) {
                    VariantInit(result);
                    result->vt = VT_I4;
                    result->lVal = movie_.find(L"percent=0") != std::wstring::npos ? 0 : 100;
                }
                return S_OK;
            case kMovie:
                if (flags & DISPATCH_PROPERTYPUT) {
                    if (params == nullptr || params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR) {
                        return DISP_E_TYPEMISMATCH;
                    }
                    movie_ = params->rgvarg[0].bstrVal != nullptr ? params->rgvarg[0].bstrVal : L"";
                    Log(L"Movie=" + movie_);
                    PostMessageW(queue_, kFire, 0, 0);  // the movie "loads" later, as a real one does
                    return S_OK;
                }
                return Text(movie_, result);
            case kCalls:
                return Text(calls_, result);
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

    // IConnectionPointContainer: one outgoing interface.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != kEvents) return CONNECT_E_NOCONNECTION;
        *out = &point_;
        AddRef();
        return S_OK;
    }

    HRESULT Connect(IUnknown* sink, DWORD* cookie) {
        IDispatch* dispatch = nullptr;
        if (sink == nullptr || FAILED(sink->QueryInterface(kEvents, reinterpret_cast<void**>(&dispatch)))) {
            return CONNECT_E_CANNOTCONNECT;
        }
        sinks_.push_back(dispatch);
        sink->AddRef();
        g_watched_sinks.push_back(sink);
        *cookie = static_cast<DWORD>(sinks_.size());
        return S_OK;
    }
    HRESULT Disconnect(DWORD cookie) {
        if (cookie == 0 || cookie > sinks_.size() || sinks_[cookie - 1] == nullptr) return CONNECT_E_NOCONNECTION;
        sinks_[cookie - 1]->Release();
        sinks_[cookie - 1] = nullptr;
        return S_OK;
    }

    // IProvideClassInfo2
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override {
        *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override {
        if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID || guid == nullptr) return E_INVALIDARG;
        *guid = kEvents;
        return S_OK;
    }

    // IOleObject: what a container needs to take the control in; it draws nothing.
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        if (site_ != nullptr) site_->Release();
        site_ = site;
        if (site_ != nullptr) site_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
        *site = site_;
        if (site_ != nullptr) site_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override { return SetClientSite(nullptr); }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override {
        *id = kFlashClassId;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL* size) override {
        extent_ = *size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL* size) override {
        *size = extent_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
        *status = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    void FireReadyState() {
        const std::size_t at = movie_.find(L"state=");
        VARIANTARG state;
        VariantInit(&state);
        state.vt = VT_I4;
        state.lVal = at == std::wstring::npos ? 4 : _wtol(movie_.c_str() + at + 6);
        DISPPARAMS params{&state, nullptr, 1, 0};
        const std::vector<IDispatch*> sinks = sinks_;
        for (IDispatch* sink : sinks) {
            if (sink != nullptr) sink->Invoke(DISPID_READYSTATECHANGE, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                              nullptr, nullptr);
        }
    }

private:
    ~StandIn() {
        if (site_ != nullptr) site_->Release();
        for (IDispatch* sink : sinks_) {
            if (sink != nullptr) sink->Release();
        }
        DestroyWindow(queue_);
        InterlockedDecrement(&g_objects);
    }
    void Log(const std::wstring& call) {
        if (!calls_.empty()) calls_ += L";";
        calls_ += call;
    }
    static HRESULT Text(const std::wstring& text, VARIANT* result) {
        if (result == nullptr) return E_POINTER;
        VariantInit(result);
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(text.c_str());
        return S_OK;
    }

    LONG references_ = 1;
    HWND queue_ = nullptr;
    EventPoint point_{*this};
    IOleClientSite* site_ = nullptr;
    SIZEL extent_{2778, 582};  // 105 x 22 pixels in HIMETRIC
    std::wstring movie_;
    std::wstring calls_;
    std::vector<IDispatch*> sinks_;
};

HRESULT EventPoint::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
}
ULONG EventPoint::AddRef() { return owner_.AddRef(); }
ULONG EventPoint::Release() { return owner_.Release(); }
HRESULT EventPoint::GetConnectionInterface(IID* iid) {
    *iid = kEvents;
    return S_OK;
}
HRESULT EventPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
    return owner_.QueryInterface(IID_PPV_ARGS(out));
}
HRESULT EventPoint::Advise(IUnknown* sink, DWORD* cookie) { return owner_.Connect(sink, cookie); }
HRESULT EventPoint::Unadvise(DWORD cookie) { return owner_.Disconnect(cookie); }

LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kFire) {
        if (auto* self = reinterpret_cast<StandIn*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
            self->AddRef();
            self->FireReadyState();
            self->Release();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* made = new StandIn();
        const HRESULT result = made->QueryInterface(iid, out);
        made->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&g_locks);
        else InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

Factory g_factory;

const wchar_t kClassKey[] = L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = module;
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID id, REFIID iid, void** out) {
    if (id != kFlashClassId) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

// Gives back the references kept on the sinks watched so far; *watched is how many there were, the
// result how many of them are still held by someone else (a sink that is never freed).
extern "C" int WINAPI ReleaseWatchedSinks(int* watched) {
    *watched = static_cast<int>(g_watched_sinks.size());
    int still_held = 0;
    for (IUnknown* sink : g_watched_sinks) {
        if (sink->Release() != 0) ++still_held;
    }
    g_watched_sinks.clear();
    return still_held;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(g_module, path, MAX_PATH);
    const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
    }
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                   static_cast<DWORD>((wcslen(path) + 1) * sizeof(wchar_t)));
    const wchar_t model[] = L"Apartment";
    RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof model);
    RegCloseKey(key);
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    return S_OK;
}
