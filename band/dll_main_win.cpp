// The toolbar library's entry point. It only records the module handle: anything more (shell
// folders, the registry of other modules, COM) is forbidden under the loader lock, so start-up
// work runs on the first call into the library instead.
#include <windows.h>

#include "band/module_win.hpp"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        tb::SetLibraryModule(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
