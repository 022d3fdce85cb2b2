#pragma once
// The template update: fetches a newer template file and icon store from the toolbar's update
// location, checks each through a store of its own, and swaps it in, keeping the file it replaces
// under its " Default" name.
//
// Files in the data folder (B is the template's base name):
//   B.tb            the template in use          Icons.bin           the icon store in use
//   B Internet.tb   the download, before checks  Internet Icons.bin  the download, before checks
//   B Default.tb    the template before the swap Icons Default.bin   the icon store before the swap
// Remote files: UpdatesUrl + B + ".tb" and UpdatesUrl + "icons.bin".
#include <functional>
#include <string>

namespace tb {

// Bounds on one transfer, so that neither a stalled nor a hostile server can hold the browser's
// window for long or fill the user's disk: the transfer is given up when it has not moved for the
// no-progress time (connecting, or receiving), when it has run for the overall deadline however
// slowly bytes still trickle in, or when its body passes the size limit. A transfer given up leaves
// no file.
struct DownloadTimeouts {
    unsigned long connect_ms = 5000;
    unsigned long receive_ms = 30000;
    unsigned long total_ms = 120000;  // from the request to the last byte
};

// The largest files the update takes. Real templates are a few kilobytes and real icon stores well
// under a megabyte (a few hundred PNG icons); the limits leave room for any real store and for a
// slow connection to finish within the deadline, and keep what a server can put on the user's disk
// small.
inline constexpr unsigned long long kTemplateSizeLimit = 16ull << 20;
inline constexpr unsigned long long kIconStoreSizeLimit = 64ull << 20;
// A detached signature is 64 bytes; anything much larger is not one.
inline constexpr unsigned long long kSignatureSizeLimit = 1024;

struct DownloadLimits {
    DownloadTimeouts timeouts;
    unsigned long long max_bytes = kTemplateSizeLimit;
};

// The limits of the update's transfers; tests shorten them.
struct UpdateLimits {
    DownloadTimeouts timeouts;
    unsigned long long template_bytes = kTemplateSizeLimit;
    unsigned long long icon_store_bytes = kIconStoreSizeLimit;
};

// Fetches the URL (8-bit text) into the local file, in blocks of 1024 bytes, processing the thread's
// window messages while it waits. The server's status is not looked at: an error page is written like any
// body. Callers judge the outcome by whether the file exists afterwards: no session, a URL that does
// not canonicalize to a web address, or a server that cannot be reached leave no file, and so does a
// transfer that fails part-way or ends short of its announced length (the partial file is removed);
// so does a system that cannot create the event the wait sleeps on (no request is made then), and
// so does a transfer that passes one of its limits. A server that announces a length over the size
// limit is refused before anything is written.
// A local file that cannot be created or written raises FileCreateError, after the partial file is
// removed and the internet handles are closed.
void DownloadFile(const std::string& url, const std::string& local_file, const DownloadLimits& limits = {});

// The update for ToolbarSettings' UpdatesUrl, DataFolder and TemplateBaseName; a missing trailing
// "/" is added to the record's UpdatesUrl. Errors of the template phase (a download that cannot be
// written, a downloaded file that cannot be read) are raised; the icon phase then does not run.
void UpdateTemplate();

// The same for explicit values: `updates_url` gets the trailing "/" when it lacks one (unless it is
// empty or blank, when nothing at all happens).
void UpdateTemplate(const std::u16string& data_folder, const std::u16string& base_name, std::u16string& updates_url,
                    const UpdateLimits& limits = {});

// The transfers' workers that have not ended yet. A transfer's worker does its blocking calls on
// a thread of its own and ends shortly after the transfer is done or given up; the library must not
// be unloaded while one runs.
long RunningTransferWorkers();

// Test seam: makes the transfer's event fail to be created, as on a system out of handles; the
// download then does not start (no request, no file).
void SetEventCreationFailsForTesting(bool fail);

// Test seam: called with the download's path just before an accepted download is swapped in, so a
// test can hold the file the way another program might.
void SetBeforeSwapForTesting(std::function<void(const std::string& download)> hook);

}  // namespace tb
