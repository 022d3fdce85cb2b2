// The toolbar library's entry point. It only records the module handle, and nothing at all when
// the library goes: under the loader lock, anything that can block or wait for another thread
// (locks, COM, the registry, shell folders) may deadlock. The start-up settings and the factory are
// made on the first call into the library instead; their memory goes with the library.
// Nothing in the library is a thread_local object with a destructor: for such an object the C++
// runtime holds a reference of the library until the thread ends and drops it from the thread's
// exit callbacks, and an unload that starts there never returns.
#include <windows.h>

#include "band/module_win.hpp"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        tb::SetLibraryModule(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
