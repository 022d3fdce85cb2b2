#pragma once
// TFormToolbar: the toolbar window that the band creates in the browser's toolbar area. While it
// is created it loads the template file and the icon store of the toolbar data folder, runs the
// template update and builds its items (toolbar_builder.hpp); afterwards it describes what it
// built as JSON.
//
// Releasing the pointer is always safe: while the window is being built (a message processed by the
// item loop or the template update may close the toolbar) the destruction waits until construction
// returns, and Construct then reports false; while one of the window's own handlers runs (a click on
// a close command) it waits for the next turn of the message loop and the window hides at once.
//
// Resources: when the data folder has no template file or no icon store, the stores are read from
// the library's RCDATA resources "TBTEMPLATE" and "TBICONS" (compressed embedded copies) when it
// carries them; otherwise a missing store reads as empty.
#include <windows.h>
#include <exdisp.h>
#include <wrl/client.h>

#include <exception>
#include <memory>
#include <string>

#include "storage/bin_data.hpp"
#include "base/com_win.hpp"
#include "iconlist/png_image_list.hpp"
#include "settings/template_update_task_win.hpp"
#include "storage/storage.hpp"
#include "toolbar/banner_win.hpp"
#include "toolbar/search_history_win.hpp"
#include "toolbar/toolbar_builder.hpp"
#include "toolkit/combo_box_win.hpp"
#include "toolkit/dialogs_win.hpp"
#include "toolkit/dpi_win.hpp"
#include "toolkit/form_win.hpp"
#include "toolkit/image_list_win.hpp"
#include "toolkit/ole_control_win.hpp"
#include "toolkit/picture_win.hpp"
#include "toolkit/popup_menu_win.hpp"
#include "toolkit/toolbar_control_win.hpp"

namespace tb {

// Resource names of the library's own template and icon store.
inline constexpr wchar_t kTemplateResourceName[] = L"TBTEMPLATE";
inline constexpr wchar_t kIconStoreResourceName[] = L"TBICONS";

// The browser event sink the band connects; the window owns it and disconnects it when destroyed.
class BrowserEventSink {
public:
    virtual ~BrowserEventSink() = default;
    virtual void Disconnect() noexcept = 0;
};

class TFormToolbar final : public TForm, private BuildTarget {
public:
    struct Releaser {
        void operator()(TFormToolbar* form) const noexcept;
    };
    using Pointer = std::unique_ptr<TFormToolbar, Releaser>;

    struct CreateArgs {
        HWND parent = nullptr;  // the browser's band site window; a top-level window when null
        int width = 0;          // 0: the parent's client width (600 without a parent)
        // The module whose resources hold the fallback stores; null: the module of this code.
        HMODULE resources = nullptr;
        bool run_template_update = true;
        bool visible = true;
    };

    // The window object, not yet created.
    static Pointer New();
    // Creates the window and builds it (FormCreate under the framework's failure rule). Returns
    // false when the pointer was released while it was building: the object is gone then.
    bool Construct(const CreateArgs& args);
    bool Building() const { return building_; }

    // --- for the band
    void SetBrowser(IWebBrowser2* browser) { Browser = browser; }
    void SetBrowserEvents(std::unique_ptr<BrowserEventSink> sink) { BrowserEvents = std::move(sink); }
    // The window's height for the band's size information.
    int PreferredHeight() const;
    // The screen scale the window is laid out for (its own window's DPI).
    int Dpi() const { return dpi_; }
    // Lays the window out again for another screen scale: fonts, icons, metrics, the search box's
    // width; its height follows (the band then tells the browser). Nothing happens at the same scale.
    void ApplyDpi(int dpi);

    // --- what was built
    std::string Describe() const;
    TToolbarModel& ToolbarModel() { return Toolbar.Model(); }

