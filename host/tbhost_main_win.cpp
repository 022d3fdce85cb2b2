// tbhost: the stand-in browser program, and a driver that uses a toolbar the way a person does.
//
//   tbhost [--dll LIBRARY] [--frames N] [--width N] [--repeat N] [--dpi N] ACTION...
//
// Like the browser, it hosts every band registered under the browser's Toolbar key (with --dll,
// only those whose server is that library, which it registers first): each is made by
// CoCreateInstance of its class id, gets the band site, is asked for its window, shown and measured,
// and lives in a band of the rebar of an "IEFrame" window until it is closed and released.
//
// The actions run in order on frame 1 once its toolbar is built:
//   --click NAME        an item by component name (a sub-item through its parent's menu)
//   --arrow NAME        opens an item's drop-down menu (closed again at once)
//   --type TEXT         types into the search box
//   --key NAME          a key where the focus is: tab, shift+tab, left, right, up, down, home, end,
//                       enter, space, esc, alt+down, f4, shift+f10 (keys that follow one another
//                       are typed one after the other, into the menus they open); after each, where
//                       the focus is ({"key":...,"focus":"button","item":...}, "search box",
//                       "menu" with its entries, "page")
//   --menu PATH         opens a menu as a person does and chooses the entry at PATH by keyboard:
//                       PATH starts with a button's caption (its drop-down), "»" (the overflow) or
//                       "context" (the toolbar's menu of a right click), then the captions of the
//                       entries, e.g. "»/News/News"; only the first part: the menu is read and closed
//   --menu-shot FILE.png   the next --menu that only opens a menu keeps a picture of the frame with it
//   --hover NAME        the mouse over an item           --context N   the band's context command N
//   --event document-complete                            --width N     the browser's width
//   --close             CloseDW and release              --dump        the toolbar's description
//   --screenshot FILE.png  the frame window              --dialog-shot FILE.png  the next dialog
//   --wait MS           --interactive (stays until the frame is closed)
// --frames N opens N frames, each on a thread of its own; --repeat N has every frame build, search
// for a term of its own and close N times, in an order the threads decide. --dpi N runs the frames
// at a screen scale of N dots per inch (96 to 480; dpi_win.cpp says how) and reports the scale the
// frame's window got as {"frame":1,"dpi":{"system":N,"window":N}}. --close-while-building MS
// closes the band MS after its creation, from the build's message loop; --close-during-splash closes
// and releases it from the splash's.
//
// Output: one JSON object a line on stdout: every call a band makes on the browser, {"dump":...},
// {"dialog":{"title":...,"texts":[...]}} for each box or dialog (read, then closed, so that no run
// waits on a person), {"error":...} for an action that could not run. Exit 0 when every action ran,
// 1 when one could not, 2 for bad usage.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/message_pump_win.hpp"
#include "host/driver/driver_win.hpp"

