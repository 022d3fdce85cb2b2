#include "toolbar/toolbar_form_win.hpp"

#include <algorithm>
#include <mutex>  // std::lock_guard
#include <utility>
#include <vector>

#include "base/file.hpp"
#include "base/text.hpp"
#include "base/this_module_win.hpp"
#include "base/wide_win.hpp"
#include "settings/big_ini_file.hpp"
#include "settings/template_update_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "iconlist/bitmap.hpp"
#include "settings/module_resource_win.hpp"
#include "settings/navigation_win.hpp"
#include "toolbar/toolbar_description.hpp"
#include "toolbar/toolbar_query_win.hpp"
#include "base/lock.hpp"

namespace tb {
namespace {

// Posted to the window when it was released while one of its handlers ran.
constexpr UINT kDeferredRelease = WM_APP + 0x5442;
// Sizes of the design at 96 DPI.
constexpr int kSearchBoxHeight = 200;  // with the dropped-down list
constexpr int kDesignWindowHeight = 26;
constexpr int kMinimumHeight = 22;

}  // namespace

// --- life

TFormToolbar::Pointer TFormToolbar::New() { return Pointer(new TFormToolbar()); }

void TFormToolbar::Releaser::operator()(TFormToolbar* form) const noexcept {
    if (form != nullptr) form->Release();
}

void TFormToolbar::Release() noexcept {
    if (building_) {
        // Never under its own construction: Construct finishes and then lets the object go.
        release_requested_ = true;
        return;
    }
    if (!HandlerRunning()) {
        delete this;
        return;
    }
    // A handler of this window is on the stack: go on a later turn of the message loop.
    release_requested_ = true;
    if (Handle() != nullptr && IsWindow(Handle())) {
        ShowWindow(Handle(), SW_HIDE);
        if (PostMessageW(Handle(), kDeferredRelease, 0, 0)) return;
    }
    // The window is gone (or its queue is full), so nothing would deliver that message: a timer of
    // the thread carries the release out instead.
    ReleaseOnThreadTimer();
}

namespace {

// Forms whose release waits on a thread timer (see Release). Plain data: nothing runs at unload.
struct PendingRelease {
    DWORD thread;
    UINT_PTR timer;
    TFormToolbar* form;
};
Lock g_pending_lock;
std::vector<PendingRelease>& PendingReleases() {
    static std::vector<PendingRelease> pending;
    return pending;
}

}  // namespace

void TFormToolbar::ReleaseOnThreadTimer() noexcept {
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &TFormToolbar::ReleaseTimerProc);
    if (timer == 0) return;  // out of timers: the form stays rather than going under its handler
    try {
        std::lock_guard<Lock> guard(g_pending_lock);
        PendingReleases().push_back({GetCurrentThreadId(), timer, this});
    } catch (...) {
        KillTimer(nullptr, timer);
    }
}

void CALLBACK TFormToolbar::ReleaseTimerProc(HWND, UINT, UINT_PTR timer, DWORD) {
    TFormToolbar* form = nullptr;
    {
        std::lock_guard<Lock> guard(g_pending_lock);
        std::vector<PendingRelease>& pending = PendingReleases();
        const DWORD thread = GetCurrentThreadId();
        const auto found = std::find_if(pending.begin(), pending.end(), [&](const PendingRelease& entry) {
            return entry.thread == thread && entry.timer == timer;
        });
        if (found != pending.end()) {
            if (found->form->HandlerRunning()) return;  // the next tick tries again
            form = found->form;
            pending.erase(found);
        }
    }
    KillTimer(nullptr, timer);
    delete form;
}

void TFormToolbar::ForgetPendingRelease() noexcept {
    std::lock_guard<Lock> guard(g_pending_lock);
    std::vector<PendingRelease>& pending = PendingReleases();
    for (auto entry = pending.begin(); entry != pending.end();) {
        if (entry->form == this) {
            KillTimer(nullptr, entry->timer);
            entry = pending.erase(entry);
        } else {
            ++entry;
        }
    }
}

TFormToolbar::TFormToolbar() {
    // The boxes that navigation shows go through the toolkit's dialog seam, as the window's own do.
    SetMessageBoxFunction(&ShowAnsiMessageBox);
    OnCreate = [this] { FormCreate(); };
    OnDestroy = [this] { FormDestroy(); };
    OnResize = [this] {
        if (Toolbar.Handle() != nullptr) MoveWindow(Toolbar.Handle(), 0, 0, ClientWidth(), ClientHeight(), TRUE);
    };
}

