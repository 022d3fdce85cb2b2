#include "settings/wininet_win.hpp"

#include "base/system_library_win.hpp"

namespace tb {

const WinInetFunctions* WinInet() {
    static const WinInetFunctions* const loaded = []() -> const WinInetFunctions* {
        SystemLibrary wininet(L"wininet.dll");
        static const WinInetFunctions functions{
            TB_SYSTEM_FUNCTION(wininet, InternetOpenA),       TB_SYSTEM_FUNCTION(wininet, InternetConnectA),
            TB_SYSTEM_FUNCTION(wininet, InternetSetOptionA),  TB_SYSTEM_FUNCTION(wininet, HttpOpenRequestA),
            TB_SYSTEM_FUNCTION(wininet, HttpSendRequestA),    TB_SYSTEM_FUNCTION(wininet, HttpQueryInfoA),
            TB_SYSTEM_FUNCTION(wininet, InternetReadFile),    TB_SYSTEM_FUNCTION(wininet, InternetCloseHandle),
            TB_SYSTEM_FUNCTION(wininet, InternetCrackUrlA),   TB_SYSTEM_FUNCTION(wininet, InternetCombineUrlA),
            TB_SYSTEM_FUNCTION(wininet, InternetCanonicalizeUrlA),
            TB_SYSTEM_FUNCTION(wininet, InternetAttemptConnect),
        };
        return wininet.Complete() ? &functions : nullptr;
    }();
    return loaded;
}

void CloseInternetHandle(HINTERNET handle) {
    // Only a handle the library gave out is ever closed, so the library is there.
    if (const WinInetFunctions* net = WinInet()) net->InternetCloseHandle(handle);
}

}  // namespace tb
