#pragma once
// The one nested message pump. A loop that runs inside the thread's own loop (a modal form, a timed
// splash, a transfer that waits, a driver that lets its windows work) handles messages here. WM_QUIT
// is never a nested loop's to take: the pump stops at it, and it goes back to the loop that owns the
// thread, at once (PumpWaitingMessages) or when the caller has unwound (TakeWaitingMessages).
//   while (!closed) { WaitForMessageOr(INFINITE); if (!PumpWaitingMessages({dialog})) break; }
#include <windows.h>

#include <functional>

namespace tb {

struct PumpOptions {
    // A dialog whose keyboard navigation (Tab, Esc, Enter) the pump runs through IsDialogMessage.
    HWND dialog = nullptr;
    // Offered each message first; true when it took the message (no translation, no dispatch).
    std::function<bool(MSG&)> filter;
    // Asked before each message: once it holds, the rest waits for a later pump.
    std::function<bool()> stop;
};

// What ended a pump: the queue was drained (or `stop` held), or WM_QUIT came with this code.
struct PumpResult {
    bool quit = false;
    WPARAM quit_code = 0;
};

// Handles the messages waiting on this thread. A WM_QUIT is taken off the queue and reported: the
// caller owes it to the thread's own loop (PostQuitMessage(result.quit_code)).
inline PumpResult TakeWaitingMessages(const PumpOptions& options = {}) {
    PumpResult result;
    MSG message;
    while (!(options.stop && options.stop()) && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            result.quit = true;
            result.quit_code = message.wParam;
            return result;
        }
        if (options.filter && options.filter(message)) continue;
        if (options.dialog != nullptr && IsDialogMessageW(options.dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return result;
}

// Handles the messages waiting on this thread; a WM_QUIT goes straight back for the thread's own
// loop. False when that happened: the nested loop should end.
inline bool PumpWaitingMessages(const PumpOptions& options = {}) {
    const PumpResult result = TakeWaitingMessages(options);
    if (result.quit) PostQuitMessage(static_cast<int>(result.quit_code));
    return !result.quit;
}

// Sleeps until a message waits on this thread, one of `handles` is signalled or the time is up.
// The index of the signalled handle, or -1 (a message, the time, or a failed wait).
inline int WaitForMessageOr(DWORD milliseconds, const HANDLE* handles = nullptr, DWORD count = 0) {
    const DWORD woke = MsgWaitForMultipleObjectsEx(count, handles, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return woke < WAIT_OBJECT_0 + count ? static_cast<int>(woke - WAIT_OBJECT_0) : -1;
}

}  // namespace tb
