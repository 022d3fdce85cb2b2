#include "band/module_win.hpp"

namespace tb {
namespace {
HMODULE g_module = nullptr;
}

void SetLibraryModule(HMODULE module) { g_module = module; }
HMODULE LibraryModule() { return g_module; }

}  // namespace tb
