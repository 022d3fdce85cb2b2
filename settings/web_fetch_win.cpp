#include "settings/web_fetch_win.hpp"


#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>  // std::lock_guard

#include "base/handle_win.hpp"
#include "base/message_pump_win.hpp"
#include "settings/helpers.hpp"
#include "settings/navigation_win.hpp"
#include "settings/wininet_win.hpp"
#include "base/lock.hpp"

namespace tb {
namespace {

// Small blocks: a read returns once its block is full, and each block is a sign of progress.
constexpr DWORD kBlockSize = 1024;

bool& FailEventCreation() {
    static bool fail = false;
    return fail;
}

// Plain values, so nothing runs at the thread's end (the library may be gone by then).
thread_local bool t_quit = false;
thread_local WPARAM t_quit_code = 0;

// The file name of the host process's executable, without its folder: the agent name.
std::string ProcessFileName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string full(path);
    const size_t slash = full.find_last_of("\\/");
    return slash == std::string::npos ? full : full.substr(slash + 1);
}

// Handles the thread's pending messages. WM_QUIT is not the update's to take: it is kept (marked
// for RepostQuit) and the pump stops, so the transfer ends and the loop that owns it sees it once
// the update has unwound.
void ProcessPendingMessages() {
    if (t_quit) return;
    const PumpResult pumped = TakeWaitingMessages();
    if (pumped.quit) {
        t_quit = true;
        t_quit_code = pumped.quit_code;
    }
}

std::string QueryHeader(HINTERNET request, DWORD which) {
    char text[512] = {};
    DWORD size = sizeof text - 1;
    DWORD index = 0;
    if (!WinInet()->HttpQueryInfoA(request, which, text, &size, &index)) return {};
    return std::string(text, size);
}

DWORD StatusCode(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD index = 0;
    if (!WinInet()->HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index)) return 0;
    return status;
}

bool AnnouncedLength(HINTERNET request, unsigned long long& length) {
    const std::string text = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
    if (text.empty()) return false;
    char* end = nullptr;
    length = strtoull(text.c_str(), &end, 10);
    return end != text.c_str();
}

// A validator goes back into a request header: only printable ASCII, and not much of it.
std::string CleanValidator(const std::string& value) {
    if (value.size() > 200) return {};
    for (const char c : value) {
        if (c < 0x20 || c > 0x7e) return {};
    }
    return value;
}

// The reason for a failed internet call, in the words a publisher can act on.
std::string ReasonOf(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_INVALID_CERT:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
            return "certificate not trusted";
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
            return "certificate expired or not yet valid";
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
            return "certificate names another host";
        case ERROR_INTERNET_CANNOT_CONNECT:
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            return "cannot connect";
        case ERROR_INTERNET_TIMEOUT:
            return "no answer";
        default:
            return "network error " + std::to_string(error);
    }
}

enum class Outcome { kNone, kBody, kNotModified, kRedirect, kFailed };

std::atomic<long> g_running_workers{0};

