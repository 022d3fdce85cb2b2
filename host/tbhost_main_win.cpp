// tbhost: the stand-in browser program, and a driver that uses a toolbar the way a person does.
//
//   tbhost [--dll LIBRARY] [--frames N] [--width N] [--repeat N] ACTION...
//
// Like the browser, it hosts every band registered under the browser's Toolbar key (with --dll,
// only those whose server is that library, which it registers first): each is made by
// CoCreateInstance of its class id, gets the band site, is asked for its window, shown and measured,
// and lives in a band of the rebar of an "IEFrame" window until it is closed and released.
//
// The actions run in order on frame 1 once its toolbar is built:
//   --click NAME        an item by component name (a sub-item through its parent's menu)
//   --arrow NAME        opens an item's drop-down menu (closed again at once)
//   --type TEXT         types into the search box        --key enter|tab|down
//   --hover NAME        the mouse over an item           --context N   the band's context command N
//   --event document-complete                            --width N     the browser's width
//   --close             CloseDW and release              --dump        the toolbar's description
//   --screenshot FILE.png  the frame window              --dialog-shot FILE.png  the next dialog
//   --wait MS           --interactive (stays until the frame is closed)
// --frames N opens N frames, each on a thread of its own; --repeat N has every frame build, search
// for a term of its own and close N times, in an order the threads decide. --close-while-building MS
// closes the band MS after its creation, from the build's message loop; --close-during-splash closes
// and releases it from the splash's.
//
// Output: one JSON object a line on stdout: every call a band makes on the browser, {"dump":...},
// {"dialog":{"title":...,"texts":[...]}} for each box or dialog (read, then closed, so that no run
// waits on a person), {"error":...} for an action that could not run. Exit 0 when every action ran,
// 1 when one could not, 2 for bad usage.
#include <windows.h>
#include <commctrl.h>
#include <exdispid.h>
#include <psapi.h>
#include <wincodec.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/boundary_win.hpp"
#include "base/com_win.hpp"
#include "base/message_pump_win.hpp"
#include "base/text.hpp"
#include "base/wide_win.hpp"
#include "host/band_host_win.hpp"
#include "host/stand_in_browser_win.hpp"
#include "toolbar/toolbar_query_win.hpp"

namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kToolbarsKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";
constexpr wchar_t kFormClass[] = L"TbToolkitForm";

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
    std::vector<Action> actions;
};

// ---- output

std::mutex output_lock;

std::string Quote(const std::string& utf8) {
    std::string out = "\"";
    for (const unsigned char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string Quote(const std::wstring& text) { return Quote(tb::Utf16ToUtf8(tb::FromWide(text))); }

void Emit(const std::string& line) {
    std::lock_guard<std::mutex> guard(output_lock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string FramePrefix(int frame) { return "{\"frame\":" + std::to_string(frame) + ","; }

std::string Argument(const tb::host::ArgumentSeen& seen) {
    if (seen.type == VT_BSTR) return Quote(seen.text);
    if (seen.type == VT_EMPTY || seen.type == VT_ILLEGAL || seen.type == VT_ERROR) return "null";
    if (seen.type == VT_BOOL) return seen.integer ? "true" : "false";
    return std::to_string(seen.integer);
}

// Prints what the browser was asked since the last call, kind by kind.
class CallPrinter {
public:
    explicit CallPrinter(int frame) : frame_(frame) {}
    void Print(const tb::host::BrowserRecord& record) {
        const std::string head = FramePrefix(frame_);
        for (; navigations_ < record.navigations.size(); ++navigations_) {
            Emit(head + "\"call\":\"Navigate\",\"url\":" + Quote(record.navigations[navigations_].url) + "}");
        }
        for (; status_ < record.status_texts.size(); ++status_) {
            Emit(head + "\"call\":\"put_StatusText\",\"text\":" + Quote(record.status_texts[status_]) + "}");
        }
        for (; bars_ < record.bar_calls.size(); ++bars_) {
            const auto& call = record.bar_calls[bars_];
            Emit(head + "\"call\":\"ShowBrowserBar\",\"clsid\":" + Argument(call.class_id) +
                 ",\"show\":" + Argument(call.show) + ",\"size\":" + Argument(call.size) + "}");
        }
        for (; widths_ < record.width_queries; ++widths_) Emit(head + "\"call\":\"get_Width\"}");
        for (; execs_ < record.exec_calls.size(); ++execs_) {
            Emit(head + "\"call\":\"Exec\",\"command\":" + std::to_string(record.exec_calls[execs_].command) + "}");
        }
    }

private:
    int frame_;
    size_t navigations_ = 0, status_ = 0, bars_ = 0, execs_ = 0;
    int widths_ = 0;
};

// ---- pictures

bool SavePng(HWND window, const std::wstring& path) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    RECT box{};
    GetWindowRect(window, &box);
    const int width = box.right - box.left, height = box.bottom - box.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    // The screen's pixels where the window shows (the X11 driver); the window's own printing where
    // there is no screen to read.
    if (!BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY)) PrintWindow(window, memory, 0);
    GdiFlush();
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    auto* pixels = static_cast<BYTE*>(bits);
    for (int i = 0; i < width * height; ++i) pixels[i * 4 + 3] = 255;
    bool saved = false;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.GetAddressOf()))) &&
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
        SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
        SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
        SUCCEEDED(frame->SetPixelFormat(&format)) &&
        SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width * 4),
                                     static_cast<UINT>(width * height * 4), pixels)) &&
        SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit())) {
        saved = true;
    }
    DeleteObject(bitmap);
    return saved;
}

