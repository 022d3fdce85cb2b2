#pragma once
// The internet library's functions, loaded from the system folder by the first transfer (on the
// update's own thread), by a link's canonical form or by the banner's connection check: a browser
// window that does none of these never loads it.
#include <windows.h>
#include <wininet.h>

#include "base/handle_win.hpp"

namespace tb {

struct WinInetFunctions {
    decltype(&::InternetOpenA) InternetOpenA;
    decltype(&::InternetConnectA) InternetConnectA;
    decltype(&::InternetSetOptionA) InternetSetOptionA;
    decltype(&::HttpOpenRequestA) HttpOpenRequestA;
    decltype(&::HttpSendRequestA) HttpSendRequestA;
    decltype(&::HttpQueryInfoA) HttpQueryInfoA;
    decltype(&::InternetReadFile) InternetReadFile;
    decltype(&::InternetCloseHandle) InternetCloseHandle;
    decltype(&::InternetCrackUrlA) InternetCrackUrlA;
    decltype(&::InternetCombineUrlA) InternetCombineUrlA;
    decltype(&::InternetCanonicalizeUrlA) InternetCanonicalizeUrlA;
    decltype(&::InternetAttemptConnect) InternetAttemptConnect;
};

// Every function, or nullptr when the library or one of them cannot be found.
const WinInetFunctions* WinInet();

// What a caller says when WinInet() is nullptr.
inline constexpr const char* kNoInternetLibrary = "the system's internet library cannot be loaded";

void CloseInternetHandle(HINTERNET handle);
using UniqueInternet = UniqueAny<NullHandleTraits<HINTERNET, CloseInternetHandle>>;

}  // namespace tb