// One transfer, shared by the waiting thread and the worker that does the blocking calls: reads
// on a stalled connection cannot be bounded by the internet library itself, so the waiting thread
// keeps the window responsive and gives up at the limits. Giving up closes the transfer's internet
// handles, which ends the call the worker is blocked in.
//
// The internet handles belong to the transfer and are closed under its mutex, each once: by the
// waiting thread when it gives up, else by the worker when it is done with the request and by the
// last owner of the transfer. The worker calls with a handle only while the transfer is not given up.
struct Transfer {
    Transfer(UniqueInternet session_handle, const FetchLimits& transfer_limits)
        : limits(transfer_limits),
          progress(FailEventCreation() ? nullptr : CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          session(std::move(session_handle)) {}
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    FetchLimits limits;
    std::string host, target;
    INTERNET_PORT port = 0;
    bool secure = false;
    Validators have;
    UniqueHandle progress;  // set at every block and at the end; the waiting thread sleeps on it
    std::atomic<bool> opened{false};
    std::atomic<unsigned long long> received{0};
    std::atomic<bool> abandoned{false};
    Lock mutex;  // guards what follows
    UniqueInternet session;
    UniqueInternet connection;
    UniqueInternet request;
    bool finished = false;
    Outcome outcome = Outcome::kNone;
    std::string body;
    Validators validators;
    std::string location;  // of a redirect
    std::string reason;
};

void Abandon(Transfer& transfer) {
    transfer.abandoned = true;
    transfer.request.Reset();
    transfer.connection.Reset();
    transfer.session.Reset();
}

bool Keep(Transfer& transfer, HINTERNET connection, HINTERNET request) {
    std::lock_guard lock(transfer.mutex);
    if (transfer.abandoned) {
        if (request) WinInet()->InternetCloseHandle(request);
        if (connection) WinInet()->InternetCloseHandle(connection);
        return false;
    }
    transfer.connection.Reset(connection);
    transfer.request.Reset(request);
    return true;
}

// Runs on the worker: sends the request and reads the answer into the transfer.
Outcome Fetch(Transfer& transfer, std::string& body, std::string& reason) {
    HINTERNET session = nullptr;
    {
        std::lock_guard lock(transfer.mutex);
        if (transfer.abandoned) return Outcome::kFailed;
        session = transfer.session.Get();
    }
    const HINTERNET connection = WinInet()->InternetConnectA(session, transfer.host.c_str(), transfer.port, nullptr, nullptr,
                                                  INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection) return reason = ReasonOf(GetLastError()), Outcome::kFailed;
    // No wait for bytes may outlast the no-answer time: closing the handles does not end a read
    // everywhere (Wine's internet library lets it go on until bytes or the end arrive).
    DWORD receive_ms = transfer.limits.no_answer_ms;
    WinInet()->InternetSetOptionA(connection, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive_ms, sizeof receive_ms);
    // Redirects are the waiting thread's to judge; the validators are the caller's, not a cache's.
    const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                        (transfer.secure ? INTERNET_FLAG_SECURE : 0);
    const HINTERNET request = WinInet()->HttpOpenRequestA(connection, "GET", transfer.target.c_str(), nullptr, nullptr, nullptr,
                                               flags, 0);
    if (!Keep(transfer, connection, request) || !request) return Outcome::kFailed;
    std::string headers;
    if (const std::string etag = CleanValidator(transfer.have.etag); !etag.empty()) {
        headers += "If-None-Match: " + etag + "\r\n";
    }
    if (const std::string since = CleanValidator(transfer.have.last_modified); !since.empty()) {
        headers += "If-Modified-Since: " + since + "\r\n";
    }
    if (!WinInet()->HttpSendRequestA(request, headers.empty() ? nullptr : headers.c_str(), static_cast<DWORD>(headers.size()),
                          nullptr, 0)) {
        return reason = ReasonOf(GetLastError()), Outcome::kFailed;
    }
    if (transfer.abandoned) return Outcome::kFailed;
    transfer.opened = true;
    SetEvent(transfer.progress.Get());
    const DWORD status = StatusCode(request);
    if (status == 304) return Outcome::kNotModified;
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
        std::lock_guard lock(transfer.mutex);
        transfer.location = QueryHeader(request, HTTP_QUERY_LOCATION);
        return Outcome::kRedirect;
    }
    if (status != 200) return reason = "the server answered " + std::to_string(status), Outcome::kFailed;
    {
        std::lock_guard lock(transfer.mutex);
        transfer.validators = {QueryHeader(request, HTTP_QUERY_ETAG), QueryHeader(request, HTTP_QUERY_LAST_MODIFIED)};
    }
    unsigned long long announced = 0;
    const bool has_announced = AnnouncedLength(request, announced);
    if (has_announced && announced > transfer.limits.max_bytes) return reason = "size limit", Outcome::kFailed;
    std::string block(kBlockSize, '\0');
    for (;;) {
        DWORD count = 0;
        const DWORD asked = GetTickCount();
        const BOOL read = transfer.abandoned ? FALSE : WinInet()->InternetReadFile(request, block.data(), kBlockSize, &count);
        if (transfer.abandoned) return Outcome::kFailed;
        if (!read) {
            // A read that waited out the receive time-out: the server went quiet.
            reason = GetTickCount() - asked + 100 >= transfer.limits.no_answer_ms ? "no answer" : "the connection broke";
            return Outcome::kFailed;
        }
        if (count == 0) break;
        if (count > transfer.limits.max_bytes - body.size()) return reason = "size limit", Outcome::kFailed;
        body.append(block.data(), count);
        transfer.received += count;
        SetEvent(transfer.progress.Get());
    }
    if (has_announced && body.size() < announced) return reason = "the connection broke", Outcome::kFailed;
    return Outcome::kBody;
}