// ---- dialogs: a watcher reads every box or dialog of the process, reports it and closes it.

std::mutex dialog_lock;
std::wstring dialog_shot;  // the picture to take of the next dialog
std::atomic<bool> watching{true};

std::wstring WindowText(HWND window) {
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return text;
}

BOOL CALLBACK CollectText(HWND child, LPARAM texts) {
    if (!IsWindowVisible(child)) return TRUE;
    wchar_t type[64] = {};
    GetClassNameW(child, type, 64);
    const std::wstring text = WindowText(child);
    if (!text.empty() && _wcsicmp(type, L"Button") != 0) reinterpret_cast<std::vector<std::wstring>*>(texts)->push_back(text);
    return TRUE;
}

BOOL CALLBACK FindDialogs(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    wchar_t type[64] = {};
    GetClassNameW(window, type, 64);
    if (wcscmp(type, L"#32770") == 0 || wcscmp(type, kFormClass) == 0) {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    }
    return TRUE;
}

void WatchDialogs() {
    // The pictures of dialogs are written with WIC, a COM library.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::set<HWND> reported;
    while (watching) {
        std::vector<HWND> dialogs;
        EnumWindows(&FindDialogs, reinterpret_cast<LPARAM>(&dialogs));
        for (HWND dialog : dialogs) {
            if (reported.count(dialog)) continue;
            Sleep(300);  // let it finish painting
            if (!IsWindow(dialog)) continue;
            reported.insert(dialog);
            std::vector<std::wstring> texts;
            EnumChildWindows(dialog, &CollectText, reinterpret_cast<LPARAM>(&texts));
            std::string line = "{\"dialog\":{\"title\":" + Quote(WindowText(dialog)) + ",\"texts\":[";
            for (size_t i = 0; i < texts.size(); ++i) {
                if (i) line += ",";
                line += Quote(texts[i]);
            }
            Emit(line + "]}}");
            {
                std::lock_guard<std::mutex> guard(dialog_lock);
                if (!dialog_shot.empty()) {
                    if (!SavePng(dialog, dialog_shot)) Emit("{\"error\":\"cannot write the dialog's picture\"}");
                    dialog_shot.clear();
                }
            }
            wchar_t type[64] = {};
            GetClassNameW(dialog, type, 64);
            if (wcscmp(type, L"#32770") == 0) {
                PostMessageW(dialog, WM_COMMAND, GetDlgItem(dialog, IDOK) ? IDOK : IDCANCEL, 0);
            } else {
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            }
        }
        // Forget windows that are gone: a handle may come back for a new dialog.
        for (auto it = reported.begin(); it != reported.end();) it = IsWindow(*it) ? std::next(it) : reported.erase(it);
        Sleep(30);
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

// ---- registration and the browser's list of bands

std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* value) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return {};
    return text;
}