TFormToolbar::~TFormToolbar() {
    ForgetPendingRelease();
    DestroyForm();
    // The items of the toolbar go before the window's own items that its top level shows.
    Toolbar.Model().SetListener(nullptr);
}

bool TFormToolbar::Construct(const CreateArgs& args) {
    args_ = args;
    resources_ = args.resources != nullptr ? args.resources : ModuleOfThisCode();
    int width = args.width;
    if (width <= 0) {
        RECT parent{0, 0, 600, 0};
        if (args.parent != nullptr) GetClientRect(args.parent, &parent);
        width = parent.right > 0 ? parent.right : 600;
    }
    TForm::CreateArgs window;
    window.parent = args.parent;
    window.width = width;
    window.height = Scaled(kDesignWindowHeight, WindowDpi(args.parent));
    building_ = true;
    // Nothing is shown while the items are made; the toolbar shows them all at once afterwards,
    // also when the build stopped at a failure.
    Toolbar.Model().BeginUpdate();
    // The icons are decoded once the controls exist; a new process's decoder loads meanwhile.
    PrepareDecoding();
    try {
        ReadStoresAndStartUpdate();
        CreateHandle(window);
    } catch (...) {
        building_ = false;
        Toolbar.Model().EndUpdate();
        if (release_requested_) {
            delete this;
            return false;
        }
        throw;
    }
    building_ = false;
    if (release_requested_) {
        delete this;
        return false;
    }
    Toolbar.Model().EndUpdate();
    FitToContent();
    if (args.visible) ShowWindow(Handle(), SW_SHOWNA);
    return true;
}

// --- the window's design

TToolbarItem& TFormToolbar::OwnItem(ItemKind kind, const char16_t* name, const char16_t* caption,
                                    const char16_t* hint) {
    TToolbarItem& item = own_items_.Create(kind, name);
    item.SetCaption(caption);
    item.SetHint(hint);
    return item;
}

