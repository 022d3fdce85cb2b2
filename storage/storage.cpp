// The storage tree: path resolution, the sorted tables, reads, writes and the store's lifecycle.
#include "storage/storage.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "base/little_endian.hpp"
#include "storage/storage_data.hpp"

namespace tb {
namespace {

constexpr std::size_t kMaxNameBytes = 255;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Paths are scanned for separators eight bytes at a time, as names are hashed (name_index.hpp):
// a byte at a time, the scans cost as much as the rest of a lookup.
static_assert(std::endian::native == std::endian::little, "byte k of a loaded word is its bits 8k..8k+7");

// The high bit of each byte of `word` that is '\\' or '/', and no other bit.
std::uint64_t SeparatorBytes(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    // Exact for every byte (no borrow runs from one byte into the next).
    auto zero_bytes = [](std::uint64_t v) { return ~(((v & kLow7) + kLow7) | v | kLow7); };
    return zero_bytes(word ^ ('\\' * kOnes)) | zero_bytes(word ^ ('/' * kOnes));
}

// Position of the first separator at or after `from`, or the path's size.
std::size_t NextSeparator(std::string_view path, std::size_t from) {
    std::size_t i = from;
    for (; i + 8 <= path.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, path.data() + i, 8);
        if (const std::uint64_t found = SeparatorBytes(word)) return i + static_cast<std::size_t>(std::countr_zero(found)) / 8;
    }
    while (i < path.size() && !IsSeparator(path[i])) ++i;
    return i;
}

// Position just after the last separator, 0 when there is none.
std::size_t AfterLastSeparator(std::string_view path) {
    std::size_t end = path.size();
    for (; end >= 8; end -= 8) {
        std::uint64_t word;
        std::memcpy(&word, path.data() + end - 8, 8);
        if (const std::uint64_t found = SeparatorBytes(word)) {
            return end - 8 + static_cast<std::size_t>(63 - std::countl_zero(found)) / 8 + 1;
        }
    }
    while (end > 0 && !IsSeparator(path[end - 1])) --end;
    return end;
}

// Tables grow in steps (8 while small, then 16, then a quarter) and give back half of their unused
// entries after removals, nothing when empty.
template <class T>
void GrowForInsert(std::vector<T>& table) {
    if (table.size() < table.capacity()) return;
    const std::size_t capacity = table.capacity();
    const std::size_t step = capacity <= 16 ? 8 : capacity <= 64 ? 16 : capacity / 4;
    table.reserve(capacity + step);
}

template <class T>
void ShrinkAfterRemoval(std::vector<T>& table) {
    if (table.empty()) {
        std::vector<T>().swap(table);
        return;
    }
    const std::size_t unused = table.capacity() - table.size();
    if (unused < 2) return;
    std::vector<T> smaller;
    smaller.reserve(table.size() + unused - unused / 2);
    std::move(table.begin(), table.end(), std::back_inserter(smaller));
    table.swap(smaller);
}

// Removes the marked entries, keeping the order of the others.
template <class T>
void EraseMarked(std::vector<T>& table, const std::vector<bool>& gone) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (!gone[i]) {
            if (out != i) table[out] = std::move(table[i]);
            ++out;
        }
    }
    table.resize(out);
}

// How many marked entries stand before `pos`.
std::size_t RemovedBefore(const std::vector<bool>& gone, std::size_t pos) {
    return static_cast<std::size_t>(std::count(gone.begin(), gone.begin() + static_cast<std::ptrdiff_t>(pos), true));
}

int CompareSection(const TrsSectionRecord& s, std::int32_t parent_id, std::string_view name) {
    if (s.parent_id != parent_id) return s.parent_id < parent_id ? -1 : 1;
    return CompareNames(s.name, name);
}

int CompareKey(const TrsKeyRecord& k, std::int32_t section_id, std::string_view name) {
    if (k.section_id != section_id) return k.section_id < section_id ? -1 : 1;
    return CompareNames(k.name, name);
}

std::int32_t SectionParentId(const TrsSectionRecord& s) { return s.parent_id; }