    // --- the window's components, in the order of its resource
    TComponent Dock{u"Dock"};  // the dock is Toolbar's own window
    TToolbarControl Toolbar{u"Toolbar"};
    TPopupMenu popupMain{u"popupMain"};
    TToolbarItem* MenuAboutToolbar = nullptr;
    TToolbarItem* MenuToolbarWebsite = nullptr;
    TToolbarItem* MenuToolbarSupport = nullptr;
    TToolbarItem* MenuCloseToolbar = nullptr;
    TPopupMenu popupSearch{u"popupSearch"};
    TToolbarItem *MenuCut = nullptr, *MenuCopy = nullptr, *MenuPaste = nullptr, *MenuDelete = nullptr,
                 *MenuSelectAll = nullptr, *MenuClearHistory = nullptr, *MenuSaveHistory = nullptr,
                 *MenuLoadHistory = nullptr, *MenuRemoveSelected = nullptr, *MenuEditHistory = nullptr,
                 *MenuRefreshHistory = nullptr;
    // The separators and the hidden options item keep the item names templates know them by
    // ("TBSeparatorItem39", "SpTBXItem1", ...): a template's Strings section names them.
    TToolbarItem* SeparatorBeforeClose = nullptr;
    TToolbarItem *SeparatorBeforeSelectAll = nullptr, *SeparatorBeforeHistory = nullptr,
                 *SeparatorBeforeHistoryFiles = nullptr, *SeparatorBeforeSearchOptions = nullptr;
    TToolbarItem* MenuSearchOptions = nullptr;
    std::unique_ptr<BrowserEventSink> BrowserEvents;
    TToolbarItem* MediaControl = nullptr;    // hosts Image (the logo), first on the toolbar
    TToolbarItem* SearchBoxControl = nullptr;  // hosts SearchBox; the item is named "TBControlItem1"
    TImage Image{u"Image"};
    TComboBox SearchBox{u"SearchBox"};
    TrsStorage stoToolbar;
    TrsBinData binToolbar;
    TrsStorage stoIcons;
    TrsBinData binIcons;
    // The parts with state of their own, wired by the window.
    TSearchHistory SearchHistory{*this, SearchBox, stoToolbar};

    // --- fields
    TToolbarItem* SearchSelector = nullptr;
    std::u16string CurrentSearchUrl;
    std::string LastStatusText;
    UniqueImageList IconList;
    std::unique_ptr<TPngImageList> IconListModel;
    bool DropDownClosed = false;
    Microsoft::WRL::ComPtr<IWebBrowser2> Browser;
    TToolbarItem* MainMenuItem = nullptr;

    // --- event handlers
    void FormCreate();
    void FormDestroy();
    void BuildToolbar();
    // The click handlers of template items, of the search selector and of the logo
    // (toolbar_commands_win.cpp, toolbar_search_win.cpp).
    void MIClick(TToolbarItem& sender);
    void MISearchClick(TToolbarItem& sender);
    void ImageClick();
    // Tests of the window's plumbing: when set, these run in place of the item command or the search.
    std::function<void(TToolbarItem&)> OnItemCommand;
    std::function<void(TToolbarItem&)> OnSearchCommand;

    // ---- item commands, searches and the search history -----------------------------------------
    // toolbar_commands_win.cpp: what a click on an item does.
    //   MIClick's forms, first match wins: "[ABOUT]" and "[CLOSE]" (blanks and control characters
    //   around them ignored, letter case too); "[RUN=" target "]"; a search engine item of the
    //   selector; a URL template holding "[SEARCH]"; else status text "|" address.
    void CloseToolbar();  // the browser hides the bar; without a browser the menu item is disabled
    void eMailClick(TToolbarItem& sender);        // the contact address
    void MIDirectURLClick(TToolbarItem& sender);  // the item's address, "http://" added; empty: home page
    // Replaces the about box for the about command (tests); unset, the command shows the modal box.
    std::function<void(bool splash)> AboutBoxHook;
    // A browser window of the toolbar's own, opened by the first navigation without Browser.
    Variant NewBrowserWindow;

    // toolbar_search_win.cpp: the search box and the search engines.
    // Navigates to the template with every "[SEARCH]" replaced by the encoded term (the template
    // empty: the default search URL); the box's text joins the history first.
    void RunSearch(std::u16string_view url_template, std::u16string_view term);
    void SearchBoxKeyPress(wchar_t& key);  // Enter searches and is swallowed
    void SearchBoxCloseUp();
    void SearchBoxSelect();  // searches when the list closed just before
    void MISearchOptionsClick(TToolbarItem& sender);
    // FormDestroy's part: the selected engine's search type and the box's text into Settings.ini.
    void StoreSearchState();

    // ---- end of item commands and searches (the history is SearchHistory) ------------------------
    // Shows popupMain at a screen point (a right click on the toolbar).
    void ShowMainMenu(POINT screen);

    // === The once-a-day splash, sizing, status texts and repaints
    // (toolbar_window_events_win.cpp)
    // The Flash banner (banner_win.hpp): FormCreate sets it up, FormDestroy closes it.
    TBanner Banner{*this, Toolbar, own_items_};
    // The window's show event (run from the message loop right after the window is shown): the
    // splash about box when it is due today.
    void FormShow();
    // The date the splash was last due (a day number, see settings/short_date.hpp); an unreadable
    // stored date is repaired to yesterday.
    std::int32_t ReadLastShownDate();
    // The can-resize event: with FullSize the width follows the browser window's, 20 pixels less.
    bool FormCanResize(int& new_width, int& new_height);
    // Mouse movement over the toolbar (toolbar client coordinates; the mouse leaving the toolbar
    // comes as a move to -1, -1): the item's status text, sent once per item; leaving the items
    // clears it once.
    void ToolbarMouseMove(int x, int y);
    // The browser finished a document: the toolbar repaints.
    void BrowserEventsDocumentComplete(IDispatch* browser, const VARIANT* url);

