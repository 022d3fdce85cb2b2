#pragma once
// The standard controls of dialog forms: panels, a push button, Unicode labels, a multi-line text
// box and a picture box. Each is a thin view over its window (the form owns the windows) with the
// two things dialog controls share:
//   Font   a face name and a size in points, plus style; ParentFont: the control takes the font of
//          the control or form it sits on whenever that one's font is set (TDialogForm does it)
//   Color  the background; ParentColor: likewise taken from the parent
// Colours reach Windows through WM_CTLCOLOR*: the window a control sits on (a panel, or a form that
// calls RouteColorMessage) asks the control object for its brush.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/handle_win.hpp"
#include "toolkit/form_win.hpp"
#include "toolkit/picture_win.hpp"

namespace tb {

struct FontFace {
    std::u16string name = u"MS Shell Dlg 2";
    int size = 8;  // points
    bool bold = false;
    bool underline = false;
    COLORREF color = RGB(0, 0, 0);

    bool operator==(const FontFace&) const = default;
};

// A GDI font for the face (the size in points at the screen's resolution).
UniqueHfont CreateFontFromFace(const FontFace& wanted);
// What a window's font is, read back with WM_GETFONT (name, size in points, style; colour black).
FontFace FontOfWindow(HWND window);

class TDialogControl : public TWinControl {
public:
    using TWinControl::TWinControl;

    // The control or panel this one sits on; null: the form.
    TDialogControl* ParentControl = nullptr;
    std::u16string Hint;
    bool ParentFont = true;
    bool ParentColor = true;
    std::function<void()> OnClick;

    const FontFace& Font() const { return font_; }
    void SetFont(const FontFace& wanted);
    COLORREF Color() const { return color_; }
    void SetColor(COLORREF color);

    std::u16string Caption() const;
    void SetCaption(std::u16string_view caption);

    // WM_CTLCOLOR* for this control's window: text colour and background into the DC, the brush.
    virtual HBRUSH CtlColor(HDC dc);

protected:
    // Creates the window of a system class as a child of `parent` and takes it.
    void CreateWindowOf(const wchar_t* window_class, DWORD style, DWORD ex_style, HWND parent, int id = 0);

private:
    FontFace font_;
    UniqueHfont font_handle_;
    COLORREF color_ = GetSysColor(COLOR_BTNFACE);
    UniqueHbrush brush_;
};

// For the window procedure of anything that holds dialog controls: WM_CTLCOLORSTATIC, WM_CTLCOLOREDIT
// and WM_CTLCOLORBTN go to the control object of the child. True when handled, with the brush.
bool RouteColorMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

// A plain area in its colour that holds other controls (and passes their notifications on to them).
class TPanel : public TDialogControl {
public:
    using TDialogControl::TDialogControl;
    void Create(HWND parent);

private:
    static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
};

// Text on its parent's colour; a click raises OnClick. "&" is shown as it is.
class TLabel : public TDialogControl {
public:
    using TDialogControl::TDialogControl;
    void Create(HWND parent);
    bool ParentCommand(WORD code, LRESULT& result) override;
};

// A push button; a click (or Esc in a modal form, for the cancel button) raises OnClick.
class TButton : public TDialogControl {
public:
    using TDialogControl::TDialogControl;
    void Create(HWND parent, int id = 0);
    bool ParentCommand(WORD code, LRESULT& result) override;
};

// Read-only multi-line Unicode text with a vertical scroll bar.
class TMemo : public TDialogControl {
public:
    using TDialogControl::TDialogControl;
    void Create(HWND parent);
    // Any line ends (CR LF, LF, CR) are shown as lines.
    void SetText(std::u16string_view text);
    std::u16string Text() const { return Caption(); }
};

// Shows a picture at its top-left corner on its colour; AutoSize makes it as large as the picture.
class TPictureBox : public TDialogControl {
public:
    using TDialogControl::TDialogControl;
    void Create(HWND parent);
    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }
    // Call after changing the picture.
    void PictureChanged();
    bool AutoSize = true;

private:
    static LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    TPicture picture_;
};

}  // namespace tb
