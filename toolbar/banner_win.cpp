#include "toolbar/banner_win.hpp"

#include <windows.h>
#include <olectl.h>

#include "base/com_win.hpp"
#include "base/wide_win.hpp"
#include "settings/navigation_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "settings/wininet_win.hpp"

namespace tb {
namespace {

// The Flash control's class, the interface the banner uses (late-bound: Play, Stop, PercentLoaded
// by name), its movie property and its ready-state event.
constexpr CLSID kFlashClassId = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr IID kFlashInterface = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr DISPID kMovieProperty = 102;
constexpr std::int32_t kReadyStateComplete = 4;

std::int32_t AsInteger(const VARIANT& value) {
    Variant converted;
    ThrowIfFailed(VariantChangeType(converted.Get(), const_cast<VARIANT*>(&value), 0, VT_I4));
    return converted.Get()->lVal;
}

// The toolbar item that hosts the control's window.
TToolbarItem* ItemOfControl(TToolbarModel& toolbar, HWND control) {
    for (TToolbarItem* item : toolbar.TopLevel()) {
        if (item->Kind() == ItemKind::Control && item->Control() == control) return item;
    }
    return nullptr;
}

}  // namespace

TBanner::TBanner(TForm& form, TToolbarControl& toolbar, TItemOwner& items)
    : form_(form), toolbar_(toolbar), items_(items) {}

void TBanner::SetUp() {
    const ToolbarSettings settings = CurrentSettings();
    if (!IsFlashInstalled() || settings.FlashUrl.empty()) return;
    auto flash = std::make_unique<TOleControl>(u"Flash");
    flash->Create(toolbar_.ToolbarHandle(), kFlashClassId);
    flash->OnEvent = [this, control = flash.get()](DISPID id, const DISPPARAMS& arguments) {
        if (id != DISPID_READYSTATECHANGE || arguments.cArgs < 1) return;
        form_.RunHandler([&] { ReadyStateChange(*control, AsInteger(arguments.rgvarg[arguments.cArgs - 1])); });
    };
    // The banner owns it from here: a failure below leaves it to Close.
    flash_ = std::move(flash);
    flash_->Call(kFlashInterface, L"Stop", DISPATCH_METHOD);

    // On the toolbar, as a control item at its end, hidden; then moved to the first place.
    SetWindowPos(flash_->Handle(), HWND_TOP, 0, 0, settings.FlashWidth, settings.FlashHeight,
                 SWP_HIDEWINDOW | SWP_NOACTIVATE);
    TToolbarItem& item = items_.Create(ItemKind::Control);
    item.SetControl(flash_->Handle(), settings.FlashWidth);
    item.SetVisible(false);
    toolbar_.Model().AppendTop(item);
    toolbar_.Model().MoveTop(*toolbar_.Model().TopLevel().back(), 0);

    // Offline, no movie is loaded and the banner stays hidden.
    const WinInetFunctions* net = AttemptConnect ? nullptr : WinInet();
    const DWORD connected = AttemptConnect ? AttemptConnect() : net ? net->InternetAttemptConnect(0) : ERROR_NOT_FOUND;
    if (connected != ERROR_SUCCESS) return;
    Variant movie;
    movie.Get()->vt = VT_BSTR;
    movie.Get()->bstrVal = SysAllocString(ToWide(settings.FlashUrl).c_str());
    flash_->PutProperty(kFlashInterface, kMovieProperty, *movie.Get());
}

void TBanner::ReadyStateChange(TOleControl& sender, std::int32_t new_state) {
    if (&sender != flash_.get() || new_state != kReadyStateComplete) return;
    if (AsInteger(*flash_->Call(kFlashInterface, L"PercentLoaded", DISPATCH_METHOD).Get()) <= 0) return;
    if (OnShowing) OnShowing();
    if (TToolbarItem* item = ItemOfControl(toolbar_.Model(), flash_->Handle())) item->SetVisible(true);
    flash_->Call(kFlashInterface, L"Play", DISPATCH_METHOD);
}

}  // namespace tb
