#pragma once
// Hosts a toolbar band in the stand-in browser the way the browser does: the band object comes from
// the library's class factory (or is handed over), gets the site, is asked for its window, shown,
// measured with GetBandInfo and placed in a band of the frame's rebar; closing reverses it.
#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>

#include "base/handle_win.hpp"
#include "host/stand_in_browser_win.hpp"

namespace tb::host {

class BandHost {
public:
    explicit BandHost(StandInBrowser& browser);
    BandHost(const BandHost&) = delete;
    BandHost& operator=(const BandHost&) = delete;
    ~BandHost();  // Close(), then frees the library if one was loaded

    // Loads the library by path and creates the band of that class through its class factory.
    // Raises ComError or Error with the reason when it cannot.
    void Load(const std::wstring& library_path, const CLSID& class_id);
    // Creates the band through COM by its class id, as the browser does, so the registry entries that
    // registration wrote are what finds the library. Raises ComError when it cannot.
    void Create(const CLSID& class_id);
    // Hosts a band object that already exists (for instance one made in the test's own process).
    void Host(IUnknown* band);
    // ShowDW(FALSE), CloseDW, then the band is released. Nothing happens when no band is hosted.
    void Close();

    IDeskBand* Band() const { return band_.Get(); }
    // Called with the new band before it gets the site (and builds its toolbar): lets a test reach
    // the band while it builds.
    std::function<void(IDeskBand*)> OnCreated;
    bool Hosting() const { return band_ != nullptr; }
    HWND BandWindow() const { return band_window_; }
    const DESKBANDINFO& BandInfo() const { return info_; }
    // Asks GetBandInfo again and sizes the band's rebar band by it, as the browser does on a
    // "band info changed" command.
    void Refresh();
    // The class id whose bar the browser was last asked to show or hide, as "{...}".
    const std::wstring& ClassIdText() const { return class_id_text_; }

private:
    StandInBrowser& browser_;
    UniqueModule library_;
    Microsoft::WRL::ComPtr<IDeskBand> band_;
    HWND band_window_ = nullptr;
    DESKBANDINFO info_{};
    std::wstring class_id_text_;
};

}  // namespace tb::host