// The long form of a path; registration writes a path with blanks in its short form.
std::wstring LongPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH * 2] = {};
    const DWORD length = GetLongPathNameW(path.c_str(), buffer, MAX_PATH * 2);
    return length > 0 && length < MAX_PATH * 2 ? std::wstring(buffer, length) : path;
}

// The class ids under the browser's Toolbar key; with a library, only those it serves.
std::vector<std::wstring> RegisteredBands(const std::wstring& library) {
    std::vector<std::wstring> ids;
    HKEY toolbars = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kToolbarsKey, 0, KEY_READ, &toolbars) != ERROR_SUCCESS) return ids;
    wchar_t name[128];
    for (DWORD i = 0;; ++i) {
        DWORD length = 128;
        if (RegEnumValueW(toolbars, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::wstring server =
            RegistryText(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + name + L"\\InprocServer32", nullptr);
        if (server.empty()) continue;
        if (!library.empty() && _wcsicmp(LongPath(server).c_str(), LongPath(library).c_str()) != 0) continue;
        ids.push_back(name);
    }
    RegCloseKey(toolbars);
    return ids;
}

// ---- the frames

// The browser offers keystrokes to the band that has the focus before anything else; true when the
// band (or the browser, for a Tab the band hands back) took the message.
bool OfferKeyToBand(MSG& message, IDeskBand* band, int frame) {
    if (!band || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
    ComPtr<IInputObject> input;
    if (FAILED(band->QueryInterface(IID_PPV_ARGS(&input))) || input->HasFocusIO() != S_OK) return false;
    if (input->TranslateAcceleratorIO(&message) == S_OK) return true;
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
    // A Tab the band hands back: the browser moves the focus on, out of the band.
    input->UIActivateIO(FALSE, &message);
    SetFocus(GetAncestor(message.hwnd, GA_ROOT));
    Emit(FramePrefix(frame) + "\"focus\":\"browser\",\"band_has_focus\":" +
         (input->HasFocusIO() == S_OK ? "true" : "false") + "}");
    return true;
}

// Lets the frame's windows work for a while. A WM_QUIT ends it early and stays for the thread's loop.
void Pump(DWORD milliseconds, IDeskBand* band, int frame) {
    tb::PumpOptions pump;
    pump.filter = [band, frame](MSG& message) { return OfferKeyToBand(message, band, frame); };
    const DWORD start = GetTickCount();
    do {
        if (!tb::PumpWaitingMessages(pump)) return;
        Sleep(10);
    } while (GetTickCount() - start < milliseconds);
}

// Asks the toolbar window behind a band window through its published query message; nullopt when
// it does not answer (no toolbar window, no such item).
std::optional<std::string> AskToolbar(HWND band_window, tb::ToolbarQueryKind kind, const std::wstring& name = {}) {
    static const UINT message = RegisterWindowMessageW(tb::kToolbarQueryMessage);
    if (!band_window || !IsWindow(band_window) || message == 0) return std::nullopt;
    std::string buffer(4096, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        tb::ToolbarQuery query{sizeof(tb::ToolbarQuery), name.c_str(), buffer.data(), static_cast<UINT>(buffer.size()), 0};
        if (SendMessageW(band_window, message, kind, reinterpret_cast<LPARAM>(&query)) != 1) return std::nullopt;
        if (query.length < buffer.size()) {
            buffer.resize(query.length);
            return buffer;
        }
        buffer.assign(static_cast<size_t>(query.length) + 1, '\0');
    }
    return std::nullopt;
}

// An item as the toolbar window locates it: its caption, and the caption of the item whose
// drop-down menu holds it.
struct LocatedItem {
    std::wstring caption;
    std::optional<std::wstring> parent;
};

std::optional<LocatedItem> LocateItem(HWND band_window, const std::wstring& name) {
    const std::optional<std::string> answer = AskToolbar(band_window, tb::kToolbarLocateItem, name);
    if (!answer) return std::nullopt;
    const size_t split = answer->find('\0');
    LocatedItem item{tb::ToWide(tb::DecodeUtf8(answer->substr(0, split))), std::nullopt};
    if (split != std::string::npos) item.parent = tb::ToWide(tb::DecodeUtf8(answer->substr(split + 1)));
    return item;
}

struct ChildSearch {
    const wchar_t* type;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<ChildSearch*>(data);
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (_wcsicmp(name, search->type) != 0) return TRUE;
    search->found = child;
    return FALSE;
}

HWND FindChild(HWND parent, const wchar_t* type) {
    ChildSearch search{type, nullptr};
    EnumChildWindows(parent, &MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The toolbar button that shows an item, by its caption: its command and its box.
bool FindButton(HWND toolbar, const std::wstring& caption, RECT& box) {
    const int count = static_cast<int>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button{};
        SendMessageW(toolbar, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button));
        if (button.fsStyle & BTNS_SEP) continue;
        wchar_t text[512] = {};
        SendMessageW(toolbar, TB_GETBUTTONTEXTW, static_cast<WPARAM>(button.idCommand), reinterpret_cast<LPARAM>(text));
        if (caption != text) continue;
        return SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&box)) != 0;
    }
    return false;
}

