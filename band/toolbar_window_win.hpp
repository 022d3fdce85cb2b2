#pragma once
// What the band object needs of the toolbar window it hosts, and of the about box. The library
// decides what stands behind it (LibraryToolbarParts): the toolbar form in the toolbar library, a
// plain window in the band's tests.
#include <windows.h>
#include <exdisp.h>

#include <functional>
#include <memory>

#include "band/shdocvw_events_win.hpp"

namespace tb {

class ToolbarWindow {
public:
    ToolbarWindow() = default;
    ToolbarWindow(const ToolbarWindow&) = delete;
    ToolbarWindow& operator=(const ToolbarWindow&) = delete;
    // Destroys the window and everything it owns; its BrowserEvents sink disconnects on the way.
    virtual ~ToolbarWindow() = default;

    // The window's handle, created first when it does not exist yet.
    virtual HWND Handle() = 0;
    // The hosting browser (null when there is none); the window keeps a counted reference.
    virtual void SetBrowser(IWebBrowser2* browser) = 0;
    // The window's own sink for the browser's events; the band connects it to the browser.
    virtual TSHDocVwDWebBrowserEvents2& BrowserEvents() = 0;
    // The window takes the keyboard focus. May raise when the window cannot take it.
    virtual void TakeFocus() = 0;
    // The keyboard: a Tab (Shift+Tab: at_end) from the browser brings the focus in at the window's
    // first (last) stop; inside, a Tab moves it on and answers false when it leaves the window at
    // that end. A window without stops of its own takes the focus as a whole and hands every Tab back.
    virtual void EnterFocus(bool /*at_end*/) { TakeFocus(); }
    virtual bool MoveFocus(bool /*forward*/) { return false; }
    // Set by the band: the window gave the focus back to the browser's page (Esc).
    std::function<void()> OnFocusLeft;
};

// The parts a library puts behind the band.
struct ToolbarParts {
    // Creates the toolbar window as a child of `parent`, with no owner; the window builds itself
    // while it is made. Raises when it cannot be made.
    std::unique_ptr<ToolbarWindow> (*create_window)(HWND parent) = nullptr;
    // The about box: modal (splash = false) or the four-second splash. May raise.
    void (*show_about_box)(bool splash) = nullptr;
};

// Defined once in each library that holds the band.
ToolbarParts LibraryToolbarParts();

}  // namespace tb
