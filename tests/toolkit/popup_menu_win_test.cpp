// Menus made from toolbar items: what each entry shows (sub-menus, the item's own command, icons,
// checks, disabled states) and which item each command id stands for.
#include <gtest/gtest.h>

#include <string>

#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "toolkit/popup_menu_win.hpp"

namespace tb {
namespace {

// A menu as text: entries separated by " ", a separator as "-", a sub-menu in braces after its
// entry; marks after a caption: "#" icon, "*" checked, "o" radio, "~" disabled, "=NAME" the item
// its command id stands for.
std::string Shown(HMENU menu, const ItemMenu& built) {
    std::string text;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t caption[128] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STRING | MIIM_STATE | MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_BITMAP;
        info.dwTypeData = caption;
        info.cch = 127;
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        if (!text.empty()) text += ' ';
        if (info.fType & MFT_SEPARATOR) {
            text += '-';
            continue;
        }
        text += Utf16ToUtf8(FromWide(caption));
        if (info.hbmpItem == HBMMENU_CALLBACK) text += '#';
        if (info.fState & MFS_CHECKED) text += '*';
        if (info.fType & MFT_RADIOCHECK) text += 'o';
        if (info.fState & MFS_DISABLED) text += '~';
        if (info.hSubMenu != nullptr) {
            text += '{';
            text += Shown(info.hSubMenu, built);
            text += '}';
        } else if (info.wID >= 1 && info.wID <= built.commands.size()) {
            text += '=';
            text += Utf16ToUtf8(built.commands[info.wID - 1]->Name());
        }
    }
    return text;
}

class ItemMenuTest : public ::testing::Test {
protected:
    TToolbarItem& Item(ItemKind kind, const char16_t* name, TToolbarItem* parent = nullptr) {
        TToolbarItem& item = owner_.Create(kind, name);
        item.SetCaption(name);
        if (parent != nullptr) parent->Append(item);
        return item;
    }
    static void Clickable(TToolbarItem& item) {
        item.OnClick = [](TToolbarItem&) {};
    }

    TItemOwner owner_;
};

TEST_F(ItemMenuTest, ItemsWithACommandOfTheirOwnLeadTheirSubMenu) {
    // A split item (News), a plain item with an address and sub-items (Links), a sub-menu item
    // without a command (Tools) holding a split item (Docs) two levels down, a split item whose
    // sub-items are all hidden (Alone).
    TToolbarItem& news = Item(ItemKind::Submenu, u"News");
    news.SetDropdownArrow(true);
    news.SetSplit(true);
    Clickable(news);
    Clickable(Item(ItemKind::Item, u"World", &news));
    Clickable(Item(ItemKind::Item, u"Science", &news));
    TToolbarItem& links = Item(ItemKind::Item, u"Links");
    Clickable(links);
    Clickable(Item(ItemKind::Item, u"Favourites", &links));
    TToolbarItem& tools = Item(ItemKind::Submenu, u"Tools");
    TToolbarItem& docs = Item(ItemKind::Submenu, u"Docs", &tools);
    docs.SetSplit(true);
    Clickable(docs);
    Clickable(Item(ItemKind::Item, u"Manual", &docs));
    TToolbarItem& alone = Item(ItemKind::Submenu, u"Alone");
    alone.SetSplit(true);
    Clickable(alone);
    Item(ItemKind::Item, u"Hidden", &alone).SetVisible(false);

    const ItemMenu built = BuildItemMenu({&news, &links, &tools, &alone}, nullptr);
    EXPECT_EQ(Shown(built.menu.Get(), built),
              "News{News=News - World=World Science=Science} "
              "Links{Links=Links - Favourites=Favourites} "
              "Tools{Docs{Docs=Docs - Manual=Manual}} "
              "Alone{Alone=Alone}");
}

TEST_F(ItemMenuTest, EntriesShowTheItemsIconsChecksAndStates) {
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32, 2, 0);
    ASSERT_NE(images, nullptr);
    HBITMAP picture = CreateBitmap(32, 16, 1, 32, nullptr);
    ImageList_Add(images, picture, nullptr);
    DeleteObject(picture);
    ASSERT_EQ(ImageList_GetImageCount(images), 2);

    // A search selector: split, with two engines of one radio group, the second checked; an icon
    // index beyond the list; a disabled split item and a disabled plain item.
    TToolbarItem& selector = Item(ItemKind::Submenu, u"Search");
    selector.SetSplit(true);
    selector.SetImageIndex(0);
    Clickable(selector);
    for (const char16_t* name : {u"Web", u"Images"}) {
        TToolbarItem& engine = Item(ItemKind::Item, name, &selector);
        engine.SetGroupIndex(1);
        engine.SetAutoCheck(true);
        engine.SetImageIndex(1);
        Clickable(engine);
    }
    selector.Children()[1]->SetChecked(true);
    TToolbarItem& beyond = Item(ItemKind::Item, u"Beyond");
    beyond.SetImageIndex(7);
    Clickable(beyond);
    TToolbarItem& off = Item(ItemKind::Submenu, u"Off");
    off.SetSplit(true);
    off.SetEnabled(false);
    Clickable(Item(ItemKind::Item, u"Under", &off));

    const ItemMenu built = BuildItemMenu({&selector, &beyond, &off}, images);
    EXPECT_EQ(Shown(built.menu.Get(), built),
              "Search#{Search#=Search - Web#o=Web Images#*o=Images} Beyond=Beyond Off~{Off~=Off - Under=Under}");
    ImageList_Destroy(images);
}

}  // namespace
}  // namespace tb
