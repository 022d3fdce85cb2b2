#pragma once
// The read index of a store's key table: a hash index by (section id, name) whose slots also keep
// what a read needs of their key (a short name itself, else where the name is; the kind; the value,
// or where its bytes are in the store's text pool). A lookup in a large store then checks and
// answers from its slot (and the key's texts), and never waits for the key's record: the record
// is a cache miss of its own after the slot's.
//
// Used only while the table is strictly sorted (each name unique under its section), so that it
// finds exactly what a binary search finds. The slots describe the records as they were at Build;
// the store refreshes a slot when it changes a value in place, and forgets the index when it
// moves texts.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "storage/name_index.hpp"
#include "storage/storage_records.hpp"

namespace tb {

class KeyIndex {
public:
    bool IsFor(std::uint64_t generation) const { return built_.IsFor(generation); }
    bool Usable() const { return built_.Usable(); }
    bool WorthBuilding(std::uint64_t generation) { return built_.WorthBuilding(generation); }
    // The index no longer describes the table (its texts moved): the next reads build it anew.
    void Forget() { built_.Forget(); }

    // Builds the index for `keys`; unusable when the table is not strictly sorted.
    void Build(const std::vector<TrsKeyRecord>& keys, std::uint64_t generation);

    // Position of the key, or -1 when there is none; `name_hash` is name_words::NameHash(name).
    // Only for a usable index. `found` receives the key as the table holds it.
    std::ptrdiff_t Find(const std::vector<TrsKeyRecord>& keys, std::int32_t section_id, std::string_view name,
                        std::uint64_t name_hash, TrsKeyRecord& found) const;

    // After the record at `position` changed its value in place: its slot follows. Only for a
    // usable index.
    void Refresh(const TrsKeyRecord& key, std::size_t position);

    // Starts fetching the slot where a lookup of (section id, a name of hash `name_hash`) begins.
    // Only for a usable index.
    void Prefetch(std::int32_t section_id, std::uint64_t name_hash) const {
        // The line after as well: a search for a missing key goes on to the first empty slot.
        const char* home = reinterpret_cast<const char*>(&slots_[Home(section_id, name_hash)]);
        __builtin_prefetch(home);
        __builtin_prefetch(home + 64);
    }

    std::size_t SlotBytes() const { return slots_.capacity() * sizeof(Slot); }

private:
    // 32 bytes, two to a cache line.
    struct Slot {
        // A name of up to eight bytes stands here; a longer one's address (the lookup then fetches
        // the name as well).
        char name[8] = {};
        std::uint64_t value = 0;  // the bytes' address for the byte-string kinds, else the fixed payload
        std::int32_t section_id = 0;
        std::uint32_t position = 0;
        std::uint32_t value_length = 0;
        TrsValueKind kind = vkEmpty;
        std::uint8_t name_length = 0;
        std::uint8_t state = kEmpty;
    };
    static_assert(sizeof(Slot) == 32);
    static constexpr std::size_t kInlineName = sizeof(Slot::name);
    enum : std::uint8_t {
        kEmpty = 0,
        kCopied = 1,    // the slot holds the key
        kByRecord = 2,  // a name or value too long for the slot: the record answers
    };

    // The slot where the search for (section id, name) begins: the tag scaled to the table.
    std::size_t Home(std::int32_t section_id, std::uint64_t name_hash) const {
        const std::uint32_t tag = name_words::Tag(section_id, name_hash);
        return static_cast<std::size_t>((static_cast<std::uint64_t>(tag) * slots_.size()) >> 32);
    }
    std::size_t Next(std::size_t slot) const { return slot + 1 == slots_.size() ? 0 : slot + 1; }
    static void Fill(Slot& slot, const TrsKeyRecord& key, std::size_t position);
    static std::string_view NameOf(const Slot& slot);
    static TrsKeyRecord Record(const Slot& slot);

    IndexState built_;
    std::vector<Slot> slots_;
};

}  // namespace tb