// First position in [first, end) whose entry is not less than (id, name).
template <class T, class Compare>
std::size_t LowerBound(const std::vector<T>& table, std::size_t first, std::size_t end, std::int32_t id,
                       std::string_view name, Compare compare) {
    while (first < end) {
        const std::size_t mid = first + (end - first) / 2;
        if (compare(table[mid], id, name) < 0) {
            first = mid + 1;
        } else {
            end = mid;
        }
    }
    return first;
}

// The run of entries whose id (read by `id_of`) equals `id`, by binary search.
template <class T, class IdOf>
std::pair<std::size_t, std::size_t> EqualIdRange(const std::vector<T>& table, std::int32_t id, IdOf id_of) {
    auto lower = std::partition_point(table.begin(), table.end(), [&](const T& e) { return id_of(e) < id; });
    auto upper = std::partition_point(lower, table.end(), [&](const T& e) { return id_of(e) <= id; });
    return {static_cast<std::size_t>(lower - table.begin()), static_cast<std::size_t>(upper - table.begin())};
}

// Keeps a range [first, end) over the entries of the current section exact after an insertion at
// `pos`: a member of the range widens it; an entry placed before it shifts it.
void FollowInsertion(std::size_t& first, std::size_t& end, std::size_t pos, bool member, bool sorts_before) {
    if (member) {
        ++end;
    } else if (pos < first || (pos == first && (first != end || sorts_before))) {
        ++first;
        ++end;
    }
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    // Equal bytes are equal names whatever the folding: skip them a word at a time.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) break;
    }
    for (; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x == y) continue;
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string StorageErrorPrefix(int kind) {
    switch (kind & 0x7F) {
        case kGetKeyValueError: return "TrsStorage get key value error:";
        case kXmlParserError: return "TrsXMLData parser error:";
        case kSetKeyValueError: return "TrsStorage set key value error:";
        case kPrepareSearchError: return "TrsSearch prepare search error:";
        case kSearchError: return "TrsSearch error:";
        case kRegDataError: return "TrsRegData error:";
        default: return "Storage library error:";
    }
}

void RaiseStorageError(int kind, const std::string& detail) {
    throw TrsException(kind & 0x7F, StorageErrorPrefix(kind) + " " + detail);
}

std::string BytesToHexText(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3 + bytes.size() / 13);
    int column = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0xF]);
        if (i + 1 == bytes.size()) break;
        text.push_back(',');
        column += 3;
        if (column > 77 && bytes.size() - i - 1 >= 2) {
            text += "\r\n";
            column = 1;
        }
    }
    return text;
}

std::string_view TrsKeyRecord::Payload() const {
    if (kind == vkString || kind == vkBinary) return bytes;
    return {reinterpret_cast<const char*>(fixed), FixedPayloadSize(kind)};
}

TrsEncryptor::~TrsEncryptor() {
    while (!users_.empty()) users_.back()->SetEncryptor(nullptr);
}

// ---------------------------------------------------------------- lifecycle

TrsStorage::TrsStorage() : key_(*this) {}

TrsStorage::~TrsStorage() {
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; Close beforehand shows the failure.
    }
    try {
        ClearAll();
    } catch (...) {
        // An OnKeyDeletion handler failed; the tables go with the store anyway.
    }
    SetEncryptor(nullptr);
    SetStorageData(nullptr);
}

void TrsStorage::SetStorageData(TrsStorageData* data) {
    if (data == storage_data_) return;
    if (storage_data_ != nullptr) storage_data_->DetachStore(this);
    storage_data_ = data;
    if (data != nullptr) data->AttachStore(this);
}

void TrsStorage::SetEncryptor(TrsEncryptor* encryptor) {
    if (encryptor == encryptor_) return;
    if (encryptor_ != nullptr) std::erase(encryptor_->users_, this);
    encryptor_ = encryptor;
    if (encryptor != nullptr) encryptor->users_.push_back(this);
}

void TrsStorage::SetActive(bool active) {
    if (active == active_) return;
    if (!active) {
        Close();
        return;
    }
    if (restoring_) {
        activate_after_restore_ = true;
        return;
    }
    Reload();
    active_ = true;
}

