#pragma once
// A top-level dialog form: a TForm with a dialog frame, a background colour and a font that its
// dialog controls follow (ParentColor, ParentFont), shown either as a modal dialog or for a while
// without being modal.
//
// Closing (Close(), the window's close button, Esc) never destroys the window: it hides it and ends
// a modal display. The owner of the object destroys it.
//
// Both message loops end early when the thread is quitting: a WM_QUIT they meet is posted again for
// the thread's own loop, never swallowed.
#include <windows.h>

#include <vector>

#include "base/handle_win.hpp"
#include "toolkit/dialog_controls_win.hpp"
#include "toolkit/form_win.hpp"

namespace tb {

class TDialogForm : public TForm {
public:
    // Creates the window (WS_CAPTION dialog frame, hidden, no owner) and its components, then runs
    // OnCreate under the failure rule. False when OnCreate raised (its error box was shown).
    bool CreateDialogWindow(int width, int height);

    COLORREF Color() const { return color_; }
    // Sets the background and passes it on to the controls that take their parent's colour.
    void SetColor(COLORREF color);
    const FontFace& Font() const { return font_; }
    // Sets the form's font and passes it on to the controls that take their parent's font.
    void SetFont(const FontFace& font);
    // The window's outer size.
    void SetSize(int width, int height);

    // Shows the form (OnShow under the failure rule first) and disables the thread's other windows
    // until it is closed. Returns when closed, or at once when OnShow raised (nothing was shown).
    void ShowModal();
    // Shows the form (OnShow first, as for ShowModal) without disabling anything, paints it at once
    // and processes the thread's messages for `milliseconds`; a close in between only hides it.
    void ShowFor(DWORD milliseconds);
    void Close();
    bool Closed() const { return closed_; }

protected:
    // The form's controls, made right after its window (TForm's CreateComponents sets the frame first).
    virtual void CreateDialogComponents() {}
    // Dialog controls of the form in parent-first order, for the colour and font to follow.
    void AddDialogControl(TDialogControl& control);
    bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
    void PassOnParentProperties();

private:
    void CreateComponents() final;

    std::vector<TDialogControl*> dialog_controls_;
    COLORREF color_ = GetSysColor(COLOR_BTNFACE);
    UniqueHbrush brush_;
    FontFace font_;
    UniqueHfont font_handle_;
    bool closed_ = false;
};

}  // namespace tb
