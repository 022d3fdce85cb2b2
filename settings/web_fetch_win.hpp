#pragma once
// One web transfer of the template update, into memory: GET over http or https with the
// validators of the copy the caller has, so that an unchanged file costs one conditional request
// (304, no body); redirects followed only while they stay on http(s), never from https down to
// http, at most kMaxRedirects hops; a status other than 200 or 304 is a failure, not a body. The
// blocking calls run on a worker thread while the calling thread handles its window messages, and
// the transfer is given up at the caller's deadline, when the server stops moving, or when the
// body passes the size limit. Each failure comes with the reason a publisher can act on.
#include <windows.h>

#include <string>

#include "settings/update_checks.hpp"
#include "settings/update_record.hpp"

namespace tb {

inline constexpr int kMaxRedirects = kMaxUpdateRedirects;

struct FetchLimits {
    unsigned long long max_bytes = 0;
    unsigned long no_answer_ms = 5000;  // connecting, or between two parts of the body
    DWORD deadline_tick = 0;            // GetTickCount() value at which the transfer is given up
};

struct FetchResult {
    enum class Kind { kBody, kNotModified, kFailed, kQuit };
    Kind kind = Kind::kFailed;
    std::string body;
    Validators validators;  // of the body, when the server sent any
    std::string reason;     // for kFailed: "certificate not trusted", "deadline", "size limit", ...
};

// Fetches `url`. kQuit: the thread's message loop was asked to end (WM_QUIT) during the transfer;
// the transfer is given up and WM_QUIT stays for the loop that owns it (see QuitRequested).
FetchResult FetchUrl(const std::string& url, const Validators& have, const FetchLimits& limits);

// True once a nested pump of the update met WM_QUIT on this thread; RepostQuit puts it back in the
// thread's queue for the owning loop and clears the mark.
bool QuitRequested();
void RepostQuit();

// The transfers' workers that have not ended yet. A worker does its blocking calls on a thread of
// its own and ends shortly after the transfer is done or given up; the library must not be
// unloaded while one runs.
long RunningTransferWorkers();

// Test seam: makes the transfer's event fail to be created, as on a system out of handles; the
// transfer then does not start.
void SetEventCreationFailsForTesting(bool fail);

}  // namespace tb
