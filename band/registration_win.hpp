#pragma once
// Registration of the band: the browser's version check, the class's entries, the band's own
// entries under the browser's keys, and a browser instance that shows the band once; and their
// removal. Every value written is an 8-bit string value (REG_SZ). The library writes the registry
// view of its own architecture: the 64-bit library the 64-bit view, the 32-bit one the 32-bit view.
#include <windows.h>
#include <exdisp.h>
#include <wrl/client.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/errors.hpp"

namespace tb {

// The component category of desk bands.
inline constexpr char kDeskBandCategory[] = "{00021492-0000-0000-C000-000000000046}";

// The FileVersion text of the browser's shdocvw.dll in the system folder (the first translation's
// string table, else the unqualified "FileVersion"); empty text when anything fails.
std::string GetBrowserFileVersion();

// The number formed by the decimal digits at the start of the version text (up to the first
// point); nullopt when the text does not begin with a digit.
std::optional<unsigned long> BrowserMajorVersion(std::string_view version);

// True when registration may go on. Below version 5 the "Error" box says so and the result is
// false. A version that cannot be read (empty, or not beginning with a digit) is no reason to
// refuse: the check exists to turn away a browser known to be too old.
bool CheckBrowserVersion(const std::string& version);

// What registration writes about one class.
struct BandRegistration {
    GUID class_id{};
    std::string class_id_text;  // as the settings store it: the band's own entries are named by it
    std::string description;    // system code page
    std::string toolbar_name;   // system code page
    std::string library_path;   // the library's long path, system code page
};

// Makes the browser instance that is asked to show the band; raises when it cannot be made.
using BrowserInstanceMaker = std::function<Microsoft::WRL::ComPtr<IWebBrowser2>()>;
// The real browser in a process of its own (CLSID_InternetExplorer, local server).
Microsoft::WRL::ComPtr<IWebBrowser2> CreateBrowserInstance();

// A class key that another program owns: registration neither writes over it nor deletes it.
class ForeignClassError : public Error {
public:
    using Error::Error;
};

// Raises ForeignClassError when HKCR\CLSID\{CLSID} belongs to another file: its InprocServer32
// names a file other than the library (in either path form), or it has a LocalServer32. A missing
// key, or one whose InprocServer32 is missing or empty, is the library's to write.
void RequireOwnClass(const BandRegistration& band);

// The class's entries under HKCR\CLSID\{CLSID} (standard upper-case text): its description, and
// InprocServer32 = the library's path (its short form when the path holds a blank). An empty
// library path raises Error, a class of another file ForeignClassError, both before anything is
// written. A key or value that cannot be written raises Error "Error creating system registry entry".
void RegisterClassEntries(const BandRegistration& band);
// Removes HKCR\CLSID\{CLSID}\InprocServer32 and then HKCR\CLSID\{CLSID}, each only when it has no
// subkeys; a missing key is no failure. A class of another file raises ForeignClassError first.
void UnregisterClassEntries(const BandRegistration& band);

// The band's entries: the class's name, ThreadingModel "Apartment", the desk band category, the
// browser's toolbar and explorer-bar values (keys that cannot be opened are skipped); then a browser
// instance is asked to hide and show the bar. A browser that cannot be made, or a ShowBrowserBar that
// fails, raises ComError after every entry is written.
void RegisterBand(const BandRegistration& band, const BrowserInstanceMaker& make_browser);
// Removes the band's entries, their subkeys included; missing keys and values are no failure, any
// other failure raises after the rest was tried.
void UnregisterBand(const BandRegistration& band);

// What DllRegisterServer and DllUnregisterServer do for this library, with its start-up settings
// and its factory: S_OK, or E_FAIL.
HRESULT RegisterServer(const BrowserInstanceMaker& make_browser);
HRESULT UnregisterServer();

}  // namespace tb