void TrsStorage::BeginRestore() { restoring_ = true; }

void TrsStorage::EndRestore() {
    restoring_ = false;
    if (activate_after_restore_) {
        activate_after_restore_ = false;
        SetActive(true);
    }
}

void TrsStorage::Reload() {
    ClearAll();
    if (OnBeforeLoad) OnBeforeLoad(*this);
    if (storage_data_ != nullptr) {
        storage_data_->AttachStore(this);
        try {
            storage_data_->Load();
        } catch (...) {
            // The tree holds only what was read before the failure: saving it would replace the
            // whole file with that part.
            damaged_ = true;
            throw;
        }
        if (encryptor_ != nullptr && encryptor_->active) encryptor_->DecodeTree(*this);
    }
    if (OnAfterLoad) OnAfterLoad(*this);
}

void TrsStorage::Save() {
    // A damaged tree is only the part of its file that could be read; writing it back would lose
    // the rest for good. Such a tree can still be read, or copied into a store of its own.
    if (damaged_) {
        RaiseStorageError(kStorageLibraryError,
                          "Cannot save the storage: it holds only the part of its file that could be read");
    }
    if (OnBeforeSave) OnBeforeSave(*this);
    if (storage_data_ != nullptr) {
        TrsEncryptor* encryptor = (encryptor_ != nullptr && encryptor_->active) ? encryptor_ : nullptr;
        if (encryptor != nullptr) encryptor->EncodeTree(*this);
        try {
            storage_data_->AttachStore(this);
            storage_data_->Save();
        } catch (...) {
            // The tree in memory must not stay encoded.
            if (encryptor != nullptr) encryptor->DecodeTree(*this);
            throw;
        }
        if (encryptor != nullptr) encryptor->DecodeTree(*this);
    }
    if (OnAfterSave) OnAfterSave(*this);
}

void TrsStorage::Close() {
    struct FreeScratch {
        TrsKeyWrapper& key;
        ~FreeScratch() { key.FreeScratchStream(); }
    } free_scratch{key_};
    if (!active_) return;
    if (options_ & soSaveOnClose) Save();
    active_ = false;
}

void TrsStorage::ClearAll() {
    if (OnKeyDeletion) {
        for (const TrsKeyRecord& key : keys_) OnKeyDeletion(*this, std::string(key.name));
    }
    std::vector<TrsSectionRecord>().swap(sections_);
    std::vector<TrsKeyRecord>().swap(keys_);
    texts_.Clear();
    root_section_.clear();
    highest_id_ = 0;
    current_ = -1;
    key_first_ = key_end_ = child_first_ = child_end_ = 0;
    damaged_ = false;
    key_.key_pos_ = -1;
    key_.section_pos_ = -1;
    InvalidateCaches();
}

void TrsStorage::InvalidateCaches() {
    ++section_generation_;
    ++key_generation_;
    section_cache_.valid = false;
    key_cache_.valid = false;
}

void TrsStorage::LoadTables(std::vector<TrsSectionRecord> sections, std::vector<TrsKeyRecord> keys, bool damaged) {
    TextPool texts;
    for (TrsKeyRecord& key : keys) {
        key.name = texts.Keep(key.name);
        key.bytes = texts.Keep(key.bytes);
    }
    LoadTables(std::move(texts), std::move(sections), std::move(keys), damaged);
}

void TrsStorage::LoadTables(TextPool texts, std::vector<TrsSectionRecord> sections, std::vector<TrsKeyRecord> keys,
                            bool damaged) {
    sections_ = std::move(sections);
    keys_ = std::move(keys);
    texts_ = std::move(texts);
    next_compaction_check_ = std::max<std::size_t>(texts_.HeldBytes() * 2, 1u << 20);
    highest_id_ = 0;
    for (const TrsSectionRecord& s : sections_) highest_id_ = std::max(highest_id_, s.id);
    damaged_ = damaged;
    current_ = -1;
    root_section_.clear();
    key_.key_pos_ = -1;
    key_.section_pos_ = -1;
    InvalidateCaches();
    ComputeCurrentRanges();
}

