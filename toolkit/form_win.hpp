#pragma once
// Forms and the plumbing every toolkit window shares.
//
// A form is a window whose behaviour hangs on named event handlers (OnCreate, OnShow, OnDestroy,
// OnCanResize, OnResize) and that lists its components by name. The framework's rule for failures:
// an exception that leaves an event handler is shown in the error box (dialogs_win.hpp) and the
// program goes on; no exception ever reaches Windows from a window procedure.
//
// Controls are thin non-owning views over their HWND; the form owns the windows (children go with
// their parent). A control registers its HWND, so that the window it sends its notifications to
// (its parent, whichever toolkit window that is) hands them back to the control object.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/handle_win.hpp"

namespace tb {

// Cursor numbers of components: the default, the framework's hand-point cursor, or a number the
// application registered (settings' cursor table, e.g. the system hand cursor under 32649).
inline constexpr int crDefault = 0;
inline constexpr int crHandPoint = -21;

class TComponent {
public:
    explicit TComponent(std::u16string name) : name_(std::move(name)) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::u16string& Name() const { return name_; }
    // Controls only: the window, else null.
    virtual HWND ControlHandle() const { return nullptr; }

    int Cursor = crDefault;

private:
    std::u16string name_;
};

// A component with a window of its own.
class TWinControl : public TComponent {
public:
    using TComponent::TComponent;
    ~TWinControl() override;

    HWND ControlHandle() const override { return handle_; }
    HWND Handle() const { return handle_; }
    bool Visible() const;
    void SetVisible(bool visible);
    int Width() const;
    void SetWidth(int width);
    int Height() const;
    void SetBounds(int left, int top, int width, int height);

    // A notification this control sent to its parent (WM_COMMAND with its code, WM_NOTIFY);
    // true when handled, with the result.
    virtual bool ParentCommand(WORD /*code*/, LRESULT& /*result*/) { return false; }
    virtual bool ParentNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }

    // The control object of a window (registered by Attach), or null.
    static TWinControl* FromHandle(HWND window);

protected:
    // Takes the window as this control's and registers it; the window still belongs to its parent.
    void Attach(HWND window);
    void Detach();

private:
    HWND handle_ = nullptr;
};

// What every toolkit window procedure does first: notifications back to the control that sent them,
// the cursor of a control, the drawing of menu icons. Returns true when the message was handled.
bool RouteCommonMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

// The cursor for a component's cursor number (null for crDefault).
HCURSOR CursorForNumber(int number);

// Lets the thread's pending messages be processed (a WM_QUIT met on the way is posted again).
void ProcessMessages();

// The toolkit's toolbar font (the system's menu font) and its face name.
HFONT ToolbarFont();
// The toolbar font for a window at `dpi` (toolkit/dpi_win.hpp): the system's menu font as it is
// at that scale, made once per scale and kept for the process's life as ToolbarFont is.
HFONT ToolbarFontForDpi(int dpi);
// The screen's dots per inch (vertical); 96 where the screen cannot tell.
int ScreenDpi();
std::u16string ToolbarFontFaceName();

// Registers a window class of the toolkit once per process; returns its name.
const wchar_t* RegisterToolkitClass(const wchar_t* name, WNDPROC procedure, HBRUSH background);

class TForm {
public:
    TForm();
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    struct CreateArgs {
        HWND parent = nullptr;  // a child window of it when set, else a top-level window
        int left = 0, top = 0, width = 400, height = 30;
        std::u16string caption;
        bool visible = false;
    };
    // Creates the window and its components (CreateComponents), then runs OnCreate under the
    // failure rule. Raises when the window or a component cannot be created.
    void CreateHandle(const CreateArgs& args);
    HWND Handle() const { return handle_.Get(); }

    std::u16string Caption() const;
    void SetCaption(std::u16string_view caption);
    bool Visible() const;
    void Show();  // runs OnShow, then shows the window
    void Hide();
    bool Enabled() const;
    int ClientWidth() const;
    int ClientHeight() const;
    void SetFocus();
    // The form's font (the toolbar font unless changed).
    HFONT Font() const { return font_; }
    std::u16string FontName() const;
    int FontSize() const;  // points

    // Named event handlers.
    std::function<void()> OnCreate;
    std::function<void()> OnShow;
    std::function<void()> OnDestroy;
    std::function<void()> OnResize;
    std::function<bool(int& width, int& height)> OnCanResize;

    // Runs a handler under the framework's failure rule; false when it raised (the error box was shown).
    // Every handler of a form runs through here, so the form knows when one is on the stack.
    bool RunHandler(const std::function<void()>& handler);
    // True while a handler of this form runs (a form must not go before it returns).
    bool HandlerRunning() const { return running_handlers_ > 0; }
    // The messages of failures reported so far (most recent last), for descriptions and tests.
    const std::vector<std::string>& ReportedErrors() const { return reported_errors_; }

    // The owner-wide list of components, in the order they were added (not owned).
    void AddComponent(TComponent& component) { components_.push_back(&component); }
    const std::vector<TComponent*>& Components() const { return components_; }
    TComponent* FindComponent(std::u16string_view name) const;

    // Every message reaches the filter first; `own` runs the form's own handling (call it at most
    // once). Set by the host of the form (the band); null removes it.
    using MessageFilter =
        std::function<LRESULT(HWND, UINT, WPARAM, LPARAM, const std::function<LRESULT()>& own)>;
    void SetMessageFilter(MessageFilter filter) { filter_ = std::move(filter); }

protected:
    // The child windows of the form's design, made right after the form's window.
    virtual void CreateComponents() {}
    // The form's own messages, before the default handling; true when handled.
    virtual bool HandleMessage(UINT /*message*/, WPARAM /*wparam*/, LPARAM /*lparam*/, LRESULT& /*result*/) {
        return false;
    }
    // Runs OnDestroy (once, under the failure rule) and destroys the window. Derived forms call it
    // first thing in their destructor, while their members still exist.
    void DestroyForm();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT OwnHandling(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    UniqueHwnd handle_;
    HFONT font_ = nullptr;
    std::vector<TComponent*> components_;
    std::vector<std::string> reported_errors_;
    MessageFilter filter_;
    int running_handlers_ = 0;
    bool destroyed_ = false;
};

}  // namespace tb
