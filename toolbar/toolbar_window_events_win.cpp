// TFormToolbar: the once-a-day splash, the width that follows the browser window, the status texts
// of the items and the repaint after a page load.
#include <windows.h>
#include <oleauto.h>

#include "about/about_box_win.hpp"
#include "base/com_win.hpp"
#include "base/locale.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "settings/big_ini_file.hpp"
#include "settings/short_date.hpp"
#include "settings/toolbar_settings.hpp"
#include <algorithm>
#include <vector>
#include "toolbar/toolbar_form_win.hpp"

namespace tb {
namespace {

// Posted when the window was shown: FormShow runs from the message loop, after the call that
// showed the window has returned.
constexpr UINT kRunFormShow = WM_APP + 0x5443;

std::int32_t Today(int* year = nullptr) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    if (year != nullptr) *year = now.wYear;
    return DayNumberOf({now.wYear, now.wMonth, now.wDay}).value_or(0);
}

}  // namespace

void TFormToolbar::WireWindowEvents() {
    OnCanResize = [this](int& width, int& height) { return FormCanResize(width, height); };
    Toolbar.OnMouseMove = [this](int x, int y) { RunHandler([&] { ToolbarMouseMove(x, y); }); };
    Toolbar.OnEscape = [this] { LeaveFocus(); };
    SearchBox.OnKeyDown = [this](WPARAM key, bool) {
        // Esc with the history list down closes the list (the box does that); else it leaves.
        if (key != VK_ESCAPE || SearchBox.DroppedDown()) return false;
        LeaveFocus();
        return true;
    };
}

bool TFormToolbar::HandleWindowEvent(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (message == WM_SHOWWINDOW && wparam && lparam == 0) {
        PostMessageW(Handle(), kRunFormShow, 0, 0);
        return false;
    }
    if (message == kRunFormShow) {
        result = 0;
        if (!IsWindowVisible(Handle()) || release_requested_) return true;
        RunHandler([this] { FormShow(); });
        // Released while the splash ran (its message loop delivered the close): the window went
        // only now. Nothing of this window runs after this line.
        if (release_requested_ && !HandlerRunning()) delete this;
        return true;
    }
    return false;
}

// --- the splash

std::int32_t TFormToolbar::ReadLastShownDate() {
    const std::string ini = Utf16ToAnsi(CurrentSettings().SettingsIniPath);
    int year = 0;
    const std::int32_t today = Today(&year);
    const std::string stored = ReadIniString(ini, "Settings", "Date");
    if (const std::optional<std::int32_t> date = ParseShortDate(stored, SystemLocaleFormats(), year)) return *date;
    const std::int32_t yesterday = today - 1;
    WriteIniString(ini, "Settings", "Date", FormatShortDate(yesterday, SystemLocaleFormats()));
    return yesterday;
}

void TFormToolbar::FormShow() {
    const std::int32_t last = ReadLastShownDate();
    const std::int32_t today = Today();
    if (today > last || today + 1 < last) {
        const ToolbarSettings settings = CurrentSettings();
        WriteIniString(Utf16ToAnsi(settings.SettingsIniPath), "Settings", "Date",
                       FormatShortDate(today, SystemLocaleFormats()));
        if (settings.AboutShow) ShowAboutBox(true);
    }
}

// --- sizing

bool TFormToolbar::FormCanResize(int& new_width, int& /*new_height*/) {
    if (!Browser) return true;
    if (!CurrentSettings().FullSize) return true;
    LONG browser_width = 0;
    ThrowIfFailed(Browser->get_Width(&browser_width));
    RECT own{};
    GetWindowRect(Handle(), &own);
    if (browser_width == (own.right - own.left) + 20 || browser_width - 20 <= 140) return false;
    ThrowIfFailed(Browser->get_Width(&browser_width));
    new_width = static_cast<int>(browser_width) - 20;
    return true;
}

// --- status texts and repaints

void TFormToolbar::ToolbarMouseMove(int x, int y) {
    if (!Browser) return;
    if (TToolbarItem* item = Toolbar.ItemAt(POINT{x, y})) {
        const std::string hint = Utf16ToAnsi(item->Hint());
        const std::size_t bar = hint.find('|');
        std::string status = bar == std::string::npos ? std::string() : hint.substr(0, bar);
        if (status.empty()) status = Utf16ToAnsi(item->Caption());
        if (status == LastStatusText) return;
        LastStatusText = status;
    } else {
        // Off the items (a separator, a gap, out of the toolbar): the status bar is cleared once,
        // when the hover leaves an item, not on every move.
        if (LastStatusText.empty()) return;
        LastStatusText.clear();
    }
    Bstr text(ToWide(AnsiToUtf16(LastStatusText)));
    ThrowIfFailed(Browser->put_StatusText(text.Get()));
}