void TFormToolbar::CreateComponents() {
    HWND window = Handle();
    dpi_ = WindowDpi(window);
    Toolbar.Create(window, 0, 0, ClientWidth());
    Toolbar.SetDpi(dpi_);
    Toolbar.OnContextMenu = [this](POINT at) { ShowMainMenu(at); };
    WireWindowEvents();

    const auto click = [this](TToolbarItem& item) {
        RunHandler([&] { MIClick(item); });
    };
    MenuAboutToolbar = &OwnItem(ItemKind::Item, u"MenuAboutToolbar", u"About Toolbar...", u"[ABOUT]");
    MenuToolbarWebsite = &OwnItem(ItemKind::Item, u"MenuToolbarWebsite", u"Toolbar Website");
    MenuToolbarSupport = &OwnItem(ItemKind::Item, u"MenuToolbarSupport", u"Toolbar Support");
    SeparatorBeforeClose = &OwnItem(ItemKind::Separator, u"TBSeparatorItem36", u"");
    MenuCloseToolbar = &OwnItem(ItemKind::Item, u"MenuCloseToolbar", u"Close Toolbar", u"[CLOSE]");
    for (TToolbarItem* item : {MenuAboutToolbar, MenuToolbarWebsite, MenuToolbarSupport, SeparatorBeforeClose,
                               MenuCloseToolbar}) {
        if (item->Kind() != ItemKind::Separator) item->OnClick = click;
        popupMain.Add(*item);
    }

    MenuCut = &OwnItem(ItemKind::Item, u"MenuCut", u"Cu&t");
    MenuCopy = &OwnItem(ItemKind::Item, u"MenuCopy", u"&Copy");
    MenuPaste = &OwnItem(ItemKind::Item, u"MenuPaste", u"&Paste");
    MenuDelete = &OwnItem(ItemKind::Item, u"MenuDelete", u"&Delete");
    SeparatorBeforeSelectAll = &OwnItem(ItemKind::Separator, u"TBSeparatorItem39", u"");
    MenuSelectAll = &OwnItem(ItemKind::Item, u"MenuSelectAll", u"Select &All");
    SeparatorBeforeHistory = &OwnItem(ItemKind::Separator, u"TBSeparatorItem40", u"");
    MenuClearHistory = &OwnItem(ItemKind::Item, u"MenuClearHistory", u"C&lear History");
    MenuRemoveSelected = &OwnItem(ItemKind::Item, u"MenuRemoveSelected", u"&Remove Selected");
    MenuEditHistory = &OwnItem(ItemKind::Item, u"MenuEditHistory", u"&Edit History");
    MenuRefreshHistory = &OwnItem(ItemKind::Item, u"MenuRefreshHistory", u"Re&fresh History");
    SeparatorBeforeHistoryFiles = &OwnItem(ItemKind::Separator, u"TBSeparatorItem47", u"");
    MenuSaveHistory = &OwnItem(ItemKind::Item, u"MenuSaveHistory", u"&Save History...");
    MenuLoadHistory = &OwnItem(ItemKind::Item, u"MenuLoadHistory", u"L&oad History...");
    SeparatorBeforeSearchOptions = &OwnItem(ItemKind::Separator, u"TBXSeparatorItem1", u"");
    MenuSearchOptions = &OwnItem(ItemKind::Item, u"SpTBXItem1", u"Search Options");
    MenuSearchOptions->SetVisible(false);
    for (TToolbarItem* item :
         {MenuCut, MenuCopy, MenuPaste, MenuDelete, SeparatorBeforeSelectAll, MenuSelectAll,
          SeparatorBeforeHistory, MenuClearHistory, MenuRemoveSelected, MenuEditHistory, MenuRefreshHistory,
          SeparatorBeforeHistoryFiles, MenuSaveHistory, MenuLoadHistory, SeparatorBeforeSearchOptions,
          MenuSearchOptions}) {
        popupSearch.Add(*item);
    }

    Image.Create(Toolbar.ToolbarHandle(), 0, 0, 1, 1);
    Image.SetDpi(dpi_);
    Image.Cursor = crHandPoint;
    Image.OnClick = [this] {
        RunHandler([&] { ImageClick(); });
    };
    MediaControl = &own_items_.Create(ItemKind::Control, u"MediaControl");
    MediaControl->SetControl(Image.Handle(), 0);
    MediaControl->SetVisible(false);  // until there is a logo

    const int search_width = Scaled(search_width_, dpi_);
    SearchBox.Create(Toolbar.ToolbarHandle(), 0, 0, search_width, Scaled(kSearchBoxHeight, dpi_));
    SearchBox.SetDpi(dpi_);
    SearchBox.PopupMenu = &popupSearch;
    SearchBoxControl = &own_items_.Create(ItemKind::Control, u"TBControlItem1");
    SearchBoxControl->SetControl(SearchBox.Handle(), search_width);

    Toolbar.Model().AppendTop(*MediaControl);
    Toolbar.Model().AppendTop(*SearchBoxControl);

    for (TComponent* component : std::initializer_list<TComponent*>{
             &Dock, &Toolbar, &popupMain, &popupSearch, &SearchHistory.OpenDialog, &SearchHistory.SaveDialog, &Image, &SearchBox}) {
        AddComponent(*component);
    }
    ConnectCommandHandlers();
}

bool TFormToolbar::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (HandleWindowEvent(message, wparam, lparam, result)) return true;
    static const UINT query_message = RegisterWindowMessageW(kToolbarQueryMessage);
    if (query_message != 0 && message == query_message) {
        result = AnswerQuery(wparam, lparam);
        return true;
    }
    if (message == kDeferredRelease || (message == WM_TIMER && wparam == kDeferredRelease)) {
        if (release_requested_ && !HandlerRunning()) {
            result = 0;
            delete this;  // nothing of this window runs after this line
            return true;
        }
        // A handler's own message loop (a modal box, the splash) took the message: try again once
        // the handler has returned. A timer does not keep such a loop busy as a posted message would.
        if (release_requested_ && message == kDeferredRelease) SetTimer(Handle(), kDeferredRelease, 50, nullptr);
        result = 0;
        return true;
    }
    if (message == kDpiChangedMessage) {
        // A window of its own (no browser around it) moved to a screen of another scale: the
        // system's suggested place, then the layout at the new scale.
        if (const auto* suggested = reinterpret_cast<const RECT*>(lparam)) {
            SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        RunHandler([&] { ApplyDpi(HIWORD(wparam)); });
        result = 0;
        return true;
    }
    if (message == kDpiChangedAfterParentMessage) {
        // Inside the browser's window: the browser moved, and this window's scale is its own now.
        RunHandler([&] { ApplyDpi(WindowDpi(Handle())); });
        result = 0;
        return true;
    }
    if (message == WM_CONTEXTMENU) {
        POINT at{};
        GetCursorPos(&at);
        ShowMainMenu(at);
        result = 0;
        return true;
    }
    return false;
}

