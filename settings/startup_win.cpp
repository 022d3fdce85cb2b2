#include "settings/startup_win.hpp"

#include <algorithm>
#include <atomic>

#include <shlobj.h>
#include <wrl/client.h>

#include <mutex>  // std::lock_guard
#include <vector>

#include "base/file.hpp"
#include "base/handle_win.hpp"
#include "base/text.hpp"
#include "base/this_module_win.hpp"
#include "base/wide_win.hpp"
#include "settings/module_resource_win.hpp"
#include "storage/embedded_copy.hpp"
#include "storage/read_only_store.hpp"
#include "base/lock.hpp"

namespace tb {
namespace {

// The most a value of the bar key is read to: the name and member id are short, and the key can be
// written by whoever installed anything; a larger value reads as empty text.
constexpr DWORD kMaxRegistryValueBytes = 64 * 1024;

// The template the library carries (`tbtool brand`); the toolbar window reads the same resource.
constexpr wchar_t kCarriedTemplateResource[] = L"TBTEMPLATE";

// Reads exactly `size` bytes of the value; false on any failure or another count.
bool ReadValueBytes(HKEY key, const std::string& name, DWORD size, std::vector<BYTE>& bytes) {
    bytes.assign(size, 0);
    DWORD read = size;
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, bytes.empty() ? nullptr : bytes.data(), &read) !=
        ERROR_SUCCESS) {
        return false;
    }
    return read == size;
}

// Installers of old wrote the display name as UTF-8 bytes through the 8-bit interface, which stores
// each byte as the code page's character: such text comes back through the code page exactly and is
// decoded as UTF-8. Text written as Unicode (an installer of today) is taken as it is stored: read
// through the 8-bit interface, every character outside the code page would become "?".
std::u16string DecodeRegistryText(std::u16string stored) {
    const std::string bytes = Utf16ToAnsi(stored);
    const bool has_high_bytes =
        std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (has_high_bytes && AnsiToUtf16(bytes) == stored) {
        if (auto decoded = Utf8ToUtf16(bytes)) return std::move(*decoded);
    }
    return stored;
}

// Binary values become text by mapping each byte to the character of the same number (U+0000 to
// U+00FF): the text has one character per byte, zeros included, so every byte is carried and can
// be recovered exactly.
std::u16string BytesAsText(const std::vector<BYTE>& bytes) { return std::u16string(bytes.begin(), bytes.end()); }

Lock& LoadLock() {
    static Lock lock;
    return lock;
}
int g_load_count = 0;      // guarded by LoadLock()
unsigned g_loads_run = 0;  // guarded by LoadLock(): loads EnsureStartupSettings began

}  // namespace

std::string GetSpecialFolderPath(int folder, bool create) {
    char buffer[MAX_PATH] = {};
    const int flags = create ? CSIDL_FLAG_CREATE : 0;
    if (FAILED(SHGetFolderPathA(nullptr, folder | flags, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    buffer[MAX_PATH - 1] = '\0';
    return std::string(buffer);
}

std::u16string ResolvePathThroughShell(std::u16string_view path) {
    Microsoft::WRL::ComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return {};
    std::wstring name = ToWide(path);
    PIDLIST_RELATIVE items = nullptr;
    ULONG eaten = 0;
    if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, name.data(), &eaten, &items, nullptr)) || !items) {
        return {};
    }
    char buffer[MAX_PATH + 1] = {};
    const BOOL ok = SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(items), buffer);
    CoTaskMemFree(items);
    if (!ok) return {};
    buffer[MAX_PATH] = '\0';
    return AnsiToUtf16(buffer);
}

std::u16string GetModulePath() { return GetModulePath(ModuleOfThisCode()); }

std::u16string GetModulePath(HMODULE module) {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(module, buffer, MAX_PATH);
    if (length == 0) return {};
    return ResolvePathThroughShell(AnsiToUtf16(std::string_view(buffer, length)));
}

std::u16string GetModuleFolder() { return GetFolderOfPath(GetModulePath()); }

