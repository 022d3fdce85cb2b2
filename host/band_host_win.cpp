#include "host/band_host_win.hpp"

#include "base/com_win.hpp"
#include "base/errors.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"

namespace tb::host {
namespace {

using Microsoft::WRL::ComPtr;
using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// Every field the browser asks a band for.
constexpr DWORD kAllBandInfo = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                               DBIM_MODEFLAGS | DBIM_BKCOLOR;

std::wstring GuidText(const CLSID& id) {
    wchar_t text[64] = {};
    StringFromGUID2(id, text, 64);
    return text;
}

}  // namespace

BandHost::BandHost(StandInBrowser& browser) : browser_(browser) {
    browser_.SetBarHandler([this](const std::wstring& class_id, bool show) {
        if (!band_ || _wcsicmp(class_id.c_str(), class_id_text_.c_str()) != 0) return;
        band_->ShowDW(show ? TRUE : FALSE);
        browser_.ShowBand(band_window_, show);
    });
    browser_.SetBandInfoHandler([this] { Refresh(); });
}

BandHost::~BandHost() {
    browser_.SetBarHandler(nullptr);
    browser_.SetBandInfoHandler(nullptr);
    Close();
    library_.Reset();  // after the band is gone, never before
}

void BandHost::Load(const std::wstring& library_path, const CLSID& class_id) {
    library_.Reset(LoadLibraryW(library_path.c_str()));
    if (!library_) {
        throw Error("Cannot load " + Utf16ToAnsi(FromWide(library_path)) + ". " +
                    SystemErrorMessage(static_cast<int>(GetLastError())));
    }
    const auto get_class_object =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(library_.Get(), "DllGetClassObject")));
    if (!get_class_object) throw Error("The library has no DllGetClassObject.");
    ComPtr<IClassFactory> factory;
    ThrowIfFailed(get_class_object(class_id, IID_PPV_ARGS(factory.GetAddressOf())));
    ComPtr<IUnknown> band;
    ThrowIfFailed(factory->CreateInstance(nullptr, IID_PPV_ARGS(band.GetAddressOf())));
    class_id_text_ = GuidText(class_id);
    Host(band.Get());
}

void BandHost::Create(const CLSID& class_id) {
    ComPtr<IUnknown> band;
    ThrowIfFailed(CoCreateInstance(class_id, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(band.GetAddressOf())));
    class_id_text_ = GuidText(class_id);
    Host(band.Get());
}

void BandHost::Host(IUnknown* band) {
    Close();
    ComPtr<IDeskBand> desk_band;
    ThrowIfFailed(band->QueryInterface(IID_PPV_ARGS(desk_band.GetAddressOf())));
    ComPtr<IObjectWithSite> with_site;
    ThrowIfFailed(band->QueryInterface(IID_PPV_ARGS(with_site.GetAddressOf())));
    if (class_id_text_.empty()) {
        ComPtr<IPersist> persist;
        CLSID id;
        if (SUCCEEDED(band->QueryInterface(IID_PPV_ARGS(persist.GetAddressOf()))) &&
            SUCCEEDED(persist->GetClassID(&id))) {
            class_id_text_ = GuidText(id);
        }
    }
    if (OnCreated) OnCreated(desk_band.Get());
    ThrowIfFailed(with_site->SetSite(browser_.Site()));
    HWND window = nullptr;
    ThrowIfFailed(desk_band->GetWindow(&window));
    band_ = desk_band;
    band_window_ = window;
    band_->ShowDW(TRUE);
    Refresh();
    ShowWindow(band_window_, SW_SHOW);
}

void BandHost::Refresh() {
    if (!band_) return;
    info_ = DESKBANDINFO{};
    info_.dwMask = kAllBandInfo;
    if (FAILED(band_->GetBandInfo(0, DBIF_VIEWMODE_NORMAL, &info_))) return;
    // The rebar places the window: its band's height, the row's width.
    if (band_window_) browser_.UpdateBand(band_window_, info_);
}

void BandHost::Close() {
    if (!band_) return;
    // Out of the rebar first: the window goes with CloseDW.
    browser_.RemoveBand(band_window_);
    band_->ShowDW(FALSE);
    band_->CloseDW(0);
    ComPtr<IObjectWithSite> with_site;
    if (SUCCEEDED(band_.As(&with_site))) with_site->SetSite(nullptr);
    band_.Reset();
    band_window_ = nullptr;
}

}  // namespace tb::host
