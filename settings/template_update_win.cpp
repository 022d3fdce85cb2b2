#include "settings/template_update_win.hpp"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "base/errors.hpp"
#include "base/file.hpp"
#include "base/handle_win.hpp"
#include "base/text.hpp"
#include "settings/helpers.hpp"
#include "settings/navigation_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "settings/update_signature.hpp"
#include "settings/update_signature_win.hpp"
#include "storage/read_only_store.hpp"

namespace tb {
namespace {

constexpr DWORD kBlockSize = 1024;

bool& FailEventCreation() {
    static bool fail = false;
    return fail;
}

// The file name of the host process's executable, without its folder: the agent name.
std::string ProcessFileName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string full(path);
    const size_t slash = full.find_last_of("\\/");
    return slash == std::string::npos ? full : full.substr(slash + 1);
}

void ProcessPendingMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The length the server announced, when it announced one.
bool AnnouncedLength(HINTERNET request, unsigned long long& length) {
    char text[32] = {};
    DWORD size = sizeof text;
    DWORD index = 0;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, &index)) return false;
    char* end = nullptr;
    length = strtoull(text, &end, 10);
    return end != text;
}

enum class Outcome { kNone, kComplete, kBroken };

// The workers that have not ended yet.
std::atomic<long> g_running_workers{0};

// One transfer, shared by the waiting thread and the worker that does the blocking calls: reads on
// a stalled connection cannot be bounded by the internet library itself, so the waiting thread
// keeps the window responsive and gives up after the time-out. Giving up closes the transfer's
// internet handles, which ends the call the worker is blocked in; the worker then removes its file
// and ends. The worker writes to a file of its own next to the local file; only a complete transfer
// is renamed into place.
//
// The internet handles belong to the transfer and are closed under its mutex, each once: by the
// waiting thread when it gives up, else by the worker when it is done with the request and by the
// last owner of the transfer. The worker calls with a handle only while the transfer is not given up.
struct Transfer {
    Transfer(UniqueInternet session_handle, const DownloadLimits& transfer_limits, const std::string& local)
        : limits(transfer_limits), local_file(local),
          part_file(local + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) +
                    ".part"),
          progress(FailEventCreation() ? nullptr : CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          session(std::move(session_handle)) {}
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    DownloadLimits limits;
    std::string url;
    std::string local_file;
    std::string part_file;
    UniqueHandle progress;  // set at every block and at the end; the waiting thread sleeps on it
    std::atomic<bool> opened{false};
    std::atomic<unsigned long long> received{0};
    // Set by the waiting thread when it gives up (under the mutex, as it closes the handles); the
    // worker then stops at once, so neither a stalled nor an endless or drip-fed body goes on
    // holding the connection or filling its file behind the user's back.
    std::atomic<bool> abandoned{false};
    std::mutex mutex;  // guards what follows
    UniqueInternet session;
    UniqueInternet connection;  // a web address's server, once the worker has it
    UniqueInternet request;     // the worker's open URL, once it has one
    bool finished = false;
    Outcome outcome = Outcome::kNone;
    std::string error;  // a local file that could not be written
};

// The waiting thread gives up, holding the transfer's mutex: the handles are closed, the request
// first, so a call the worker is blocked in returns where the internet library ends it so.
void Abandon(Transfer& transfer) {
    transfer.abandoned = true;
    transfer.request.Reset();
    transfer.connection.Reset();
    transfer.session.Reset();
}

// Hands handles the worker has just made to the transfer. When the transfer was given up
// meanwhile, nobody else knows them: they are closed here, the request first, and the answer is false.
bool Keep(Transfer& transfer, HINTERNET connection, HINTERNET request) {
    std::lock_guard lock(transfer.mutex);
    if (transfer.abandoned) {
        if (request) InternetCloseHandle(request);
        if (connection) InternetCloseHandle(connection);
        return false;
    }
    transfer.connection.Reset(connection);
    transfer.request.Reset(request);
    return true;
}

