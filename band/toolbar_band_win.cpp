#include "band/toolbar_band_win.hpp"

#include <commctrl.h>
#include <shlguid.h>

#include <string>

#include "band/class_id_win.hpp"
#include "band/com_server_win.hpp"
#include "base/boundary_win.hpp"
#include "base/text.hpp"
#include "settings/navigation_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "toolkit/dpi_win.hpp"
#include "toolkit/window_subclass_win.hpp"

namespace tb {
namespace {

// The band's message filter among the subclasses of its window.
constexpr UINT_PTR kBandSubclassId = 0x54624264;

constexpr int kMenuEntries = 4;
// Without the full-size option the band is at least this wide.
constexpr LONG kNarrowMinimumWidth = 275;
// With it, the band takes the primary display's width less this margin.
constexpr LONG kFullSizeMargin = 20;

void Trace(const std::string& text) { OutputDebugStringA((text + "\n").c_str()); }

}  // namespace

// Life of the object

HRESULT TeToolbar::Create(IUnknown* outer, REFIID iid, void** out) {
    // The band may be aggregated, so its first reference is its inner unknown's: that reference keeps
    // the object alive across the query, and its release destroys the object when the query failed.
    const Microsoft::WRL::ComPtr<IUnknown> inner = AdoptFirstReference<IUnknown>(&(new TeToolbar(outer))->inner_);
    return inner->QueryInterface(iid, out);
}

TeToolbar::TeToolbar(IUnknown* outer) : inner_(*this), controlling_(outer ? outer : &inner_) { AddLiveObject(); }

TeToolbar::~TeToolbar() {
    // A browser closes the band before releasing it. One that does not would leave a window whose
    // messages pass through this object's filter, and code of a library that may be unloaded: the
    // window goes with its owner.
    if (toolbar_window_) {
        try {
            toolbar_window_.reset();
        } catch (...) {
            Trace("band: destroying the toolbar window failed: " + MessageOfCaughtException());
        }
    }
    RemoveMessageFilter();
    RemoveLiveObject();
}

HRESULT STDMETHODCALLTYPE TeToolbar::InnerUnknown::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown)) {
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    TeToolbar* band = &band_;
    return QueryInterfaceFromTable(band, iid, out,
                                   {TB_QI_ENTRY(TeToolbar, IInputObject), TB_QI_ENTRY(TeToolbar, IContextMenu),
                                    TB_QI_ENTRY(TeToolbar, IObjectWithSite), TB_QI_ENTRY(TeToolbar, IPersistStreamInit),
                                    InterfaceEntry{&IID_IPersist, &CastToInterface<TeToolbar, IPersistStreamInit>},
                                    TB_QI_ENTRY(TeToolbar, IDeskBand), TB_QI_ENTRY(TeToolbar, ISupportErrorInfo)});
}

ULONG STDMETHODCALLTYPE TeToolbar::InnerUnknown::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&band_.references_));
}

