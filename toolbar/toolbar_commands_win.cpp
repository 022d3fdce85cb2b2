// What a click on an item does: the item command in the item's hint, the fixed menu items of the
// window (about box, home page, contact address, close) and the logo.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

#include "about/about_box_win.hpp"
#include "base/text.hpp"
#include "settings/navigation_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "toolbar/toolbar_form_win.hpp"

namespace tb {
namespace {

// Stands for a character that the system code page writes with more than one byte: it is not
// trimmed and matches no command character.
constexpr char kWideCharacter = '\x7F';

// The hint as the commands are matched: each UTF-16 unit converted to the system code page (one
// byte per unit, so that a position in it is the same position in the hint) with ASCII letters
// upper-cased.
std::string FoldedForMatching(std::u16string_view hint) {
    std::string folded(hint.size(), kWideCharacter);
    for (std::size_t i = 0; i < hint.size(); ++i) {
        const std::string one = Utf16ToAnsi(hint.substr(i, 1));
        if (one.size() == 1) folded[i] = AsciiUpper(one[0]);
    }
    return folded;
}

// Without the leading and trailing blanks and control characters.
std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

// --- wiring

void TFormToolbar::ConnectCommandHandlers() {
    const auto bind = [this](TToolbarItem* item, void (TFormToolbar::*handler)(TToolbarItem&)) {
        item->OnClick = [this, handler](TToolbarItem& sender) { RunHandler([&] { (this->*handler)(sender); }); };
    };
    // The fixed entries mean what the band's context menu offers: the about box and closing go
    // through their item commands ("[ABOUT]", "[CLOSE]"), the web site is the home page (the item
    // has no address of its own), support is the contact address.
    bind(MenuToolbarWebsite, &TFormToolbar::MIDirectURLClick);
    bind(MenuToolbarSupport, &TFormToolbar::eMailClick);

    SearchBox.OnKeyPress = [this](wchar_t& key) { RunHandler([&] { SearchBoxKeyPress(key); }); };
    SearchBox.OnCloseUp = [this] { RunHandler([&] { SearchBoxCloseUp(); }); };
    SearchBox.OnSelect = [this] { RunHandler([&] { SearchBoxSelect(); }); };

    // popupSearch: the search history's commands.
    TSearchHistory& history = SearchHistory;
    const auto bind_history = [this](TToolbarItem* item, const std::function<void()>& command) {
        item->OnClick = [this, command](TToolbarItem&) { RunHandler(command); };
    };
    bind_history(MenuCut, [&history] { history.Cut(); });
    bind_history(MenuCopy, [&history] { history.Copy(); });
    bind_history(MenuPaste, [&history] { history.Paste(); });
    bind_history(MenuDelete, [&history] { history.Delete(); });
    bind_history(MenuSelectAll, [&history] { history.SelectAll(); });
    bind_history(MenuClearHistory, [&history] { history.Clear(); });
    bind_history(MenuSaveHistory, [this, &history] { history.SaveToChosenFile(MenuSaveHistory->Caption()); });
    bind_history(MenuLoadHistory, [this, &history] { history.LoadChosenFile(MenuLoadHistory->Caption()); });
    bind_history(MenuRemoveSelected, [&history] { history.RemoveSelected(); });
    bind_history(MenuEditHistory, [&history] { history.Edit(); });
    bind_history(MenuRefreshHistory, [&history] { history.Refresh(); });

    // The banner shows in the logo's place.
    Banner.OnShowing = [this] {
        Image.SetVisible(false);
        if (MediaControl != nullptr) MediaControl->SetVisible(false);
    };
}

// --- handlers

void TFormToolbar::MIClick(TToolbarItem& sender) {
    if (OnItemCommand) {
        OnItemCommand(sender);
        return;
    }
    if (!sender.IsCustomItem()) return;
    const std::u16string hint = sender.Hint();
    const std::string folded = FoldedForMatching(hint);

    if (Trimmed(folded) == "[ABOUT]") {
        if (AboutBoxHook) {
            AboutBoxHook(false);
        } else {
            ShowAboutBox(false);
        }
        return;
    }
    if (Trimmed(folded) == "[CLOSE]") {
        CloseToolbar();
        return;
    }
    if (const std::size_t run = folded.find("[RUN="); run != std::string::npos) {
        // The target ends at the first "]" of the whole hint, even one before "[RUN=".
        const std::size_t start = run + 5;
        const std::size_t end = folded.find(']');
        ShellOpen(end != std::string::npos && end > start ? hint.substr(start, end - start) : std::u16string());
        return;
    }
    if (SearchSelector != nullptr && sender.Parent() == SearchSelector && sender.Tag() > 0) {
        if (CurrentSettings().SearchDynamic) {
            MISearchOptionsClick(sender);  // selects the engine; no search
        } else {
            RunSearch(hint, SearchBox.Text());
        }
        return;
    }
    if (folded.find("[SEARCH]") != std::string::npos) {
        RunSearch(hint, SearchBox.Text());
        return;
    }
    // Status text "|" address; without "|" the hint is the address.
    const std::size_t bar = hint.find(u'|');
    const std::u16string address = bar == std::u16string::npos ? hint : hint.substr(bar + 1);
    NavigateTo(Browser.Get(), NewBrowserWindow, AnsiToUtf16(Utf16ToAnsi(address)));
}

void TFormToolbar::CloseToolbar() {
    if (!Browser) {
        // Nothing can hide the bar: the entry that asks for it goes grey.
        if (MenuCloseToolbar != nullptr) MenuCloseToolbar->SetEnabled(false);
        return;
    }
    const std::u16string id = AnsiToUtf16(CurrentSettings().ToolbarGuid);
    Variant class_id, show, size;
    class_id.Get()->vt = VT_BSTR;
    class_id.Get()->bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(id.data()), static_cast<UINT>(id.size()));
    if (class_id.Get()->bstrVal == nullptr) throw ComError(E_OUTOFMEMORY);
    show.Get()->vt = VT_BOOL;
    show.Get()->boolVal = VARIANT_FALSE;
    size.Get()->vt = VT_I4;
    size.Get()->lVal = 0;
    // The browser may close the band, and with it this window, before the call returns: the
    // window's release then waits until this handler is done.
    ThrowIfFailed(Browser->ShowBrowserBar(class_id.Get(), show.Get(), size.Get()));
}

void TFormToolbar::eMailClick(TToolbarItem& sender) {
    if (!sender.IsCustomItem()) return;
    // A "mailto:" address goes to the browser as it is, which opens the mail program.
    NavigateTo(Browser.Get(), NewBrowserWindow, CurrentSettings().ContactEmail);
}

void TFormToolbar::MIDirectURLClick(TToolbarItem& sender) {
    if (!sender.IsCustomItem()) return;
    const std::u16string& hint = sender.Hint();
    if (hint.empty()) {
        NavigateTo(Browser.Get(), NewBrowserWindow, CurrentSettings().HomePageUrl);
    } else if (hint.find(u"://") == std::u16string::npos) {
        NavigateTo(Browser.Get(), NewBrowserWindow, u"http://" + hint);
    } else {
        NavigateTo(Browser.Get(), NewBrowserWindow, hint);
    }
}

void TFormToolbar::ImageClick() { NavigateTo(Browser.Get(), NewBrowserWindow, CurrentSettings().HomePageUrl); }

}  // namespace tb