void PostClick(HWND window, int x, int y) {
    const LPARAM at = MAKELPARAM(x, y);
    PostMessageW(window, WM_MOUSEMOVE, 0, at);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window, WM_LBUTTONUP, 0, at);
}

// While a menu of this thread is open: the menu window, its item of that caption chosen by keyboard
// (Esc when there is none); the captions it showed go to `shown_captions`.
void ChooseFromMenu(DWORD thread, std::wstring caption, std::vector<std::wstring>* shown_captions) {
    for (int tries = 0; tries < 200; ++tries) {
        Sleep(20);
        HWND menu_window = FindWindowW(L"#32768", nullptr);
        if (!menu_window || GetWindowThreadProcessId(menu_window, nullptr) != thread || !IsWindowVisible(menu_window)) continue;
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menu_window, 0x01E1 /* MN_GETHMENU */, 0, 0));
        int steps_before = 0;
        bool found = false;
        for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
            MENUITEMINFOW info{};
            wchar_t text[512] = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_STATE;
            info.dwTypeData = text;
            info.cch = 511;
            GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
            if (info.fType & MFT_SEPARATOR) continue;
            std::wstring shown = text;
            if (const size_t tab = shown.find(L'\t'); tab != std::wstring::npos) shown.resize(tab);
            std::wstring plain;
            for (wchar_t c : shown) if (c != L'&') plain += c;
            if (shown_captions) shown_captions->push_back(plain);
            if (!found && (plain == caption || shown == caption)) found = true;
            if (!found) ++steps_before;
        }
        const int steps = found ? steps_before + 1 : 0;
        for (int i = 0; i < steps; ++i) PostMessageW(menu_window, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu_window, WM_KEYDOWN, found ? VK_RETURN : VK_ESCAPE, 0);
        return;
    }
}

class Frame {
public:
    Frame(int number, const Options& options) : number_(number), options_(options), printer_(number) {}