// Opens the URL for reading and returns its request, or null (no such address, no answer, given up).
// A web address gets a connection whose receive time-out is the no-progress time, set before the
// request is sent, so that no wait for bytes outlasts it: closing the handles when the transfer is
// given up does not end a read everywhere (Wine's internet library lets the read go on until bytes
// or the end of the connection arrive). Other addresses are opened as they are.
HINTERNET OpenRequest(Transfer& transfer) {
    HINTERNET session = nullptr;
    {
        std::lock_guard lock(transfer.mutex);
        if (transfer.abandoned) return nullptr;
        session = transfer.session.Get();
    }
    const std::string& url = transfer.url;
    std::string host(url.size() + 1, '\0');
    std::string path(url.size() + 1, '\0');
    std::string extra(url.size() + 1, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    const bool web = InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) &&
                     (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS);
    if (!web) {
        const HINTERNET opened = InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_RESYNCHRONIZE, 0);
        return Keep(transfer, nullptr, opened) ? opened : nullptr;
    }
    // Neither of these two calls waits for the server.
    const HINTERNET connection =
        InternetConnectA(session, host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection) return nullptr;
    DWORD receive_ms = transfer.limits.timeouts.receive_ms;
    InternetSetOptionA(connection, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive_ms, sizeof receive_ms);
    const std::string target = std::string(path.c_str()) + extra.c_str();
    const DWORD flags = INTERNET_FLAG_RESYNCHRONIZE | (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
    const HINTERNET request = HttpOpenRequestA(connection, "GET", target.empty() ? "/" : target.c_str(), nullptr,
                                               nullptr, nullptr, flags, 0);
    if (!Keep(transfer, connection, request) || !request) return nullptr;
    if (!HttpSendRequestA(request, nullptr, 0, nullptr, 0)) return nullptr;
    return request;
}

// Runs on the worker: opens the URL and copies its body into the part file.
Outcome Fetch(Transfer& transfer) {
    // The request is the transfer's: the worker calls with it only while the transfer is not given up.
    const HINTERNET request = OpenRequest(transfer);
    if (transfer.abandoned) return Outcome::kBroken;
    if (!request) return Outcome::kNone;
    transfer.opened = true;
    SetEvent(transfer.progress.Get());
    unsigned long long announced = 0;
    const bool has_announced = AnnouncedLength(request, announced);
    if (transfer.abandoned) return Outcome::kBroken;
    if (has_announced && announced > transfer.limits.max_bytes) return Outcome::kBroken;  // refused unwritten
    UniqueFile file(CreateFileA(transfer.part_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        transfer.error = CannotCreateMessage(transfer.local_file, static_cast<int>(GetLastError()));
        return Outcome::kBroken;
    }
    Outcome outcome = Outcome::kComplete;
    char block[kBlockSize];
    for (;;) {
        DWORD count = 0;
        const BOOL read = transfer.abandoned ? FALSE : InternetReadFile(request, block, kBlockSize, &count);
        if (transfer.abandoned) {
            outcome = Outcome::kBroken;  // given up: its handles were closed, or the read timed out
            break;
        }
        if (!read) {
            outcome = Outcome::kBroken;  // cut part-way
            break;
        }
        if (count == 0) break;
        if (count > transfer.limits.max_bytes - transfer.received) {
            outcome = Outcome::kBroken;  // the body passes the size limit: not written
            break;
        }
        DWORD written = 0;
        if (!WriteFile(file.Get(), block, count, &written, nullptr) || written != count) {
            transfer.error = CannotCreateMessage(transfer.local_file, static_cast<int>(GetLastError()));
            outcome = Outcome::kBroken;
            break;
        }
        transfer.received += count;
        SetEvent(transfer.progress.Get());
    }
    // Closed here, not at the end of the scope: a close that fails means the file is not complete.
    if (!CloseHandle(file.Release()) && outcome == Outcome::kComplete) {
        transfer.error = CannotCreateMessage(transfer.local_file, static_cast<int>(GetLastError()));
        outcome = Outcome::kBroken;
    }
    if (outcome == Outcome::kComplete && has_announced && transfer.received < announced) {
        outcome = Outcome::kBroken;  // the connection ended before the announced length
    }
    return outcome;
}

DWORD WINAPI RunWorker(void* context) {
    // The worker owns one reference of the transfer and one of this module, so that neither goes
    // away under it when the waiting thread has given up.
    auto* owned = static_cast<std::shared_ptr<Transfer>*>(context);
    const std::shared_ptr<Transfer> transfer = std::move(*owned);
    delete owned;
    Outcome outcome = Outcome::kBroken;
    try {
        outcome = Fetch(*transfer);
    } catch (...) {
        // Nothing may leave a thread procedure; the transfer counts as broken.
    }
    {
        std::lock_guard lock(transfer->mutex);
        transfer->outcome = outcome;
        transfer->finished = true;
        // The connection goes now, not when the waiting thread lets go of the transfer.
        transfer->request.Reset();
        transfer->connection.Reset();
        if (outcome != Outcome::kComplete || transfer->abandoned) DeleteFileA(transfer->part_file.c_str());
    }
    SetEvent(transfer->progress.Get());
    return 0;
}

struct WorkerStart {
    std::shared_ptr<Transfer> transfer;
    HMODULE module;  // a reference of this module, taken for the worker and given back as it exits
};

DWORD WINAPI RunPinnedWorker(void* context) {
    auto* start = static_cast<WorkerStart*>(context);
    const HMODULE module = start->module;
    auto* transfer = new std::shared_ptr<Transfer>(std::move(start->transfer));
    delete start;
    RunWorker(transfer);
    // Ended as far as the library is concerned: what remains is the return through the module
    // reference, which keeps the library loaded until the thread is out of it.
    --g_running_workers;
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

bool StartWorker(const std::shared_ptr<Transfer>& transfer) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&RunWorker), &module);
    auto* start = new WorkerStart{transfer, module};
    ++g_running_workers;
    const UniqueHandle thread(CreateThread(nullptr, 0, &RunPinnedWorker, start, 0, nullptr));
    if (!thread) {
        --g_running_workers;
        delete start;
        if (module) FreeLibrary(module);
        return false;
    }
    return true;
}

