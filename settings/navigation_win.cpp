#include "settings/navigation_win.hpp"

#include <shellapi.h>
#include <wrl/client.h>

#include <atomic>
#include <vector>

#include "base/errors.hpp"
#include "base/system_library_win.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "settings/wininet_win.hpp"

namespace tb {
namespace {

using Microsoft::WRL::ComPtr;

// Flags of the URL canonicalization: decode %XX escapes, leave unsafe characters unencoded.
constexpr DWORD kCanonicalizeFlags = ICU_DECODE | ICU_NO_ENCODE;

// Raises the failure of a late-bound call, with the automation object's own description if it
// gave one.
[[noreturn]] void ThrowInvokeFailure(HRESULT code, EXCEPINFO& info) {
    if (code == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
        const Bstr description(info.bstrDescription ? std::wstring_view(info.bstrDescription) : L"");
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrHelpFile);
        const HRESULT reported = info.scode ? info.scode : code;
        if (!description.Text().empty()) {
            throw ComError(reported, Utf16ToAnsi(FromWide(description.Text())));
        }
        throw ComError(reported);
    }
    throw ComError(code);
}

// Calls a method or sets a property by name. `args` are in the order the method declares them.
void InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANTARG> args) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    ThrowIfFailed(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));

    std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{};
    params.rgvarg = reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    DISPID put = DISPID_PROPERTYPUT;
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    EXCEPINFO info{};
    UINT bad_argument = 0;
    const HRESULT code =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, &info, &bad_argument);
    if (FAILED(code)) ThrowInvokeFailure(code, info);
}

// "Navigate" with the URL as the only argument, passed as a string by reference.
void NavigateByName(IDispatch* object, std::u16string_view url) {
    Bstr text(ToWide(url));
    BSTR slot = text.Get();
    VARIANTARG argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR | VT_BYREF;
    argument.pbstrVal = &slot;
    InvokeByName(object, L"Navigate", DISPATCH_METHOD, {argument});
}

IDispatch* KeptObject(Variant& newBrowserWindow) {
    VARIANT* kept = newBrowserWindow.Get();
    if (kept->vt == VT_DISPATCH && kept->pdispVal) return kept->pdispVal;
    throw ComError(DISP_E_TYPEMISMATCH);
}

// The system's hyperlink navigation, which lives in urlmon: the core does not otherwise import it,
// so it is loaded when first needed. Where it is missing or not implemented, the shell's default
// action on the URL opens it instead.
void HyperlinkNavigate(std::u16string_view url) {
    using NavigateString = HRESULT(WINAPI*)(IUnknown*, LPCWSTR);
    static const auto navigate = SystemFunction<NavigateString>(L"urlmon.dll", "HlinkNavigateString");
    const std::wstring target = ToWide(url);
    if (navigate && SUCCEEDED(navigate(nullptr, target.c_str()))) return;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        const DWORD error = GetLastError();
        throw ComError(error ? HRESULT_FROM_WIN32(error) : E_FAIL);
    }
}

bool FolderHasFile(const std::string& folder, const char* pattern) {
    std::string search = folder;
    if (!search.empty() && search.back() != '\\') search += '\\';
    search += pattern;
    WIN32_FIND_DATAA found;
    const HANDLE handle = FindFirstFileA(search.c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE) return false;
    FindClose(handle);
    return true;
}

}  // namespace

void NavigateTo(IWebBrowser2* browser, Variant& newBrowserWindow, std::u16string_view url) {
    if (!browser) {
        OpenInBrowserWindow(newBrowserWindow, url);
        return;
    }
    Bstr target(ToWide(url));
    VARIANT zero;
    VariantInit(&zero);
    zero.vt = VT_I4;
    zero.lVal = 0;
    ThrowIfFailed(browser->Navigate(target.Get(), &zero, &zero, &zero, &zero));
}

void OpenInBrowserWindow(Variant& newBrowserWindow, std::u16string_view url) {
    if (newBrowserWindow.Empty()) {
        CLSID id;
        ThrowIfFailed(CLSIDFromProgID(L"InternetExplorer.Application", &id));
        IDispatch* created = nullptr;
        ThrowIfFailed(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&created)));
        newBrowserWindow.AttachDispatch(created);
        VARIANTARG visible;
        VariantInit(&visible);
        visible.vt = VT_BOOL;
        visible.boolVal = VARIANT_TRUE;
        InvokeByName(created, L"Visible", DISPATCH_PROPERTYPUT, {visible});
        NavigateByName(created, url);
        return;
    }
    if (const HWND frame = FindWindowA("IEFrame", nullptr)) {
        NavigateByName(KeptObject(newBrowserWindow), url);
        SetForegroundWindow(frame);
        return;
    }
    HyperlinkNavigate(url);
}

void ShellOpen(std::u16string_view target) {
    const std::wstring file = ToWide(target);
    ShellExecuteW(nullptr, nullptr, file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool IsFlashInstalled() {
    char windows[256] = {};
    const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows) return false;
    const std::string root(windows);
    for (const std::string& folder : {root + "\\System\\Macromed\\flash", root + "\\System\\Macromed",
                                     root + "\\system32\\Macromed\\Flash\\"}) {
        if (FolderHasFile(folder, "fl*.ocx") || FolderHasFile(folder, "swflash.ocx")) return true;
    }
    return false;
}

std::string CanonicalizeUrl(const std::string& url) {
    // Most URLs fit the first buffer; a longer canonical form gets a buffer of the size WinInet asks for.
    const WinInetFunctions* net = WinInet();
    if (net == nullptr) {
        ShowErrorBox(std::string("Error: ") + kNoInternetLibrary);
        return {};
    }
    std::vector<char> buffer(256, '\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        if (net->InternetCanonicalizeUrlA(url.c_str(), buffer.data(), &size, kCanonicalizeFlags)) {
            return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || size < buffer.size()) {
            ShowErrorBox("Error: " + SystemErrorMessage(static_cast<int>(error)));
            return {};
        }
        buffer.assign(static_cast<size_t>(size) + 1, '\0');
    }
    ShowErrorBox("Error: " + SystemErrorMessage(ERROR_INSUFFICIENT_BUFFER));
    return {};
}

namespace {

int SystemMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

std::atomic<MessageBoxFunction> g_message_box{&SystemMessageBox};

}  // namespace

void SetMessageBoxFunction(MessageBoxFunction show) { g_message_box.store(show ? show : &SystemMessageBox); }

void ShowErrorBox(const std::string& message) {
    g_message_box.load()(GetActiveWindow(), message, "Error", MB_OK | MB_ICONWARNING);
}

}  // namespace tb