    // --- the keyboard: the window's tab stops are the banner (when it shows), the search box and
    // the buttons (one stop), in the order they show from left to right.
    // Takes the focus at the first stop (at_end: the last), as a Tab (Shift+Tab) from the browser.
    void EnterFocus(bool at_end);
    // Tab (forward) or Shift+Tab: the next stop; false when there is none at that end (the focus
    // then goes back to the browser, which moves it on).
    bool MoveFocus(bool forward);
    // Esc: the focus goes back to the browser's page; OnFocusLeave tells the band.
    void LeaveFocus();
    std::function<void()> OnFocusLeave;
    // Where the focus is, for drivers: "banner", "button" with the item, "overflow", "search box";
    // empty when it is not in the window.
    std::string DescribeFocus() const;

private:
    void WireWindowEvents();
    // The tab stops that can take the focus now, in order; the one holding it (-1: none); moving
    // from one (-1: from outside) to the next in a direction.
    std::vector<int> FocusStops() const;
    int CurrentFocusStop() const;
    bool MoveFocusFrom(int current, bool forward);
    // The window's own messages for the handlers above; true when handled.
    bool HandleWindowEvent(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    // === end of the banner, splash, sizing and status block

private:
    TFormToolbar();
    ~TFormToolbar() override;
    void Release() noexcept;
    // A release that no window message can carry: a thread timer deletes the form once no handler of
    // it runs any more.
    void ReleaseOnThreadTimer() noexcept;
    static void CALLBACK ReleaseTimerProc(HWND, UINT, UINT_PTR timer, DWORD);
    void ForgetPendingRelease() noexcept;

    bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
    // A driver's query (toolbar_query_win.hpp): 1 when answered.
    LRESULT AnswerQuery(WPARAM kind, LPARAM lparam);
    void CreateComponents() override;
    TToolbarItem& OwnItem(ItemKind kind, const char16_t* name, const char16_t* caption, const char16_t* hint = u"");
    void OpenStore(TrsStorage& store, TrsBinData& file, const std::u16string& path, const wchar_t* resource);
    // Reads the template and the icon store, then starts the template update, before the window
    // makes its controls: the update's requests are on their way while it does. A failure to read
    // is kept for FormCreate, where the reads used to be.
    void ReadStoresAndStartUpdate();
    // Waits for the update that ReadStoresAndStartUpdate started, if it still runs.
    void FinishUpdate();
    void FitToContent();
    // The height the window takes for its content (what the band asks the browser for).
    int ContentHeight() const;

    // BuildTarget
    void UpdateTemplate() override;
    void LoadIconsAndStoredLogo() override;
    void ReloadTemplate() override;
    std::u16string FormFontName() const override { return FontName(); }
    std::int32_t FormFontSize() const override { return FontSize(); }
    bool FormEnabled() const override { return Enabled(); }
    bool FormVisible() const override { return Visible(); }
    void SetLogoTransparent(bool transparent) override { Image.SetTransparent(transparent); }
    void SetSearchBoxWidth(std::int32_t width) override;
    void SetSearchBoxVisible(bool visible) override;
    bool FileExists(const std::u16string& path) const override;
    void LoadLogoPicture(const std::u16string& path) override;
    void LoadLogoPng(const std::u16string& path) override;
    TToolbarItem* FindOwnMenuItem(std::u16string_view name) override;
    void ProcessMessages() override;
    ItemClickEvent ItemClickHandler() override;
    ItemClickEvent SearchClickHandler() override;
    void LinkMainMenu(TToolbarItem& item) override;
    void LogoChanged();
    // Binds the handlers of the commands, the search box and popupSearch (toolbar_commands_win.cpp).
    void ConnectCommandHandlers();

    TItemOwner own_items_;  // the window's own items: one name space with its other components
    CreateArgs args_;
    HMODULE resources_ = nullptr;
    bool building_ = false;
    bool release_requested_ = false;
    int dpi_ = kDesignDpi;
    int search_width_ = 145;  // "Search Width": pixels at 96 DPI
    // The item loop's last pump (see ProcessMessages), and whether this build has pumped yet.
    DWORD last_item_pump_ = 0;
    bool item_loop_pumped_ = false;
    std::exception_ptr read_failure_;               // of ReadStoresAndStartUpdate, raised in FormCreate
    std::unique_ptr<TemplateUpdateTask> update_;  // running from before the controls until ReloadTemplate
    bool icon_store_was_there_ = false;             // the icon store's file, when it was read
};

}  // namespace tb
