#pragma once
// The window the band's tests put behind the band: a plain child window that records what the band
// asks of it. The test library BandUnderTest.dll holds one (read through its export
// BandTestRecord), the test program another (for what it runs in its own process).
#include <windows.h>

namespace tb::testing_support {

struct TestWindowRecord {
    int windows_created = 0;
    int windows_destroyed = 0;
    HWND last_parent = nullptr;
    HWND last_window = nullptr;
    int set_browser_calls = 0;
    void* last_browser = nullptr;  // IWebBrowser2*, only compared
    bool sink_connected_when_destroyed = false;
    int focus_calls = 0;
    int about_calls = 0;
    bool last_about_splash = true;
    int document_completes = 0;
    // Messages that reached the window's own procedure.
    int parent_notifies = 0;
    int key_downs = 0;
    int chars = 0;
    // What the test asks the parts to do: fail.
    bool fail_focus = false;
    bool fail_about = false;
    bool fail_create = false;
    // Called once the window exists, as the build's message loop would deliver a browser's call.
    void (*while_building)(void* context) = nullptr;
    void* while_building_context = nullptr;
};

using BandTestRecordFunction = TestWindowRecord*(__cdecl*)();

}  // namespace tb::testing_support

extern "C" tb::testing_support::TestWindowRecord* __cdecl BandTestRecord();
