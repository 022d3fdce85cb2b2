#pragma once
// The band object the browser creates for the toolbar and hosts as a desk band. It takes the
// browser's band site, creates and owns the toolbar window as a child of the site's window, tells
// the browser how large the band is, reports keyboard focus, passes keystrokes on, offers four
// entries on the band's context menu and gives its class id when the browser persists the band.
//
// Interfaces answered: IInputObject, IContextMenu, IObjectWithSite, IPersistStreamInit, IPersist,
// IDeskBand, ISupportErrorInfo and IUnknown; nothing else (IOleWindow, IDockingWindow and
// IPersistStream are refused; their methods are reached as the leading methods of IDeskBand and
// IPersistStreamInit). The object can be aggregated: with an outer object, IUnknown's three methods
// of every interface go to the outer object, and the factory hands out the inner IUnknown.
//
// Every call comes on the browser's user-interface thread (apartment model); the band takes no locks.
#include <windows.h>
#include <exdisp.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <memory>

#include "band/toolbar_window_win.hpp"
#include "base/com_win.hpp"

namespace tb {

class TeToolbar final : public IInputObject,
                        public IContextMenu,
                        public IObjectWithSite,
                        public IPersistStreamInit,
                        public IDeskBand,
                        public ISupportErrorInfo {
public:
    // Makes a band object (aggregated by `outer` when not null) and asks it for `iid`; the object is
    // destroyed again when it has no such interface.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** out);

    // IUnknown (delegating to the controlling unknown)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IInputObject
    HRESULT STDMETHODCALLTYPE UIActivateIO(BOOL activate, MSG* message) override;
    HRESULT STDMETHODCALLTYPE HasFocusIO() override;
    HRESULT STDMETHODCALLTYPE TranslateAcceleratorIO(MSG* message) override;

    // IContextMenu
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first_id, UINT last_id,
                                               UINT flags) override;
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR command, UINT type, UINT* reserved, CHAR* name,
                                               UINT size) override;

    // IObjectWithSite
    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override;
    HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** out) override;

    // IPersist, IPersistStreamInit: the band keeps no persistent state.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL clear_dirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;

    // IOleWindow, IDockingWindow, IDeskBand
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
    HRESULT STDMETHODCALLTYPE ShowDW(BOOL show) override;
    HRESULT STDMETHODCALLTYPE CloseDW(DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE ResizeBorderDW(LPCRECT border, IUnknown* site, BOOL reserved) override;
    HRESULT STDMETHODCALLTYPE GetBandInfo(DWORD band_id, DWORD view_mode, DESKBANDINFO* info) override;

    // ISupportErrorInfo: S_OK for every interface the object answers, S_FALSE for others.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    // The object's own IUnknown, which never delegates: it counts references and answers queries.
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(TeToolbar& band) : band_(band) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

    private:
        TeToolbar& band_;
    };

    explicit TeToolbar(IUnknown* outer);
    ~TeToolbar();

    void NotifyFocusChange(bool focus);
    void RefreshBandInfo();
    void InstallMessageFilter(HWND window);
    void RemoveMessageFilter();
    static LRESULT CALLBACK BandMessageFilter(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                              DWORD_PTR band);

    LONG references_ = 1;
    InnerUnknown inner_;
    IUnknown* controlling_;  // the outer object, or inner_; never a counted reference

    bool has_focus_ = false;
    bool building_ = false;              // GetWindow is making the window
    bool close_while_building_ = false;  // CloseDW came meanwhile
    HWND parent_window_ = nullptr;
    DWORD band_id_ = 0;
    Microsoft::WRL::ComPtr<IInputObjectSite> input_object_site_;
    int menu_item_count_ = 0;
    HWND filtered_window_ = nullptr;  // the window whose messages pass the filter
    Microsoft::WRL::ComPtr<IOleCommandTarget> command_target_;
    std::unique_ptr<ToolbarWindow> toolbar_window_;
    Microsoft::WRL::ComPtr<IWebBrowser2> browser_;
    Variant new_browser_window_;
};

}  // namespace tb