DWORD WINAPI RunWorker(void* context) {
    auto* owned = static_cast<std::shared_ptr<Transfer>*>(context);
    const std::shared_ptr<Transfer> transfer = std::move(*owned);
    delete owned;
    Outcome outcome = Outcome::kFailed;
    std::string body;
    std::string reason;
    try {
        outcome = Fetch(*transfer, body, reason);
    } catch (...) {
        // Nothing may leave a thread procedure; the transfer counts as failed.
        outcome = Outcome::kFailed;
        reason = "out of memory";
    }
    {
        std::lock_guard lock(transfer->mutex);
        transfer->outcome = outcome;
        transfer->body = std::move(body);
        transfer->reason = std::move(reason);
        transfer->finished = true;
        transfer->request.Reset();
        transfer->connection.Reset();
    }
    SetEvent(transfer->progress.Get());
    return 0;
}

struct WorkerStart {
    std::shared_ptr<Transfer> transfer;
    HMODULE module;  // a reference of this module, taken for the worker and given back as it returns
};

// Runs on a thread of the process's pool: a window's update makes two transfers, and a browser
// many windows, and a thread made for each costs more than the transfer to a near server.
void CALLBACK RunPooledWorker(PTP_CALLBACK_INSTANCE instance, void* context) {
    auto* start = static_cast<WorkerStart*>(context);
    const HMODULE module = start->module;
    auto* transfer = new std::shared_ptr<Transfer>(std::move(start->transfer));
    delete start;
    // The pool gives the reference back once this function has returned: the library stays
    // loaded until the thread is out of it.
    if (module) FreeLibraryWhenCallbackReturns(instance, module);
    RunWorker(transfer);
    --g_running_workers;
}

bool StartWorker(const std::shared_ptr<Transfer>& transfer) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&RunWorker), &module);
    auto* start = new WorkerStart{transfer, module};
    ++g_running_workers;
    if (!TrySubmitThreadpoolCallback(&RunPooledWorker, start, nullptr)) {
        --g_running_workers;
        delete start;
        if (module) FreeLibrary(module);
        return false;
    }
    return true;
}

bool Passed(DWORD tick) { return static_cast<LONG>(GetTickCount() - tick) >= 0; }

struct WebAddress {
    bool secure = false;
    std::string host, target;
    INTERNET_PORT port = 0;
};