// ---------------------------------------------------------------- navigation

void TrsStorage::SetRootSection(std::string_view path) {
    root_section_.assign(path);
    // Resolve while the old current section and its ranges still describe each other.
    std::ptrdiff_t target = -1;
    if (!path.empty()) {
        if (auto found = ResolveSection(path, true, true)) target = *found;
    }
    current_ = target;
    ComputeCurrentRanges();
}

void TrsStorage::ComputeCurrentRanges() {
    const std::int32_t id = CurrentSectionId();
    std::tie(key_first_, key_end_) = EqualIdRange(keys_, id, [](const TrsKeyRecord& k) { return k.section_id; });
    std::tie(child_first_, child_end_) =
        EqualIdRange(sections_, id, [](const TrsSectionRecord& s) { return s.parent_id; });
}

void TrsStorage::GetKeyNames(std::vector<std::string>& names) const {
    names.clear();
    names.reserve(key_end_ - key_first_);
    for (std::size_t i = key_first_; i < key_end_; ++i) names.emplace_back(keys_[i].name);
}

std::optional<std::ptrdiff_t> TrsStorage::FindSection(std::string_view path, bool create) {
    return ResolveSection(path, create, false);
}

std::optional<std::ptrdiff_t> TrsStorage::ResolveSection(std::string_view path, bool create, bool from_root,
                                                         const std::uint64_t* then_key_hash) {
    if (path.empty()) return -1;
    std::ptrdiff_t present = (IsSeparator(path[0]) || from_root) ? -1 : current_;
    std::size_t i = 0;
    while (i < path.size() && IsSeparator(path[i])) ++i;
    if (i == path.size()) return present;
    for (;;) {
        const std::size_t end = NextSeparator(path, i);
        const std::string_view segment = path.substr(i, end - i);
        if (segment.empty()) return std::nullopt;

        const std::int32_t parent_id = present < 0 ? 0 : sections_[present].id;
        const bool last = end == path.size() || end + 1 == path.size();
        if (!create) {
            if (const auto indexed = IndexedSection(parent_id, segment, last ? then_key_hash : nullptr)) {
                if (*indexed < 0) return std::nullopt;
                present = *indexed;
                if (last) return present;
                i = end + 1;
                continue;
            }
        }
        const bool in_current = present == current_;
        const std::size_t lo = in_current ? child_first_ : 0;
        const std::size_t hi = in_current ? child_end_ : sections_.size();
        std::size_t pos = LowerBound(sections_, lo, hi, parent_id, segment, CompareSection);
        if (pos >= sections_.size() || CompareSection(sections_[pos], parent_id, segment) != 0) {
            if (!create || segment.size() > kMaxNameBytes) return std::nullopt;
            if (!in_current) {
                // Before the first section whose parent id is greater, or equal with a name not less.
                pos = LowerBound(sections_, 0, sections_.size(), parent_id, segment, CompareSection);
            }
            present = InsertSection(pos, segment, parent_id);
        } else {
            present = static_cast<std::ptrdiff_t>(pos);
        }
        if (last) return present;
        i = end + 1;
    }
}

std::ptrdiff_t TrsStorage::InsertSection(std::size_t pos, std::string_view name, std::int32_t parent_id) {
    GrowForInsert(sections_);
    TrsSectionRecord record;
    record.name.assign(name);
    record.id = ++highest_id_;
    record.parent_id = parent_id;
    sections_.insert(sections_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(record));

    const std::int32_t current_id = CurrentSectionId();  // read before the position moves
    if (current_ >= 0 && static_cast<std::ptrdiff_t>(pos) <= current_) ++current_;
    FollowInsertion(child_first_, child_end_, pos, parent_id == current_id, parent_id < current_id);
    if (key_.section_pos_ >= static_cast<std::ptrdiff_t>(pos)) ++key_.section_pos_;
    ++section_generation_;
    return static_cast<std::ptrdiff_t>(pos);
}

