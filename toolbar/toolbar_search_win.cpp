// The search box and the search engines: a search sends the box's text, encoded for a URL, to the
// selected engine's URL template; the selection and the box's text live on in Settings.ini.
#include <string>

#include "base/text.hpp"
#include "settings/big_ini_file.hpp"
#include "settings/navigation_win.hpp"
#include "settings/search_term.hpp"
#include "settings/toolbar_settings.hpp"
#include "toolbar/toolbar_form_win.hpp"

namespace tb {
namespace {

// Clears DropDownClosed when the handler ends, also when its search failed.
struct ClearsDropDownClosed {
    bool& flag;
    ~ClearsDropDownClosed() { flag = false; }
};

}  // namespace

void TFormToolbar::RunSearch(std::u16string_view url_template, std::u16string_view term) {
    const ToolbarSettings settings = CurrentSettings();
    const std::u16string chosen = url_template.empty() ? settings.SearchUrl : std::u16string(url_template);
    const std::string encoded = EncodeSearchTerm(Utf16ToAnsi(term));
    SearchHistory.AddBoxText();
    NavigateTo(Browser.Get(), NewBrowserWindow, AnsiToUtf16(FillSearchTemplate(Utf16ToAnsi(chosen), encoded)));
}

void TFormToolbar::MISearchClick(TToolbarItem& sender) {
    if (OnSearchCommand) {
        OnSearchCommand(sender);
        return;
    }
    RunSearch(CurrentSearchUrl, SearchBox.Text());
}

void TFormToolbar::SearchBoxKeyPress(wchar_t& key) {
    ClearsDropDownClosed clears{DropDownClosed};
    if (key != L'\r') return;
    // Swallowed before the search, so that the box never gets the Enter (no beep), even when the
    // search fails.
    key = 0;
    RunSearch(CurrentSearchUrl, SearchBox.Text());
}

void TFormToolbar::SearchBoxCloseUp() { DropDownClosed = true; }

void TFormToolbar::SearchBoxSelect() {
    ClearsDropDownClosed clears{DropDownClosed};
    // Chosen from the list that just closed: search. Scrolled to with the arrow keys: not.
    if (DropDownClosed) RunSearch(CurrentSearchUrl, SearchBox.Text());
}

void TFormToolbar::MISearchOptionsClick(TToolbarItem& sender) {
    if (!sender.IsCustomItem()) return;
    CurrentSearchUrl = sender.Hint();
    if (SearchSelector == nullptr) return;
    SearchSelector->SetCaption(sender.Caption());
    SearchSelector->SetImageIndex(sender.ImageIndex());
    SearchSelector->SetTag(sender.Tag());
}

void TFormToolbar::StoreSearchState() {
    const std::string ini = Utf16ToAnsi(CurrentSettings().SettingsIniPath);
    // A build that failed before the selector was made has no search type to store.
    if (SearchSelector != nullptr) WriteIniString(ini, "Settings", "Search Type", std::to_string(SearchSelector->Tag()));
    if (SearchBox.Handle() != nullptr) WriteIniString(ini, "Settings", "Search", Utf16ToAnsi(SearchBox.Text()));
}

}  // namespace tb
