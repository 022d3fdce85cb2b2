#pragma once
// The application's cursor table: cursors registered under a number, which the forms give to
// their controls. The system hand cursor is there from the start, under kSystemHandCursor.
#include <windows.h>

namespace tb {

// The number under which templates name the hand cursor.
inline constexpr int kSystemHandCursor = 32649;

// Registers (or replaces) the cursor under `number`; a null cursor removes the entry. The table
// does not own the cursors: shared system cursors need no destruction.
void RegisterCursor(int number, HCURSOR cursor);

// The cursor registered under `number`, or null.
HCURSOR RegisteredCursor(int number);

}  // namespace tb
