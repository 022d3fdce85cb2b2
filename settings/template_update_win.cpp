#include "settings/template_update_win.hpp"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>  // std::lock_guard
#include <set>
#include <utility>

#include "base/file.hpp"
#include "base/handle_win.hpp"
#include "base/text.hpp"
#include "base/this_module_win.hpp"
#include "base/wide_win.hpp"
#include "settings/release_manifest.hpp"
#include "settings/startup_win.hpp"
#include "settings/toolbar_settings.hpp"
#include "settings/update_checks.hpp"
#include "settings/update_record.hpp"
#include "settings/update_signature_win.hpp"
#include "settings/web_fetch_win.hpp"
#include "storage/read_only_store.hpp"
#include "base/lock.hpp"

namespace tb {
namespace {

bool IsBlank(const std::u16string& text) {
    for (const char16_t c : text) {
        if (c > u' ') return false;
    }
    return true;
}

std::function<void(const std::string&)>& BeforeSwap() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

// --- one update at a time for a data folder

// Held by the update of one data folder, across threads and processes: a named mutex per folder
// (a thread owns a mutex again when it waits for it a second time, so a set of the folders this
// process is updating catches an update started from inside another's message pump).
class UpdateTurn {
public:
    explicit UpdateTurn(const std::string& folder) : folder_(folder) {
        {
            std::lock_guard lock(BusyLock());
            if (!Busy().insert(folder_).second) return;
        }
        std::string name = "Local\\TbUpdate-";
        for (const char c : folder.substr(folder.size() > 200 ? folder.size() - 200 : 0)) {
            name += c == '\\' ? '/' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
        mutex_.Reset(CreateMutexA(nullptr, FALSE, name.c_str()));
        const DWORD wait = mutex_ ? WaitForSingleObject(mutex_.Get(), 0) : WAIT_FAILED;
        held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;  // abandoned: its owner died mid-update
        if (!held_) Leave();
    }
    ~UpdateTurn() {
        if (!held_) return;
        ReleaseMutex(mutex_.Get());
        Leave();
    }
    UpdateTurn(const UpdateTurn&) = delete;
    UpdateTurn& operator=(const UpdateTurn&) = delete;
    bool Held() const { return held_; }

private:
    static Lock& BusyLock() {
        static Lock lock;
        return lock;
    }
    static std::set<std::string>& Busy() {
        static std::set<std::string> busy;
        return busy;
    }
    void Leave() {
        std::lock_guard lock(BusyLock());
        Busy().erase(folder_);
    }

    std::string folder_;
    UniqueHandle mutex_;
    bool held_ = false;
};

// --- files of the data folder

std::string UtcNow() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[32];
    wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
              now.wSecond);
    return text;
}

int64_t UnixNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ull) - 11644473600ll;
}

std::string UtcDate(int64_t unix_seconds) {
    const uint64_t ticks = static_cast<uint64_t>(unix_seconds + 11644473600ll) * 10000000ull;
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME date{};
    FileTimeToSystemTime(&time, &date);
    char text[16];
    wsprintfA(text, "%04u-%02u-%02u", date.wYear, date.wMonth, date.wDay);
    return text;
}