bool IsBlank(const std::u16string& text) {
    for (const char16_t c : text) {
        if (c > u' ') return false;
    }
    return true;
}

// Each download is checked through a store of its own, read only: a file that loads only as a
// damaged store is not usable.
bool TemplateIsUsable(const std::string& path) {
    ReadOnlyStore check(path);
    return !check.Damaged() && !DecodeUtf8(check.Store().ReadString("Options\\Toolbar Name", "")).empty();
}

bool IconStoreIsUsable(const std::string& path) {
    ReadOnlyStore check(path);
    return !check.Damaged() && check.Store().KeyExists("\\Icons");
}

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

// A library that carries a publisher's key takes only downloads signed with it: the signature is
// fetched next to the file (remote name + ".sig") and checked before the file is read at all. A
// missing, damaged or wrong signature rejects the download like a failed check, so the download
// stays aside and the current file stays in use. The signature's own download is removed again.
bool SignatureAccepts(const std::optional<std::string_view>& key, const std::string& remote_url,
                      const std::string& signed_name, const std::string& download, const DownloadTimeouts& timeouts) {
    if (!key) return true;
    const std::string signature_file = download + kSignatureSuffix;
    if (FileExists(signature_file)) DeleteOneFile(signature_file);
    DownloadFile(remote_url + kSignatureSuffix, signature_file, {timeouts, kSignatureSizeLimit});
    const std::optional<std::string> signature = FileExists(signature_file) ? ReadWholeFile(signature_file) : std::nullopt;
    DeleteOneFile(signature_file);
    return signature && VerifyUpdateSignature(*key, signed_name, download, *signature);
}

std::function<void(const std::string&)>& BeforeSwap() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

// Puts an accepted download in place of the current file, which becomes the previous version. When
// the download cannot take its place, the previous version goes back, so a working file remains.
void SwapIn(const std::string& download, const std::string& current, const std::string& previous) {
    if (BeforeSwap()) BeforeSwap()(download);
    if (FileExists(previous)) DeleteOneFile(previous);
    const bool moved_aside = RenameOneFile(current, previous);
    if (!RenameOneFile(download, current) && moved_aside) RenameOneFile(previous, current);
}

}  // namespace

void SetBeforeSwapForTesting(std::function<void(const std::string& download)> hook) { BeforeSwap() = std::move(hook); }

void SetEventCreationFailsForTesting(bool fail) { FailEventCreation() = fail; }

long RunningTransferWorkers() { return g_running_workers.load(); }

