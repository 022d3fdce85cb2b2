#include "toolkit/popup_menu_win.hpp"

#include "base/wide_win.hpp"

namespace tb {
namespace {

// The image list of the menu being shown on this thread (menus are modal: one at a time).
thread_local HIMAGELIST t_menu_images = nullptr;

bool Shows(const TToolbarItem& item) { return item.Visible() && item.Kind() != ItemKind::Control; }

// True for the items whose click does something besides opening their sub-items: split items (the
// main part clicks) and plain items with a click handler (an address).
bool OffersOwnCommand(const TToolbarItem& item) {
    if (item.Kind() == ItemKind::Submenu) return item.Split();
    return item.Kind() == ItemKind::Item && static_cast<bool>(item.OnClick);
}

// Appends the entries of `items`; `as_command` (one of them) is appended as a plain entry even when
// it has sub-items.
void AppendEntries(HMENU menu, const std::vector<TToolbarItem*>& items, HIMAGELIST images, ItemMenu& built,
                   const TToolbarItem* as_command) {
    bool last_was_separator = true;  // no separator at the top
    for (TToolbarItem* item : items) {
        if (!Shows(*item)) continue;
        if (item->Kind() == ItemKind::Separator) {
            if (!last_was_separator) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            last_was_separator = true;
            continue;
        }
        last_was_separator = false;
        const std::wstring caption = ToWide(item->Caption());
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STRING | MIIM_STATE | MIIM_FTYPE | MIIM_DATA | MIIM_ID;
        info.fType = MFT_STRING;
        info.dwTypeData = const_cast<wchar_t*>(caption.c_str());
        info.dwItemData = reinterpret_cast<ULONG_PTR>(item);
        if (!item->Enabled()) info.fState |= MFS_DISABLED;
        if (item->Checked()) info.fState |= MFS_CHECKED;
        if (item->AutoCheck() && item->GroupIndex() > 0) info.fType |= MFT_RADIOCHECK;
        if (images != nullptr && item->ImageIndex() >= 0 && item->ImageIndex() < ImageList_GetImageCount(images)) {
            info.fMask |= MIIM_BITMAP;
            info.hbmpItem = HBMMENU_CALLBACK;
        }
        if (item != as_command && (item->Kind() == ItemKind::Submenu || !item->Children().empty())) {
            HMENU sub = CreatePopupMenu();
            if (OffersOwnCommand(*item)) {
                // An entry that opens a sub-menu cannot be chosen itself: the item's own command
                // leads its sub-menu, under its own caption and icon, set apart from its sub-items
                // by a separator (dropped again when no sub-item shows).
                static TToolbarItem separator(ItemKind::Separator, u"");
                std::vector<TToolbarItem*> entries = {item, &separator};
                entries.insert(entries.end(), item->Children().begin(), item->Children().end());
                AppendEntries(sub, entries, images, built, item);
            } else {
                AppendEntries(sub, item->Children(), images, built, nullptr);
            }
            info.fMask |= MIIM_SUBMENU;
            info.hSubMenu = sub;
            if (GetMenuItemCount(sub) == 0) info.fState |= MFS_DISABLED;
        }
        built.commands.push_back(item);
        info.wID = static_cast<UINT>(built.commands.size());
        InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &info);
    }
    // No separator at the bottom.
    const int count = GetMenuItemCount(menu);
    if (count > 0) {
        MENUITEMINFOW last = {};
        last.cbSize = sizeof last;
        last.fMask = MIIM_FTYPE;
        if (GetMenuItemInfoW(menu, static_cast<UINT>(count - 1), TRUE, &last) && (last.fType & MFT_SEPARATOR)) {
            DeleteMenu(menu, static_cast<UINT>(count - 1), MF_BYPOSITION);
        }
    }
}

}  // namespace

ItemMenu BuildItemMenu(const std::vector<TToolbarItem*>& items, HIMAGELIST images) {
    ItemMenu built;
    built.menu.Reset(CreatePopupMenu());
    if (built.menu) AppendEntries(built.menu.Get(), items, images, built, nullptr);
    return built;
}

TToolbarItem* TrackItemMenu(HWND owner, const std::vector<TToolbarItem*>& items, HIMAGELIST images, POINT screen,
                            UINT flags, const RECT* exclude) {
    ItemMenu built = BuildItemMenu(items, images);
    if (!built.menu || GetMenuItemCount(built.menu.Get()) == 0) return nullptr;
    TPMPARAMS params = {};
    params.cbSize = sizeof params;
    if (exclude != nullptr) params.rcExclude = *exclude;
    const HIMAGELIST previous = t_menu_images;
    t_menu_images = images;
    const UINT chosen = static_cast<UINT>(TrackPopupMenuEx(built.menu.Get(), flags | TPM_RETURNCMD | TPM_NONOTIFY,
                                                           screen.x, screen.y, owner,
                                                           exclude != nullptr ? &params : nullptr));
    t_menu_images = previous;
    if (chosen == 0 || chosen > built.commands.size()) return nullptr;
    TToolbarItem* item = built.commands[chosen - 1];
    item->Click();
    return item;
}

bool HandleMenuDrawMessage(UINT message, WPARAM /*wparam*/, LPARAM lparam, LRESULT& result) {
    if (t_menu_images == nullptr) return false;
    int width = 0, height = 0;
    ImageList_GetIconSize(t_menu_images, &width, &height);
    if (message == WM_MEASUREITEM) {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
        if (measure->CtlType != ODT_MENU) return false;
        measure->itemWidth = static_cast<UINT>(width);
        measure->itemHeight = static_cast<UINT>(height);
        result = TRUE;
        return true;
    }
    auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lparam);
    if (draw->CtlType != ODT_MENU || draw->itemData == 0) return false;
    const auto* item = reinterpret_cast<const TToolbarItem*>(draw->itemData);
    const int top = draw->rcItem.top + ((draw->rcItem.bottom - draw->rcItem.top) - height) / 2;
    ImageList_Draw(t_menu_images, item->ImageIndex(), draw->hDC, draw->rcItem.left, top,
                   ILD_TRANSPARENT | ((draw->itemState & ODS_GRAYED) ? ILD_BLEND50 : 0));
    result = TRUE;
    return true;
}

std::vector<TToolbarItem*> TPopupMenu::Entries() const {
    std::vector<TToolbarItem*> entries;
    if (linked_ != nullptr) entries = linked_->Children();
    if (!entries.empty() && !entries_.empty()) {
        // A separator between the linked items and the menu's own; the menu builder drops it again
        // when one side shows nothing.
        static TToolbarItem separator(ItemKind::Separator, u"");
        entries.push_back(&separator);
    }
    entries.insert(entries.end(), entries_.begin(), entries_.end());
    return entries;
}

TToolbarItem* TPopupMenu::Popup(HWND owner, POINT screen) {
    if (OnPopup) OnPopup();
    return TrackItemMenu(owner, Entries(), images_, screen);
}

}  // namespace tb
