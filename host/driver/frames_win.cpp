// tbhost's frames: browser windows of their own threads, each hosting the registered bands as the
// browser does; the first runs the actions, the others wait for it (or each builds, searches and
// closes again and again).
#include "host/driver/driver_win.hpp"

#include <psapi.h>

#include <random>
#include <string>

#include "base/boundary_win.hpp"
#include "base/message_pump_win.hpp"
#include "settings/toolbar_settings.hpp"

namespace tb::driver {

using Microsoft::WRL::ComPtr;

// ---- registration and the browser's list of bands

namespace {

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

}  // namespace

std::vector<std::wstring> RegisteredBands(const std::wstring& library) {
    std::vector<std::wstring> ids;
    HKEY toolbars = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kToolbarsKey, 0, KEY_READ, &toolbars) != ERROR_SUCCESS) return ids;
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

// ---- one frame

namespace {

// The browser offers keystrokes to the band that has the focus before anything else; true when the
// band (or the browser, for a Tab the band hands back) took the message.
bool OfferKeyToBand(MSG& message, IDeskBand* band, int frame) {
    if (!band || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
    ComPtr<IInputObject> input;
    if (FAILED(band->QueryInterface(IID_PPV_ARGS(&input)))) return false;
    if (input->HasFocusIO() != S_OK) {
        // A Tab on the page: the browser moves the focus into the band (Shift+Tab: at its end).
        HWND band_window = nullptr;
        if (message.message != WM_KEYDOWN || message.wParam != VK_TAB || FAILED(band->GetWindow(&band_window)) ||
            message.hwnd == band_window || IsChild(band_window, message.hwnd)) {
            return false;
        }
        input->UIActivateIO(TRUE, &message);
        return true;
    }
    if (input->TranslateAcceleratorIO(&message) == S_OK) return true;
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
    // A Tab the band hands back: the browser moves the focus on, out of the band.
    input->UIActivateIO(FALSE, &message);
    SetFocus(GetAncestor(message.hwnd, GA_ROOT));
    Emit(FramePrefix(frame) + "\"focus\":\"browser\",\"band_has_focus\":" +
         (input->HasFocusIO() == S_OK ? "true" : "false") + "}");
    return true;
}

}  // namespace

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

bool Frame::Open() {
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
    if (options_.dpi > 0) Emit(FramePrefix(number_) + "\"dpi\":" + DpiFacts(browser_->Frame()) + "}");
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

void Frame::Settle(DWORD milliseconds) {
    Pump(milliseconds, host_ ? host_->Band() : nullptr, number_);
    printer_.Print(browser_->Record());
}

bool Frame::Run(const Action& action) {
    const bool done = Do(action);
    Settle(action.verb == L"--wait" ? 0 : 200);
    if (!done) {
        Emit(FramePrefix(number_) + "\"error\":" + Quote(error_) + ",\"action\":" + Quote(action.verb + L" " + action.argument) + "}");
    }
    return done;
}

void Frame::Close() {
    if (host_) host_->Close();
    Settle(100);
    host_.reset();
    browser_.reset();
}

void CALLBACK Frame::CloseWhileBuilding(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    Frame* frame = current_frame;
    if (!frame || !frame->building_) return;
    Emit(FramePrefix(frame->number_) + "\"closing_while_building\":" +
         (frame->host_->Hosting() ? "false" : "true") + "}");
    frame->closed_by_driver_ = true;
    frame->building_->CloseDW(0);
}

BOOL CALLBACK Frame::FindSplash(HWND window, LPARAM found) {
    wchar_t type[64] = {};
    GetClassNameW(window, type, 64);
    if (!IsWindowVisible(window) || wcscmp(type, kFormClass) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void CALLBACK Frame::CloseDuringSplash(HWND, UINT, UINT_PTR timer, DWORD) {
    Frame* frame = current_frame;
    HWND splash = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindSplash, reinterpret_cast<LPARAM>(&splash));
    if (!frame || !splash || !frame->host_->Hosting()) return;
    KillTimer(nullptr, timer);
    Emit(FramePrefix(frame->number_) + "\"closing_during_splash\":" + Quote(WindowText(splash)) + "}");
    frame->closed_by_driver_ = true;
    frame->host_->Close();
}

bool Frame::Fail(std::string why) {
    error_ = std::move(why);
    return false;
}

// ---- the frame threads

std::atomic<int> failures{0};

namespace {

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

}  // namespace

DWORD WINAPI FrameThread(void* data) {
    return tb::ThreadBoundary([&]() -> DWORD {
        const auto* start = static_cast<const FrameStart*>(data);
        RunFrame(start->number, *start->options);
        return 0;
    });
}

}  // namespace tb::driver