void DownloadFile(const std::string& url, const std::string& local_file, const DownloadLimits& limits) {
    UniqueInternet session(
        InternetOpenA(ProcessFileName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return;
    auto transfer = std::make_shared<Transfer>(std::move(session), limits, local_file);
    // Without its event the wait below would return at once, every time: a busy loop for as long as
    // the transfer runs. A system that cannot make one event cannot take a download either.
    if (!transfer->progress) return;
    const std::string canonical = CanonicalizeUrl(url);
    if (!LooksLikeUrl(canonical)) return;
    transfer->url = canonical;
    if (!StartWorker(transfer)) return;

    // Wait for the worker, handling the thread's window messages meanwhile; give up when it has not
    // moved for the time-out, or when the whole transfer has taken longer than its deadline.
    const DownloadTimeouts& timeouts = limits.timeouts;
    const DWORD start = GetTickCount();
    DWORD last_move = start;
    unsigned long long last_received = 0;
    bool last_opened = false;
    for (;;) {
        ProcessPendingMessages();
        {
            std::lock_guard lock(transfer->mutex);
            if (transfer->finished) break;
        }
        const HANDLE progress = transfer->progress.Get();
        MsgWaitForMultipleObjects(1, &progress, FALSE, 50, QS_ALLINPUT);
        const unsigned long long received = transfer->received;
        const bool opened = transfer->opened;
        if (received != last_received || opened != last_opened) {
            last_received = received;
            last_opened = opened;
            last_move = GetTickCount();
        }
        const DWORD limit = opened ? timeouts.receive_ms : timeouts.connect_ms + timeouts.receive_ms;
        const DWORD now = GetTickCount();
        if (now - last_move > limit || now - start > timeouts.total_ms) {
            std::lock_guard lock(transfer->mutex);
            if (!transfer->finished) {
                Abandon(*transfer);  // the worker removes its own file as it ends
                break;
            }
        }
    }

    std::lock_guard lock(transfer->mutex);
    // Like a file created anew when the URL opened: a transfer that does not finish leaves none.
    if (transfer->opened && transfer->outcome != Outcome::kComplete) DeleteFileA(local_file.c_str());
    if (transfer->abandoned) return;
    if (!transfer->error.empty()) throw FileCreateError(transfer->error);
    if (transfer->outcome != Outcome::kComplete) return;
    if (!MoveFileExA(transfer->part_file.c_str(), local_file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const int error = static_cast<int>(GetLastError());
        DeleteFileA(transfer->part_file.c_str());
        throw FileCreateError(CannotCreateMessage(local_file, error));
    }
}

void UpdateTemplate(const std::u16string& data_folder, const std::u16string& base_name, std::u16string& updates_url,
                    const UpdateLimits& limits) {
    if (IsBlank(updates_url)) return;
    if (updates_url.back() != u'/') updates_url += u'/';
    const std::string url = Utf16ToAnsi(updates_url);
    const std::string folder = Utf16ToAnsi(data_folder) + "\\";
    const std::string base = Utf16ToAnsi(base_name);
    const std::optional<std::string_view> key = PublisherKey(ThisModule());

    // Template phase: its errors reach the caller.
    const std::string template_download = folder + base + " Internet.tb";
    if (FileExists(template_download)) DeleteOneFile(template_download);
    DownloadFile(url + base + ".tb", template_download, {limits.timeouts, limits.template_bytes});
    if (FileExists(template_download) &&
        SignatureAccepts(key, url + base + ".tb", Utf16ToUtf8(base_name) + ".tb", template_download, limits.timeouts) &&
        TemplateIsUsable(template_download)) {
        SwapIn(template_download, folder + base + ".tb", folder + base + " Default.tb");
    }

    // Icon phase: runs whatever the template phase did; its errors are swallowed.
    try {
        const std::string icons_download = folder + "Internet Icons.bin";
        DownloadFile(url + "icons.bin", icons_download, {limits.timeouts, limits.icon_store_bytes});
        if (FileExists(icons_download) &&
            SignatureAccepts(key, url + "icons.bin", "icons.bin", icons_download, limits.timeouts) &&
            IconStoreIsUsable(icons_download)) {
            SwapIn(icons_download, folder + "Icons.bin", folder + "Icons Default.bin");
        }
    } catch (...) {
        // An icon store that cannot be fetched or checked leaves the current one in use.
    }
}

void UpdateTemplate() {
    const ToolbarSettings settings = CurrentSettings();
    std::u16string updates_url = settings.UpdatesUrl;
    if (IsBlank(updates_url)) return;
    if (updates_url.back() != u'/') {
        updates_url += u'/';
        ChangeSettings([&](ToolbarSettings& record) { record.UpdatesUrl = updates_url; });
    }
    UpdateTemplate(settings.DataFolder, settings.TemplateBaseName, updates_url);
}

}  // namespace tb