void TFormToolbar::BrowserEventsDocumentComplete(IDispatch* /*browser*/, const VARIANT* /*url*/) { Toolbar.Repaint(); }

}  // namespace tb

namespace tb {

// --- the keyboard

namespace {

enum class Stop { Banner, Buttons, SearchBox };

bool Within(HWND outer, HWND window) { return outer != nullptr && (window == outer || IsChild(outer, window)); }

}  // namespace

void TFormToolbar::EnterFocus(bool at_end) {
    if (MoveFocusFrom(-1, !at_end)) return;
    ::SetFocus(Handle());  // nothing to focus inside: the window itself holds it
}

bool TFormToolbar::MoveFocus(bool forward) {
    // From outside the window (the browser offered the Tab to a band it took for focused): in.
    return MoveFocusFrom(CurrentFocusStop(), forward);
}

std::vector<int> TFormToolbar::FocusStops() const {
    // In the order they show, left to right: the banner stands first; the search box and the
    // buttons by their places on the toolbar.
    const std::vector<TToolbarItem*>& top = Toolbar.Model().TopLevel();
    const auto place = [&top](const TToolbarItem* item) {
        return static_cast<std::size_t>(std::find(top.begin(), top.end(), item) - top.begin());
    };
    std::size_t first_button = top.size();
    for (std::size_t i = 0; i < top.size() && first_button == top.size(); ++i) {
        if (top[i]->IsCustomItem() && top[i]->Visible()) first_button = i;
    }
    std::vector<int> stops;
    if (HWND banner = Banner.Control() != nullptr ? Banner.Control()->Handle() : nullptr; banner && IsWindowVisible(banner)) {
        stops.push_back(static_cast<int>(Stop::Banner));
    }
    const bool search_box = SearchBoxControl != nullptr && SearchBoxControl->Visible() && IsWindowVisible(SearchBox.Handle());
    const bool box_first = search_box && place(SearchBoxControl) < first_button;
    if (box_first) stops.push_back(static_cast<int>(Stop::SearchBox));
    stops.push_back(static_cast<int>(Stop::Buttons));
    if (search_box && !box_first) stops.push_back(static_cast<int>(Stop::SearchBox));
    return stops;
}

int TFormToolbar::CurrentFocusStop() const {
    HWND focus = GetFocus();
    if (Banner.Control() != nullptr && Within(Banner.Control()->Handle(), focus)) return static_cast<int>(Stop::Banner);
    if (Toolbar.HasFocus()) return static_cast<int>(Stop::Buttons);
    if (Within(SearchBox.Handle(), focus)) return static_cast<int>(Stop::SearchBox);
    return -1;
}

bool TFormToolbar::MoveFocusFrom(int current, bool forward) {
    const std::vector<int> stops = FocusStops();
    // From outside: the first stop going forward, the last going back.
    int position = current < 0 ? (forward ? -1 : static_cast<int>(stops.size()))
                               : static_cast<int>(std::find(stops.begin(), stops.end(), current) - stops.begin());
    for (position += forward ? 1 : -1; position >= 0 && position < static_cast<int>(stops.size());
         position += forward ? 1 : -1) {
        switch (static_cast<Stop>(stops[static_cast<std::size_t>(position)])) {
            case Stop::Banner:
                ::SetFocus(Banner.Control()->Handle());
                return true;
            case Stop::Buttons:
                if (Toolbar.FocusButton(!forward)) return true;
                break;  // no button can be used: on to the next stop
            case Stop::SearchBox:
                ::SetFocus(SearchBox.Handle());  // the box hands it to its text
                return true;
        }
    }
    return false;
}

void TFormToolbar::LeaveFocus() {
    HWND browser = GetAncestor(Handle(), GA_ROOT);
    if (browser != nullptr && browser != Handle()) ::SetFocus(browser);
    if (OnFocusLeave) OnFocusLeave();
}

std::string TFormToolbar::DescribeFocus() const {
    switch (CurrentFocusStop()) {
        case static_cast<int>(Stop::Banner):
            return "{\"focus\":\"banner\"}";
        case static_cast<int>(Stop::Buttons): {
            const TToolbarItem* item = Toolbar.FocusedItem();
            if (item == nullptr) return "{\"focus\":\"overflow\"}";
            return "{\"focus\":\"button\",\"item\":" + JsonQuoted(Utf16ToUtf8(item->Name())) + ",\"caption\":" +
                   JsonQuoted(Utf16ToUtf8(item->Caption())) + "}";
        }
        case static_cast<int>(Stop::SearchBox):
            return std::string("{\"focus\":\"search box\",\"list\":") + (SearchBox.DroppedDown() ? "true" : "false") + "}";
        default:
            return {};
    }
}

}  // namespace tb
