// The library's four exports, named without decoration in Toolbar.def. The start-up settings and
// the class factory come into being on the first call that needs them, never in DllMain.
#include <windows.h>
#include <objbase.h>

#include "band/com_server_win.hpp"
#include "band/registration_win.hpp"
#include "base/boundary_win.hpp"

STDAPI DllGetClassObject(REFCLSID class_id, REFIID iid, LPVOID* out) {
    return tb::GetClassObject(class_id, iid, out);
}

STDAPI DllCanUnloadNow() { return tb::CanUnloadNow(); }

STDAPI DllRegisterServer() {
    return tb::ComBoundary([] { return tb::RegisterServer(&tb::CreateBrowserInstance); });
}

STDAPI DllUnregisterServer() {
    return tb::ComBoundary([] { return tb::UnregisterServer(); });
}