    // Hosts the registered bands; false when none could be hosted.
    bool Open() {
        browser_ = std::make_unique<tb::host::StandInBrowser>();
        if (options_.width > 0) SetWindowPos(browser_->Frame(), nullptr, 0, 0, options_.width, 600, SWP_NOZORDER | SWP_NOMOVE);
        ShowWindow(browser_->Frame(), SW_SHOW);
        host_ = std::make_unique<tb::host::BandHost>(*browser_);
        if (options_.close_while_building >= 0) {
            // CloseDW from the message loop that the build runs (a slow update keeps it running).
            host_->OnCreated = [this](IDeskBand* band) {
                building_ = band;
                SetTimer(nullptr, 0, static_cast<UINT>(options_.close_while_building), &CloseWhileBuilding);
            };
            current_frame = this;
        }
        if (options_.close_during_splash) {
            // CloseDW and the last release from the splash's own message loop.
            current_frame = this;
            SetTimer(nullptr, 0, 20, &CloseDuringSplash);
        }
        for (const std::wstring& text : RegisteredBands(options_.dll)) {
            CLSID id;
            if (FAILED(CLSIDFromString(text.c_str(), &id))) continue;
            try {
                const DWORD started = GetTickCount();
                host_->Create(id);
                // For the measures: band creation to a built toolbar, and the process's memory then.
                PROCESS_MEMORY_COUNTERS_EX memory{};
                memory.cb = sizeof memory;
                GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                     sizeof memory);
                Emit(FramePrefix(number_) + "\"band\":" + Quote(text) + ",\"built_ms\":" +
                     std::to_string(GetTickCount() - started) + ",\"private_bytes\":" +
                     std::to_string(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage) + "}");
                break;
            } catch (const std::exception& e) {
                Emit(FramePrefix(number_) + "\"band\":" + Quote(text) + ",\"error\":" + Quote(std::string(e.what())) + "}");
                // The browser closed it while it was building: it is gone, as asked.
                if (closed_by_driver_) break;
            }
        }
        if (!host_->Hosting()) building_ = nullptr;
        Settle(300);
        if (closed_by_driver_) {
            Settle(options_.close_during_splash ? 4500 : 0);  // the splash's time, with the band gone
            Emit(FramePrefix(number_) + "\"closed\":true,\"hosting\":" + (host_->Hosting() ? "true" : "false") + "}");
            return true;
        }
        if (!host_->Hosting()) {
            Emit(FramePrefix(number_) + "\"error\":\"no band could be hosted\"}");
            return false;
        }
        return true;
    }

    void Settle(DWORD milliseconds) {
        Pump(milliseconds, host_ ? host_->Band() : nullptr, number_);
        printer_.Print(browser_->Record());
    }

    // Runs one action; false when it could not.
    bool Run(const Action& action) {
        const bool done = Do(action);
        Settle(action.verb == L"--wait" ? 0 : 200);
        if (!done) {
            Emit(FramePrefix(number_) + "\"error\":" + Quote(error_) + ",\"action\":" + Quote(action.verb + L" " + action.argument) + "}");
        }
        return done;
    }

    void Close() {
        if (host_) host_->Close();
        Settle(100);
        host_.reset();
        browser_.reset();
    }

    HWND Window() const { return browser_ ? browser_->Frame() : nullptr; }

