#pragma once
// The storage tree: named sections holding named, typed keys, addressed by paths such as
// "\Options\Search URL" ('\' and '/' both separate). A store is filled and written by a back-end
// (storage_data.hpp); the rest of the system reads it by path, with defaults.
//
// Both tables stay sorted: sections by (parent id, name), keys by (section id, name), names compared
// with CompareNames. Lookups are binary searches; a one-entry section cache and a one-entry key cache
// only save work and always give what a fresh lookup would.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.hpp"
#include "storage/memory_stream.hpp"
#include "storage/key_index.hpp"
#include "storage/name_index.hpp"
#include "storage/storage_records.hpp"
#include "storage/text_pool.hpp"

namespace tb {

class TrsStorage;
class TPngImageList;
class TrsStorageData;
class TrsEncryptor;

// Name collation: byte by byte after mapping 'a'..'z' to 'A'..'Z', unsigned, shorter prefix first.
// Negative, zero or positive like strcmp. Names equal under it are the same name.
int CompareNames(std::string_view a, std::string_view b);

// Set of TrsStorageOption bits.
enum TrsStorageOption : unsigned {
    soSaveOnClose = 1u << 0,
    soSaveEmptySection = 1u << 1,  // kept, consulted by nothing
};
using TrsStorageOptions = unsigned;

// Failures of the storage library: the message is a kind prefix, a blank and the detail.
class TrsException : public Error {
public:
    TrsException(int kind, const std::string& message) : Error(message), kind_(kind) {}
    int Kind() const { return kind_; }

private:
    int kind_;
};

// Kinds of RaiseStorageError (taken modulo 128); anything unlisted reads "Storage library error:".
enum : int {
    kGetKeyValueError = 0,
    kXmlParserError = 1,
    kSetKeyValueError = 2,
    kPrepareSearchError = 3,
    kSearchError = 4,
    kRegDataError = 5,
    kStorageLibraryError = 127,
};
std::string StorageErrorPrefix(int kind);
[[noreturn]] void RaiseStorageError(int kind, const std::string& detail);

// Two upper-case hex digits per byte, separated by ","; lines break ("\r\n") after 26 bytes, except
// that a lone last byte stays on the line before it.
std::string BytesToHexText(std::string_view bytes);

struct TrsSectionRecord {
    std::string name;
    std::int32_t id = 0;
    std::int32_t parent_id = 0;  // 0: a child of the root
};

using TrsNotifyEvent = std::function<void(TrsStorage&)>;
using TrsStorageKeyEvent = std::function<void(TrsStorage& storage, const std::string& name)>;

// The current key of a store (the one FindKey found last) and its conversions.
class TrsKeyWrapper {
public:
    explicit TrsKeyWrapper(TrsStorage& storage) : storage_(storage) {}

    bool HasKey() const;
    const TrsKeyRecord& Record() const;

    std::string AsString() const { return StringOf(Record()); }
    std::int32_t AsInteger() const { return IntegerOf(Record()); }
    bool AsBoolean() const { return BooleanOf(Record()); }
    // "\" + section path + "\" + key name, for messages.
    std::string KeyDisplayPath() const;

    // A byte stream for readers that parse a key's bytes (created on first use, freed by Close).
    TMemoryStream& ScratchStream();
    void FreeScratchStream() { scratch_.reset(); }

private:
    friend class TrsStorage;
    // The conversions of `key`, the current key's record or a copy of it.
    std::string StringOf(const TrsKeyRecord& key) const;
    std::int32_t IntegerOf(const TrsKeyRecord& key) const;
    bool BooleanOf(const TrsKeyRecord& key) const;
    [[noreturn]] void RaiseConversion(const char* type_word) const;

    TrsStorage& storage_;
    std::ptrdiff_t key_pos_ = -1;
    mutable std::ptrdiff_t section_pos_ = -1;  // remembered position of the key's section
    std::unique_ptr<TMemoryStream> scratch_;
};

// An encoder of the tree, consulted around loads and saves while active. Nothing in the system
// uses one; the base does nothing.
class TrsEncryptor {
public:
    TrsEncryptor() = default;
    TrsEncryptor(const TrsEncryptor&) = delete;
    TrsEncryptor& operator=(const TrsEncryptor&) = delete;
    virtual ~TrsEncryptor();

    bool active = false;
    bool encrypt_keys = false;
    bool encrypt_all = false;

    virtual void EncodeTree(TrsStorage&) {}
    virtual void DecodeTree(TrsStorage&) {}

private:
    friend class TrsStorage;
    std::vector<TrsStorage*> users_;
};

class TrsStorage {
public:
    TrsStorage();
    TrsStorage(const TrsStorage&) = delete;
    TrsStorage& operator=(const TrsStorage&) = delete;
    // Closes (saving with soSaveOnClose), clears and detaches. A failed save cannot be reported
    // from here: call Close first where the outcome matters.
    ~TrsStorage();

    // --- back-end, options, lifecycle

