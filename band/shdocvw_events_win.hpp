#pragma once
// The sink for the hosting browser's DWebBrowserEvents2 events. It is a component owned by the
// toolbar window, not a reference-counted COM object: AddRef and Release change nothing, and the
// owner decides how long it lives (destruction disconnects it).
//
// Each event becomes a call of an assignable handler, which receives the sink as Sender and then
// the event's parameters. Strings are copied; by-reference parameters refer to the browser's own
// storage, so a handler that sets Cancel writes through to the browser.
//
// Every argument is checked against the type the event declares before any handler runs: a call
// whose argument has another type tag is refused with DISP_E_TYPEMISMATCH, one with fewer arguments
// than the event declares with DISP_E_BADPARAMCOUNT. Unknown events give DISP_E_MEMBERNOTFOUND, a
// handler's failure E_UNEXPECTED.
#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

namespace tb {

// IDispatch for one event interface, connected to a source through its connection point.
class TSHDocVwEventsBaseSink : public IDispatch {
public:
    TSHDocVwEventsBaseSink(std::string name, const IID& sink_iid);
    TSHDocVwEventsBaseSink(const TSHDocVwEventsBaseSink&) = delete;
    TSHDocVwEventsBaseSink& operator=(const TSHDocVwEventsBaseSink&) = delete;
    virtual ~TSHDocVwEventsBaseSink();  // Disconnect()

    // The component's name, as failure texts show it.
    const std::string& Name() const { return name_; }
    const IID& SinkIID() const { return sink_iid_; }
    bool Connected() const { return source_ != nullptr; }

    // Disconnects, then advises the source's connection point for the event interface. A step that
    // fails raises Error "Unable to connect <name>.\r<reason>" and leaves the sink disconnected.
    void Connect(IUnknown* source);
    // Unadvises when connected. A failing Unadvise is swallowed: the sink counts as disconnected, and
    // the references to the source are dropped without being released (the source may be gone).
    void Disconnect() noexcept;

    // IUnknown: IUnknown, IDispatch and the event interface, all as this IDispatch.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // IDispatch: no type information; events arrive through Invoke only.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    // Only method calls; the result, exception-info and argument-error outputs are never written.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override;

protected:
    // map[k] is the index in parameters.rgvarg of the event's parameter k (the arguments arrive in
    // reverse order; named arguments go where their DISPIDs say). map has parameters.cArgs entries.
    virtual HRESULT DoInvoke(DISPID id, const DISPPARAMS& parameters, const std::vector<UINT>& map) = 0;
    virtual const char* ClassName() const = 0;

private:
    std::string name_;
    DWORD cookie_ = 0;
    Microsoft::WRL::ComPtr<IConnectionPoint> connection_point_;
    IID sink_iid_;
    Microsoft::WRL::ComPtr<IUnknown> source_;
};

class TSHDocVwDWebBrowserEvents2 final : public TSHDocVwEventsBaseSink {
public:
    using Sender = TSHDocVwDWebBrowserEvents2&;

    explicit TSHDocVwDWebBrowserEvents2(std::string name = "BrowserEvents");

    // One slot per event, empty by default.
    std::function<void(Sender, const std::wstring& text)> StatusTextChange;
    std::function<void(Sender, LONG progress, LONG progress_max)> ProgressChange;
    std::function<void(Sender, LONG command, VARIANT_BOOL enable)> CommandStateChange;
    std::function<void(Sender)> DownloadBegin;
    std::function<void(Sender)> DownloadComplete;
    std::function<void(Sender, const std::wstring& text)> TitleChange;
    std::function<void(Sender, const std::wstring& property)> PropertyChange;
    std::function<void(Sender, IDispatch* disp, VARIANT& url, VARIANT& flags, VARIANT& target_frame_name,
                       VARIANT& post_data, VARIANT& headers, VARIANT_BOOL& cancel)>
        BeforeNavigate2;
    std::function<void(Sender, IDispatch*& disp, VARIANT_BOOL& cancel)> NewWindow2;
    std::function<void(Sender, IDispatch* disp, VARIANT& url)> NavigateComplete2;
    std::function<void(Sender, IDispatch* disp, VARIANT& url)> DocumentComplete;
    std::function<void(Sender)> OnQuit;
    std::function<void(Sender, VARIANT_BOOL visible)> OnVisible;
    std::function<void(Sender, VARIANT_BOOL tool_bar)> OnToolBar;
    std::function<void(Sender, VARIANT_BOOL menu_bar)> OnMenuBar;
    std::function<void(Sender, VARIANT_BOOL status_bar)> OnStatusBar;
    std::function<void(Sender, VARIANT_BOOL full_screen)> OnFullScreen;
    std::function<void(Sender, VARIANT_BOOL theater_mode)> OnTheaterMode;
    std::function<void(Sender, VARIANT_BOOL resizable)> WindowSetResizable;
    std::function<void(Sender, LONG left)> WindowSetLeft;
    std::function<void(Sender, LONG top)> WindowSetTop;
    std::function<void(Sender, LONG width)> WindowSetWidth;
    std::function<void(Sender, LONG height)> WindowSetHeight;
    std::function<void(Sender, VARIANT_BOOL is_child_window, VARIANT_BOOL& cancel)> WindowClosing;
    std::function<void(Sender, LONG& cx, LONG& cy)> ClientToHostWindow;
    std::function<void(Sender, LONG secure_lock_icon)> SetSecureLockIcon;
    std::function<void(Sender, VARIANT_BOOL active_document, VARIANT_BOOL& cancel)> FileDownload;
    std::function<void(Sender, IDispatch* disp, VARIANT& url, VARIANT& frame, VARIANT& status_code,
                       VARIANT_BOOL& cancel)>
        NavigateError;
    std::function<void(Sender, IDispatch* disp)> PrintTemplateInstantiation;
    std::function<void(Sender, IDispatch* disp)> PrintTemplateTeardown;
    std::function<void(Sender, IDispatch* disp, VARIANT& page, VARIANT& done)> UpdatePageStatus;
    std::function<void(Sender, VARIANT_BOOL impacted)> PrivacyImpactedStateChange;
    std::function<void(Sender, IDispatch*& disp, VARIANT_BOOL& cancel, ULONG flags, const std::wstring& url_context,
                       const std::wstring& url)>
        NewWindow3;
    std::function<void(Sender, LONG phishing_filter_status)> SetPhishingFilterStatus;
    std::function<void(Sender, ULONG window_state_flags, ULONG valid_flags_mask)> WindowStateChanged;

protected:
    HRESULT DoInvoke(DISPID id, const DISPPARAMS& parameters, const std::vector<UINT>& map) override;
    const char* ClassName() const override { return "TSHDocVwDWebBrowserEvents2"; }
};

}  // namespace tb