private:
    static inline thread_local Frame* current_frame = nullptr;
    static void CALLBACK CloseWhileBuilding(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        Frame* frame = current_frame;
        if (!frame || !frame->building_) return;
        Emit(FramePrefix(frame->number_) + "\"closing_while_building\":" +
             (frame->host_->Hosting() ? "false" : "true") + "}");
        frame->closed_by_driver_ = true;
        frame->building_->CloseDW(0);
    }
    static BOOL CALLBACK FindSplash(HWND window, LPARAM found) {
        wchar_t type[64] = {};
        GetClassNameW(window, type, 64);
        if (!IsWindowVisible(window) || wcscmp(type, kFormClass) != 0) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    static void CALLBACK CloseDuringSplash(HWND, UINT, UINT_PTR timer, DWORD) {
        Frame* frame = current_frame;
        HWND splash = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), &FindSplash, reinterpret_cast<LPARAM>(&splash));
        if (!frame || !splash || !frame->host_->Hosting()) return;
        KillTimer(nullptr, timer);
        Emit(FramePrefix(frame->number_) + "\"closing_during_splash\":" + Quote(WindowText(splash)) + "}");
        frame->closed_by_driver_ = true;
        frame->host_->Close();
    }
    bool closed_by_driver_ = false;
    IDeskBand* building_ = nullptr;  // not counted: only used while the band host holds the band

    bool Fail(std::string why) {
        error_ = std::move(why);
        return false;
    }

    bool Do(const Action& action) {
        const std::wstring& verb = action.verb;
        if (verb == L"--wait") {
            Settle(static_cast<DWORD>(_wtoi(action.argument.c_str())));
            return true;
        }
        if (verb == L"--screenshot") {
            Settle(300);
            return SavePng(browser_->Frame(), action.argument) || Fail("cannot write the picture");
        }
        if (verb == L"--dialog-shot") {
            std::lock_guard<std::mutex> guard(dialog_lock);
            dialog_shot = action.argument;
            return true;
        }
        if (verb == L"--width") {
            SetWindowPos(browser_->Frame(), nullptr, 0, 0, _wtoi(action.argument.c_str()), 600, SWP_NOZORDER | SWP_NOMOVE);
            return true;
        }
        if (verb == L"--interactive") {
            MSG message;
            while (IsWindow(browser_->Frame()) && GetMessageW(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            return true;
        }
        if (!host_->Hosting()) return Fail("the band is closed");
        if (verb == L"--close") {
            host_->Close();
            return true;
        }
        if (verb == L"--context") {
            ComPtr<IContextMenu> menu;
            if (FAILED(host_->Band()->QueryInterface(IID_PPV_ARGS(menu.GetAddressOf())))) {
                return Fail("the band has no context menu");
            }
            HMENU popup = CreatePopupMenu();
            const HRESULT added = menu->QueryContextMenu(popup, 0, 1, 0x7fff, CMF_NORMAL);
            std::string line = FramePrefix(number_) + "\"context\":[";
            for (int i = 0; i < GetMenuItemCount(popup); ++i) {
                wchar_t text[256] = {};
                GetMenuStringW(popup, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
                if (i) line += ",";
                line += Quote(std::wstring(text));
            }
            Emit(line + "]}");
            DestroyMenu(popup);
            const int command = _wtoi(action.argument.c_str());
            if (FAILED(added) || command < 0 || command >= static_cast<int>(HRESULT_CODE(added))) {
                return Fail("no such context command");
            }
            CMINVOKECOMMANDINFO invoke{};
            invoke.cbSize = sizeof invoke;
            invoke.hwnd = browser_->Frame();
            invoke.lpVerb = MAKEINTRESOURCEA(command);
            return SUCCEEDED(menu->InvokeCommand(&invoke)) || Fail("the context command failed");
        }
        if (verb == L"--event") {
            if (action.argument != L"document-complete") return Fail("unknown event");
            VARIANT url;
            VariantInit(&url);
            url.vt = VT_BSTR;
            url.bstrVal = SysAllocString(browser_->Address().c_str());
            std::vector<VARIANTARG> arguments(2);
            VariantInit(&arguments[0]);
            arguments[0].vt = VT_DISPATCH;
            arguments[0].pdispVal = browser_->Browser();
            VariantInit(&arguments[1]);
            arguments[1].vt = VT_VARIANT | VT_BYREF;
            arguments[1].pvarVal = &url;
            browser_->FireEvent(DISPID_DOCUMENTCOMPLETE, arguments);
            VariantClear(&url);
            return true;
        }
        if (verb == L"--dump") {
            const std::optional<std::string> description = AskToolbar(host_->BandWindow(), tb::kToolbarDescribe);
            if (!description) return Fail("the band shows no toolbar");
            Emit(FramePrefix(number_) + "\"dump\":" + *description + "}");
            return true;
        }
        if (!AskToolbar(host_->BandWindow(), tb::kToolbarDescribe)) return Fail("the band shows no toolbar");
        HWND toolbar = FindChild(host_->BandWindow(), TOOLBARCLASSNAMEW);
        if (verb == L"--type" || verb == L"--key") {
            HWND edit = FindChild(host_->BandWindow(), L"Edit");
            if (!edit) return Fail("the toolbar has no search box");
            // A click in the box gives the band the focus the way a person's does.
            if (GetFocus() != edit) {
                SetFocus(edit);
                Settle(50);
            }
            if (verb == L"--type") {
                SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
                for (wchar_t c : action.argument) PostMessageW(edit, WM_CHAR, c, 1);
                return true;
            }
            UINT key = 0;
            if (action.argument == L"enter") key = VK_RETURN;
            else if (action.argument == L"tab") key = VK_TAB;
            else if (action.argument == L"down") key = VK_DOWN;
            else return Fail("unknown key");
            PostMessageW(edit, WM_KEYDOWN, key, 1);
            PostMessageW(edit, WM_KEYUP, key, 0xC0000001);
            return true;
        }
        const std::optional<LocatedItem> item = LocateItem(host_->BandWindow(), action.argument);
        if (!item) return Fail("no item of that name");
        if (!toolbar) return Fail("the toolbar has no buttons");
        if (item->parent) {
            if (verb != L"--click") return Fail("the item is on a menu");
            // Through the parent's menu: open it, then choose the item as a person does.
            RECT box{};
            if (!FindButton(toolbar, *item->parent, box)) return Fail("the item's parent is not on the toolbar");
            std::thread chooser(&ChooseFromMenu, GetCurrentThreadId(), item->caption, nullptr);
            PostClick(toolbar, box.right - 4, (box.top + box.bottom) / 2);
            Settle(400);
            chooser.join();
            return true;
        }
        RECT box{};
        if (!FindButton(toolbar, item->caption, box)) return Fail("the item is not on the toolbar");
        const int x = (box.left + box.right) / 2, y = (box.top + box.bottom) / 2;
        if (verb == L"--hover") {
            PostMessageW(toolbar, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
            return true;
        }
        if (verb == L"--arrow") {
            std::vector<std::wstring> shown;
            std::thread closer(&ChooseFromMenu, GetCurrentThreadId(), std::wstring(L"\x1"), &shown);  // no such caption: Esc
            PostClick(toolbar, box.right - 4, y);
            Settle(400);
            closer.join();
            std::string line = FramePrefix(number_) + "\"menu\":" + Quote(action.argument) + ",\"items\":[";
            for (size_t i = 0; i < shown.size(); ++i) line += (i ? "," : "") + Quote(shown[i]);
            Emit(line + "]}");
            return !shown.empty() || Fail("no menu opened");
        }
        if (verb == L"--click") {
            PostClick(toolbar, x, y);
            return true;
        }
        return Fail("unknown action");
    }

    int number_;
    const Options& options_;
    CallPrinter printer_;
    std::unique_ptr<tb::host::StandInBrowser> browser_;
    std::unique_ptr<tb::host::BandHost> host_;
    std::string error_;
};

std::atomic<int> failures{0};
std::atomic<bool> first_done{false};

BOOL CALLBACK CountOne(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountWithChildren(HWND window, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, &CountOne, count);
    return TRUE;
}

// The windows of this thread, children included: what a build and close that leaks leaves behind.
// (A frame thread's windows go with the thread, so only a count taken on it can see a leak.)
int ThreadWindowCount() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CountWithChildren, reinterpret_cast<LPARAM>(&count));
    return count;
}

void RunFrame(int number, const Options& options) {
    if (FAILED(OleInitialize(nullptr))) {
        ++failures;
        return;
    }
    {
        std::mt19937 random(static_cast<unsigned>(GetTickCount() + number * 7919));
        if (options.repeat > 0) {
            // Build, search for a term of this frame and close, again and again.
            for (int round = 0; round < options.repeat; ++round) {
                Frame frame(number, options);
                if (!frame.Open()) {
                    ++failures;
                    continue;
                }
                std::wstring term = L"term-";
                term += std::to_wstring(number);
                term += L"-";
                term += std::to_wstring(round);
                if (!frame.Run({L"--type", term}) || !frame.Run({L"--key", L"enter"})) ++failures;
                frame.Settle(random() % 200);
                const int open = ThreadWindowCount();
                frame.Close();
                Emit(FramePrefix(number) + "\"round\":" + std::to_string(round) + ",\"open_windows\":" +
                     std::to_string(open) + ",\"thread_windows\":" + std::to_string(ThreadWindowCount()) + "}");
            }
        } else {
            Frame frame(number, options);
            if (!frame.Open()) {
                ++failures;
            } else if (number == 1) {
                for (const Action& action : options.actions) {
                    if (!frame.Run(action)) ++failures;
                }
                first_done = true;
            } else {
                while (!first_done) frame.Settle(50);
            }
            frame.Close();
        }
    }
    OleUninitialize();
}

struct FrameStart {
    int number;
    const Options* options;
};

DWORD WINAPI FrameThread(void* data) {
    return tb::ThreadBoundary([&]() -> DWORD {
        const auto* start = static_cast<const FrameStart*>(data);
        RunFrame(start->number, *start->options);
        return 0;
    });
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

std::string Handles(const char* when) {
    int windows = 0;
    EnumWindows(&CountWindow, reinterpret_cast<LPARAM>(&windows));
    DWORD kernel = 0;
    GetProcessHandleCount(GetCurrentProcess(), &kernel);
    return std::string("{\"handles\":\"") + when + "\",\"windows\":" + std::to_string(windows) +
           ",\"gdi\":" + std::to_string(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) +
           ",\"user\":" + std::to_string(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) +
           ",\"kernel\":" + std::to_string(kernel) + "}";
}

int Usage(const std::wstring& why) {
    std::fwprintf(stderr, L"tbhost: %ls\nusage: tbhost [--dll LIBRARY] [--frames N] [--width N] [--repeat N] [--close-while-building MS]\n"
                  L"              [--close-during-splash] ACTION...\n",
                  why.c_str());
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    const std::set<std::wstring> with_argument = {L"--click", L"--arrow", L"--type", L"--key", L"--hover",
                                                  L"--context", L"--event", L"--width", L"--screenshot",
                                                  L"--dialog-shot", L"--wait"};
    const std::set<std::wstring> without = {L"--close", L"--dump", L"--interactive"};
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool has_value = i + 1 < argc;
        if (option == L"--dll" && has_value) {
            options.dll = argv[++i];
        } else if (option == L"--frames" && has_value) {
            options.frames = _wtoi(argv[++i]);
            if (options.frames < 1 || options.frames > 64) return Usage(L"--frames takes 1 to 64");
        } else if (option == L"--close-while-building" && has_value) {
            options.close_while_building = _wtoi(argv[++i]);
        } else if (option == L"--close-during-splash") {
            options.close_during_splash = true;
        } else if (option == L"--repeat" && has_value) {
            options.repeat = _wtoi(argv[++i]);
        } else if (option == L"--width" && has_value && options.actions.empty()) {
            options.width = _wtoi(argv[++i]);
        } else if (with_argument.count(option) && has_value) {
            options.actions.push_back({option, argv[++i]});
        } else if (without.count(option)) {
            options.actions.push_back({option, L""});
        } else {
            return Usage(L"unknown or incomplete option " + option);
        }
    }
    if (FAILED(OleInitialize(nullptr))) return 1;
    Emit(Handles("start"));
    if (!options.dll.empty()) {
        // Registration first, as an installer does. It may report a failure after writing every
        // entry (the browser refuses to show the bar): what counts is that the band is listed.
        wchar_t full[MAX_PATH] = {};
        GetFullPathNameW(options.dll.c_str(), MAX_PATH, full, nullptr);
        options.dll = full;
        HRESULT result = E_FAIL;
        if (HMODULE library = LoadLibraryW(full)) {
            using Register = HRESULT(WINAPI*)();
            if (auto entry = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")))) {
                result = entry();
            }
            FreeLibrary(library);
        }
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(result));
        Emit("{\"register\":" + Quote(std::wstring(full)) + ",\"result\":\"" + code + "\",\"listed\":" +
             (RegisteredBands(options.dll).empty() ? "false" : "true") + "}");
    }
    std::thread watcher(&WatchDialogs);
    // Frame threads of their own, as the browser runs them. This thread keeps handling its messages
    // while it waits: a thread's end may send to the windows COM made here for the registration.
    std::vector<FrameStart> starts;
    for (int i = 1; i <= options.frames; ++i) starts.push_back({i, &options});
    std::vector<HANDLE> frames;
    for (FrameStart& start : starts) {
        HANDLE thread = CreateThread(nullptr, 0, &FrameThread, &start, 0, nullptr);
        if (thread) frames.push_back(thread);
    }
    while (!frames.empty()) {
        const DWORD woke = MsgWaitForMultipleObjects(static_cast<DWORD>(frames.size()), frames.data(), FALSE, INFINITE,
                                                     QS_ALLINPUT);
        if (woke < WAIT_OBJECT_0 + frames.size()) {
            CloseHandle(frames[woke - WAIT_OBJECT_0]);
            frames.erase(frames.begin() + (woke - WAIT_OBJECT_0));
            continue;
        }
        tb::PumpWaitingMessages();
    }
    watching = false;
    watcher.join();
    CoFreeUnusedLibrariesEx(0, 0);
    Emit(Handles("end"));
    OleUninitialize();
    return failures > 0 ? 1 : 0;
}