int TFormToolbar::PreferredHeight() const { return Toolbar.PreferredHeight(); }

void TFormToolbar::ApplyDpi(int dpi) {
    if (dpi <= 0 || dpi == dpi_ || Toolbar.Handle() == nullptr) return;
    dpi_ = dpi;
    // The old image list stays with the toolbar until the new one replaces it.
    UniqueImageList icons;
    if (IconListModel) icons = CreatePlatformImageList(*IconListModel, dpi_);
    Toolbar.Model().BeginUpdate();
    Toolbar.SetDpi(dpi_);
    if (icons) {
        Toolbar.SetImages(icons.Get());
        if (popupMain.LinkedItem() != nullptr) popupMain.SetImages(icons.Get());
        IconList = std::move(icons);
    }
    SearchBox.SetDpi(dpi_);
    SetSearchBoxWidth(search_width_);
    Image.SetDpi(dpi_);
    LogoChanged();
    Toolbar.Model().EndUpdate();
    FitToContent();
}

int TFormToolbar::ContentHeight() const { return std::max(PreferredHeight(), Scaled(kMinimumHeight, dpi_)); }

void TFormToolbar::FitToContent() {
    const int height = ContentHeight();
    SetWindowPos(Handle(), nullptr, 0, 0, ClientWidth(), height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    MoveWindow(Toolbar.Handle(), 0, 0, ClientWidth(), height, TRUE);
    Toolbar.Layout();
}

// --- FormCreate, BuildToolbar, FormDestroy

void TFormToolbar::OpenStore(TrsStorage& store, TrsBinData& file, const std::u16string& path,
                             const wchar_t* resource) {
    // Read only: a store of the window never writes its file.
    store.SetOptions(0);
    store.SetStorageData(&file);
    file.FileDir = fdCustom;
    file.Options = 0;
    file.FileName = Utf16ToAnsi(path);
    // The library's own copy stands in for a missing file.
    file.InternalFileLoad = iflNoRealFile;
    if (!LoadInternalFileFromResource(file, resources_, resource)) file.InternalFileLoad = iflNone;
}

void TFormToolbar::ReadStoresAndStartUpdate() {
    try {
        const ToolbarSettings settings = CurrentSettings();
        OpenStore(stoToolbar, binToolbar, TemplateFilePath(settings), kTemplateResourceName);
        stoToolbar.SetActive(true);
        stoToolbar.Reload();
        OpenStore(stoIcons, binIcons, IconStorePath(settings), kIconStoreResourceName);
        stoIcons.SetActive(true);
        stoIcons.Reload();
        stoToolbar.Close();
        icon_store_was_there_ = ::tb::FileExists(Utf16ToAnsi(IconStorePath(settings)));
    } catch (...) {
        read_failure_ = std::current_exception();
        return;
    }
    // The icon store is in memory now, so a new one the update brings is the next window's, as
    // when the update ran inside the build.
    if (args_.run_template_update) update_ = TemplateUpdateTask::Start();
}

void TFormToolbar::FormCreate() {
    for (TComponent* component : Components()) {
        if (component->Cursor == crHandPoint) component->Cursor = kHandCursor;
    }
    SearchBox.SetFontFace(ToolbarFontFaceName());
    const ToolbarSettings settings = CurrentSettings();
    if (read_failure_) std::rethrow_exception(std::exchange(read_failure_, nullptr));
    BuildToolbar();
    SetCaption(settings.ToolbarName);
    ReadLastShownDate();  // only repairs an unreadable date here
    Banner.SetUp();
    SearchHistory.Load();
    SearchBox.SetText(AnsiToUtf16(ReadIniString(Utf16ToAnsi(settings.SettingsIniPath), "Settings", "Search")));
    SearchBox.SetItemIndex(SearchBox.IndexOf(SearchBox.Text()));
    LastStatusText.clear();
    DropDownClosed = false;
}

void TFormToolbar::BuildToolbar() {
    item_loop_pumped_ = false;
    BuildResult result;
    struct Keep {
        TFormToolbar& form;
        BuildResult& result;
        ~Keep() {
            // What was built so far stays, also when the build stopped at a failure.
            form.SearchSelector = result.SearchSelector;
            form.CurrentSearchUrl = result.CurrentSearchUrl;
            form.MainMenuItem = result.MainMenuItem;
        }
    } keep{*this, result};
    BuildToolbarFromTemplate(stoToolbar, *this, Toolbar.Model(), CurrentSettings(), result);
}

void TFormToolbar::FormDestroy() {
    StoreSearchState();
    if (BrowserEvents) {
        BrowserEvents->Disconnect();
        BrowserEvents.reset();
    }
    Banner.Close();
    popupMain.SetImages(nullptr);
    popupMain.LinkSubitems(nullptr);
    Toolbar.SetImages(nullptr);
    IconList.Reset();
    IconListModel.reset();
}

// --- BuildTarget

void TFormToolbar::UpdateTemplate() {
    // Started before the controls were made (ReadStoresAndStartUpdate); the build waits for it
    // where it reads the template again, so the icons are decoded meanwhile.
}

void TFormToolbar::LoadIconsAndStoredLogo() {
    const ToolbarSettings settings = CurrentSettings();
    const bool from_resource = !binIcons.InternalStream().empty();
    // Whether there is an icon store to show is asked after the update: one that was there before
    // stays (an update swaps files in whole), one that was missing may have just come.
    if (!icon_store_was_there_) FinishUpdate();
    if (!::tb::FileExists(Utf16ToAnsi(IconStorePath(settings))) && !from_resource) return;
    try {
        Toolbar.SetImages(nullptr);
        IconList.Reset();
        IconListModel = std::make_unique<TPngImageList>();
        stoIcons.ReadImageList("\\Icons", *IconListModel);
        UniqueImageList made = CreatePlatformImageList(*IconListModel, dpi_);
        if (!made) throw Error("Cannot create the image list");
        IconList = std::move(made);
        Toolbar.SetImages(IconList.Get());
        if (stoIcons.KeyExists("\\Image")) {
            TMemoryStream stream;
            stoIcons.ReadStream("\\Image", stream);
            stream.Seek(0);
            Image.Picture().LoadBitmapFromBytes(stream.Bytes());
            LogoChanged();
        }
    } catch (...) {
        Toolbar.SetImages(nullptr);
        IconList.Reset();
        IconListModel.reset();
    }
}

void TFormToolbar::FinishUpdate() {
    if (!update_) return;
    update_->Wait();
    update_.reset();
}

void TFormToolbar::ReloadTemplate() {
    FinishUpdate();
    binToolbar.FileName = Utf16ToAnsi(TemplateFilePath(CurrentSettings()));
    stoToolbar.Reload();
}

void TFormToolbar::SetSearchBoxWidth(std::int32_t width) {
    search_width_ = std::clamp<std::int32_t>(width, 0, 4096);
    const int shown = std::min(Scaled(search_width_, dpi_), 4096);
    SearchBox.SetWidth(shown);
    SearchBoxControl->SetControl(SearchBox.Handle(), shown);
}

void TFormToolbar::SetSearchBoxVisible(bool visible) { SearchBoxControl->SetVisible(visible); }

bool TFormToolbar::FileExists(const std::u16string& path) const { return ::tb::FileExists(Utf16ToAnsi(path)); }

void TFormToolbar::LoadLogoPicture(const std::u16string& path) {
    Image.Picture().LoadFromFile(path);
    if (!Image.Picture().IsBitmap()) Image.Picture().ConvertTo24BitBitmap();
    LogoChanged();
}

void TFormToolbar::LoadLogoPng(const std::u16string& path) {
    const std::optional<std::string> bytes = ReadWholeFile(Utf16ToAnsi(path));
    if (!bytes) throw FileOpenError(CannotOpenMessage(Utf16ToAnsi(path), LastSystemError()));
    const std::optional<Bitmap32> pixels = DecodePng(*bytes);
    if (!pixels) throw Error("The PNG image \"" + Utf16ToAnsi(path) + "\" cannot be decoded");
    Image.Picture().AssignPixels(*pixels);
    LogoChanged();
}

void TFormToolbar::LogoChanged() {
    Image.PictureChanged();
    const bool shown = !Image.Picture().Empty();
    MediaControl->SetControl(Image.Handle(), shown ? Scaled(Image.Picture().Width(), dpi_) : 0);
    MediaControl->SetVisible(shown);
}

TToolbarItem* TFormToolbar::FindOwnMenuItem(std::u16string_view name) {
    TToolbarItem* item = own_items_.Find(name);
    return item != nullptr && item->IsCustomItem() ? item : nullptr;
}

void TFormToolbar::ProcessMessages() {
    // Before the first item the waiting messages are always handled; before each later one only
    // once the clock has moved on since the last time. Looking into an empty queue costs as much
    // as making an item (more under Wine), so a long template paid for it twice, while a message
    // that arrives meanwhile still waits no longer than one tick of the clock.
    const DWORD now = GetTickCount();
    if (item_loop_pumped_ && now == last_item_pump_) return;
    item_loop_pumped_ = true;
    last_item_pump_ = now;
    ::tb::ProcessMessages();
}

ItemClickEvent TFormToolbar::ItemClickHandler() {
    return [this](TToolbarItem& item) {
        RunHandler([&] { MIClick(item); });
    };
}

ItemClickEvent TFormToolbar::SearchClickHandler() {
    return [this](TToolbarItem& item) {
        RunHandler([&] { MISearchClick(item); });
    };
}

void TFormToolbar::LinkMainMenu(TToolbarItem& item) {
    popupMain.LinkSubitems(&item);
    popupMain.SetImages(IconList.Get());
}

// --- handlers (the item commands, the search and the history have files of their own)

void TFormToolbar::ShowMainMenu(POINT screen) {
    RunHandler([&] { popupMain.Popup(Handle(), screen); });
}

// --- the published surface for drivers

LRESULT TFormToolbar::AnswerQuery(WPARAM kind, LPARAM lparam) {
    // From another thread the pointers could be anyone's (another process's, too).
    if (InSendMessage() || lparam == 0) return 0;
    auto* query = reinterpret_cast<ToolbarQuery*>(lparam);
    if (query->size != sizeof(ToolbarQuery)) return 0;
    std::string answer;
    if (kind == kToolbarDescribe) {
        answer = Describe();
    } else if (kind == kToolbarDescribeFocus) {
        answer = DescribeFocus();
    } else if (kind == kToolbarLocateItem && query->name != nullptr) {
        const TToolbarItem* item = Toolbar.Model().Items().Find(FromWide(query->name));
        if (item == nullptr) return 0;
        answer = Utf16ToUtf8(item->Caption());
        if (item->Parent() != nullptr) answer += '\0' + Utf16ToUtf8(item->Parent()->Caption());
    } else {
        return 0;
    }
    query->length = static_cast<UINT>(answer.size());
    if (query->answer != nullptr && query->capacity > answer.size()) {
        std::copy(answer.begin(), answer.end(), query->answer);
        query->answer[answer.size()] = '\0';
    }
    return 1;
}

// --- description

std::string TFormToolbar::Describe() const {
    ToolbarFacts facts;
    facts.caption = Caption();
    facts.toolbar = &Toolbar.Model();
    facts.selector = SearchSelector;
    facts.current_search_url = CurrentSearchUrl;
    facts.search_box.text = SearchBox.Text();
    facts.search_box.items = SearchBox.Items();
    facts.search_box.visible = SearchBoxControl != nullptr && SearchBoxControl->Visible();
    facts.search_box.width = SearchBox.Width();
    facts.main_menu = popupMain.LinkedItem();
    facts.image_count = IconList ? ImageList_GetImageCount(IconList.Get()) : -1;
    if (!Image.Picture().Empty()) {
        facts.logo = LogoFacts{Image.Picture().Width(), Image.Picture().Height(), Image.Transparent()};
    }
    facts.errors = ReportedErrors();
    if (Handle() != nullptr) {
        LayoutFacts layout;
        layout.dpi = dpi_;
        layout.height = ContentHeight();
        if (IconList) {
            int width = 0;
            ImageList_GetIconSize(IconList.Get(), &width, &layout.icon_size);
        }
        for (const TToolbarControl::ButtonGeometry& shown : Toolbar.ShownButtons()) {
            layout.buttons.push_back({shown.item->Name(), shown.item->Caption(), static_cast<int>(shown.box.left),
                                      static_cast<int>(shown.box.top), static_cast<int>(shown.box.right),
                                      static_cast<int>(shown.box.bottom), shown.text_width});
        }
        facts.layout = std::move(layout);
    }
    return DescribeToolbar(facts);
}

}  // namespace tb
