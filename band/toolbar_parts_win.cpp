// What this library puts behind the band: the toolbar window (TFormToolbar), built from the
// template of the library's data folder (or the template the library carries), and the about box.
#include <windows.h>

#include <memory>

#include "about/about_box_win.hpp"
#include "band/module_win.hpp"
#include "band/toolbar_window_win.hpp"
#include "base/errors.hpp"
#include "toolbar/toolbar_form_win.hpp"

namespace tb {
namespace {

// The band's event sink, owned by the window it serves: the window disconnects it when it is
// destroyed, which may be later than the band lets go of it (a window closed inside one of its own
// handlers is destroyed on the next turn of the message loop).
class OwnedSink final : public BrowserEventSink {
public:
    TSHDocVwDWebBrowserEvents2 events{"BrowserEvents"};
    void Disconnect() noexcept override { events.Disconnect(); }
};

class FormToolbarWindow final : public ToolbarWindow {
public:
    explicit FormToolbarWindow(HWND parent) : form_(TFormToolbar::New()) {
        TFormToolbar& form = *form_;
        auto sink = std::make_unique<OwnedSink>();
        events_ = &sink->events;
        events_->DocumentComplete = [&form](TSHDocVwDWebBrowserEvents2&, IDispatch* browser, VARIANT& url) {
            form.BrowserEventsDocumentComplete(browser, &url);
        };
        form.SetBrowserEvents(std::move(sink));
        form.OnFocusLeave = [this] {
            if (OnFocusLeft) OnFocusLeft();
        };
        TFormToolbar::CreateArgs args;
        args.parent = parent;
        args.resources = LibraryModule();
        if (!form.Construct(args)) {
            // Closed while it was being built: the window is gone already.
            (void)form_.release();
            throw Error("The toolbar was closed while it was being built.");
        }
    }

    HWND Handle() override { return form_->Handle(); }
    void SetBrowser(IWebBrowser2* browser) override { form_->SetBrowser(browser); }
    TSHDocVwDWebBrowserEvents2& BrowserEvents() override { return *events_; }
    void TakeFocus() override {
        if (!::SetFocus(form_->Handle())) throw Error("Cannot focus a disabled or invisible window");
    }
    void EnterFocus(bool at_end) override { form_->EnterFocus(at_end); }
    bool MoveFocus(bool forward) override { return form_->MoveFocus(forward); }

private:
    TFormToolbar::Pointer form_;  // its release waits while the window is busy building or handling
    TSHDocVwDWebBrowserEvents2* events_ = nullptr;  // owned by the window
};

std::unique_ptr<ToolbarWindow> CreateFormWindow(HWND parent) { return std::make_unique<FormToolbarWindow>(parent); }

}  // namespace

ToolbarParts LibraryToolbarParts() { return {&CreateFormWindow, &ShowAboutBox}; }

}  // namespace tb
