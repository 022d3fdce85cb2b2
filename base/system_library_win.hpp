#pragma once
// Functions of the system's own libraries that the toolbar loads when a feature first needs them,
// not with itself: a new browser process then pays for the internet library, the cryptography and
// the common dialogs only when an update runs, a download is checked or a dialog opens. Always
// from the system folder, never from the browser's or the current folder.
#include <windows.h>

namespace tb {

// The function, or nullptr when the library or the function cannot be found. A library once
// loaded stays loaded for the process: the functions handed out must stay valid.
FARPROC SystemFunctionAddress(const wchar_t* library, const char* function);

template <class Function>
Function SystemFunction(const wchar_t* library, const char* function) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(SystemFunctionAddress(library, function)));
}

}  // namespace tb

// A system function with the type of its declaration in the platform's headers, looked up by name.
#define TB_SYSTEM_FUNCTION(library, name) ::tb::SystemFunction<decltype(&::name)>(library, #name)