    // Attaches the back-end (or none); the old back-end forgets this store.
    void SetStorageData(TrsStorageData* data);
    TrsStorageData* StorageData() const { return storage_data_; }
    void SetEncryptor(TrsEncryptor* encryptor);
    TrsEncryptor* Encryptor() const { return encryptor_; }

    TrsStorageOptions Options() const { return options_; }
    void SetOptions(TrsStorageOptions options) { options_ = options; }

    bool Active() const { return active_; }
    // true on an inactive store loads (Reload), false on an active one closes; the same value does
    // nothing. A load that raises leaves the store inactive.
    void SetActive(bool active);
    // While saved properties are being restored, activation waits for EndRestore.
    void BeginRestore();
    void EndRestore();

    // ClearAll, then the load through the back-end.
    void Reload();
    // Saves when active and soSaveOnClose is set, then deactivates. A failed save leaves it active.
    void Close();
    // The save sequence: events, encryptor, back-end.
    void Save();
    // Raises OnKeyDeletion for every key, then empties everything.
    void ClearAll();

    // True after a load that met records running past the end of the data, or that raised part-way;
    // cleared by ClearAll. A damaged store refuses to save (Save and a saving Close raise), so the
    // part that was read never replaces the whole file.
    bool Damaged() const { return damaged_; }

    // --- navigation

    // Makes the section at `path` (always taken from the root, created when missing) current; the
    // empty path, or one that cannot resolve, selects the root.
    void SetRootSection(std::string_view path);
    const std::string& RootSection() const { return root_section_; }

    int KeyCount() const { return static_cast<int>(key_end_ - key_first_); }
    // Clears the list, then adds the current section's key names in table order.
    void GetKeyNames(std::vector<std::string>& names) const;

    // Table position of the section at `path`, std::nullopt when it does not resolve; -1 is the
    // root. With `create`, missing sections are inserted.
    std::optional<std::ptrdiff_t> FindSection(std::string_view path, bool create);
    // Table position of the key at `path`, which becomes the current key; std::nullopt when there is
    // none. With `create`, the key (and its sections) is inserted as vkEmpty.
    std::optional<std::size_t> FindKey(std::string_view path, bool create);

    bool KeyExists(std::string_view path);
    bool SectionExists(std::string_view path);

    // --- reads: a missing key gives the default

    std::string ReadString(std::string_view path, std::string_view default_value);
    std::int32_t ReadInteger(std::string_view path, std::int32_t default_value);
    bool ReadBool(std::string_view path, bool default_value);
    // Appends the bytes of a text or binary key at the stream's position; returns their count.
    int ReadStream(std::string_view path, TMemoryStream& stream);
    // For readers of structured key content (image lists): nullptr when there is no key; else the
    // scratch stream holding the bytes of a text or binary key (none for other kinds), rewound.
    TMemoryStream* LoadScratchStream(std::string_view path);
    // Applies the key's saved image-list properties (a property stream) to the list; 1 when the
    // key exists, else 0. The property reader's errors reach the caller. (image_list_key.cpp)
    int ReadImageList(std::string_view path, TPngImageList& list);

    // --- writes: create the key (and its sections) when missing, then replace kind and payload.
    // A path that cannot name a key (an empty segment, a name over 255 bytes) raises TrsException.

    void WriteString(std::string_view path, std::string_view text);
    void WriteBinary(std::string_view path, std::string_view bytes);
    // The stream's bytes from its position to its end; the position moves to the end.
    void WriteStream(std::string_view path, TMemoryStream& stream);
    void WriteInteger(std::string_view path, std::int32_t value);
    void WriteBool(std::string_view path, bool value);
    void WriteFloat(std::string_view path, double value);
    void WriteCurrency(std::string_view path, std::int64_t ten_thousandths);
    void WriteDateTime(std::string_view path, double days);
    void WritePoint(std::string_view path, std::int32_t x, std::int32_t y);
    void WriteInt64(std::string_view path, std::int64_t value);
    void WriteRaw32(std::string_view path, std::uint32_t value);
    void WriteEmpty(std::string_view path);
    // Any kind code with its payload as a file holds it (FixedPayloadSize bytes for fixed kinds,
    // nothing for unknown codes); a payload of the wrong size raises TrsException.
    void WriteValue(std::string_view path, TrsValueKind kind, std::string_view payload);

    // Removes the key (OnKeyDeletion); false when there is none.
    bool DeleteKey(std::string_view path);
    // Removes the section with its child sections and all their keys (OnKeyDeletion for each key,
    // in table order); false when it does not resolve. The root cannot be removed. When the
    // current section goes, the root becomes current.
    bool DeleteSection(std::string_view path);

    // --- raw tables, for back-ends and tools

