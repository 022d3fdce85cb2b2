// The toolbar library's entry point. It only records the module handle: anything more (shell
// folders, the registry of other modules, COM) is forbidden under the loader lock, so start-up
// work runs on the first call into the library instead (EnsureStartupSettings).
#include <windows.h>

#include "band/module_win.hpp"
#include "settings/startup_win.hpp"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        tb::SetLibraryModule(instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary: release the record. At process exit other threads are already
        // gone, possibly holding locks, and the memory goes with the process anyway.
        tb::ReleaseStartupSettings();
    }
    return TRUE;
}
