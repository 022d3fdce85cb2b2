#pragma once
// Window procedures put in front of a window's own, in the shape of the common controls' subclasses
// (newest first; each passes a message on with CallNextSubclass), found without asking the window
// system. The common controls keep a window's subclasses in a window property: every message to it
// then costs a property read, which under Wine is a call to its server (about 30 us here, some 290 of
// them for each toolbar window built). These chains live in this library's memory instead.
//
// A window's chain is made by its first AddSubclass and ends with the window (WM_NCDESTROY). Adding,
// removing and passing on must happen on the window's own thread, as with the common controls.
#include <windows.h>

namespace tb {

using SubclassProcedure = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM, UINT_PTR id, DWORD_PTR data);

// Puts `procedure` in front of the window's procedures; a procedure already there with the same id
// gets the new data. False when the window is not one of this thread's.
bool AddSubclass(HWND window, SubclassProcedure procedure, UINT_PTR id, DWORD_PTR data);

// Takes the procedure out; the window's messages no longer reach it, also one that is handling a
// message now. Nothing happens for a procedure that is not there.
void RemoveSubclass(HWND window, SubclassProcedure procedure, UINT_PTR id);

// Passes the message to the next older procedure of the chain, and from the oldest to the window's
// own. Only from inside a subclass procedure of that window.
LRESULT CallNextSubclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// How many windows have a chain now (for tests: every window's ends with it).
int SubclassedWindowCount();

}  // namespace tb