ULONG STDMETHODCALLTYPE TeToolbar::InnerUnknown::Release() {
    const LONG left = InterlockedDecrement(&band_.references_);
    if (left == 0) delete &band_;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE TeToolbar::QueryInterface(REFIID iid, void** out) {
    return controlling_->QueryInterface(iid, out);
}
ULONG STDMETHODCALLTYPE TeToolbar::AddRef() { return controlling_->AddRef(); }
ULONG STDMETHODCALLTYPE TeToolbar::Release() { return controlling_->Release(); }

// IObjectWithSite

HRESULT STDMETHODCALLTYPE TeToolbar::SetSite(IUnknown* site) {
    return ComBoundary([&]() -> HRESULT {
        // A null site changes nothing: what an earlier site gave stays until the object goes.
        if (!site) return S_OK;
        // A site that lacks one of the interfaces leaves that reference null; the band then does
        // without it (no focus reports, no parent window, no size refresh, no browser).
        input_object_site_.Reset();
        site->QueryInterface(IID_PPV_ARGS(input_object_site_.GetAddressOf()));
        Microsoft::WRL::ComPtr<IOleWindow> site_window;
        parent_window_ = nullptr;
        if (SUCCEEDED(site->QueryInterface(IID_PPV_ARGS(site_window.GetAddressOf()))) &&
            site_window) {
            HWND window = nullptr;
            site_window->GetWindow(&window);
            parent_window_ = window;
        }
        command_target_.Reset();
        site->QueryInterface(IID_PPV_ARGS(command_target_.GetAddressOf()));
        browser_.Reset();
        Microsoft::WRL::ComPtr<IServiceProvider> services;
        if (command_target_ && SUCCEEDED(command_target_.As(&services)) && services) {
            // (Not through Attach: this toolchain's ComPtr::Attach adds a reference of its own.)
            services->QueryService(SID_SWebBrowserApp, IID_PPV_ARGS(browser_.ReleaseAndGetAddressOf()));
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE TeToolbar::GetSite(REFIID iid, void** out) {
    // The band keeps no reference to the site's IUnknown: it answers through the site's
    // IInputObjectSite, the same object.
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!input_object_site_) return E_FAIL;
    return input_object_site_->QueryInterface(iid, out);
}

// IDeskBand and its IOleWindow and IDockingWindow methods

HRESULT STDMETHODCALLTYPE TeToolbar::GetWindow(HWND* window) {
    return ComBoundary([&]() -> HRESULT {
        if (!window) return E_POINTER;
        *window = nullptr;
        if (!toolbar_window_) {
            const ToolbarParts parts = LibraryToolbarParts();
            if (!parts.create_window) return E_NOTIMPL;
            // The build runs a message loop (a slow update, a box): the browser may close the band
            // meanwhile. The close is kept and carried out once the window exists.
            building_ = true;
            close_while_building_ = false;
            std::unique_ptr<ToolbarWindow> created;
            try {
                created = parts.create_window(parent_window_);
            } catch (...) {
                building_ = false;
                throw;
            }
            building_ = false;
            if (close_while_building_) {
                created.reset();
                return HRESULT_FROM_WIN32(ERROR_CANCELLED);
            }
            if (!created) return E_FAIL;
            created->SetBrowser(browser_.Get());
            if (browser_) {
                // Without the browser's events the toolbar still works (it only misses repaints
                // after page loads), so a failed connection does not keep the band from showing.
                try {
                    created->BrowserEvents().Connect(browser_.Get());
                } catch (...) {
                    Trace(MessageOfCaughtException());
                }
            }
            // Esc in the window gives the focus back to the page: the browser hears it.
            created->OnFocusLeft = [this] {
                has_focus_ = false;
                NotifyFocusChange(false);
            };
            toolbar_window_ = std::move(created);
        }
        const HWND handle = toolbar_window_->Handle();
        if (!handle) return E_FAIL;
        // The filter stays on the window it was put on; a window made anew gets it again.
        if (handle != filtered_window_) InstallMessageFilter(handle);
        *window = handle;
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE TeToolbar::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TeToolbar::ShowDW(BOOL show) {
    // The band only reports focus here; the browser shows and hides the window itself.
    has_focus_ = show != FALSE;
    NotifyFocusChange(has_focus_);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TeToolbar::CloseDW(DWORD) {
    return ComBoundary([&]() -> HRESULT {
        // A close during the build is carried out when the build returns (see GetWindow).
        if (building_) close_while_building_ = true;
        // The window's destruction disconnects its event sink. The band forgets the window first:
        // messages of the destruction pass the filter, and a call that arrives meanwhile finds none.
        std::unique_ptr<ToolbarWindow> closing = std::move(toolbar_window_);
        closing.reset();
        RemoveMessageFilter();
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE TeToolbar::ResizeBorderDW(LPCRECT, IUnknown*, BOOL) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TeToolbar::GetBandInfo(DWORD band_id, DWORD, DESKBANDINFO* info) {
    return ComBoundary([&]() -> HRESULT {
        band_id_ = band_id;
        if (!info) return E_INVALIDARG;
        // Before the first GetWindow there is no window to measure: its sizes count as zero.
        RECT bounds{};
        if (toolbar_window_) {
            const HWND handle = toolbar_window_->Handle();
            if (handle) GetWindowRect(handle, &bounds);
        }
        const LONG width = bounds.right - bounds.left;
        const LONG height = bounds.bottom - bounds.top;
        if (info->dwMask & DBIM_MINSIZE) {
            info->ptMinSize.x =
                CurrentSettings().FullSize ? GetSystemMetrics(SM_CXSCREEN) - kFullSizeMargin : kNarrowMinimumWidth;
            info->ptMinSize.y = height;
        }
        if (info->dwMask & DBIM_MAXSIZE) info->ptMaxSize = {-1, -1};
        if (info->dwMask & DBIM_INTEGRAL) info->ptIntegral = {1, 1};
        if (info->dwMask & DBIM_ACTUAL) info->ptActual = {width, height};
        // No title (wszTitle stays as it is) and no background colour of the band's own.
        info->dwMask &= ~static_cast<DWORD>(DBIM_TITLE | DBIM_BKCOLOR);
        if (info->dwMask & DBIM_MODEFLAGS) info->dwModeFlags = DBIMF_NORMAL;
        return S_OK;
    });
}

// IInputObject

HRESULT STDMETHODCALLTYPE TeToolbar::UIActivateIO(BOOL activate, MSG* message) {
    return ComBoundary([&]() -> HRESULT {
        has_focus_ = activate != FALSE;
        // Before the first GetWindow there is nothing to focus. A window that cannot take the focus
        // now (hidden or disabled) leaves it where it is; the browser's activation still succeeds.
        if (has_focus_ && toolbar_window_) {
            try {
                // A Tab brings the focus in at the first stop, Shift+Tab at the last.
                if (message != nullptr && message->message == WM_KEYDOWN && message->wParam == VK_TAB) {
                    toolbar_window_->EnterFocus(GetKeyState(VK_SHIFT) < 0);
                } else {
                    toolbar_window_->TakeFocus();
                }
            } catch (...) {
                Trace("band: the toolbar window cannot take the focus: " + MessageOfCaughtException());
            }
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE TeToolbar::HasFocusIO() { return has_focus_ ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE TeToolbar::TranslateAcceleratorIO(MSG* message) {
    if (!message) return E_INVALIDARG;
    // A Tab moves among the window's stops; past either end it goes back to the browser, which
    // moves the focus on.
    if (message->wParam == VK_TAB) {
        if (message->message != WM_KEYDOWN || !toolbar_window_) return S_FALSE;
        bool moved = false;
        WindowBoundary([&] {
            moved = toolbar_window_->MoveFocus(GetKeyState(VK_SHIFT) >= 0);
            return LRESULT{0};
        });
        return moved ? S_OK : S_FALSE;
    }
    TranslateMessage(message);
    DispatchMessageA(message);
    return S_OK;
}

// IContextMenu

HRESULT STDMETHODCALLTYPE TeToolbar::QueryContextMenu(HMENU menu, UINT index, UINT first_id, UINT, UINT) {
    // Inserted bottom first at the same position, so they read top to bottom in this order. The
    // browser's id range is not consulted.
    static const char* const kEntries[kMenuEntries] = {"Update Bandinfo", "About Toolbar...", "Toolbar Website",
                                                       "Toolbar Support"};
    for (int i = kMenuEntries - 1; i >= 0; --i) {
        if (!InsertMenuA(menu, index, MF_BYPOSITION | MF_STRING, first_id + static_cast<UINT>(i), kEntries[i])) {
            const DWORD error = GetLastError();
            return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
        }
    }
    menu_item_count_ = kMenuEntries;
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, kMenuEntries);
}

HRESULT STDMETHODCALLTYPE TeToolbar::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    return ComBoundary([&]() -> HRESULT {
        if (!info) return E_INVALIDARG;
        const auto verb = reinterpret_cast<UINT_PTR>(info->lpVerb);
        // A verb given as text, or an offset past the entries added, is no command of the band.
        if ((verb >> 16) != 0) return E_FAIL;
        const UINT offset = LOWORD(verb);
        if (offset >= static_cast<UINT>(menu_item_count_)) return E_FAIL;
        // The user chose the command: a failure is shown in the error box, as the toolbar shows
        // its own, and its code is the result.
        try {
            switch (offset) {
                case 0: RefreshBandInfo(); break;
                case 1: {
                    const ToolbarParts parts = LibraryToolbarParts();
                    if (!parts.show_about_box) return E_NOTIMPL;
                    parts.show_about_box(false);
                    break;
                }
                case 2: NavigateTo(browser_.Get(), new_browser_window_, CurrentSettings().HomePageUrl); break;
                case 3: NavigateTo(browser_.Get(), new_browser_window_, CurrentSettings().ContactEmail); break;
                default: break;
            }
        } catch (...) {
            const HRESULT code = HresultFromCaughtException();
            ShowErrorBox(MessageOfCaughtException());
            return code;
        }
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE TeToolbar::GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) { return S_OK; }

// IPersist and IPersistStreamInit

HRESULT STDMETHODCALLTYPE TeToolbar::GetClassID(CLSID* id) {
    return ComBoundary([&]() -> HRESULT {
        if (!id) return E_POINTER;
        *id = ClassIdFromText(CurrentSettings().ToolbarGuid);
        return S_OK;
    });
}

HRESULT STDMETHODCALLTYPE TeToolbar::IsDirty() { return S_FALSE; }
HRESULT STDMETHODCALLTYPE TeToolbar::Load(IStream*) { return S_OK; }
HRESULT STDMETHODCALLTYPE TeToolbar::Save(IStream*, BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE TeToolbar::GetSizeMax(ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE TeToolbar::InitNew() { return E_NOTIMPL; }

// ISupportErrorInfo

HRESULT STDMETHODCALLTYPE TeToolbar::InterfaceSupportsErrorInfo(REFIID iid) {
    IUnknown* found = nullptr;
    if (FAILED(inner_.QueryInterface(iid, reinterpret_cast<void**>(&found))) || !found) return S_FALSE;
    found->Release();
    return S_OK;
}

// Focus, size refresh and the message filter

void TeToolbar::NotifyFocusChange(bool focus) {
    if (input_object_site_) input_object_site_->OnFocusChangeIS(controlling_, focus ? TRUE : FALSE);
}

void TeToolbar::RefreshBandInfo() {
    if (!command_target_) return;
    Variant input;
    input.Get()->vt = VT_I4;
    input.Get()->lVal = static_cast<LONG>(band_id_);
    Variant output;
    // So that the browser asks GetBandInfo again; its answer is not looked at.
    command_target_->Exec(&CGID_DeskBand, DBID_BANDINFOCHANGED, OLECMDEXECOPT_DODEFAULT, input.Get(), output.Get());
}

void TeToolbar::InstallMessageFilter(HWND window) {
    RemoveMessageFilter();
    if (!AddSubclass(window, &TeToolbar::BandMessageFilter, kBandSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        return;
    }
    filtered_window_ = window;
}

void TeToolbar::RemoveMessageFilter() {
    if (!filtered_window_) return;
    if (IsWindow(filtered_window_)) RemoveSubclass(filtered_window_, &TeToolbar::BandMessageFilter, kBandSubclassId);
    filtered_window_ = nullptr;
}

LRESULT CALLBACK TeToolbar::BandMessageFilter(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                              DWORD_PTR data) {
    auto* band = reinterpret_cast<TeToolbar*>(data);
    if (message == WM_PARENTNOTIFY) {
        // A child control was made or destroyed, or clicked: the band reports the focus.
        WindowBoundary([&] {
            band->has_focus_ = true;
            band->NotifyFocusChange(true);
            return LRESULT{0};
        });
    } else if (message == WM_NCDESTROY) {
        // The window's last message: the filter steps out before the window's own handling ends it.
        band->RemoveMessageFilter();
    } else if (message == kDpiChangedMessage || message == kDpiChangedAfterParentMessage) {
        // The toolbar lays itself out at the new scale; then the browser is asked to measure the
        // band again, so the band's height follows the toolbar's.
        const LRESULT result = CallNextSubclass(window, message, wparam, lparam);
        WindowBoundary([&] {
            band->RefreshBandInfo();
            return LRESULT{0};
        });
        return result;
    }
    return CallNextSubclass(window, message, wparam, lparam);
}

}  // namespace tb