std::size_t TrsStorage::InsertKey(std::size_t pos, std::string_view name, std::int32_t section_id) {
    GrowForInsert(keys_);
    TrsKeyRecord record;
    record.name = texts_.Keep(name);
    record.section_id = section_id;
    keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(record));

    const std::int32_t current_id = CurrentSectionId();
    FollowInsertion(key_first_, key_end_, pos, section_id == current_id, section_id < current_id);
    if (key_.key_pos_ >= static_cast<std::ptrdiff_t>(pos)) ++key_.key_pos_;
    ++key_generation_;
    return pos;
}

std::optional<std::size_t> TrsStorage::FindKey(std::string_view path, bool create) {
    return FindKey(path, create, nullptr);
}

std::optional<std::size_t> TrsStorage::FindKey(std::string_view path, bool create, TrsKeyRecord* copy) {
    // Split at the last separator: the key name after it, the section path before it.
    const std::size_t split = AfterLastSeparator(path);
    const std::string_view name = path.substr(split);
    // With a key index the name is hashed once, here: the section's lookup starts fetching the
    // key's slot with it, and the key's lookup uses it.
    const bool key_indexed = !create && key_index_.IsFor(key_generation_) && key_index_.Usable();
    const std::uint64_t name_hash = key_indexed ? name_words::NameHash(name) : 0;
    const std::uint64_t* const then_key_hash = key_indexed ? &name_hash : nullptr;

    std::ptrdiff_t section = current_;
    if (split == 1) {
        section = -1;
    } else if (split > 1 && !create && section_index_.IsFor(section_generation_) && section_index_.Usable()) {
        // The index answers as fast as the section cache would, without copying the path into it.
        const auto found = ResolveSection(path.substr(0, split - 1), false, false, then_key_hash);
        if (!found) return std::nullopt;
        section = *found;
    } else if (split > 1) {
        const std::string_view section_path = path.substr(0, split - 1);
        const bool absolute = IsSeparator(section_path[0]);
        SectionCache& cache = section_cache_;
        if (cache.valid && cache.generation == section_generation_ && cache.absolute == absolute &&
            (absolute || cache.resolved_from == current_) && CompareNames(cache.path, section_path) == 0) {
            section = cache.position;
        } else {
            const auto found = ResolveSection(section_path, create, false, then_key_hash);
            if (!found) return std::nullopt;
            section = *found;
            cache.valid = true;
            cache.generation = section_generation_;
            cache.path.assign(section_path);
            cache.absolute = absolute;
            // Sections created before the current one move it: it now stands at current_.
            cache.resolved_from = current_;
            cache.position = section;
        }
    }

    const std::int32_t section_id = section < 0 ? 0 : sections_[section].id;
    const bool in_current = section == current_;
    const std::size_t lo = in_current ? key_first_ : 0;
    const std::size_t hi = in_current ? key_end_ : keys_.size();

    KeyCache& cache = key_cache_;
    std::size_t pos;
    TrsKeyRecord found;
    const auto indexed = create ? std::nullopt : IndexedKey(section_id, name, then_key_hash, found);
    if (indexed) {
        if (*indexed < 0) return std::nullopt;
        pos = static_cast<std::size_t>(*indexed);
        key_.key_pos_ = static_cast<std::ptrdiff_t>(pos);
        key_.section_pos_ = section;
        // The index has the key as the table holds it: its record need not be fetched.
        if (copy != nullptr) *copy = found;
        return pos;
    } else if (cache.valid && cache.generation == key_generation_ && cache.section_id == section_id &&
        cache.scope_first == lo && cache.scope_end == hi && CompareNames(cache.name, name) == 0) {
        pos = cache.position;
    } else {
        pos = LowerBound(keys_, lo, hi, section_id, name, CompareKey);
        if (pos >= keys_.size() || CompareKey(keys_[pos], section_id, name) != 0) {
            if (!create || name.size() > kMaxNameBytes) return std::nullopt;
            pos = InsertKey(pos, name, section_id);
            if (OnKeyAdd) OnKeyAdd(*this, std::string(keys_[pos].name));
            // The handler may have changed the store; look again from its present state.
            if (pos >= keys_.size() || CompareKey(keys_[pos], section_id, name) != 0) return FindKey(path, false);
        }
        cache.valid = true;
        cache.generation = key_generation_;
        cache.section_id = section_id;
        cache.name.assign(name);
        // The scope of a later identical lookup: the current range may have grown by this insert.
        const bool now_current = section_id == CurrentSectionId();
        cache.scope_first = now_current ? key_first_ : 0;
        cache.scope_end = now_current ? key_end_ : keys_.size();
        cache.position = pos;
    }
    key_.key_pos_ = static_cast<std::ptrdiff_t>(pos);
    key_.section_pos_ = section;
    if (copy != nullptr) *copy = keys_[pos];
    return pos;
}

