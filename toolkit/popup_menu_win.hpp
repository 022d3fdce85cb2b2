#pragma once
// Popup menus made from toolbar items: nested levels for items with sub-items, icons from an image
// list, radio checks for the items of an auto-check group (a plain check for auto-check items
// without a group), disabled entries, separators; hidden items and control items are left out.
// The menu is built when it opens, so it always shows the items as they are; the chosen entry's
// item is clicked after the menu has closed.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "base/handle_win.hpp"
#include "toolkit/form_win.hpp"
#include "toolkit/item_model.hpp"

namespace tb {

// A built menu and the item behind each command id (ids from 1).
struct ItemMenu {
    UniqueHmenu menu;
    std::vector<TToolbarItem*> commands;  // id - 1 -> item
};

// Builds the menu of `items` (a separator between groups stays as given; separators at either end
// or doubled by hidden items are dropped). An item that has a command of its own besides its
// sub-items (a split item, a plain item with a click handler) opens a sub-menu whose first entry
// is the item itself, then a separator, then the sub-items: the command stays one key away and
// the sub-items keep their order.
ItemMenu BuildItemMenu(const std::vector<TToolbarItem*>& items, HIMAGELIST images);

// Shows the items as a popup menu at a screen point (TrackPopupMenu flags may add alignment; the
// exclude rectangle, when given, is kept uncovered). Clicks the chosen item and returns it; null
// when the menu was dismissed.
TToolbarItem* TrackItemMenu(HWND owner, const std::vector<TToolbarItem*>& items, HIMAGELIST images, POINT screen,
                            UINT flags = 0, const RECT* exclude = nullptr);

// Hook for the windows that own menus: draws the icons of the menu being shown.
bool HandleMenuDrawMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

// A popup menu component: its own entries (owned items, one name space), and optionally a linked
// item whose sub-items it shows first, with a separator between them and its own entries.
class TPopupMenu : public TComponent {
public:
    explicit TPopupMenu(std::u16string name) : TComponent(std::move(name)) {}

    TItemOwner& OwnItems() { return own_; }
    // Appends an own entry (created by OwnItems().Create).
    void Add(TToolbarItem& item) { entries_.push_back(&item); }
    const std::vector<TToolbarItem*>& OwnEntries() const { return entries_; }

    void LinkSubitems(TToolbarItem* item) { linked_ = item; }
    TToolbarItem* LinkedItem() const { return linked_; }
    void SetImages(HIMAGELIST images) { images_ = images; }
    HIMAGELIST Images() const { return images_; }

    // What the menu shows, in order.
    std::vector<TToolbarItem*> Entries() const;
    // Runs OnPopup, shows the menu at the screen point and clicks the chosen entry.
    TToolbarItem* Popup(HWND owner, POINT screen);

    std::function<void()> OnPopup;

private:
    TItemOwner own_;
    std::vector<TToolbarItem*> entries_;
    TToolbarItem* linked_ = nullptr;
    HIMAGELIST images_ = nullptr;
};

}  // namespace tb
