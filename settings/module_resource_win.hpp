#pragma once
// Windows only: the embedded copy that a module (the toolbar library) carries as a resource.
#include <windows.h>

#include <optional>
#include <string_view>

namespace tb {

class TrsStreamData;

// The bytes of the module's RCDATA resource `name`; nullopt when it has none. The bytes live as
// long as the module stays loaded.
std::optional<std::string_view> ModuleResourceBytes(HMODULE module, const wchar_t* name);

// Makes the resource, which holds "InternalFile" property data, the back-end's embedded copy;
// false when the module has no such resource or its data does not decode (the copy is then empty).
bool LoadInternalFileFromResource(TrsStreamData& data, HMODULE module, const wchar_t* name);

}  // namespace tb