// Building an index is rare and long; kept out of line, it leaves the lookups short.
[[gnu::noinline]] bool TrsStorage::BuildIndexesIfWorth(bool keys) {
    if (keys) {
        if (!key_index_.WorthBuilding(key_generation_)) return false;
        key_index_.Build(keys_, key_generation_);
        return key_index_.Usable();
    }
    if (!section_index_.WorthBuilding(section_generation_)) return false;
    auto own_id = [](const TrsSectionRecord& s) { return static_cast<std::uint32_t>(s.id); };
    section_index_.Build(sections_, SectionParentId, own_id, section_generation_);
    return section_index_.Usable();
}

std::optional<std::ptrdiff_t> TrsStorage::IndexedKey(std::int32_t section_id, std::string_view name,
                                                     const std::uint64_t* name_hash, TrsKeyRecord& found) {
    if (key_index_.IsFor(key_generation_) ? !key_index_.Usable() : !BuildIndexesIfWorth(true)) return std::nullopt;
    return key_index_.Find(keys_, section_id, name, name_hash ? *name_hash : name_words::NameHash(name), found);
}

std::optional<std::ptrdiff_t> TrsStorage::IndexedSection(std::int32_t parent_id, std::string_view name,
                                                         const std::uint64_t* then_key_hash) {
    if (section_index_.IsFor(section_generation_) ? !section_index_.Usable() : !BuildIndexesIfWorth(false)) {
        return std::nullopt;
    }
    // The key looked up next in this section: its slot is fetched as soon as the section's id is
    // known, while the lookup finishes.
    const bool prefetch_key = then_key_hash != nullptr && key_index_.IsFor(key_generation_) && key_index_.Usable();
    return section_index_.Find(sections_, parent_id, name, name_words::NameHash(name), [&](std::uint32_t id) {
        if (prefetch_key) key_index_.Prefetch(static_cast<std::int32_t>(id), *then_key_hash);
    });
}

bool TrsStorage::KeyExists(std::string_view path) { return FindKey(path, false).has_value(); }

bool TrsStorage::SectionExists(std::string_view path) { return FindSection(path, false).has_value(); }

// ---------------------------------------------------------------- reads

// The reads convert the copy of the key a lookup gives: through the read index, that copy comes
// from the index's slot, and the key's record is never fetched.
std::string TrsStorage::ReadString(std::string_view path, std::string_view default_value) {
    TrsKeyRecord key;
    if (!FindKey(path, false, &key)) return std::string(default_value);
    return key_.StringOf(key);
}

std::int32_t TrsStorage::ReadInteger(std::string_view path, std::int32_t default_value) {
    TrsKeyRecord key;
    if (!FindKey(path, false, &key)) return default_value;
    return key_.IntegerOf(key);
}

bool TrsStorage::ReadBool(std::string_view path, bool default_value) {
    TrsKeyRecord key;
    if (!FindKey(path, false, &key)) return default_value;
    return key_.BooleanOf(key);
}

int TrsStorage::ReadStream(std::string_view path, TMemoryStream& stream) {
    const auto pos = FindKey(path, false);
    if (!pos) return 0;
    const TrsKeyRecord& key = keys_[*pos];
    if (key.kind != vkString && key.kind != vkBinary) return 0;
    const std::string_view bytes = key.bytes;
    stream.Write(bytes);
    return static_cast<int>(bytes.size());
}

