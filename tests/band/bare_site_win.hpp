#pragma once
// A band site that offers less than the browser's: its window, its command target and a browser
// that is no event source, without focus reports. For the band's answers to such a site.
#include <windows.h>
#include <exdisp.h>
#include <shobjidl.h>

#include "host/browser_stub_win.hpp"

namespace tb::testing_support {

// An IWebBrowser2 that answers nothing but its identity: no connection points, every call E_NOTIMPL.
class BareBrowser final : public host::BrowserStub {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID_IWebBrowser && iid != IID_IWebBrowserApp &&
            iid != IID_IWebBrowser2) {
            return E_NOINTERFACE;
        }
        *out = static_cast<IWebBrowser2*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

    LONG references = 1;  // lives on the test's stack
};

// A site with a window, a command target and a service provider that hands out `browser`, and no
// IInputObjectSite.
class BareSite final : public IOleWindow, public IOleCommandTarget, public IServiceProvider {
public:
    BareSite(HWND window, IWebBrowser2* browser) : window_(window), browser_(browser) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleWindow) {
            *out = static_cast<IOleWindow*>(this);
        } else if (iid == IID_IOleCommandTarget) {
            *out = static_cast<IOleCommandTarget*>(this);
        } else if (iid == IID_IServiceProvider) {
            *out = static_cast<IServiceProvider*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        *window = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) override {
        ++exec_calls;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID, REFIID iid, void** out) override {
        if (!browser_) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return browser_->QueryInterface(iid, out);
    }

    LONG references = 1;  // lives on the test's stack
    int exec_calls = 0;

private:
    HWND window_;
    IWebBrowser2* browser_;
};

}  // namespace tb::testing_support