    const std::vector<TrsSectionRecord>& Sections() const { return sections_; }
    const std::vector<TrsKeyRecord>& Keys() const { return keys_; }
    std::int32_t HighestSectionId() const { return highest_id_; }
    // Replaces both tables as given, without sorting or checking, like a load: the highest section
    // id becomes the largest id present, the root becomes current. `damaged` records that the
    // source ended inside a record. The key texts are copied; they may point anywhere.
    void LoadTables(std::vector<TrsSectionRecord> sections, std::vector<TrsKeyRecord> keys, bool damaged);
    // The same, with key texts that live in `texts`, which the store takes over.
    void LoadTables(TextPool texts, std::vector<TrsSectionRecord> sections, std::vector<TrsKeyRecord> keys,
                    bool damaged);

    // The current section (-1: the root) and its key and child ranges [first, end).
    std::ptrdiff_t CurrentSection() const { return current_; }
    std::int32_t CurrentSectionId() const { return current_ < 0 ? 0 : sections_[current_].id; }
    std::size_t KeyRangeFirst() const { return key_first_; }
    std::size_t KeyRangeEnd() const { return key_end_; }
    std::size_t ChildRangeFirst() const { return child_first_; }
    std::size_t ChildRangeEnd() const { return child_end_; }

    TrsKeyWrapper& Key() { return key_; }
    const TrsKeyWrapper& Key() const { return key_; }

    // --- events

    TrsNotifyEvent OnBeforeLoad, OnAfterLoad, OnBeforeSave, OnAfterSave;
    TrsStorageKeyEvent OnKeyAdd, OnKeyDeletion;

private:
    friend class TrsStorageData;
    friend class TrsEncryptor;
    friend class TrsKeyWrapper;

    // `then_key_hash`: the hash of the key's name looked up next in the section found, if any (for
    // an early fetch only).
    std::optional<std::ptrdiff_t> ResolveSection(std::string_view path, bool create, bool from_root,
                                                 const std::uint64_t* then_key_hash = nullptr);
    std::ptrdiff_t InsertSection(std::size_t pos, std::string_view name, std::int32_t parent_id);
    std::size_t InsertKey(std::size_t pos, std::string_view name, std::int32_t section_id);
    // FindKey, which also copies the key found into `copy` (when not null).
    std::optional<std::size_t> FindKey(std::string_view path, bool create, TrsKeyRecord* copy);
    TrsKeyRecord& KeyForWrite(std::string_view path);
    // After a write replaced a key's value where it stands.
    void KeyChangedInPlace(const TrsKeyRecord& key);
    void SetFixed(std::string_view path, TrsValueKind kind, std::uint64_t bits);
    void ComputeCurrentRanges();
    void RemoveMarked(const std::vector<bool>& section_gone, const std::vector<bool>& key_gone);
    void InvalidateCaches();
    // Rebuilds the text pool once most of it is no longer referred to.
    void CompactTexts();
    // Read indexes: a hash index of each table, built once the table has served a run of reads
    // unchanged. Lookups use them only when nothing is to be created. std::nullopt: the index
    // cannot answer; else the position, or -1 for none.
    // Builds the key index (`keys`) or the section index once enough reads have found its table
    // unchanged; true when it can answer.
    bool BuildIndexesIfWorth(bool keys);
    // `name_hash`: name_words::NameHash(name) when the caller has it already.
    // `found`: the key as the table holds it, when there is one.
    std::optional<std::ptrdiff_t> IndexedKey(std::int32_t section_id, std::string_view name,
                                             const std::uint64_t* name_hash, TrsKeyRecord& found);
    std::optional<std::ptrdiff_t> IndexedSection(std::int32_t parent_id, std::string_view name,
                                                 const std::uint64_t* then_key_hash);

    std::vector<TrsSectionRecord> sections_;
    std::vector<TrsKeyRecord> keys_;
    TextPool texts_;
    std::size_t next_compaction_check_ = 1u << 20;
    std::int32_t highest_id_ = 0;

    std::ptrdiff_t current_ = -1;
    std::size_t key_first_ = 0, key_end_ = 0;
    std::size_t child_first_ = 0, child_end_ = 0;
    std::string root_section_;

    bool active_ = false;
    bool restoring_ = false;
    bool activate_after_restore_ = false;
    bool damaged_ = false;
    TrsStorageOptions options_ = soSaveOnClose;
    TrsStorageData* storage_data_ = nullptr;
    TrsEncryptor* encryptor_ = nullptr;

    // Each cache entry is valid only for the table state it was made from (the generation counts
    // every change of that table), so a hit is exactly what a fresh lookup gives.
    std::uint64_t section_generation_ = 0;
    std::uint64_t key_generation_ = 0;
    struct SectionCache {
        bool valid = false;
        std::uint64_t generation = 0;
        std::string path;
        bool absolute = false;
        std::ptrdiff_t resolved_from = -1;  // the current section it was resolved from
        std::ptrdiff_t position = -1;
    } section_cache_;
    struct KeyCache {
        bool valid = false;
        std::uint64_t generation = 0;
        std::int32_t section_id = 0;
        std::string name;
        std::size_t scope_first = 0, scope_end = 0;
        std::size_t position = 0;
    } key_cache_;

    KeyIndex key_index_;
    NameIndex section_index_;  // hint: the section's own id

    TrsKeyWrapper key_;
};

}  // namespace tb