TMemoryStream* TrsStorage::LoadScratchStream(std::string_view path) {
    const auto pos = FindKey(path, false);
    if (!pos) return nullptr;
    TMemoryStream& scratch = key_.ScratchStream();
    scratch.Clear();
    const TrsKeyRecord& key = keys_[*pos];
    if (key.kind == vkString || key.kind == vkBinary) scratch.Write(key.bytes);
    scratch.Seek(0);
    return &scratch;
}

// ---------------------------------------------------------------- writes

TrsKeyRecord& TrsStorage::KeyForWrite(std::string_view path) {
    const auto pos = FindKey(path, true);
    if (!pos) RaiseStorageError(kSetKeyValueError, "Cannot create key \"" + std::string(path) + "\".");
    return keys_[*pos];
}

void TrsStorage::SetFixed(std::string_view path, TrsValueKind kind, std::uint64_t bits) {
    TrsKeyRecord& key = KeyForWrite(path);
    key.kind = kind;
    key.bytes = {};
    StoreU64(key.fixed, bits);
    KeyChangedInPlace(key);
    CompactTexts();
}

void TrsStorage::WriteString(std::string_view path, std::string_view text) { WriteValue(path, vkString, text); }
void TrsStorage::WriteBinary(std::string_view path, std::string_view bytes) { WriteValue(path, vkBinary, bytes); }

void TrsStorage::WriteStream(std::string_view path, TMemoryStream& stream) {
    WriteValue(path, vkBinary, stream.Remaining());
    stream.Seek(0, SeekOrigin::End);
}

void TrsStorage::WriteInteger(std::string_view path, std::int32_t value) {
    SetFixed(path, vkInteger, static_cast<std::uint32_t>(value));
}
void TrsStorage::WriteBool(std::string_view path, bool value) { SetFixed(path, vkBoolean, value ? 1 : 0); }

void TrsStorage::WriteFloat(std::string_view path, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    SetFixed(path, vkFloat, bits);
}

void TrsStorage::WriteCurrency(std::string_view path, std::int64_t ten_thousandths) {
    SetFixed(path, vkCurrency, static_cast<std::uint64_t>(ten_thousandths));
}

void TrsStorage::WriteDateTime(std::string_view path, double days) {
    std::uint64_t bits;
    std::memcpy(&bits, &days, sizeof bits);
    SetFixed(path, vkDateTime, bits);
}

void TrsStorage::WritePoint(std::string_view path, std::int32_t x, std::int32_t y) {
    SetFixed(path, vkPoint,
             static_cast<std::uint32_t>(x) | (static_cast<std::uint64_t>(static_cast<std::uint32_t>(y)) << 32));
}

void TrsStorage::WriteInt64(std::string_view path, std::int64_t value) {
    SetFixed(path, vkInt64, static_cast<std::uint64_t>(value));
}
void TrsStorage::WriteRaw32(std::string_view path, std::uint32_t value) { SetFixed(path, vkRaw32, value); }
void TrsStorage::WriteEmpty(std::string_view path) { SetFixed(path, vkEmpty, 0); }

void TrsStorage::WriteValue(std::string_view path, TrsValueKind kind, std::string_view payload) {
    const bool byte_string = kind == vkString || kind == vkBinary;
    if (!byte_string && payload.size() != FixedPayloadSize(kind)) {
        RaiseStorageError(kSetKeyValueError, "A value of kind " + std::to_string(kind) + " takes " +
                                                 std::to_string(FixedPayloadSize(kind)) + " bytes, not " +
                                                 std::to_string(payload.size()) + ".");
    }
    TrsKeyRecord& key = KeyForWrite(path);
    key.kind = kind;
    std::memset(key.fixed, 0, sizeof key.fixed);
    if (byte_string) {
        key.bytes = texts_.Keep(payload);
    } else {
        key.bytes = {};
        std::memcpy(key.fixed, payload.data(), payload.size());
    }
    KeyChangedInPlace(key);
    // Only now: `path` and `payload` may themselves be views into the pool.
    CompactTexts();
}

void TrsStorage::KeyChangedInPlace(const TrsKeyRecord& key) {
    // A new value leaves the table's order as it was: the read index follows the one key.
    if (key_index_.IsFor(key_generation_) && key_index_.Usable()) {
        key_index_.Refresh(key, static_cast<std::size_t>(&key - keys_.data()));
    }
}

