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
        LastStatusText.clear();
    }
    Bstr text(ToWide(AnsiToUtf16(LastStatusText)));
    ThrowIfFailed(Browser->put_StatusText(text.Get()));
}

void TFormToolbar::BrowserEventsDocumentComplete(IDispatch* /*browser*/, const VARIANT* /*url*/) { Toolbar.Repaint(); }

}  // namespace tb
