#pragma once
// The stand-in browser: everything the browser offers a hosted toolbar band, for hosting the band
// where the real browser cannot run. It answers the band site's interfaces (IInputObjectSite,
// IOleWindow, IOleCommandTarget, IServiceProvider), an IWebBrowser2 that navigates, reports its
// width, takes status texts and shows or hides bars (every other method is E_NOTIMPL), and a
// connection point that delivers DWebBrowserEvents2 through IDispatch::Invoke. Its top-level window
// has the browser frame's class "IEFrame" and shows the address it was last asked to open.
//
// It records every call it gets, so tests can check what a band asked of it. All of it lives on the
// thread that made it, which must have COM initialised and process window messages.
#include <windows.h>
#include <exdisp.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

namespace tb::host {

// A VARIANT argument as the stand-in saw it: its type tag and, for the simple kinds, its value.
struct ArgumentSeen {
    VARTYPE type = VT_EMPTY;
    long long integer = 0;    // VT_I4, VT_I2, VT_UI4, VT_BOOL (VARIANT_BOOL) and VT_INT
    std::wstring text;        // VT_BSTR
    bool operator==(const ArgumentSeen&) const = default;
};
ArgumentSeen DescribeArgument(const VARIANT* argument);

struct NavigateCall {
    std::wstring url;
    ArgumentSeen flags, target_frame, post_data, headers;
    bool same_optional_variant = false;  // the four optional arguments point to one variant
};

struct ShowBarCall {
    ArgumentSeen class_id, show, size;
};

struct ExecCall {
    GUID group{};
    DWORD command = 0;
    DWORD option = 0;
    ArgumentSeen input;
    bool has_output = false;
};

struct FocusChange {
    IUnknown* object = nullptr;  // not a counted reference: only compared
    bool focus = false;
};

struct EventDelivery {
    DISPID id = 0;
    HRESULT result = S_OK;
};

// What the stand-in was asked, in order of arrival per kind.
struct BrowserRecord {
    std::vector<NavigateCall> navigations;
    std::vector<std::wstring> status_texts;
    std::vector<ShowBarCall> bar_calls;
    int width_queries = 0;
    std::vector<FocusChange> focus_changes;
    std::vector<ExecCall> exec_calls;
    int window_queries = 0;
    std::vector<GUID> service_queries;  // the service ids asked for
    std::vector<EventDelivery> events;  // one entry per sink and event
};

class BrowserObject;
class BandSiteObject;

class StandInBrowser {
public:
    StandInBrowser();
    StandInBrowser(const StandInBrowser&) = delete;
    StandInBrowser& operator=(const StandInBrowser&) = delete;
    // Destroys the windows and drops every event sink. COM references that a band still holds stay
    // valid, but their calls then fail with RPC_E_DISCONNECTED.
    ~StandInBrowser();

    // The band site to hand to IObjectWithSite::SetSite, and the browser it offers.
    IUnknown* Site() const;
    IWebBrowser2* Browser() const;

    HWND Frame() const { return frame_; }
    // The frame's rebar, which holds the bands: the site's window, and every band window's parent.
    HWND BandArea() const { return band_area_; }

    // The rebar's band for a band window: added with the band's sizes, changed when they change,
    // shown or hidden, removed. A band's window fills its band's height; the last band of a row
    // takes the rest of the row.
    void AddBand(HWND window, const DESKBANDINFO& info);
    void UpdateBand(HWND window, const DESKBANDINFO& info);
    void ShowBand(HWND window, bool show);
    void RemoveBand(HWND window);
    // Whether the rebar holds a band for the window, and whether that band shows.
    bool HoldsBand(HWND window) const;
    bool BandShown(HWND window) const;
    // The address the frame shows: the last one navigated to that was not cancelled.
    std::wstring Address() const { return address_; }
    std::wstring StatusText() const;

    const BrowserRecord& Record() const { return record_; }
    BrowserRecord& Record() { return record_; }

    // The result Navigate returns from now on; a failure records the call and opens nothing.
    void SetNavigateResult(HRESULT result) { navigate_result_ = result; }
    // Called (from the message loop, after ShowBrowserBar returned) with the class id and the wish.
    void SetBarHandler(std::function<void(const std::wstring& class_id, bool show)> handler) {
        bar_handler_ = std::move(handler);
    }

    // Called (from the message loop, after Exec returned) when the band says its band info changed.
    void SetBandInfoHandler(std::function<void()> handler) { band_info_handler_ = std::move(handler); }

    // Delivers one event to every connected sink. `arguments` are in the event's declared order;
    // they are passed as given, so by-reference arguments let a sink write back. Returns the result
    // of the last sink (S_OK when none is connected).
    HRESULT FireEvent(DISPID id, std::vector<VARIANTARG> arguments);
    size_t SinkCount() const;

    // Handles the browser's own queued work (the end of a navigation, the bar wishes): the message
    // loop does it anyway, tests that do not run one call this.
    void ProcessPending();

    // The frame window's message handling.
    static LRESULT CALLBACK FrameProcEntry(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

private:
    friend class BrowserObject;
    friend class BandSiteObject;
    friend class EventConnectionPoint;
    void Layout();
    int BandIndex(HWND window) const;
    HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* target_frame, VARIANT* post_data, VARIANT* headers);
    void FinishNavigation(const std::wstring& url);
    void ShowBar(VARIANT* class_id, VARIANT* show, VARIANT* size);

    HWND frame_ = nullptr;
    HWND band_area_ = nullptr;
    HWND address_label_ = nullptr;
    HWND status_bar_ = nullptr;
    std::wstring address_;
    std::vector<std::wstring> pending_navigations_;
    std::vector<std::pair<std::wstring, bool>> pending_bars_;
    HRESULT navigate_result_ = S_OK;
    std::function<void(const std::wstring&, bool)> bar_handler_;
    std::function<void()> band_info_handler_;
    bool band_info_changed_ = false;
    BrowserRecord record_;
    Microsoft::WRL::ComPtr<BrowserObject> browser_;
    Microsoft::WRL::ComPtr<BandSiteObject> site_;
};

}  // namespace tb::host
