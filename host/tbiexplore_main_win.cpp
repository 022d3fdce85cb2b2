// tbiexplore: a stand-in for the browser's own process (the "InternetExplorer.Application" local
// server), for machines where the real one cannot show a band (Wine's answers ShowBrowserBar with
// E_NOTIMPL, so registering a toolbar library there always fails). Test use only.
//
//   tbiexplore --register [--record FILE]   make COM start this program for CLSID_InternetExplorer
//   tbiexplore --unregister                 give the class back to the program it had before
//   tbiexplore -Embedding [--record FILE]   serve (COM starts it so)
//
// --register writes HKCU\Software\Classes\CLSID\{0002DF01-...}\LocalServer32 (which overrides the
// machine's entry on Windows) and, because Wine's COM reads the machine's classes only, the machine's
// LocalServer32 as well, keeping its previous value under HKCU\Software\tbiexplore for --unregister.
// Registering twice keeps the first saved value; --unregister without a saved value only removes the
// per-user override.
//
// The browser object answers ShowBrowserBar with S_OK and appends one JSON line per call to the
// record file (--record, else the file named by TB_IEXPLORE_RECORD, else nowhere):
//   {"call":"ShowBrowserBar","class_id":{"vt":8,"text":"{...}"},"show":{"vt":11,"value":-1},"size":{"vt":0}}
// The first line of every served process is {"call":"start","pid":N}. Every other browser method
// answers E_NOTIMPL. The program ends when the last browser object is released, or after 30 s
// without any object.
#include <windows.h>
#include <exdisp.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "base/boundary_win.hpp"
#include "base/text.hpp"
#include "host/browser_stub_win.hpp"
#include "host/stand_in_browser_win.hpp"

namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32";
constexpr wchar_t kUserClassKey[] =
    L"Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32";
constexpr wchar_t kSavedKey[] = L"Software\\tbiexplore";
constexpr wchar_t kSavedValue[] = L"Saved LocalServer32";
constexpr UINT kIdleTimeoutMs = 30000;

std::wstring g_record_file;
std::atomic<long> g_objects{0};
DWORD g_main_thread = 0;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string JsonString(const std::string& text) { return tb::JsonQuoted(text); }

std::string JsonArgument(const VARIANT* argument) {
    const tb::host::ArgumentSeen seen = tb::host::DescribeArgument(argument);
    std::string out = "{\"vt\":" + std::to_string(seen.type);
    if (seen.type == VT_BSTR) {
        out += ",\"text\":" + JsonString(Utf8(seen.text));
    } else if (seen.type != VT_EMPTY && seen.type != VT_NULL) {
        out += ",\"value\":" + std::to_string(seen.integer);
    }
    return out + "}";
}

