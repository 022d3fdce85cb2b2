#include "base/system_library_win.hpp"

namespace tb {

FARPROC SystemFunctionAddress(const wchar_t* library, const char* function) {
    // A second load of a loaded library only counts it again; the count is never given back, so
    // the library outlives every function pointer taken from it.
    const HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module != nullptr ? GetProcAddress(module, function) : nullptr;
}

}  // namespace tb
