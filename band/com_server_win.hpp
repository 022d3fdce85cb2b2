#pragma once
// The in-process server's counts behind DllCanUnloadNow, and the library's class factory.
//
// The library serves one class, the band object, under the class id of the start-up settings. Its
// factory comes into being on the first call into the library after the start-up settings (never
// in DllMain) and lives until the library is unloaded.
#include <windows.h>
#include <unknwn.h>

#include <string>

namespace tb {

// The count of live objects: band objects and LockServer locks.
void AddLiveObject() noexcept;
void RemoveLiveObject() noexcept;
LONG LiveObjectCount() noexcept;
// The count of outstanding references to the factory.
LONG FactoryReferenceCount() noexcept;

// S_OK when both counts are zero and no worker of a template update runs, S_FALSE otherwise.
HRESULT CanUnloadNow() noexcept;

// The band object's factory. AddRef and Release change only the factory's reference count.
class TeToolbarFactory final : public IClassFactory {
public:
    TeToolbarFactory(const GUID& class_id, std::string description);

    const GUID& ClassId() const { return class_id_; }
    // The class's description, 8-bit text in the system code page.
    const std::string& Description() const { return description_; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IClassFactory: a new band object for every call. An outer object may only ask for IUnknown.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    // Raises or lowers the count of live objects.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    GUID class_id_;
    std::string description_;
};

// The library's factory, made on the first call after loading the start-up settings (which this
// loads when needed). Raises the start-up's failure (the next call tries again), or ConvertError
// "'<text>' is not a valid GUID value" when the settings' class id is no class id: the library then
// serves no class and registers nothing.
TeToolbarFactory& LibraryFactory();

// DllGetClassObject: the factory's interface for the band's class id; for another class id,
// out := null and CLASS_E_CLASSNOTAVAILABLE.
HRESULT GetClassObject(REFCLSID class_id, REFIID iid, void** out);

}  // namespace tb
