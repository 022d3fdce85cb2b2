#pragma once
// The parts of tbhost, the stand-in browser as a driver (tbhost_main_win.cpp has its usage): its
// output (one JSON object a line), pictures, the dialog watcher, the frames and their actions.
#include <windows.h>
#include <shobjidl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/band_host_win.hpp"
#include "host/stand_in_browser_win.hpp"

namespace tb::driver {

// The toolkit's form windows: the toolbar's own dialogs and splash show in windows of this class.
inline constexpr wchar_t kFormClass[] = L"TbToolkitForm";

struct Action {
    std::wstring verb;
    std::wstring argument;
};

struct Options {
    std::wstring dll;
    int frames = 1;
    int width = 0;
    int repeat = 0;
    int close_while_building = -1;  // milliseconds after the band's creation; -1: not
    bool close_during_splash = false;
    int dpi = 0;  // --dpi: the screen scale the frames run at; 0: the prefix's own
    std::vector<Action> actions;
};

// ---- output (output_win.cpp)

std::string Quote(const std::string& utf8);
std::string Quote(const std::wstring& text);
// One line on stdout, whole, whichever thread writes it.
void Emit(const std::string& line);
std::string FramePrefix(int frame);

// Prints what the browser was asked since the last call, kind by kind.
class CallPrinter {
public:
    explicit CallPrinter(int frame) : frame_(frame) {}
    void Print(const tb::host::BrowserRecord& record);

private:
    int frame_;
    size_t navigations_ = 0, status_ = 0, bars_ = 0, execs_ = 0;
    int widths_ = 0;
};

// ---- screen scale (dpi_win.cpp)

// Makes the process aware of the screen's scale, as the browser is (per monitor where the system
// offers it); before any window is made.
void BecomeDpiAware();
// With the prefix's scale at `dpi` already: nullopt, and this run goes on. Otherwise runs this
// program again with the prefix's "LogPixels" at `dpi` (put back afterwards) and gives its exit code.
std::optional<int> RunAtDpi(int dpi);
// {"system":N,"window":N}: the scale of the screen and of a window, as this process sees them.
std::string DpiFacts(HWND window);

// A button of the toolbar by caption: its box, and whether its arrow is a part of its own
// (keyboard_win.cpp).
bool FindButtonPart(HWND toolbar, const std::wstring& caption, RECT& box, bool& split);

// ---- pictures (pictures_win.cpp)

// The window's client area as a PNG file; false when it could not be written.
bool SavePng(HWND window, const std::wstring& path);
// The window's client area and the open menus over or beside it, as the screen shows them.
bool SaveWithMenus(HWND window, const std::vector<HWND>& menus, const std::wstring& path);

// ---- dialogs (dialog_watcher_win.cpp): a watcher reads every box or dialog of the process,
// reports it and closes it, until `watching` goes false.

extern std::mutex dialog_lock;
extern std::wstring dialog_shot;  // the picture to take of the next dialog (under dialog_lock)
extern std::atomic<bool> watching;
std::wstring WindowText(HWND window);
void WatchDialogs();

// ---- the frames (frames_win.cpp; the actions in actions_win.cpp)

// The class ids of the bands registered under the browser's Toolbar key; with `library`, only
// those whose server is that library.
std::vector<std::wstring> RegisteredBands(const std::wstring& library);

// ---- the toolbar window, as a driver reaches it (actions_win.cpp)

// Asks the toolbar window behind a band window through its published query message (the kind is
// a ToolbarQueryKind); nullopt when it does not answer (no toolbar window, no such item).
std::optional<std::string> AskToolbar(HWND band_window, WPARAM kind, const std::wstring& name = {});
// The first child window of that class (the buttons' toolbar, the search box's edit).
HWND FindChild(HWND parent, const wchar_t* type);

// Lets the frame's windows work for a while, offering keystrokes to the band first.
void Pump(DWORD milliseconds, IDeskBand* band, int frame);

// One browser window with its band, on the thread that made it.
class Frame {
public:
    Frame(int number, const Options& options) : number_(number), options_(options), printer_(number) {}

    // Hosts the registered bands; false when none could be hosted.
    bool Open();
    void Settle(DWORD milliseconds);
    // Runs one action; false when it could not.
    bool Run(const Action& action);
    void Close();
    HWND Window() const { return browser_ ? browser_->Frame() : nullptr; }

private:
    static inline thread_local Frame* current_frame = nullptr;
    static void CALLBACK CloseWhileBuilding(HWND, UINT, UINT_PTR timer, DWORD);
    static BOOL CALLBACK FindSplash(HWND window, LPARAM found);
    static void CALLBACK CloseDuringSplash(HWND, UINT, UINT_PTR timer, DWORD);
    bool Fail(std::string why);
    bool Do(const Action& action);
    // keyboard_win.cpp: `--key` (with the keys that follow it) and `--menu PATH`.
    bool Keys(const Action& first);
    bool Menu(const std::wstring& path);
    void ReportFocus(const std::wstring& key);
    int keys_taken_ = 0;  // `--key` actions already typed with an earlier one
    std::wstring menu_shot_;  // `--menu-shot`: the picture the next menu only opened is kept in

    bool closed_by_driver_ = false;
    IDeskBand* building_ = nullptr;  // not counted: only used while the band host holds the band
    int number_;
    const Options& options_;
    CallPrinter printer_;
    std::unique_ptr<tb::host::StandInBrowser> browser_;
    std::unique_ptr<tb::host::BandHost> host_;
    std::string error_;
};

// Runs the frames' threads, each hosting its bands; the first runs the actions.
struct FrameStart {
    int number;
    const Options* options;
};
DWORD WINAPI FrameThread(void* data);
// Actions and frames that could not run.
extern std::atomic<int> failures;

}  // namespace tb::driver