// Appends one line to the record file (opened per line, so a reader sees every finished call).
void Record(const std::string& line) {
    if (g_record_file.empty()) return;
    HANDLE file = CreateFileW(g_record_file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

void ObjectGone() {
    if (--g_objects == 0) PostThreadMessageW(g_main_thread, WM_QUIT, 0, 0);
}

class Browser final : public tb::host::BrowserStub {
public:
    Browser() { ++g_objects; }
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return tb::QueryInterfaceFromTable(this, iid, out,
                                           {TB_QI_ENTRY(Browser, IWebBrowser2), TB_QI_ENTRY(Browser, IWebBrowserApp),
                                            TB_QI_ENTRY(Browser, IWebBrowser), TB_QI_ENTRY(Browser, IDispatch)});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++count_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = --count_;
        if (left == 0) {
            delete this;
            ObjectGone();
        }
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE ShowBrowserBar(VARIANT* class_id, VARIANT* show, VARIANT* size) override {
        return tb::ComBoundary([&]() -> HRESULT {
            Record("{\"call\":\"ShowBrowserBar\",\"class_id\":" + JsonArgument(class_id) +
                   ",\"show\":" + JsonArgument(show) + ",\"size\":" + JsonArgument(size) + "}");
            return S_OK;
        });
    }

    // Everything else a browser offers answers E_NOTIMPL (BrowserStub).

private:
    ~Browser() = default;
    std::atomic<long> count_{1};
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return tb::QueryInterfaceFromTable(this, iid, out, {TB_QI_ENTRY(Factory, IClassFactory)});
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }   // lives as long as the program
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return tb::ComBoundary([&]() -> HRESULT {
            return tb::MakeComObject<Browser>()->QueryInterface(iid, out);
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

std::wstring ModulePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

bool ReadText(HKEY root, const wchar_t* key, const wchar_t* name, std::wstring& text) {
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer, &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    text = buffer;
    return true;
}

bool WriteText(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& text) {
    return RegSetKeyValueW(root, key, name, REG_SZ, text.c_str(),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

int Register(const std::wstring& record) {
    std::wstring command = L"\"" + ModulePath() + L"\"";
    if (!record.empty()) command += L" --record \"" + record + L"\"";
    std::wstring saved, previous;
    if (!ReadText(HKEY_CURRENT_USER, kSavedKey, kSavedValue, saved)) {
        if (!ReadText(HKEY_CLASSES_ROOT, kClassKey, nullptr, previous)) previous.clear();
        if (!WriteText(HKEY_CURRENT_USER, kSavedKey, kSavedValue, previous)) return 1;
    }
    if (!WriteText(HKEY_CURRENT_USER, kUserClassKey, nullptr, command)) return 1;
    if (!WriteText(HKEY_CLASSES_ROOT, kClassKey, nullptr, command)) return 1;
    return 0;
}

int Unregister() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kUserClassKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kUserClassKey);
    std::wstring saved;
    if (!ReadText(HKEY_CURRENT_USER, kSavedKey, kSavedValue, saved)) return 0;
    if (saved.empty()) {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);
    } else if (!WriteText(HKEY_CLASSES_ROOT, kClassKey, nullptr, saved)) {
        return 1;
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kSavedKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kSavedKey);
    return 0;
}

int Serve() {
    g_main_thread = GetCurrentThreadId();
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, before anyone posts to it
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    Record("{\"call\":\"start\",\"pid\":" + std::to_string(GetCurrentProcessId()) + "}");
    static Factory factory;
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(CLSID_InternetExplorer, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie))) {
        CoUninitialize();
        return 1;
    }
    const UINT_PTR idle = SetTimer(nullptr, 0, kIdleTimeoutMs, nullptr);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == idle) {
            if (g_objects == 0) break;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    KillTimer(nullptr, idle);
    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring record;
    if (const DWORD size = GetEnvironmentVariableW(L"TB_IEXPLORE_RECORD", nullptr, 0)) {
        record.resize(size);
        record.resize(GetEnvironmentVariableW(L"TB_IEXPLORE_RECORD", record.data(), size));
    }
    enum class Mode { kNone, kServe, kRegister, kUnregister } mode = Mode::kNone;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--record" && i + 1 < argc) {
            record = argv[++i];
        } else if (lstrcmpiW(arg.c_str(), L"-Embedding") == 0 || lstrcmpiW(arg.c_str(), L"/Embedding") == 0 ||
                   lstrcmpiW(arg.c_str(), L"-Automation") == 0) {
            mode = Mode::kServe;
        } else if (arg == L"--register") {
            mode = Mode::kRegister;
        } else if (arg == L"--unregister") {
            mode = Mode::kUnregister;
        } else {
            fwprintf(stderr, L"tbiexplore: unknown argument %ls\n", arg.c_str());
            return 2;
        }
    }
    switch (mode) {
        case Mode::kRegister: return Register(record);
        case Mode::kUnregister: return Unregister();
        case Mode::kServe:
            g_record_file = record;
            return Serve();
        case Mode::kNone: break;
    }
    fwprintf(stderr, L"usage: tbiexplore --register [--record FILE] | --unregister | -Embedding [--record FILE]\n");
    return 2;
}
