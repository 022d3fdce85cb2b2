// The toolbar library's entry point. It only records the module handle, and nothing at all when
// the library goes: under the loader lock, anything that can block or wait for another thread
// (locks, COM, the registry, shell folders) may deadlock. The start-up settings and the factory are
// made on the first call into the library instead; their memory goes with the library.
#include <windows.h>

#include "band/module_win.hpp"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        tb::SetLibraryModule(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
