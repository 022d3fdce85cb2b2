#pragma once
// Screen scale. The browser decides how aware of the screen's scale its windows are; the toolbar
// reads the dots per inch of its own window and sizes its metrics, fonts and icons from it. Sizes
// of the design and of templates ("Search Width", the about box's size) are in pixels of a 96 DPI
// screen and are scaled by Scaled.
#include <windows.h>

namespace tb {

inline constexpr int kDesignDpi = 96;

// A top-level window moved to a screen of another scale (wParam: the new DPI twice; lParam: the
// suggested rectangle), and the same for a child window once its parent has been laid out. Named
// here: the headers give them only to programs for Windows 8.1 and 10.
inline constexpr UINT kDpiChangedMessage = 0x02E0;
inline constexpr UINT kDpiChangedAfterParentMessage = 0x02E3;

// The dots per inch of the window's screen as the window sees it: GetDpiForWindow where the system
// has it (a window of a process or thread unaware of the scale gets 96 there), else the screen's
// LOGPIXELSY. A value outside 48 to 960 (a failed call answers 0) counts as 96.
int WindowDpi(HWND window);

// A size of the 96 DPI design at `dpi`, rounded to the nearest pixel.
int Scaled(int design_pixels, int dpi);

}  // namespace tb
