#pragma once
// The toolbar: a ToolbarWindow32 in list style (image beside text) inside a dock window that fits
// the width it is given. It shows the top level of a TToolbarModel:
//   plain items        buttons; a click runs the item's Click
//   sub-menu items     with the arrow option a drop-down button: split (the main part clicks, the
//                      arrow opens the sub-items) or whole (any click opens them); without the
//                      arrow any click opens the sub-items
//   separators         separators
//   control items      a gap as wide as the control, with the control's window placed over it
// Items that do not fit the dock's width stay reachable through an overflow drop-down ("»") at the
// right end. A right click on the toolbar raises OnContextMenu (the form shows its main menu).
//
// Keyboard: the buttons are one stop of the window's tab order. The focused button shows as the
// hot button (as Windows toolbars show it); Left / Right move among the buttons that can be used
// (the overflow "»" last, when it shows), Home / End to either end; Enter or Space runs the
// button's command (a button that only opens a menu opens it); Down or Alt+Down opens its
// drop-down (on "»" the overflow menu); Shift+F10 or the menu key raise OnContextMenu below the
// button; Esc raises OnEscape.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/form_win.hpp"
#include "toolkit/item_model.hpp"

namespace tb {

class TToolbarControl : public TWinControl, private ToolbarListener {
public:
    explicit TToolbarControl(std::u16string name);
    ~TToolbarControl() override;

    // Creates the dock as a child of `parent` at the given place, and the toolbar in it.
    void Create(HWND parent, int left, int top, int width);

    TToolbarModel& Model() { return model_; }
    const TToolbarModel& Model() const { return model_; }
    // The toolbar window (ControlHandle()/Handle() is the dock).
    HWND ToolbarHandle() const { return toolbar_; }
    HWND OverflowHandle() const { return chevron_; }

    // The screen scale of the toolbar's window: its font, padding and separators follow it (the
    // image list and the controls' widths are the owner's, made for the same scale). 96 at first.
    void SetDpi(int dpi);
    int Dpi() const { return dpi_; }

    // The image list of the buttons and menus (not owned); null for none.
    void SetImages(HIMAGELIST images);
    HIMAGELIST Images() const { return images_; }

    // Shows the model as it is now (called by the model's notifications outside BeginUpdate).
    // While the model is updating it only remembers that it must: EndUpdate renders once.
    void Render();
    // Places the buttons, the controls and the overflow button for the dock's width. Nothing is
    // moved when neither the buttons nor the sizes changed since the last time.
    void Layout();
    // The height the toolbar needs for its buttons and controls.
    int PreferredHeight() const;
    // The top-level item whose button is under a point of the toolbar window, or null.
    TToolbarItem* ItemAt(POINT toolbar_client) const;
    // Each shown top-level button (visible, not cut off) with its rectangle in toolbar coordinates
    // and the width its caption needs in the toolbar's font.
    struct ButtonGeometry {
        TToolbarItem* item;
        RECT box;
        int text_width;
    };
    std::vector<ButtonGeometry> ShownButtons() const;
    // Top-level items whose buttons are cut off by the dock's width (what the overflow menu shows).
    std::vector<TToolbarItem*> OverflowItems() const;
    void Repaint();

    // Opens the sub-items of a top-level item below its button (as a click on its arrow does).
    void DropDown(TToolbarItem& item);
    // Opens the overflow menu.
    void DropDownOverflow();

    // --- keyboard
    // Focuses the first (or last) button that can be used; false when there is none.
    bool FocusButton(bool last);
    // The focus is on one of the buttons (or on "»").
    bool HasFocus() const;
    // The focused button's item; null when the focus is on "»" or not on the buttons.
    TToolbarItem* FocusedItem() const;
    std::function<void()> OnEscape;

    std::function<void(POINT screen)> OnContextMenu;
    // The mouse moved over the toolbar window (its client coordinates).
    std::function<void(int x, int y)> OnMouseMove;

private:
    void ItemChanged(TToolbarItem& item) override;
    void LayoutChanged() override;

    static LRESULT CALLBACK DockProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT HandleDock(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    bool HandleToolbarNotify(const NMHDR& header, LRESULT& result);
    void ButtonCommand(int command);
    int IndexOf(const TToolbarItem& item) const;
    TToolbarItem* ItemOfCommand(int command) const;
    TBBUTTON ButtonFor(TToolbarItem& item, int index, const std::wstring& caption) const;
    void PlaceControls();
    // Keyboard: the positions that take the focus (button indices, kOverflowStop for "»").
    std::vector<int> FocusStops() const;
    void FocusStop(int stop);
    void ShowFocus();
    bool HandleKey(UINT message, WPARAM key);
    friend LRESULT CALLBACK ToolbarKeys(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static constexpr int kOverflowStop = -2;
    void FitButtonHeightToScale();

    TToolbarModel model_;
    HWND toolbar_ = nullptr;
    HWND chevron_ = nullptr;
    HIMAGELIST images_ = nullptr;
    int dpi_ = 96;
    DWORD design_padding_ = 0;  // the toolbar's own padding at 96 DPI, as it came
    std::vector<TToolbarItem*> shown_;  // top level as rendered: command id - kFirstCommand -> item
    bool rendering_ = false;
    // What the last Layout placed, so that a call that would place the same does nothing (each
    // window move costs a round trip, many of them under Wine); cleared by whatever moves buttons.
    struct Placed {
        int width = -1, height = -1, chevron_width = -1;
        bool overflow = false;
        bool operator==(const Placed&) const = default;
    };
    Placed placed_;
    bool buttons_moved_ = true;
    int focus_ = -1;  // the focused stop (a button index or kOverflowStop); -1 none yet
};

}  // namespace tb
