#include "band/registration_win.hpp"

#include <algorithm>
#include <vector>

#include "band/class_id_win.hpp"
#include "band/com_server_win.hpp"
#include "base/boundary_win.hpp"
#include "base/com_win.hpp"
#include "base/errors.hpp"
#include "base/handle_win.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "settings/startup_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "toolkit/dialogs_win.hpp"

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;

// The registry view of the library's own architecture.
#ifdef _WIN64
constexpr REGSAM kView = KEY_WOW64_64KEY;
#else
constexpr REGSAM kView = 0;
#endif

constexpr char kRegistryEntryError[] = "Error creating system registry entry";
// The bars' key itself, where each bar's class id is also a value: kExplorerBarsKey without its
// closing backslash.
const std::string kExplorerBarsList(kExplorerBarsKey, sizeof(kExplorerBarsKey) - 2);
constexpr char kServerSubkey[] = "\\InprocServer32";

bool IsMissing(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

// Opens the key, creating it (and its parents) when missing; null when that fails.
UniqueHkey CreateKey(HKEY root, const std::string& path) {
    UniqueHkey key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | KEY_READ | kView, nullptr,
                        key.Put(), nullptr) != ERROR_SUCCESS) {
        key.Release();
    }
    return key;
}

bool SetString(HKEY key, const char* name, const std::string& value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

// A string value of a key that must be written: a failure fails the registration.
void WriteRequired(HKEY root, const std::string& path, const char* name, const std::string& value) {
    UniqueHkey key = CreateKey(root, path);
    if (!key || !SetString(key.Get(), name, value)) throw Error(kRegistryEntryError);
}

// A string value of the band's own entries: a key that cannot be opened is skipped.
void WriteIfPossible(HKEY root, const std::string& path, const char* name, const std::string& value) {
    if (UniqueHkey key = CreateKey(root, path)) SetString(key.Get(), name, value);
}

// Deletes one key when it exists and has no subkeys.
LSTATUS DeleteLeafKey(HKEY root, const std::string& path) {
    UniqueHkey key;
    LSTATUS status = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | kView, key.Put());
    if (status != ERROR_SUCCESS) {
        key.Release();
        return IsMissing(status) ? ERROR_SUCCESS : status;
    }
    DWORD subkeys = 0;
    status = RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    key.Reset();
    if (subkeys > 0) return ERROR_SUCCESS;
    status = RegDeleteKeyExA(root, path.c_str(), kView, 0);
    return IsMissing(status) ? ERROR_SUCCESS : status;
}

// Deletes a key with all its subkeys; a missing key is no failure.
LSTATUS DeleteKeyTree(HKEY root, const std::string& path) {
    UniqueHkey key;
    LSTATUS status = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | kView, key.Put());
    if (status != ERROR_SUCCESS) {
        key.Release();
        return IsMissing(status) ? ERROR_SUCCESS : status;
    }
    status = RegDeleteTreeA(key.Get(), nullptr);
    if (status != ERROR_SUCCESS && !IsMissing(status)) return status;
    key.Reset();
    status = RegDeleteKeyExA(root, path.c_str(), kView, 0);
    return IsMissing(status) ? ERROR_SUCCESS : status;
}

// Deletes a value; a missing key or value is no failure.
LSTATUS DeleteValue(HKEY root, const std::string& path, const std::string& name) {
    UniqueHkey key;
    LSTATUS status = RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE | kView, key.Put());
    if (status != ERROR_SUCCESS) {
        key.Release();
        return IsMissing(status) ? ERROR_SUCCESS : status;
    }
    status = RegDeleteValueA(key.Get(), name.c_str());
    return IsMissing(status) ? ERROR_SUCCESS : status;
}

std::string ClassKey(const std::string& class_id_text) { return "CLSID\\" + class_id_text; }

// The path as InprocServer32 gets it: a path with a blank in its short (8.3) form, where the file
// system has one.
std::string ServerPath(const std::string& long_path) {
    if (long_path.find(' ') == std::string::npos) return long_path;
    const DWORD size = GetShortPathNameA(long_path.c_str(), nullptr, 0);
    if (size == 0) return long_path;
    std::string short_path(size, '\0');
    const DWORD length = GetShortPathNameA(long_path.c_str(), short_path.data(), size);
    if (length == 0 || length >= size) return long_path;
    short_path.resize(length);
    return short_path;
}

// The unnamed value of a key in the library's view; nullopt when the key or the value is missing.
std::optional<std::string> ReadDefaultValue(HKEY root, const std::string& path) {
    UniqueHkey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | kView, key.Put()) != ERROR_SUCCESS) {
        key.Release();
        return std::nullopt;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    // A path longer than any the file system takes is no file of this library's either.
    size = std::min<DWORD>(size, 4 * MAX_PATH);
    std::string text(size, '\0');
    DWORD read = size;
    if (RegQueryValueExA(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &read) !=
        ERROR_SUCCESS) {
        return std::string(4 * MAX_PATH, '?');
    }
    text.resize(std::min<DWORD>(read, size));
    return text.substr(0, text.find('\0'));
}

