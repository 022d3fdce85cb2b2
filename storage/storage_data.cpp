// The back-end base (attached stores, load and save wrappers, progress) and the stream back-end
// (file names, whole-file loads and saves, the embedded copy).
#include "storage/storage_data.hpp"

#include <algorithm>

#include "base/file.hpp"
#include "base/platform_folders.hpp"
#include "storage/storage.hpp"

namespace tb {
namespace {

bool IsPathDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }
bool IsFolderSeparator(char c) { return c == '\\' || c == '/'; }

// Position just after the last '\', '/' or ':' (0 when there is none).
size_t NameStart(const std::string& path) {
    size_t i = path.size();
    while (i > 0 && !IsPathDelimiter(path[i - 1])) --i;
    return i;
}

std::string FolderPart(const std::string& path) { return path.substr(0, NameStart(path)); }
std::string NamePart(const std::string& path) { return path.substr(NameStart(path)); }

// Position of the extension's dot in the name part, or npos.
size_t ExtensionStart(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < NameStart(path)) return std::string::npos;
    return dot;
}

// A name that does not continue the chosen folder: a drive, a network share, or (natively) a path
// from the file system's root.
bool HasDrivePart(const std::string& name) {
    if (name.size() >= 2 && name[1] == ':') return true;
    if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') return true;
    return PathSeparator() == '/' && !name.empty() && name[0] == '/';
}

void EndWithSeparator(std::string& folder) {
    if (!folder.empty() && !IsFolderSeparator(folder.back())) folder += PathSeparator();
}

}  // namespace

// ---------------------------------------------------------------- TrsStorageData

TrsStorageData::~TrsStorageData() {
    while (!stores_.empty()) {
        TrsStorage* store = stores_.back();
        stores_.pop_back();
        if (store->storage_data_ == this) store->storage_data_ = nullptr;
    }
    current_ = nullptr;
}

void TrsStorageData::AttachStore(TrsStorage* store) {
    if (std::find(stores_.begin(), stores_.end(), store) == stores_.end()) stores_.push_back(store);
    current_ = store;
}

void TrsStorageData::DetachStore(TrsStorage* store) {
    // Dropping the store from the list, not only as the current one, keeps this back-end from
    // holding a store that has moved on or gone.
    std::erase(stores_, store);
    if (current_ == store) current_ = nullptr;
}

void TrsStorageData::ResetProgress() {
    progress_total_ = 0;
    progress_done_ = 0;
    progress_reported_ = -1;
}

void TrsStorageData::ReportProgress() {
    if (!OnProgress || progress_total_ <= 0) return;
    const std::int32_t percent =
        static_cast<std::int32_t>(static_cast<std::int64_t>(progress_done_) * 100 / progress_total_);
    if (percent > progress_reported_) {
        progress_reported_ = percent;
        OnProgress(*this, percent);
    }
}

void TrsStorageData::Load() {
    if (OnBeforeLoad) OnBeforeLoad(*this);
    TrsStorage* store = current_;
    if (store == nullptr) return;
    ResetProgress();
    try {
        LoadData();
    } catch (...) {
        store->SetRootSection("");
        if (OnAfterLoad) OnAfterLoad(*this);
        throw;
    }
    store->SetRootSection("");
    if (OnAfterLoad) OnAfterLoad(*this);
}

void TrsStorageData::Save() {
    if (OnBeforeSave) OnBeforeSave(*this);
    TrsStorage* store = current_;
    if (store == nullptr) return;
    const std::string root = store->RootSection();
    store->SetRootSection("");
    ResetProgress();
    try {
        SaveData();
    } catch (...) {
        store->SetRootSection(root);
        if (OnAfterSave) OnAfterSave(*this);
        throw;
    }
    store->SetRootSection(root);
    if (OnAfterSave) OnAfterSave(*this);
}

// ---------------------------------------------------------------- TrsStreamData

std::string TrsStreamData::ResolveFileName() const {
    std::string result;
    switch (FileDir) {
        case fdCustom: result = FolderPart(FileName); break;
        case fdApplication: result = FolderPart(HostExecutablePath()); break;
        case fdWindows: result = WindowsFolder(); break;
        case fdUserProfile: result = UserAppDataFolder(); break;
    }
    EndWithSeparator(result);
    if (FileDir != fdCustom && !FileName.empty() && !HasDrivePart(FileName)) {
        result += FolderPart(FileName);
        EndWithSeparator(result);
    }
    result += (Options & doAutoName) ? NamePart(HostExecutablePath()) : NamePart(FileName);

    const size_t own_dot = ExtensionStart(FileName);
    const std::string extension = own_dot == std::string::npos ? default_extension_ : FileName.substr(own_dot);
    const size_t dot = ExtensionStart(result);
    if (dot != std::string::npos) result.erase(dot);
    return result + extension;
}

void TrsStreamData::SetInternalFileName(const std::string& path) {
    if (path == internal_file_name_) return;
    if (auto content = FileExists(path) ? ReadWholeFile(path) : std::nullopt) {
        internal_.Assign(std::move(*content));
        internal_file_name_ = path;
    } else {
        internal_.Clear();
        internal_file_name_.clear();
    }
}

void TrsStreamData::LoadData() {
    work_.Clear();
    bool do_standard = !OnLoadFromStream;
    if (OnLoadFromStream) OnLoadFromStream(*this, work_, do_standard);

    TMemoryStream* source = &work_;
    if (do_standard) {
        const std::string name = ResolveFileName();
        const bool exists = FileExists(name);
        if (InternalFileLoad == iflAlways || (InternalFileLoad == iflNoRealFile && !exists)) {
            source = &internal_;
        } else if (exists) {
            if (auto content = ReadWholeFile(name)) work_.Assign(std::move(*content));
        }
    }
    source->Seek(0);
    if (source->Size() > 0) {
        source_disposable_ = do_standard && source == &work_;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{source_disposable_};
        ReadTree(*source);
    }
    if (do_standard && source == &work_) work_.Clear();
}

void TrsStreamData::SaveData() {
    work_.Clear();
    WriteTree(work_);
    work_.Seek(0);
    bool do_standard = !OnSaveToStream;
    if (OnSaveToStream) OnSaveToStream(*this, work_, do_standard);
    if (!do_standard) return;  // the handler took the bytes

    const std::string name = ResolveFileName();
    if (Options & doAutoCreateDir) CreateFolderChain(FolderPart(name));
    // Through a temporary file: a failed write leaves the old file as it was.
    ReplaceFileContent(name, work_.Bytes());
}

void CreateFolderChain(const std::string& path) {
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsFolderSeparator(path[i])) continue;
        const std::string folder = path.substr(0, i);
        if (folder.empty() || folder.back() == ':') continue;
        if (!DirectoryExists(folder)) CreateOneDirectory(folder);
    }
}

}  // namespace tb
