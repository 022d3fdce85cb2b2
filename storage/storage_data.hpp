#pragma once
// Back-ends of a TrsStorage. TrsStorageData knows the attached stores and which is current, wraps
// every load and save in events and reports progress. TrsStreamData keeps a whole file image in
// memory: it resolves the file's name from a folder choice and a file name, reads and writes the
// file in one go, lets the application supply or take the bytes through two events, and can carry
// an embedded copy of a storage file (the internal stream).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "storage/memory_stream.hpp"

namespace tb {

class TrsStorage;
class TrsStorageData;
class TrsStreamData;

using TrsDataNotifyEvent = std::function<void(TrsStorageData&)>;
using TrsStorageDataProgressEvent = std::function<void(TrsStorageData&, std::int32_t percent)>;
// The handler may fill or take the work stream; DoStandard says whether the file is used as well.
using TrsStreamEvent = std::function<void(TrsStreamData&, TMemoryStream& stream, bool& do_standard)>;

class TrsStorageData {
public:
    TrsStorageData() = default;
    TrsStorageData(const TrsStorageData&) = delete;
    TrsStorageData& operator=(const TrsStorageData&) = delete;
    // Detaches every attached store, last first.
    virtual ~TrsStorageData();

    // Adds the store when absent and makes it current.
    void AttachStore(TrsStorage* store);
    // The store leaves the list; it is no longer current.
    void DetachStore(TrsStorage* store);
    TrsStorage* CurrentStore() const { return current_; }
    const std::vector<TrsStorage*>& AttachedStores() const { return stores_; }

    // The wrappers around LoadData and SaveData: events, counters, the store's root section.
    void Load();
    void Save();

    TrsDataNotifyEvent OnAfterLoad, OnAfterSave, OnBeforeLoad, OnBeforeSave;
    TrsStorageDataProgressEvent OnProgress;

protected:
    virtual void ReportProgress();
    virtual void LoadData() {}
    virtual void SaveData() {}

    std::int32_t progress_total_ = 0;
    std::int32_t progress_done_ = 0;
    std::int32_t progress_reported_ = -1;

private:
    void ResetProgress();

    std::vector<TrsStorage*> stores_;
    TrsStorage* current_ = nullptr;
};

enum TrsStreamFileDir { fdCustom = 0, fdApplication = 1, fdWindows = 2, fdUserProfile = 3 };
enum TrsStreamDataOption : unsigned { doAutoName = 1u << 0, doAutoCreateDir = 1u << 1 };
using TrsStreamDataOptions = unsigned;
enum TrsInternalFileLoad { iflNone = 0, iflAlways = 1, iflNoRealFile = 2 };

class TrsStreamData : public TrsStorageData {
public:
    TrsStreamData() = default;

    std::string FileName;  // full path, relative path, bare name or nothing
    TrsStreamFileDir FileDir = fdApplication;
    TrsStreamDataOptions Options = doAutoName;
    TrsInternalFileLoad InternalFileLoad = iflNone;
    TrsStreamEvent OnLoadFromStream, OnSaveToStream;

    // The full name of the file from FileDir, FileName, Options and the default extension.
    std::string ResolveFileName() const;

    // Takes the whole content of an existing file as the embedded copy (keeping the path); a path
    // that names no file empties the copy and clears the name. The same path again does nothing.
    void SetInternalFileName(const std::string& path);
    const std::string& InternalFileName() const { return internal_file_name_; }

    // The embedded copy (uncompressed), for the code that persists it.
    const std::string& InternalStream() const { return internal_.Bytes(); }
    void SetInternalStream(std::string bytes) { internal_.Assign(std::move(bytes)); }

    // The image of the last save (or what a handler left in it); emptied by a standard load.
    const TMemoryStream& WorkStream() const { return work_; }
    const std::string& DefaultExtension() const { return default_extension_; }

protected:
    explicit TrsStreamData(std::string default_extension) : default_extension_(std::move(default_extension)) {}

    void LoadData() override;
    void SaveData() override;
    // The format: the base versions only remember the stream.
    virtual void ReadTree(TMemoryStream& stream) { last_stream_ = &stream; }
    virtual void WriteTree(TMemoryStream& stream) { last_stream_ = &stream; }

    // True while ReadTree runs on the work stream of a standard load, which is emptied right
    // after: the format may take its bytes instead of copying them.
    bool SourceIsDisposable() const { return source_disposable_; }

    TMemoryStream* last_stream_ = nullptr;

private:
    std::string default_extension_;
    std::string internal_file_name_;
    bool source_disposable_ = false;
    TMemoryStream work_;
    TMemoryStream internal_;
};

// Creates the folder at every separator of the path and at its end (failures are ignored: the
// folder may exist already).
void CreateFolderChain(const std::string& path);

}  // namespace tb