// Appends one line to Update.log, moving a full log aside first. A log that cannot be written
// costs nothing else. Windows that finish at the same moment each append their line: a handle with
// append access only writes each line whole at the end, so the log is shared for writing (and for
// deleting, so a rotation is not stopped by a window that is writing).
void AppendToLog(const std::string& folder, const std::string& line) {
    const std::string log = folder + kUpdateLogName;
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (GetFileAttributesExA(log.c_str(), GetFileExInfoStandard, &info) &&
        (info.nFileSizeHigh != 0 || info.nFileSizeLow >= kUpdateLogRotateSize)) {
        MoveFileExA(log.c_str(), (folder + kUpdateOldLogName).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    const UniqueFile file(CreateFileA(log.c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::vector<SavedValidators> LoadState(const std::string& folder) {
    const UniqueFile file(CreateFileA((folder + kUpdateStateName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    std::string text(kUpdateStateSizeLimit, '\0');
    DWORD count = 0;
    if (!ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr)) return {};
    text.resize(count);
    return ParseUpdateState(text);
}

void SaveState(const std::string& folder, const std::vector<SavedValidators>& entries) {
    const std::string text = FormatUpdateState(entries);
    const UniqueFile file(CreateFileA((folder + kUpdateStateName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Part files of an update that did not finish (a crash, a killed browser), and the download names
// of earlier versions of the library, which nothing uses any more.
void RemoveLeftovers(const std::string& folder, const std::string& base) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "update-*.part").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    DeleteFileA((folder + base + " Internet.tb").c_str());
    DeleteFileA((folder + "Internet Icons.bin").c_str());
}

// A checked download, written to a file that nobody else may open while this one holds it: what
// is renamed into place is exactly what was checked.
class PartFile {
public:
    PartFile(const std::string& folder, std::string_view bytes) {
        static std::atomic<unsigned> counter{0};
        path_ = folder + "update-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" +
                std::to_string(counter++) + ".part";
        file_.Reset(CreateFileA(path_.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
        if (!file_) return;
        DWORD written = 0;
        ok_ = WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size() && FlushFileBuffers(file_.Get());
    }
    ~PartFile() {
        if (!file_) return;
        file_.Reset();
        if (!swapped_) DeleteFileA(path_.c_str());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    bool Written() const { return ok_; }

    // Puts the file in place of `current`, whose copy becomes `previous`. `current` is replaced in
    // one step, so a window that loads it meanwhile finds either file, never none.
    bool SwapIn(const std::string& current, const std::string& previous) {
        if (!ok_) return false;
        if (BeforeSwap()) BeforeSwap()(path_);
        if (FileExists(current)) CopyFileA(current.c_str(), previous.c_str(), FALSE);  // best effort
        const std::wstring target = L"\\??\\" + ToWide(AnsiToUtf16(current));
        std::string buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t), '\0');
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->ReplaceIfExists = TRUE;
        rename->RootDirectory = nullptr;
        rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
        memcpy(rename->FileName, target.data(), rename->FileNameLength);
        // A window that is reading the current file at this moment keeps it from being replaced;
        // it reads for a few milliseconds, so a few tries a little apart get through.
        for (int attempt = 0; attempt < 20 && !swapped_; ++attempt) {
            if (attempt > 0) Sleep(25);
            swapped_ = SetFileInformationByHandle(file_.Get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()));
        }
        return swapped_;
    }

private:
    std::string path_;
    UniqueFile file_;
    bool ok_ = false;
    bool swapped_ = false;
};

std::string InstalledVersion(const std::string& path) {
    ReadOnlyStore store(path);
    return store.Damaged() ? std::string() : store.Store().ReadString("\\Options\\Version", "");
}

// --- the update

struct Step {
    std::string folder;  // ends in "\"
    std::string base;    // B
    std::string url;     // the update location, ending in "/"
    UpdateLimits limits;
    DWORD deadline_tick = 0;
    std::vector<SavedValidators> state;

    std::string Current() const { return folder + base + ".tb"; }
    std::string Previous() const { return folder + base + " Default.tb"; }
    std::string Icons() const { return folder + "Icons.bin"; }
    std::string PreviousIcons() const { return folder + "Icons Default.bin"; }

    FetchResult Fetch(const std::string& remote, unsigned long long max_bytes, bool conditional) const {
        const Validators have = conditional ? FindValidators(state, url + remote) : Validators{};
        return FetchUrl(url + remote, have, {max_bytes, limits.no_answer_ms, deadline_tick});
    }
};

std::string Failed(const std::string& what, const FetchResult& fetched) {
    return "failed: " + what + ": " + fetched.reason;
}

// A library without a key: each file that is a usable store is taken.
std::string UnsignedUpdate(Step& step) {
    std::vector<std::string> said;
    bool any_updated = false;
    std::string version;
    const struct {
        std::string remote;
        unsigned long long max_bytes;
        bool (*usable)(std::string);
        std::string current, previous;
    } files[] = {
        {step.base + ".tb", step.limits.template_bytes, TemplateIsUsable, step.Current(), step.Previous()},
        {"icons.bin", step.limits.icon_store_bytes, IconStoreIsUsable, step.Icons(), step.PreviousIcons()},
    };
    for (const auto& file : files) {
        const FetchResult fetched = step.Fetch(file.remote, file.max_bytes, FileExists(file.current));
        if (fetched.kind == FetchResult::Kind::kQuit) return Failed(file.remote, fetched);
        if (fetched.kind == FetchResult::Kind::kNotModified) continue;
        if (fetched.kind != FetchResult::Kind::kBody) {
            said.push_back(Failed(file.remote, fetched));
            continue;
        }
        if (!file.usable(fetched.body)) {
            said.push_back("refused: " + file.remote + " is not a usable " +
                           (file.current == step.Current() ? "template" : "icon store"));
            continue;
        }
        PartFile part(step.folder, fetched.body);
        if (!part.SwapIn(file.current, file.previous)) {
            said.push_back("failed: " + file.remote + " could not take its place");
            continue;
        }
        any_updated = true;
        if (file.current == step.Current()) version = VersionOf(fetched.body);
        step.state = WithValidators(std::move(step.state), step.url + file.remote, fetched.validators);
    }
    if (any_updated) said.insert(said.begin(), "updated" + (version.empty() ? "" : " to version " + version));
    if (said.empty()) return "not modified";
    std::string line;
    for (const std::string& part : said) line += (line.empty() ? "" : "; ") + part;
    return line;
}

// A library with keys: only a whole release whose manifest verifies, in one piece.
std::string SignedUpdate(Step& step, const UpdateTarget& target) {
    const std::string manifest_name = step.base + kReleaseSuffix;
    const FetchResult manifest = step.Fetch(manifest_name, kReleaseManifestSizeLimit, FileExists(step.Current()));
    if (manifest.kind == FetchResult::Kind::kNotModified) return "not modified";
    if (manifest.kind != FetchResult::Kind::kBody) return Failed(manifest_name, manifest);
    const ParsedManifest parsed = ParseReleaseManifest(manifest.body);
    if (!parsed.manifest) return "refused: " + manifest_name + " is no release manifest (" + parsed.error + ")";
    const ReleaseManifest& release = *parsed.manifest;

    const std::string* key = nullptr;
    for (const std::string& carried : *target.keys) {
        if (KeyIdOf(Sha256Of(carried)) == release.key_id) key = &carried;
    }
    if (!key) return "refused: signed by an unknown key (" + release.key_id + ")";
    if (!VerifyManifestSignature(*key, parsed.signed_text, release.signature)) return "refused: signature does not verify";
    if (!EqualsIgnoreAsciiCase(release.class_id, target.class_id)) {
        return "refused: the release is for another toolbar (" + release.class_id + ")";
    }
    if (release.expires && *release.expires <= UnixNow()) {
        return "refused: the release expired on " + UtcDate(*release.expires);
    }
    const std::string installed = FileExists(step.Current()) ? InstalledVersion(step.Current()) : std::string();
    const auto installed_parts = ParseDottedVersion(installed);
    const auto release_parts = ParseDottedVersion(release.version);  // the manifest's reader checked it
    if (installed_parts) {
        const int order = CompareDottedVersions(*release_parts, *installed_parts);
        if (order == 0) {
            step.state = WithValidators(std::move(step.state), step.url + manifest_name, manifest.validators);
            return "not modified (version " + installed + " is installed)";
        }
        if (order < 0) return "refused: version " + release.version + " is not newer than " + installed;
    }

    const FetchResult templ = step.Fetch(step.base + ".tb", step.limits.template_bytes, false);
    if (templ.kind != FetchResult::Kind::kBody) return Failed(step.base + ".tb", templ);
    if (ToHex(Sha256Of(templ.body)) != release.template_sha256) {
        return "refused: " + step.base + ".tb does not match the release";
    }
    const FetchResult icons = step.Fetch("icons.bin", step.limits.icon_store_bytes, false);
    if (icons.kind != FetchResult::Kind::kBody) return Failed("icons.bin", icons);
    if (ToHex(Sha256Of(icons.body)) != release.icons_sha256) return "refused: icons.bin does not match the release";
    // Signed, but the toolbar could not use it: say so rather than install a toolbar without a name.
    if (!TemplateIsUsable(templ.body)) return "refused: " + step.base + ".tb is not a usable template";
    if (!IconStoreIsUsable(icons.body)) return "refused: icons.bin is not a usable icon store";

    PartFile template_part(step.folder, templ.body);
    PartFile icons_part(step.folder, icons.body);
    if (!template_part.Written() || !icons_part.Written()) return "failed: the data folder cannot be written";
    if (!template_part.SwapIn(step.Current(), step.Previous())) return "failed: " + step.base + ".tb could not take its place";
    if (!icons_part.SwapIn(step.Icons(), step.PreviousIcons())) {
        // Template and icon store belong together: the previous template goes back.
        CopyFileA(step.Previous().c_str(), step.Current().c_str(), FALSE);
        return "failed: icons.bin could not take its place";
    }
    step.state = WithValidators(std::move(step.state), step.url + manifest_name, manifest.validators);
    return "updated to version " + release.version;
}


}  // namespace

void SetBeforeSwapForTesting(std::function<void(const std::string&)> hook) { BeforeSwap() = std::move(hook); }

std::string UpdateTemplate(const UpdateTarget& target, std::u16string& updates_url, const UpdateLimits& limits) {
    if (IsBlank(updates_url)) return {};
    if (updates_url.back() != u'/') updates_url += u'/';
    Step step;
    step.folder = Utf16ToAnsi(target.data_folder) + "\\";
    step.base = Utf16ToAnsi(target.base_name);
    step.url = Utf16ToAnsi(updates_url);
    step.limits = limits;
    step.deadline_tick = GetTickCount() + limits.deadline_ms;

    std::string outcome;
    {
        const UpdateTurn turn(step.folder);
        if (!turn.Held()) {
            outcome = "skipped: another window is updating";
        } else {
            try {
                RemoveLeftovers(step.folder, step.base);
                step.state = LoadState(step.folder);
                const std::vector<SavedValidators> loaded = step.state;
                outcome = target.keys ? SignedUpdate(step, target) : UnsignedUpdate(step);
                if (step.state != loaded) SaveState(step.folder, step.state);
            } catch (const std::exception& e) {
                outcome = std::string("failed: ") + e.what();
            }
        }
    }
    AppendToLog(step.folder, UpdateLogLine(UtcNow(), step.url, outcome));
    // The thread's message loop was asked to end while the update pumped its messages.
    RepostQuit();
    return outcome;
}

bool UpdateOfSettings(UpdateTarget& target, std::u16string& updates_url) {
    const ToolbarSettings settings = CurrentSettings();
    updates_url = settings.UpdatesUrl;
    if (IsBlank(updates_url)) return false;
    if (updates_url.back() != u'/') {
        updates_url += u'/';
        ChangeSettings([&](ToolbarSettings& record) { record.UpdatesUrl = updates_url; });
    }
    HMODULE module = StartupModule();
    target = UpdateTarget{settings.DataFolder, settings.TemplateBaseName, settings.ToolbarGuid,
                          PublisherKeys(module ? module : ModuleOfThisCode())};
    return true;
}

void UpdateTemplate() {
    UpdateTarget target;
    std::u16string updates_url;
    if (UpdateOfSettings(target, updates_url)) UpdateTemplate(target, updates_url);
}

}  // namespace tb
