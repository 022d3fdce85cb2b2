#pragma once
// The toolbar's construction from its template: the options into ToolbarSettings' builder group,
// the captions of the window's own menu items from "\Strings", and the items of "\Order" with
// their sub-menus, the search selector, the selected search engine and the main menu's item.
// Portable: the window it builds (the Windows toolbar form, or a test's stand-in) is reached
// through BuildTarget; the items go into the window's TToolbarModel.
//
// Failures are not caught here: a template update error, a PNG logo that does not decode, an item
// name that is invalid or taken, a typed read of a key of the wrong kind. The build stops at the
// failure and what was built so far stays; the window's framework reports the message.
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/toolbar_settings.hpp"
#include "toolkit/item_model.hpp"

namespace tb {

class TrsStorage;

// How many levels below the top a sub-item may sit; deeper ones are attached nowhere. The
// authoring tool makes no deeper sources, and lint says so of a template that has them.
inline constexpr int kMaxItemNesting = 16;

// What the builder asks of the window it builds.
class BuildTarget {
public:
    virtual ~BuildTarget() = default;

    // Step 1: the template update (may raise).
    virtual void UpdateTemplate() = 0;
    // Step 2: the icon list and the stored logo from the icon store; failures are swallowed there.
    virtual void LoadIconsAndStoredLogo() = 0;
    // Step 3: loads the template file again (the update may have replaced it).
    virtual void ReloadTemplate() = 0;

    // The window's font, the defaults of the about box's font.
    virtual std::u16string FormFontName() const = 0;
    virtual std::int32_t FormFontSize() const = 0;
    // The window's own state, the defaults of an item's Enabled and Visible.
    virtual bool FormEnabled() const = 0;
    virtual bool FormVisible() const = 0;

    virtual void SetLogoTransparent(bool transparent) = 0;
    virtual void SetSearchBoxWidth(std::int32_t width) = 0;
    virtual void SetSearchBoxVisible(bool visible) = 0;
    virtual bool FileExists(const std::u16string& path) const = 0;
    // Step 5: a logo file other than ".png", loaded by its extension (failures are swallowed by the
    // builder), and a ".png" logo file (failures reach the caller).
    virtual void LoadLogoPicture(const std::u16string& path) = 0;
    virtual void LoadLogoPng(const std::u16string& path) = 0;

    // Step 7: the window's own plain or sub-menu item of that name (letter case ignored), or null
    // when there is none or the component of that name is of another kind.
    virtual TToolbarItem* FindOwnMenuItem(std::u16string_view name) = 0;

    // Before each item: let the thread's pending messages be processed.
    virtual void ProcessMessages() = 0;

    // The click handlers of template items (MIClick) and of the search selector (MISearchClick).
    virtual ItemClickEvent ItemClickHandler() = 0;
    virtual ItemClickEvent SearchClickHandler() = 0;

    // Step 12: popupMain shows this item's sub-items, with the icon list as its images.
    virtual void LinkMainMenu(TToolbarItem& item) = 0;
};

// What construction leaves for the window besides the items.
struct BuildResult {
    TToolbarItem* SearchSelector = nullptr;  // owned by the toolbar model
    std::u16string CurrentSearchUrl;
    TToolbarItem* MainMenuItem = nullptr;
};

// BuildToolbar's steps in order, on the template store `tpl` (its back-end set up by the window),
// filling `toolbar` and `result` as far as it gets. `settings` is the start-up group as read at
// start-up (DataFolder, MemberId, SearchUrl, SettingsIniPath); the builder group is written into
// the process-wide record through ChangeSettings, one option at a time.
void BuildToolbarFromTemplate(TrsStorage& tpl, BuildTarget& target, TToolbarModel& toolbar,
                              const ToolbarSettings& settings, BuildResult& result);

// The file-name part of a path (after the last "\", "/" or ":").
std::u16string FileNamePart(std::u16string_view path);
// The extension as written, with its dot ("" when the file name has none).
std::u16string FileExtension(std::u16string_view path);
// Text with every occurrence of `what` (ASCII letter case ignored) replaced by `with`.
std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view what, std::string_view with);
// A decimal integer (optional sign, digits, within 32 bits; blanks around it allowed), or `fallback`.
std::int32_t DecimalOr(std::string_view text, std::int32_t fallback);

}  // namespace tb