RegistryValue ReadRegistryValue(HKEY root, std::u16string_view key_path, std::u16string_view value_name) {
    RegistryValue result;
    UniqueHkey key;
    if (RegOpenKeyExA(root, Utf16ToAnsi(key_path).c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return result;
    const std::string name = Utf16ToAnsi(value_name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return result;
    std::vector<BYTE> bytes;
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            // Read as stored, through the wide interface: environment references stay unexpanded.
            // The text ends at its first zero.
            const std::wstring wide_name = ToWide(value_name);
            DWORD wide_size = 0;
            if (RegQueryValueExW(key.Get(), wide_name.c_str(), nullptr, nullptr, nullptr, &wide_size) !=
                    ERROR_SUCCESS ||
                wide_size > kMaxRegistryValueBytes) {
                return result;
            }
            std::vector<wchar_t> text(wide_size / sizeof(wchar_t) + 1, L'\0');
            DWORD read = wide_size;
            if (RegQueryValueExW(key.Get(), wide_name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()),
                                 &read) != ERROR_SUCCESS ||
                read > wide_size) {
                return result;
            }
            std::u16string stored(text.begin(), text.begin() + read / sizeof(wchar_t));
            stored = stored.substr(0, stored.find(u'\0'));
            result.value = DecodeRegistryText(std::move(stored));
            break;
        }
        case REG_DWORD: {
            DWORD number = 0;
            DWORD read = sizeof number;
            if (size != sizeof number ||
                RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&number),
                                 &read) != ERROR_SUCCESS ||
                read != sizeof number) {
                return result;
            }
            result.value = static_cast<int32_t>(number);
            break;
        }
        case REG_BINARY:
            if (size > kMaxRegistryValueBytes || !ReadValueBytes(key.Get(), name, size, bytes)) return result;
            result.value = BytesAsText(bytes);
            break;
        default:
            break;  // multi-strings, 64-bit integers and the rest read as empty text
    }
    return result;
}

namespace {

// A template file that is cut short, is no storage file, or cannot be read.
bool TemplateFileDamaged(const std::string& path) {
    try {
        return ReadOnlyStore(path).Damaged();
    } catch (const std::exception&) {
        return true;
    }
}

}  // namespace

void LoadStartupSettings() { LoadStartupSettings(ModuleOfThisCode()); }

namespace {
std::atomic<HMODULE> g_startup_module{nullptr};
}  // namespace

HMODULE StartupModule() { return g_startup_module.load(); }

void LoadStartupSettings(HMODULE module) {
    g_startup_module = module;

    ToolbarSettings loaded;
    const std::u16string local_app_data = AnsiToUtf16(GetSpecialFolderPath(kLocalAppDataFolder, false));
    SetStartupPaths(loaded, local_app_data, GetModulePath(module));
    // Without a local application data folder the paths are relative: create nothing then, so no
    // folder appears in whatever the browser's current folder is.
    if (!local_app_data.empty()) {
        const std::string low_data_root = Utf16ToAnsi(loaded.LowDataRoot);
        const std::string data_folder = Utf16ToAnsi(loaded.DataFolder);
        if (!DirectoryExists(low_data_root)) CreateOneDirectory(low_data_root);
        if (!DirectoryExists(data_folder)) CreateOneDirectory(data_folder);
    }

    // A user whose data folder has no template yet (a new user of a machine where a branded library
    // is installed) gets the options of the template the library carries, the one the toolbar
    // window then builds from. So does a user whose template is damaged.
    //
    // The class id and the bar key named by it always come from the carried template when there is
    // one: registration, which an installer runs elevated, writes and deletes the keys of that class,
    // and the data folder can be written by sandboxed page content. A template there must not be
    // able to point the machine-wide registration at another program's class.
    const std::string template_path = Utf16ToAnsi(TemplateFilePath(loaded));
    std::string carried;
    const auto resource = ModuleResourceBytes(module, kCarriedTemplateResource);
    const bool carries = resource && DecodeInternalFile(*resource, carried);
    if (carries) {
        ReadOnlyStore templ = ReadOnlyStore::FromImage(std::move(carried));
        ReadStartupOptions(templ.Store(), loaded);
        if (FileExists(template_path) && !TemplateFileDamaged(template_path)) {
            ToolbarSettings own = loaded;
            ReadTemplateStartupOptions(template_path, own);
            own.ToolbarGuid = loaded.ToolbarGuid;
            own.BarRegistryKey = loaded.BarRegistryKey;
            loaded = std::move(own);
        }
    } else {
        ReadTemplateStartupOptions(template_path, loaded);
    }
    loaded.ToolbarName = ReadRegistryValue(HKEY_LOCAL_MACHINE, loaded.BarRegistryKey, u"Toolbar Name").ToText();
    loaded.MemberId = ReadRegistryValue(HKEY_LOCAL_MACHINE, loaded.BarRegistryKey, u"Member Id").ToText();

    ChangeSettings([&loaded](ToolbarSettings& record) { CopyStartupGroup(loaded, record); });
}

void EnsureStartupSettings() {
    std::lock_guard<Lock> guard(LoadLock());
    if (g_load_count > 0) return;
    ++g_loads_run;
    LoadStartupSettings();
    g_load_count = 1;
}

unsigned StartupLoadsRunForTesting() {
    std::lock_guard<Lock> guard(LoadLock());
    return g_loads_run;
}

void ReleaseStartupSettings() {
    std::lock_guard<Lock> guard(LoadLock());
    if (g_load_count == 0) return;
    if (--g_load_count > 0) return;
    ChangeSettings([](ToolbarSettings& record) { record = ToolbarSettings{}; });
}

}  // namespace tb