// Only http and https are fetched; anything else (ftp, file, a text that is no address) is not.
bool CrackWebAddress(const std::string& url, WebAddress& address) {
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
    if (!WinInet()->InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    address.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    // After the call each length is that of its part, without the terminating zero.
    address.host = host.substr(0, parts.dwHostNameLength);
    address.port = parts.nPort;
    address.target = path.substr(0, parts.dwUrlPathLength) + extra.substr(0, parts.dwExtraInfoLength);
    if (address.target.empty()) address.target.push_back('/');
    return !address.host.empty();
}

// One request, no redirect followed.
FetchResult FetchOnce(const WebAddress& address, const Validators& have, const FetchLimits& limits,
                      std::string& location) {
    FetchResult result;
    UniqueInternet session(
        WinInet()->InternetOpenA(ProcessFileName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return result.reason = "no internet session", result;
    auto transfer = std::make_shared<Transfer>(std::move(session), limits);
    // Without its event the wait below would spin for as long as the transfer runs.
    if (!transfer->progress) return result.reason = "out of system resources", result;
    transfer->host = address.host;
    transfer->target = address.target;
    transfer->port = address.port;
    transfer->secure = address.secure;
    transfer->have = have;
    if (!StartWorker(transfer)) return result.reason = "out of system resources", result;

    DWORD last_move = GetTickCount();
    unsigned long long last_received = 0;
    bool last_opened = false;
    for (;;) {
        ProcessPendingMessages();
        {
            std::lock_guard lock(transfer->mutex);
            if (transfer->finished) break;
        }
        const bool quit = t_quit;
        const bool deadline = Passed(limits.deadline_tick);
        const HANDLE progress = transfer->progress.Get();
        if (!quit && !deadline) WaitForMessageOr(50, &progress, 1);
        const unsigned long long received = transfer->received;
        const bool opened = transfer->opened;
        if (received != last_received || opened != last_opened) {
            last_received = received;
            last_opened = opened;
            last_move = GetTickCount();
        }
        const bool stalled = GetTickCount() - last_move > limits.no_answer_ms;
        if (quit || deadline || stalled) {
            std::lock_guard lock(transfer->mutex);
            if (transfer->finished) break;
            Abandon(*transfer);
            result.kind = quit ? FetchResult::Kind::kQuit : FetchResult::Kind::kFailed;
            result.reason = quit ? "the window closed" : deadline ? "deadline" : "no answer";
            return result;
        }
    }
    std::lock_guard lock(transfer->mutex);
    switch (transfer->outcome) {
        case Outcome::kBody:
            result.kind = FetchResult::Kind::kBody;
            result.body = std::move(transfer->body);
            result.validators = transfer->validators;
            break;
        case Outcome::kNotModified:
            result.kind = FetchResult::Kind::kNotModified;
            break;
        case Outcome::kRedirect:
            location = transfer->location;
            if (location.empty()) result.reason = "a redirect without a location";
            break;
        default:
            result.reason = transfer->reason.empty() ? "no answer" : transfer->reason;
            break;
    }
    return result;
}

// The address a redirect names, resolved against the one that was asked.
std::string Resolve(const std::string& base, const std::string& location) {
    DWORD size = 0;
    WinInet()->InternetCombineUrlA(base.c_str(), location.c_str(), nullptr, &size, ICU_NO_ENCODE);
    if (size == 0 || size > 4096) return {};
    std::string combined(size + 1, '\0');
    if (!WinInet()->InternetCombineUrlA(base.c_str(), location.c_str(), combined.data(), &size, ICU_NO_ENCODE)) return {};
    combined.resize(size);
    return combined;
}

}  // namespace

void SetEventCreationFailsForTesting(bool fail) { FailEventCreation() = fail; }

long RunningTransferWorkers() { return g_running_workers.load(); }

bool QuitRequested() { return t_quit; }

void RepostQuit() {
    if (!t_quit) return;
    t_quit = false;
    PostQuitMessage(static_cast<int>(t_quit_code));
}

FetchResult FetchUrl(const std::string& url, const Validators& have, const FetchLimits& limits) {
    FetchResult result;
    if (t_quit) return result.kind = FetchResult::Kind::kQuit, result.reason = "the window closed", result;
    // Every internet call below goes through the functions this finds.
    if (WinInet() == nullptr) return result.reason = kNoInternetLibrary, result;
    std::string current = CanonicalizeUrl(url);
    WebAddress address;
    if (!LooksLikeUrl(current) || !CrackWebAddress(current, address)) {
        return result.reason = "not an http or https address", result;
    }
    const bool started_secure = address.secure;
    for (int hop = 0;; ++hop) {
        std::string location;
        result = FetchOnce(address, have, limits, location);
        if (location.empty()) return result;
        if (hop == kMaxRedirects) return result.reason = "too many redirects", result;
        current = Resolve(current, location);
        if (current.empty() || !LooksLikeUrl(current) || !CrackWebAddress(current, address)) {
            return result.reason = "redirected to an address that is not http or https", result;
        }
        if (started_secure && !address.secure) return result.reason = "redirected from https to http", result;
    }
}

}  // namespace tb
