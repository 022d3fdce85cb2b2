#include "settings/module_resource_win.hpp"

#include "storage/embedded_copy.hpp"
#include "storage/storage_data.hpp"

namespace tb {

std::optional<std::string_view> ModuleResourceBytes(HMODULE module, const wchar_t* name) {
    HRSRC info = FindResourceW(module, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (info == nullptr) return std::nullopt;
    HGLOBAL handle = LoadResource(module, info);
    if (handle == nullptr) return std::nullopt;
    const void* bytes = LockResource(handle);
    const DWORD size = SizeofResource(module, info);
    if (bytes == nullptr && size != 0) return std::nullopt;
    return std::string_view(static_cast<const char*>(bytes), size);
}

bool LoadInternalFileFromResource(TrsStreamData& data, HMODULE module, const wchar_t* name) {
    const auto bytes = ModuleResourceBytes(module, name);
    if (!bytes) {
        data.SetInternalStream({});
        return false;
    }
    return LoadInternalFile(data, *bytes);
}

}  // namespace tb