bool KeyExistsInView(HKEY root, const std::string& path) {
    UniqueHkey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | kView, key.Put()) != ERROR_SUCCESS) {
        key.Release();
        return false;
    }
    return true;
}

// The long form of a path, for comparing a registered short (8.3) path with the library's own.
std::string LongForm(const std::string& path) {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetLongPathNameA(path.c_str(), buffer, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return path;
    return std::string(buffer, length);
}

bool SameFile(const std::string& registered, const std::string& library) {
    return EqualsIgnoreAsciiCase(registered, library) || EqualsIgnoreAsciiCase(LongForm(registered), library);
}

// Calls ShowBrowserBar(class id, show, empty).
void ShowBar(IWebBrowser2* browser, const std::string& class_id_text, VARIANT* show) {
    Variant class_id;
    class_id.Get()->vt = VT_BSTR;
    class_id.Get()->bstrVal = SysAllocString(ToWide(AnsiToUtf16(class_id_text)).c_str());
    if (!class_id.Get()->bstrVal) throw ComError(E_OUTOFMEMORY);
    Variant size;
    ThrowIfFailed(browser->ShowBrowserBar(class_id.Get(), show, size.Get()));
}

// What this library registers, from its factory and start-up settings.
BandRegistration ThisLibrary() {
    const TeToolbarFactory& factory = LibraryFactory();
    const ToolbarSettings settings = CurrentSettings();
    BandRegistration band;
    band.class_id = factory.ClassId();
    band.class_id_text = settings.ToolbarGuid;
    band.description = factory.Description();
    band.toolbar_name = Utf16ToAnsi(settings.ToolbarName);
    // Empty when the path cannot be resolved or holds characters the code page lacks.
    const std::u16string path = GetModulePath();
    band.library_path = Utf16ToAnsi(path);
    if (AnsiToUtf16(band.library_path) != path) band.library_path.clear();
    return band;
}

}  // namespace

std::string GetBrowserFileVersion() {
    char folder[261] = {};
    const UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return {};
    const std::string file = std::string(folder, length) + "\\shdocvw.dll";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data())) return {};

    std::string sub_block = "FileVersion";
    void* translation = nullptr;
    UINT translation_size = 0;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &translation, &translation_size) && translation &&
        translation_size >= sizeof(DWORD)) {
        DWORD first = 0;
        memcpy(&first, translation, sizeof first);
        char text[64];
        wsprintfA(text, "\\StringFileInfo\\%04x%04x\\%s", LOWORD(first), HIWORD(first), "FileVersion");
        sub_block = text;
    }
    void* value = nullptr;
    UINT value_size = 0;
    if (!VerQueryValueA(block.data(), sub_block.c_str(), &value, &value_size) || !value) return {};
    // The text ends at its terminating zero, and never past the block.
    const char* text = static_cast<const char*>(value);
    const size_t available = static_cast<size_t>(block.data() + block.size() - text);
    size_t end = 0;
    while (end < available && text[end] != '\0') ++end;
    return std::string(text, end);
}

std::optional<unsigned long> BrowserMajorVersion(std::string_view version) {
    if (version.empty() || version[0] < '0' || version[0] > '9') return std::nullopt;
    unsigned long major = 0;
    for (const char c : version) {
        if (c < '0' || c > '9') break;
        // A number too large to hold is certainly not below 5.
        if (major > 100000000UL) break;
        major = major * 10 + static_cast<unsigned long>(c - '0');
    }
    return major;
}

bool CheckBrowserVersion(const std::string& version) {
    const std::optional<unsigned long> major = BrowserMajorVersion(version);
    if (!major || *major >= 5) return true;
    const std::string text =
        "You need at least Internet Explorer Version 5 to register the toolbar!\r\nYour Internet Explorer version is " +
        version;
    ShowAnsiMessageBox(nullptr, text, "Error", MB_OK | MB_ICONERROR);
    return false;
}

ComPtr<IWebBrowser2> CreateBrowserInstance() {
    ComPtr<IWebBrowser2> browser;
    ThrowIfFailed(CoCreateInstance(CLSID_InternetExplorer, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(browser.GetAddressOf())));
    return browser;
}

void RequireOwnClass(const BandRegistration& band) {
    const std::string class_text = ClassIdText(band.class_id);
    const std::string key = ClassKey(class_text);
    if (KeyExistsInView(HKEY_CLASSES_ROOT, key + "\\LocalServer32")) {
        throw ForeignClassError("the class " + class_text + " belongs to a program of its own (LocalServer32)");
    }
    const std::optional<std::string> server = ReadDefaultValue(HKEY_CLASSES_ROOT, key + kServerSubkey);
    if (server && !server->empty() && !SameFile(*server, band.library_path)) {
        throw ForeignClassError("the class " + class_text + " belongs to " + *server);
    }
}

