#pragma once
// What the template update keeps in the data folder besides the toolbar's files, both small and
// both read as untrusted (page content can write there):
//   Update.log    one line per update attempt: "TIME ADDRESS OUTCOME", for a publisher's support;
//                 rotated to Update.old.log when it passes kUpdateLogRotateSize.
//   Update.state  the validators of the installed files, one line each: "URL\tETAG\tLAST-MODIFIED",
//                 so that an unchanged file costs one conditional request.
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// About 200 attempts a file at ~150 bytes a line, and one older file beside it: weeks of builds
// for a support request, and never more than 64 KiB of a user's disk.
inline constexpr size_t kUpdateLogRotateSize = 32 * 1024;
inline constexpr size_t kUpdateStateSizeLimit = 4096;
inline constexpr char kUpdateLogName[] = "Update.log";
inline constexpr char kUpdateOldLogName[] = "Update.old.log";
inline constexpr char kUpdateStateName[] = "Update.state";

struct Validators {
    std::string etag;           // the server's ETag, sent back as If-None-Match
    std::string last_modified;  // its Last-Modified, sent back as If-Modified-Since
    bool operator==(const Validators&) const = default;
};

// One log line, ended by "\n". The address and outcome come from outside (the template, a
// server): bytes outside printable ASCII become '?', and each is cut to a length that keeps a
// line readable, so the log cannot be split or forged into lines of its own.
std::string UpdateLogLine(std::string_view utc_time, std::string_view address, std::string_view outcome);

struct SavedValidators {
    std::string url;
    Validators validators;
    bool operator==(const SavedValidators&) const = default;
};

// Reads Update.state; lines that do not fit (a field too long or not printable ASCII, a wrong
// count of fields) are skipped, and nothing past kUpdateStateSizeLimit is read.
std::vector<SavedValidators> ParseUpdateState(std::string_view text);
std::string FormatUpdateState(const std::vector<SavedValidators>& entries);

// The validators saved for `url`, or none; and the entries with `url`'s replaced (removed when
// `validators` is empty).
Validators FindValidators(const std::vector<SavedValidators>& entries, std::string_view url);
std::vector<SavedValidators> WithValidators(std::vector<SavedValidators> entries, const std::string& url,
                                            const Validators& validators);

}  // namespace tb
