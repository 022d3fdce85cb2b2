#pragma once
// Opening pages and programs: in the hosting browser, in a browser window of the toolbar's own, or
// through the shell; plus the Flash check, URL canonicalization and the error box.
#include <exdisp.h>

#include <string>
#include <string_view>

#include "base/com_win.hpp"

namespace tb {

// Opens the URL in the hosting browser, in place of its current page, when there is one; otherwise
// in a separate browser window kept in `newBrowserWindow` (see OpenInBrowserWindow). A failing
// Navigate raises ComError. The calling thread has COM initialised.
void NavigateTo(IWebBrowser2* browser, Variant& newBrowserWindow, std::u16string_view url);

// Opens the URL in a browser window of the caller's own, in three cases:
// - `newBrowserWindow` is empty: a new "InternetExplorer.Application" object is created, kept there,
//   made visible and told to navigate;
// - it holds an object and a top-level "IEFrame" window exists: the kept object navigates and the
//   first such window is brought to the foreground;
// - it holds an object but no "IEFrame" window exists: the system's hyperlink navigation opens it.
// Failures of the automation calls raise ComError and leave the kept object as it was.
void OpenInBrowserWindow(Variant& newBrowserWindow, std::u16string_view url);

// The shell's default action on a file, program, folder or URL. Failures are ignored.
void ShellOpen(std::u16string_view target);

// True when a Flash control file lies in one of the places its installer uses.
bool IsFlashInstalled();

// WinInet's canonical form of the URL with %XX escapes decoded and unsafe characters left as they
// are. A URL that cannot be canonicalized shows the "Error: " box and gives empty text.
std::string CanonicalizeUrl(const std::string& url);

// A modal warning box titled "Error" with the message (system code page) and an OK button.
void ShowErrorBox(const std::string& message);

// How the boxes above are shown (text and caption in the system code page). The window layer hands
// in its dialog seam, so that its answerer sees them too; until then the system's own box shows.
using MessageBoxFunction = int (*)(HWND owner, const std::string& text, const std::string& caption, UINT flags);
void SetMessageBoxFunction(MessageBoxFunction show);

}  // namespace tb
