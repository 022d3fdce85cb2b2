#pragma once
// The module (the library, or the program) whose code calls this: found by the address of code
// that is linked into every module that includes this header, without a reference of its own.
#include <windows.h>

namespace tb {

inline HMODULE ModuleOfThisCode() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleOfThisCode), &module);
    return module;
}

}  // namespace tb
