#include "toolkit/item_model.hpp"

#include <algorithm>

#include "base/text.hpp"

namespace tb {
namespace {

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
char16_t FoldCase(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

void EraseOne(std::vector<TToolbarItem*>& list, TToolbarItem* item) {
    const auto found = std::find(list.begin(), list.end(), item);
    if (found != list.end()) list.erase(found);
}

}  // namespace

bool IsValidComponentName(std::u16string_view name) {
    if (name.empty()) return true;
    if (!IsAsciiLetter(name[0]) && name[0] != u'_') return false;
    return std::all_of(name.begin() + 1, name.end(),
                       [](char16_t c) { return IsAsciiLetter(c) || IsAsciiDigit(c) || c == u'_'; });
}

bool SameComponentName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return FoldCase(x) == FoldCase(y); });
}

// --- TToolbarItem

TToolbarItem::~TToolbarItem() {
    Detach();
    for (TToolbarItem* child : children_) child->parent_ = nullptr;
}

void TToolbarItem::SetCaption(std::u16string caption) {
    if (caption == caption_) return;
    caption_ = std::move(caption);
    Changed(false);
}

void TToolbarItem::SetImageIndex(int index) {
    if (index == image_index_) return;
    image_index_ = index;
    Changed(false);
}

void TToolbarItem::SetDisplayMode(ItemDisplayMode mode) {
    if (mode == display_mode_) return;
    display_mode_ = mode;
    Changed(false);
}

void TToolbarItem::SetChecked(bool checked) {
    if (checked && group_index_ > 0) {
        const std::vector<TToolbarItem*>* siblings = nullptr;
        if (parent_ != nullptr) siblings = &parent_->children_;
        else if (toolbar_ != nullptr) siblings = &toolbar_->top_;
        if (siblings != nullptr) {
            for (TToolbarItem* other : *siblings) {
                if (other != this && other->group_index_ == group_index_ && other->checked_) {
                    other->checked_ = false;
                    other->Changed(false);
                }
            }
        }
    }
    if (checked == checked_) return;
    checked_ = checked;
    Changed(false);
}

void TToolbarItem::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Changed(false);
}

void TToolbarItem::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Changed(true);
}

void TToolbarItem::SetDropdownArrow(bool arrow) {
    if (arrow == dropdown_arrow_) return;
    dropdown_arrow_ = arrow;
    Changed(true);
}

void TToolbarItem::SetSplit(bool split) {
    if (split == split_) return;
    split_ = split;
    Changed(true);
}

void TToolbarItem::SetControl(void* control, int width) {
    control_ = control;
    control_width_ = width;
    Changed(true);
}

void TToolbarItem::Click() {
    if (!enabled_) return;
    if (auto_check_) SetChecked(group_index_ > 0 ? true : !checked_);
    if (OnClick) {
        // The handler may replace OnClick (or the item's owner may rebuild): call a copy.
        const ItemClickEvent handler = OnClick;
        handler(*this);
    }
}

void TToolbarItem::Append(TToolbarItem& child) {
    if (&child == this) return;
    // An item cannot become a sub-item of its own sub-items.
    for (TToolbarItem* up = parent_; up != nullptr; up = up->parent_) {
        if (up == &child) return;
    }
    child.Detach();
    child.parent_ = this;
    children_.push_back(&child);
    Changed(true);
}

void TToolbarItem::Detach() {
    if (parent_ != nullptr) {
        EraseOne(parent_->children_, this);
        TToolbarItem* former = parent_;
        parent_ = nullptr;
        former->Changed(true);
    }
    if (toolbar_ != nullptr) {
        EraseOne(toolbar_->top_, this);
        TToolbarModel* former = toolbar_;
        toolbar_ = nullptr;
        former->Notify(nullptr);
    }
}

void TToolbarItem::Changed(bool layout) {
    if (toolbar_ != nullptr) toolbar_->Notify(layout ? nullptr : this);
}

// --- TItemOwner

TItemOwner::~TItemOwner() { Clear(); }

void TItemOwner::Clear() {
    // Last first, so that no item outlives a sub-item's view of it.
    while (!items_.empty()) items_.pop_back();
}

TToolbarItem& TItemOwner::Create(ItemKind kind) {
    items_.push_back(std::make_unique<TToolbarItem>(kind, std::u16string()));
    return *items_.back();
}

TToolbarItem& TItemOwner::Create(ItemKind kind, std::u16string_view name) {
    TToolbarItem probe(kind, std::u16string());
    SetName(probe, name);  // raises before anything is created
    TToolbarItem& item = Create(kind);
    item.name_ = std::u16string(name);
    return item;
}

void TItemOwner::SetName(TToolbarItem& item, std::u16string_view name) {
    if (!IsValidComponentName(name)) {
        throw ComponentError("''" + Utf16ToAnsi(name) + "'' is not a valid component name");
    }
    if (!name.empty()) {
        const TToolbarItem* other = Find(name);
        if (other != nullptr && other != &item) {
            throw ComponentError("A component named " + Utf16ToAnsi(name) + " already exists");
        }
    }
    item.name_ = std::u16string(name);
}

TToolbarItem* TItemOwner::Find(std::u16string_view name) const {
    if (name.empty()) return nullptr;
    for (const auto& item : items_) {
        if (SameComponentName(item->name_, name)) return item.get();
    }
    return nullptr;
}

// --- TToolbarModel

TToolbarModel::~TToolbarModel() {
    listener_ = nullptr;
    for (TToolbarItem* item : top_) item->toolbar_ = nullptr;
    top_.clear();
    // The owned items go with owner_, after the top level has let them go.
}

void TToolbarModel::AppendTop(TToolbarItem& item) {
    item.Detach();
    item.toolbar_ = this;
    top_.push_back(&item);
    Notify(nullptr);
}

void TToolbarModel::MoveTop(TToolbarItem& item, std::size_t index) {
    const auto found = std::find(top_.begin(), top_.end(), &item);
    if (found == top_.end()) return;
    top_.erase(found);
    top_.insert(top_.begin() + static_cast<std::ptrdiff_t>(std::min(index, top_.size())), &item);
    Notify(nullptr);
}

void TToolbarModel::RemoveTop(TToolbarItem& item) {
    if (item.toolbar_ == this) item.Detach();
}

void TToolbarModel::EndUpdate() {
    if (updating_ > 0 && --updating_ == 0) Notify(nullptr);
}

void TToolbarModel::Notify(TToolbarItem* item) {
    if (listener_ == nullptr || updating_ > 0) return;
    if (item != nullptr) listener_->ItemChanged(*item);
    else listener_->LayoutChanged();
}

}  // namespace tb