void RegisterClassEntries(const BandRegistration& band) {
    // A path that could not be resolved, or not held in the code page, would register a server no
    // one can load (or another file); refuse it before anything is written.
    if (band.library_path.empty()) throw Error("the library's path cannot be written in the system code page");
    RequireOwnClass(band);
    const std::string key = ClassKey(ClassIdText(band.class_id));
    WriteRequired(HKEY_CLASSES_ROOT, key, nullptr, band.description);
    WriteRequired(HKEY_CLASSES_ROOT, key + kServerSubkey, nullptr, ServerPath(band.library_path));
}

void UnregisterClassEntries(const BandRegistration& band) {
    RequireOwnClass(band);
    const std::string key = ClassKey(ClassIdText(band.class_id));
    for (const std::string& path : {key + kServerSubkey, key}) {
        const LSTATUS status = DeleteLeafKey(HKEY_CLASSES_ROOT, path);
        if (status != ERROR_SUCCESS) throw Error(SystemErrorMessage(static_cast<int>(status)));
    }
}

void RegisterBand(const BandRegistration& band, const BrowserInstanceMaker& make_browser) {
    const std::string key = ClassKey(band.class_id_text);
    WriteIfPossible(HKEY_CLASSES_ROOT, key, nullptr, band.toolbar_name);
    WriteIfPossible(HKEY_CLASSES_ROOT, key + kServerSubkey, "ThreadingModel", "Apartment");
    CreateKey(HKEY_CLASSES_ROOT, key + "\\Implemented Categories\\" + kDeskBandCategory);
    WriteIfPossible(HKEY_LOCAL_MACHINE, kToolbarsKey, band.class_id_text.c_str(), band.toolbar_name);
    WriteIfPossible(HKEY_LOCAL_MACHINE, kExplorerBarsList, band.class_id_text.c_str(), "");

    // A browser instance hides and then shows the bar, so the browser knows it from now on.
    const ComScope com;
    ComPtr<IWebBrowser2> browser = make_browser();
    if (!browser) throw ComError(E_NOINTERFACE);
    Variant empty;
    ShowBar(browser.Get(), band.class_id_text, empty.Get());
    Variant show;
    show.Get()->vt = VT_BOOL;
    show.Get()->boolVal = VARIANT_TRUE;
    ShowBar(browser.Get(), band.class_id_text, show.Get());
}

void UnregisterBand(const BandRegistration& band) {
    const std::string key = ClassKey(band.class_id_text);
    const std::string bar = std::string(kExplorerBarsKey) + band.class_id_text;
    const LSTATUS results[] = {
        DeleteKeyTree(HKEY_CLASSES_ROOT, std::string("Component Categories\\") + kDeskBandCategory + "\\Enum"),
        DeleteKeyTree(HKEY_CLASSES_ROOT, key + "\\Implemented Categories\\" + kDeskBandCategory),
        DeleteKeyTree(HKEY_CLASSES_ROOT, key + kServerSubkey),
        DeleteKeyTree(HKEY_CLASSES_ROOT, key),
        DeleteKeyTree(HKEY_LOCAL_MACHINE, bar + "\\MRUKeywords"),
        DeleteKeyTree(HKEY_LOCAL_MACHINE, bar),
        DeleteValue(HKEY_LOCAL_MACHINE, kToolbarsKey, band.class_id_text),
        DeleteValue(HKEY_LOCAL_MACHINE, kExplorerBarsList, band.class_id_text),
    };
    for (const LSTATUS status : results) {
        if (status != ERROR_SUCCESS) throw Error(SystemErrorMessage(static_cast<int>(status)));
    }
}

HRESULT RegisterServer(const BrowserInstanceMaker& make_browser) {
    try {
        const BandRegistration band = ThisLibrary();
        if (!CheckBrowserVersion(GetBrowserFileVersion())) return E_FAIL;
        RegisterClassEntries(band);
        RegisterBand(band, make_browser);
        return S_OK;
    } catch (...) {
        OutputDebugStringA(("registration: " + MessageOfCaughtException() + "\n").c_str());
        return E_FAIL;
    }
}

HRESULT UnregisterServer() {
    try {
        const BandRegistration band = ThisLibrary();
        UnregisterClassEntries(band);
        UnregisterBand(band);
        return S_OK;
    } catch (...) {
        OutputDebugStringA(("unregistration: " + MessageOfCaughtException() + "\n").c_str());
        return E_FAIL;
    }
}

}  // namespace tb
