#pragma once
// A hash index over a table sorted by (id, name): finds the entry with an id and a name equal
// under CompareNames. Used only while the table is strictly sorted, where each name is unique
// under its id, so that it finds exactly what a binary search finds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace tb {

int CompareNames(std::string_view a, std::string_view b);

// `Hint`: what each slot keeps of its entry for the caller's early fetches (see Find).
template <class Hint>
class NameIndex {
public:
    // The id and the name with ASCII letters folded, as CompareNames folds them, eight bytes at a
    // time: a byte-at-a-time hash cost as much as the rest of a lookup.
    static std::uint32_t Hash(std::int32_t id, std::string_view name) {
        constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
        std::uint64_t h = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(id)) << 8 | name.size()) * kMultiplier;
        const char* p = name.data();
        std::size_t left = name.size();
        for (; left >= 8; p += 8, left -= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            h = (h ^ FoldLetters(word)) * kMultiplier;
            h ^= h >> 29;
        }
        if (left > 0) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, left);
            h = (h ^ FoldLetters(word)) * kMultiplier;
        }
        h ^= h >> 32;
        return static_cast<std::uint32_t>(h) | 1u;  // 0 marks an empty slot
    }

    // Maps the bytes 'a'..'z' of a word to 'A'..'Z' and leaves every other byte as it is.
    static std::uint64_t FoldLetters(std::uint64_t word) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull;
        constexpr std::uint64_t kHigh = 0x8080808080808080ull;
        const std::uint64_t low7 = word & ~kHigh;
        const std::uint64_t at_least_a = low7 + (0x80 - 'a') * kOnes;   // high bit: low 7 bits >= 'a'
        const std::uint64_t above_z = low7 + (0x80 - 'z' - 1) * kOnes;  // high bit: low 7 bits > 'z'
        const std::uint64_t lower = at_least_a & ~above_z & ~word & kHigh;
        return word ^ (lower >> 2);  // 0x80 >> 2 is the case bit 0x20
    }

    // Whether the index describes the table as it is at `generation` (built or found unusable).
    bool IsFor(std::uint64_t generation) const { return generation_ == generation; }
    bool Usable() const { return usable_; }

    // Counts a read of the table at `generation`; true once enough reads have found it unchanged
    // to pay for building the index (writers alternate lookups and changes).
    bool WorthBuilding(std::uint64_t generation) {
        if (reads_generation_ != generation) {
            reads_generation_ = generation;
            reads_ = 0;
        }
        return ++reads_ >= 64;
    }

    // Builds the index for a table whose entries give their id through `id_of` and have a
    // `name`; unusable when the table is not strictly sorted. Each slot keeps `hint_of(entry)`,
    // which Find hands over before it reads the entry (see Find).
    template <class T, class IdOf, class HintOf>
    void Build(const std::vector<T>& table, IdOf id_of, HintOf hint_of, std::uint64_t generation) {
        generation_ = generation;
        usable_ = false;
        slots_.clear();
        for (std::size_t i = 1; i < table.size(); ++i) {
            const std::int32_t a = id_of(table[i - 1]), b = id_of(table[i]);
            if (a > b || (a == b && CompareNames(table[i - 1].name, table[i].name) >= 0)) return;
        }
        std::size_t slots = 16;
        while (slots < 2 * table.size()) slots *= 2;
        slots_.assign(slots, Slot{});
        for (std::size_t i = 0; i < table.size(); ++i) {
            const std::uint32_t tag = Hash(id_of(table[i]), table[i].name);
            std::size_t slot = tag & (slots - 1);
            while (slots_[slot].tag != 0) slot = (slot + 1) & (slots - 1);
            slots_[slot] = {tag, static_cast<std::uint32_t>(i), hint_of(table[i])};
        }
        usable_ = true;
    }

    // Position of the entry, or -1 when there is none. Only for a usable index. Each candidate's
    // hint goes to `on_candidate` before its entry is read: in a large table the entry is a cache
    // miss, and what the caller fetches meanwhile (the entry's name, the next lookup's slot)
    // arrives with it instead of after it. A hint is only a guess and is never trusted.
    template <class T, class IdOf, class OnCandidate>
    std::ptrdiff_t Find(const std::vector<T>& table, IdOf id_of, std::int32_t id, std::string_view name,
                        OnCandidate on_candidate) const {
        const std::uint32_t tag = Hash(id, name);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = tag & mask; slots_[slot].tag != 0; slot = (slot + 1) & mask) {
            if (slots_[slot].tag != tag) continue;
            on_candidate(slots_[slot].hint);
            const T& entry = table[slots_[slot].position];
            if (id_of(entry) == id && CompareNames(entry.name, name) == 0) return slots_[slot].position;
        }
        return -1;
    }

    // Starts fetching the slot where a lookup of (id, name) begins. Only for a usable index.
    void Prefetch(std::int32_t id, std::string_view name) const {
        __builtin_prefetch(&slots_[Hash(id, name) & (slots_.size() - 1)]);
    }

private:
    std::uint64_t generation_ = ~0ull;
    bool usable_ = false;
    // A tag and its position side by side: a lookup in a large table costs one cache miss here.
    struct Slot {
        std::uint32_t tag = 0;  // 0: empty
        std::uint32_t position = 0;
        // What the table's owner wants to know before the entry arrives, as it was when the index
        // was built (an address to fetch, an id): the entry may have changed since in ways the
        // generation does not count (a compaction moves texts), so it only ever guides a prefetch.
        Hint hint{};
    };
    std::vector<Slot> slots_;
    std::uint64_t reads_generation_ = ~0ull;
    unsigned reads_ = 0;
};

}  // namespace tb