void TrsStorage::CompactTexts() {
    if (texts_.HeldBytes() < next_compaction_check_) return;
    std::size_t live = 0;
    for (const TrsKeyRecord& key : keys_) live += key.name.size() + key.bytes.size();
    if (texts_.HeldBytes() > 2 * live) {
        TextPool compact;
        for (TrsKeyRecord& key : keys_) {
            key.name = compact.Keep(key.name);
            key.bytes = compact.Keep(key.bytes);
        }
        texts_ = std::move(compact);
        key_index_.Forget();  // its slots point at the old texts
    }
    // Checking again only after the pool has doubled keeps the work per write constant.
    next_compaction_check_ = std::max<std::size_t>(texts_.HeldBytes() * 2, 1u << 20);
}

// ---------------------------------------------------------------- removal

void TrsStorage::RemoveMarked(const std::vector<bool>& section_gone, const std::vector<bool>& key_gone) {
    std::vector<std::string> removed_names;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (key_gone[i]) removed_names.emplace_back(keys_[i].name);
    }

    const bool current_gone = current_ >= 0 && section_gone[current_];
    if (!current_gone) {
        // Ranges and the current position follow their entries.
        key_first_ -= RemovedBefore(key_gone, key_first_);
        key_end_ -= RemovedBefore(key_gone, key_end_);
        child_first_ -= RemovedBefore(section_gone, child_first_);
        child_end_ -= RemovedBefore(section_gone, child_end_);
        if (current_ >= 0) current_ -= static_cast<std::ptrdiff_t>(RemovedBefore(section_gone, current_));
    }
    EraseMarked(sections_, section_gone);
    EraseMarked(keys_, key_gone);
    ShrinkAfterRemoval(sections_);
    ShrinkAfterRemoval(keys_);
    if (current_gone) {
        current_ = -1;
        root_section_.clear();
        ComputeCurrentRanges();
    }
    key_.key_pos_ = -1;
    key_.section_pos_ = -1;
    InvalidateCaches();

    if (OnKeyDeletion) {
        for (const std::string& name : removed_names) OnKeyDeletion(*this, name);
    }
}

bool TrsStorage::DeleteKey(std::string_view path) {
    const auto pos = FindKey(path, false);
    if (!pos) return false;
    std::vector<bool> key_gone(keys_.size(), false);
    key_gone[*pos] = true;
    RemoveMarked(std::vector<bool>(sections_.size(), false), key_gone);
    return true;
}

bool TrsStorage::DeleteSection(std::string_view path) {
    const auto found = FindSection(path, false);
    if (!found || *found < 0) return false;

    // The section and every descendant, by id; tables from files need not be ordered, so the
    // children are gathered from a map of the whole table.
    std::unordered_multimap<std::int32_t, std::size_t> children;
    for (std::size_t i = 0; i < sections_.size(); ++i) children.emplace(sections_[i].parent_id, i);
    std::vector<bool> section_gone(sections_.size(), false);
    std::vector<std::size_t> pending{static_cast<std::size_t>(*found)};
    section_gone[*found] = true;
    std::vector<std::int32_t> gone_ids;
    while (!pending.empty()) {
        const std::size_t pos = pending.back();
        pending.pop_back();
        // Ids are positive; a damaged file's id 0 must not take the root's children along.
        if (sections_[pos].id <= 0) continue;
        gone_ids.push_back(sections_[pos].id);
        auto [first, last] = children.equal_range(sections_[pos].id);
        for (auto it = first; it != last; ++it) {
            if (!section_gone[it->second]) {
                section_gone[it->second] = true;
                pending.push_back(it->second);
            }
        }
    }
    std::sort(gone_ids.begin(), gone_ids.end());
    std::vector<bool> key_gone(keys_.size(), false);
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        key_gone[i] = std::binary_search(gone_ids.begin(), gone_ids.end(), keys_[i].section_id);
    }
    RemoveMarked(section_gone, key_gone);
    return true;
}

}  // namespace tb
