#pragma once
// tbhost --dll LIBRARY --dump: the toolbar that a toolbar library builds from its own data folder
// (named after the library's file, as at start-up), described as one line of JSON on stdout.
#include <string>

namespace tb::host {

// Builds the toolbar window for the library's start-up settings, with the library's resources as
// the fallback stores, prints its description and destroys it. 0 on success, 1 when the library
// cannot be loaded or the window cannot be created.
int DumpToolbar(const std::wstring& library);

}  // namespace tb::host
