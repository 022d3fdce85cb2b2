#pragma once
// The editable combo box (CBS_DROPDOWN, Unicode): its list, selected index, text, the selection
// within the text, width and font face, close-up and select events, a key-press event that can
// swallow the key, and a popup menu of its own (shown on a right click into the text).
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/handle_win.hpp"
#include "toolkit/form_win.hpp"

namespace tb {

class TPopupMenu;

class TComboBox : public TWinControl {
public:
    explicit TComboBox(std::u16string name) : TWinControl(std::move(name)) {}
    ~TComboBox() override;

    // Creates the window as a child of `parent` (the list drops down up to `list_height` pixels).
    void Create(HWND parent, int left, int top, int width, int list_height = 200);
    // The edit field inside the combo box.
    HWND EditHandle() const { return edit_; }

    // --- the list
    int Count() const;
    std::u16string Item(int index) const;
    std::vector<std::u16string> Items() const;
    int Add(std::u16string_view text);  // returns the new index
    void Insert(int index, std::u16string_view text);
    void Delete(int index);
    void Replace(int index, std::u16string_view text);
    void ClearList();
    // The index of the entry equal to text, letter case ignored; -1 when there is none.
    int IndexOf(std::u16string_view text) const;

    // --- selection and text
    int ItemIndex() const;
    void SetItemIndex(int index);  // -1 selects nothing (the text stays)
    std::u16string Text() const;
    void SetText(std::u16string_view text);
    int SelStart() const;
    int SelLength() const;
    void SetSelection(int start, int length);
    std::u16string SelText() const;
    void ReplaceSelText(std::u16string_view text);
    void SelectAll();
    void Clear();  // empties the text
    bool DroppedDown() const;

    void SetFontFace(std::u16string_view face);
    // The screen scale the box is shown at: its font (the face kept) follows it.
    void SetDpi(int dpi);
    std::u16string FontFace() const;

    std::function<void()> OnCloseUp;
    // An entry was selected, the text shows it. A selection made while the list is down is
    // reported once, right after OnCloseUp; one made in the closed box (arrow keys) at once.
    std::function<void()> OnSelect;
    std::function<void()> OnChange;
    // Characters typed into the text: set key to 0 to swallow it.
    std::function<void(wchar_t& key)> OnKeyPress;
    // A key pressed in the text (a virtual-key code; `alt` with the Alt key), before the box
    // handles it: true swallows it.
    std::function<bool(WPARAM key, bool alt)> OnKeyDown;
    TPopupMenu* PopupMenu = nullptr;

    bool ParentCommand(WORD code, LRESULT& result) override;

private:
    static LRESULT CALLBACK EditSubclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                         DWORD_PTR data);

    void ReportSelect();

    HWND edit_ = nullptr;
    bool select_pending_ = false;
    void FitLineToScale();

    UniqueHfont font_;
    int dpi_ = 0;  // 0: the screen's
};

}  // namespace tb