namespace {

using namespace tb::driver;

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

std::string Handles(const char* when) {
    int windows = 0;
    EnumWindows(&CountWindow, reinterpret_cast<LPARAM>(&windows));
    DWORD kernel = 0;
    GetProcessHandleCount(GetCurrentProcess(), &kernel);
    return std::string("{\"handles\":\"") + when + "\",\"windows\":" + std::to_string(windows) +
           ",\"gdi\":" + std::to_string(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) +
           ",\"user\":" + std::to_string(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) +
           ",\"kernel\":" + std::to_string(kernel) + "}";
}

int Usage(const std::wstring& why) {
    std::fwprintf(stderr, L"tbhost: %ls\nusage: tbhost [--dll LIBRARY] [--frames N] [--width N] [--repeat N] [--close-while-building MS]\n"
                  L"              [--close-during-splash] ACTION...\n",
                  why.c_str());
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    std::set<std::wstring> with_argument = {L"--click", L"--arrow", L"--type", L"--key", L"--hover",
                                                  L"--context", L"--event", L"--width", L"--screenshot",
                                                  L"--dialog-shot", L"--wait"};
    const std::set<std::wstring> without = {L"--close", L"--dump", L"--interactive"};
    // Menus and keys: the menu at a path, keys by name (keyboard_win.cpp checks the names).
    for (const wchar_t* option : {L"--menu", L"--menu-shot"}) with_argument.insert(option);
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool has_value = i + 1 < argc;
        if (option == L"--dll" && has_value) {
            options.dll = argv[++i];
        } else if (option == L"--frames" && has_value) {
            options.frames = _wtoi(argv[++i]);
            if (options.frames < 1 || options.frames > 64) return Usage(L"--frames takes 1 to 64");
        } else if (option == L"--close-while-building" && has_value) {
            options.close_while_building = _wtoi(argv[++i]);
        } else if (option == L"--close-during-splash") {
            options.close_during_splash = true;
        } else if (option == L"--repeat" && has_value) {
            options.repeat = _wtoi(argv[++i]);
        // The screen scale (dpi_win.cpp).
        } else if (option == L"--dpi" && has_value) {
            options.dpi = _wtoi(argv[++i]);
            if (options.dpi < 96 || options.dpi > 480) return Usage(L"--dpi takes 96 to 480");
        } else if (option == L"--width" && has_value && options.actions.empty()) {
            options.width = _wtoi(argv[++i]);
        } else if (with_argument.count(option) && has_value) {
            options.actions.push_back({option, argv[++i]});
        } else if (without.count(option)) {
            options.actions.push_back({option, L""});
        } else {
            return Usage(L"unknown or incomplete option " + option);
        }
    }
    BecomeDpiAware();
    if (options.dpi > 0) {
        if (const std::optional<int> code = RunAtDpi(options.dpi)) return *code;
    }
    if (FAILED(OleInitialize(nullptr))) return 1;
    Emit(Handles("start"));
    if (!options.dll.empty()) {
        // Registration first, as an installer does. It may report a failure after writing every
        // entry (the browser refuses to show the bar): what counts is that the band is listed.
        wchar_t full[MAX_PATH] = {};
        GetFullPathNameW(options.dll.c_str(), MAX_PATH, full, nullptr);
        options.dll = full;
        HRESULT result = E_FAIL;
        if (HMODULE library = LoadLibraryW(full)) {
            using Register = HRESULT(WINAPI*)();
            if (auto entry = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")))) {
                result = entry();
            }
            FreeLibrary(library);
        }
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(result));
        Emit("{\"register\":" + Quote(std::wstring(full)) + ",\"result\":\"" + code + "\",\"listed\":" +
             (RegisteredBands(options.dll).empty() ? "false" : "true") + "}");
    }
    std::thread watcher(&WatchDialogs);
    // Frame threads of their own, as the browser runs them. This thread keeps handling its messages
    // while it waits: a thread's end may send to the windows COM made here for the registration.
    std::vector<FrameStart> starts;
    for (int i = 1; i <= options.frames; ++i) starts.push_back({i, &options});
    std::vector<HANDLE> frames;
    for (FrameStart& start : starts) {
        HANDLE thread = CreateThread(nullptr, 0, &FrameThread, &start, 0, nullptr);
        if (thread) frames.push_back(thread);
    }
    while (!frames.empty()) {
        const DWORD woke = MsgWaitForMultipleObjects(static_cast<DWORD>(frames.size()), frames.data(), FALSE, INFINITE,
                                                     QS_ALLINPUT);
        if (woke < WAIT_OBJECT_0 + frames.size()) {
            CloseHandle(frames[woke - WAIT_OBJECT_0]);
            frames.erase(frames.begin() + (woke - WAIT_OBJECT_0));
            continue;
        }
        tb::PumpWaitingMessages();
    }
    watching = false;
    watcher.join();
    CoFreeUnusedLibrariesEx(0, 0);
    Emit(Handles("end"));
    OleUninitialize();
    return failures > 0 ? 1 : 0;
}
