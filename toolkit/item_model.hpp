#pragma once
// The toolbar's items as a portable model: what a template builds (plain items, sub-menu items,
// separators) and the items that host a control, the name space they live in, and the toolbar's
// top level. The Windows toolbar control renders the top level as buttons and builds menus from
// the sub-items when they open; nothing here includes <windows.h>.
//
// Names: one owner (TItemOwner) is one name space. A name is empty or a valid identifier (an ASCII
// letter or "_", then letters, digits or "_"), unique in its owner; names are compared without
// regard to ASCII letter case.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.hpp"

namespace tb {

class TToolbarItem;
class TToolbarModel;

// A component name that is not an identifier, or that its owner holds already. The messages are the
// system's texts: "A component named %s already exists", "''%s'' is not a valid component name".
class ComponentError : public Error {
public:
    using Error::Error;
};

enum class ItemKind { Item, Submenu, Separator, Control };

// How a button shows itself; created items always show image and text.
enum class ItemDisplayMode { Default, ImageAndText, TextOnly, ImageOnly };

using ItemClickEvent = std::function<void(TToolbarItem& sender)>;

// True for the empty name and for identifiers.
bool IsValidComponentName(std::u16string_view name);
// Equal under ASCII case folding.
bool SameComponentName(std::u16string_view a, std::u16string_view b);

class TToolbarItem {
public:
    TToolbarItem(ItemKind kind, std::u16string name) : kind_(kind), name_(std::move(name)) {}
    TToolbarItem(const TToolbarItem&) = delete;
    TToolbarItem& operator=(const TToolbarItem&) = delete;
    // Leaves its parent or toolbar; its sub-items become unattached.
    ~TToolbarItem();

    ItemKind Kind() const { return kind_; }
    // Plain and sub-menu items: the kinds that carry a caption, a hint and a click.
    bool IsCustomItem() const { return kind_ == ItemKind::Item || kind_ == ItemKind::Submenu; }

    const std::u16string& Name() const { return name_; }
    const std::u16string& Caption() const { return caption_; }
    void SetCaption(std::u16string caption);
    int ImageIndex() const { return image_index_; }
    void SetImageIndex(int index);
    ItemDisplayMode DisplayMode() const { return display_mode_; }
    void SetDisplayMode(ItemDisplayMode mode);
    // The item command (UTF-16), also the tooltip's source.
    const std::u16string& Hint() const { return hint_; }
    void SetHint(std::u16string hint) { hint_ = std::move(hint); }
    std::int32_t Tag() const { return tag_; }
    void SetTag(std::int32_t tag) { tag_ = tag; }
    std::int32_t GroupIndex() const { return group_index_; }
    void SetGroupIndex(std::int32_t index) { group_index_ = index; }
    bool AutoCheck() const { return auto_check_; }
    void SetAutoCheck(bool auto_check) { auto_check_ = auto_check; }
    bool Checked() const { return checked_; }
    // Checking an item of a radio group (GroupIndex > 0) unchecks the other items of that group
    // among its siblings.
    void SetChecked(bool checked);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    // Sub-menu items: an arrow beside the caption; Split: the main part clicks, the arrow opens.
    bool DropdownArrow() const { return dropdown_arrow_; }
    void SetDropdownArrow(bool arrow);
    bool Split() const { return split_; }
    void SetSplit(bool split);

    ItemClickEvent OnClick;
    // What a user's click does: nothing when disabled; an auto-check item checks itself (radio in
    // its group, toggled without a group); then OnClick with the item.
    void Click();

    // Control items: the hosted window (an opaque platform handle) and the width it takes.
    void* Control() const { return control_; }
    int ControlWidth() const { return control_width_; }
    void SetControl(void* control, int width);

