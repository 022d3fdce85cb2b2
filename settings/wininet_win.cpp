#include "settings/wininet_win.hpp"

#include "base/system_library_win.hpp"

namespace tb {

const WinInetFunctions* WinInet() {
    static const WinInetFunctions* const loaded = []() -> const WinInetFunctions* {
        constexpr const wchar_t* kLibrary = L"wininet.dll";
        static const WinInetFunctions functions{
            TB_SYSTEM_FUNCTION(kLibrary, InternetOpenA),       TB_SYSTEM_FUNCTION(kLibrary, InternetConnectA),
            TB_SYSTEM_FUNCTION(kLibrary, InternetSetOptionA),  TB_SYSTEM_FUNCTION(kLibrary, HttpOpenRequestA),
            TB_SYSTEM_FUNCTION(kLibrary, HttpSendRequestA),    TB_SYSTEM_FUNCTION(kLibrary, HttpQueryInfoA),
            TB_SYSTEM_FUNCTION(kLibrary, InternetReadFile),    TB_SYSTEM_FUNCTION(kLibrary, InternetCloseHandle),
            TB_SYSTEM_FUNCTION(kLibrary, InternetCrackUrlA),   TB_SYSTEM_FUNCTION(kLibrary, InternetCombineUrlA),
            TB_SYSTEM_FUNCTION(kLibrary, InternetCanonicalizeUrlA),
            TB_SYSTEM_FUNCTION(kLibrary, InternetAttemptConnect),
        };
        const auto complete = functions.InternetOpenA && functions.InternetConnectA && functions.InternetSetOptionA &&
                              functions.HttpOpenRequestA && functions.HttpSendRequestA && functions.HttpQueryInfoA &&
                              functions.InternetReadFile && functions.InternetCloseHandle &&
                              functions.InternetCrackUrlA && functions.InternetCombineUrlA &&
                              functions.InternetCanonicalizeUrlA && functions.InternetAttemptConnect;
        return complete ? &functions : nullptr;
    }();
    return loaded;
}

void CloseInternetHandle(HINTERNET handle) {
    // Only a handle the library gave out is ever closed, so the library is there.
    if (const WinInetFunctions* net = WinInet()) net->InternetCloseHandle(handle);
}

}  // namespace tb
