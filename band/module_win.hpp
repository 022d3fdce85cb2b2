#pragma once
#include <windows.h>

namespace tb {

// The toolbar library's own module handle, recorded by DllMain.
void SetLibraryModule(HMODULE module);
HMODULE LibraryModule();

}  // namespace tb