    TToolbarItem* Parent() const { return parent_; }
    const std::vector<TToolbarItem*>& Children() const { return children_; }
    // Appends `child` to the sub-items (it leaves its former place first).
    void Append(TToolbarItem& child);
    // The toolbar whose top level holds this item, or null.
    TToolbarModel* Toolbar() const { return toolbar_; }
    // Attached somewhere: on a toolbar's top level or under a parent.
    bool Attached() const { return parent_ != nullptr || toolbar_ != nullptr; }

private:
    friend class TItemOwner;
    friend class TToolbarModel;
    void Changed(bool layout);
    void Detach();

    ItemKind kind_;
    std::u16string name_;
    std::u16string caption_;
    int image_index_ = -1;
    ItemDisplayMode display_mode_ = ItemDisplayMode::Default;
    std::u16string hint_;
    std::int32_t tag_ = 0;
    std::int32_t group_index_ = 0;
    bool auto_check_ = false;
    bool checked_ = false;
    bool enabled_ = true;
    bool visible_ = true;
    bool dropdown_arrow_ = false;
    bool split_ = false;
    void* control_ = nullptr;
    int control_width_ = 0;
    TToolbarItem* parent_ = nullptr;
    std::vector<TToolbarItem*> children_;
    TToolbarModel* toolbar_ = nullptr;
};

// Owns items and is their name space. Items live until the owner goes (or Clear).
class TItemOwner {
public:
    TItemOwner() = default;
    TItemOwner(const TItemOwner&) = delete;
    TItemOwner& operator=(const TItemOwner&) = delete;
    ~TItemOwner();

    // A new item with an empty name, attached nowhere.
    TToolbarItem& Create(ItemKind kind);
    // Creates an item under a name; raises ComponentError as SetName does (nothing is created then).
    TToolbarItem& Create(ItemKind kind, std::u16string_view name);
    // Raises ComponentError for a name that is not valid or that another item of this owner has
    // (an empty name is never taken); the item keeps its old name then.
    void SetName(TToolbarItem& item, std::u16string_view name);
    // The item of that name (letter case ignored), or null; the empty name finds nothing.
    TToolbarItem* Find(std::u16string_view name) const;
    // In creation order.
    const std::vector<std::unique_ptr<TToolbarItem>>& Items() const { return items_; }
    void Clear();

private:
    std::vector<std::unique_ptr<TToolbarItem>> items_;
};

// Told about changes of a toolbar's top level (the Windows view re-renders).
class ToolbarListener {
public:
    virtual ~ToolbarListener() = default;
    // A top-level item's look changed (caption, image, state).
    virtual void ItemChanged(TToolbarItem& item) = 0;
    // Items were added, moved or removed, or shown or hidden.
    virtual void LayoutChanged() = 0;
};

// A toolbar: the owner of the items built for it, and its top level (which may also hold items of
// other owners, such as the window's own control items).
class TToolbarModel {
public:
    TToolbarModel() = default;
    TToolbarModel(const TToolbarModel&) = delete;
    TToolbarModel& operator=(const TToolbarModel&) = delete;
    ~TToolbarModel();

    TItemOwner& Items() { return owner_; }
    const TItemOwner& Items() const { return owner_; }

    const std::vector<TToolbarItem*>& TopLevel() const { return top_; }
    // Appends to the top level (the item leaves its former place first).
    void AppendTop(TToolbarItem& item);
    // Moves a top-level item to `index` (clamped to the top level's size).
    void MoveTop(TToolbarItem& item, std::size_t index);
    // Removes the item from the top level; it stays with its owner.
    void RemoveTop(TToolbarItem& item);

    void SetListener(ToolbarListener* listener) { listener_ = listener; }
    // Between BeginUpdate and EndUpdate the listener hears nothing; EndUpdate reports one layout change.
    void BeginUpdate() { ++updating_; }
    void EndUpdate();
    bool Updating() const { return updating_ > 0; }

private:
    friend class TToolbarItem;
    void Notify(TToolbarItem* item);

    TItemOwner owner_;
    std::vector<TToolbarItem*> top_;
    ToolbarListener* listener_ = nullptr;
    int updating_ = 0;
};

}  // namespace tb
