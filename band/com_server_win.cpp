#include "band/com_server_win.hpp"

#include <atomic>
#include <memory>
#include <mutex>  // std::lock_guard

#include "band/class_id_win.hpp"
#include "band/toolbar_band_win.hpp"
#include "base/boundary_win.hpp"
#include "base/text.hpp"
#include "settings/startup_win.hpp"
#include "settings/web_fetch_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "base/lock.hpp"

namespace tb {
namespace {

std::atomic<LONG> g_live_objects{0};
std::atomic<LONG> g_factory_references{0};

}  // namespace

void AddLiveObject() noexcept { ++g_live_objects; }
void RemoveLiveObject() noexcept { --g_live_objects; }
LONG LiveObjectCount() noexcept { return g_live_objects.load(); }
LONG FactoryReferenceCount() noexcept { return g_factory_references.load(); }

HRESULT CanUnloadNow() noexcept {
    const bool idle = g_live_objects.load() == 0 && g_factory_references.load() == 0 && RunningTransferWorkers() == 0;
    return idle ? S_OK : S_FALSE;
}

// The factory

TeToolbarFactory::TeToolbarFactory(const GUID& class_id, std::string description)
    : class_id_(class_id), description_(std::move(description)) {}

HRESULT STDMETHODCALLTYPE TeToolbarFactory::QueryInterface(REFIID iid, void** out) {
    return QueryInterfaceFromTable(this, iid, out, {TB_QI_ENTRY(TeToolbarFactory, IClassFactory)});
}

ULONG STDMETHODCALLTYPE TeToolbarFactory::AddRef() { return static_cast<ULONG>(++g_factory_references); }

ULONG STDMETHODCALLTYPE TeToolbarFactory::Release() {
    // The factory itself lives until the library is unloaded; a surplus Release cannot go below zero.
    LONG current = g_factory_references.load();
    while (current > 0 && !g_factory_references.compare_exchange_weak(current, current - 1)) {
    }
    return static_cast<ULONG>(current > 0 ? current - 1 : 0);
}

HRESULT STDMETHODCALLTYPE TeToolbarFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    return ComBoundary([&]() -> HRESULT {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return TeToolbar::Create(outer, iid, out);
    });
}

HRESULT STDMETHODCALLTYPE TeToolbarFactory::LockServer(BOOL lock) {
    if (lock) {
        AddLiveObject();
    } else {
        RemoveLiveObject();
    }
    return S_OK;
}

// The library's factory

TeToolbarFactory& LibraryFactory() {
    static Lock lock;
    static std::unique_ptr<TeToolbarFactory> factory;
    std::lock_guard<Lock> guard(lock);
    if (!factory) {
        EnsureStartupSettings();
        const ToolbarSettings settings = CurrentSettings();
        const GUID class_id = ClassIdFromText(settings.ToolbarGuid);
        factory = std::make_unique<TeToolbarFactory>(class_id, Utf16ToAnsi(settings.ToolbarName));
    }
    return *factory;
}

HRESULT GetClassObject(REFCLSID class_id, REFIID iid, void** out) {
    return ComBoundary([&]() -> HRESULT {
        if (!out) return E_POINTER;
        *out = nullptr;
        TeToolbarFactory* factory = nullptr;
        try {
            factory = &LibraryFactory();
        } catch (const ConvertError& error) {
            // No valid class id: this library serves no class at all.
            OutputDebugStringA((std::string(error.what()) + "\n").c_str());
            return CLASS_E_CLASSNOTAVAILABLE;
        }
        if (!IsEqualCLSID(class_id, factory->ClassId())) return CLASS_E_CLASSNOTAVAILABLE;
        return factory->QueryInterface(iid, out);
    });
}

}  // namespace tb
