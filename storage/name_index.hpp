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

// Names a word at a time. A lookup spends most of its instructions on its names (hashing them,
// checking the candidate), so neither walks them byte by byte, and no read leaves the name: a
// name's last partial word is loaded as words that overlap inside it.
namespace name_words {

// Maps the bytes 'a'..'z' of a word to 'A'..'Z' and leaves every other byte as it is.
inline std::uint64_t FoldLetters(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    const std::uint64_t low7 = word & ~kHigh;
    const std::uint64_t at_least_a = low7 + (0x80 - 'a') * kOnes;   // high bit: low 7 bits >= 'a'
    const std::uint64_t above_z = low7 + (0x80 - 'z' - 1) * kOnes;  // high bit: low 7 bits > 'z'
    const std::uint64_t lower = at_least_a & ~above_z & ~word & kHigh;
    return word ^ (lower >> 2);  // 0x80 >> 2 is the case bit 0x20
}

inline std::uint64_t Load8(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

// All of a name of 1 to 8 bytes in one word, each byte in a lane of its own, so that two names of
// the same length fold equal exactly when their words do.
inline std::uint64_t LoadShort(const char* p, std::size_t n) {
    if (n >= 4) {
        std::uint32_t low, high;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + n - 4, 4);
        return low | static_cast<std::uint64_t>(high) << 32;
    }
    return static_cast<unsigned char>(p[0]) | static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8 |
           static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16;
}

// CompareNames(a, b) == 0, without the order.
inline bool SameName(std::string_view a, std::string_view b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    if (n <= 8) return n == 0 || FoldLetters(LoadShort(a.data(), n)) == FoldLetters(LoadShort(b.data(), n));
    auto same_at = [&](std::size_t i) {
        const std::uint64_t x = Load8(a.data() + i), y = Load8(b.data() + i);
        return x == y || FoldLetters(x) == FoldLetters(y);
    };
    for (std::size_t i = 0; i + 8 < n; i += 8) {
        if (!same_at(i)) return false;
    }
    return same_at(n - 8);  // the last eight bytes, overlapping the word before
}

constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

// A hash of the name with its letters folded; names equal under CompareNames hash equal.
inline std::uint64_t NameHash(std::string_view name) {
    const char* p = name.data();
    const std::size_t n = name.size();
    std::uint64_t h = (n + 1) * kMultiplier;
    if (n == 0) return h;
    if (n <= 8) {
        h = (h ^ FoldLetters(LoadShort(p, n))) * kMultiplier;
    } else {
        for (std::size_t i = 0; i + 8 < n; i += 8) {
            h = (h ^ FoldLetters(Load8(p + i))) * kMultiplier;
            h ^= h >> 29;
        }
        h = (h ^ FoldLetters(Load8(p + n - 8))) * kMultiplier;
    }
    // A product's high bits hold the last bytes: bring them down to where the slot is chosen.
    return h ^ (h >> 32);
}

}  // namespace name_words

// `Hint`: what each slot keeps of its entry for the caller's early fetches (see Find).
template <class Hint>
class NameIndex {
public:
    // A slot's tag: the name's hash (NameHash) with the id mixed in. A lookup hashes its name once
    // and mixes in each id it tries, which costs one multiplication.
    static std::uint32_t Tag(std::int32_t id, std::uint64_t name_hash) {
        std::uint64_t h = (name_hash ^ static_cast<std::uint32_t>(id)) * name_words::kMultiplier;
        h ^= h >> 32;
        return static_cast<std::uint32_t>(h) | 1u;  // 0 marks an empty slot
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
            const std::uint32_t tag = Tag(id_of(table[i]), name_words::NameHash(table[i].name));
            std::size_t slot = tag & (slots - 1);
            while (slots_[slot].tag != 0) slot = (slot + 1) & (slots - 1);
            slots_[slot] = {tag, static_cast<std::uint32_t>(i), hint_of(table[i])};
        }
        usable_ = true;
    }

    // Position of the entry, or -1 when there is none; `name_hash` is name_words::NameHash(name).
    // Only for a usable index. Each candidate's
    // hint goes to `on_candidate` before its entry is read: in a large table the entry is a cache
    // miss, and what the caller fetches meanwhile (the entry's name, the next lookup's slot)
    // arrives with it instead of after it. A hint is only a guess and is never trusted.
    template <class T, class IdOf, class OnCandidate>
    std::ptrdiff_t Find(const std::vector<T>& table, IdOf id_of, std::int32_t id, std::string_view name,
                        std::uint64_t name_hash, OnCandidate on_candidate) const {
        const std::uint32_t tag = Tag(id, name_hash);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = tag & mask; slots_[slot].tag != 0; slot = (slot + 1) & mask) {
            if (slots_[slot].tag != tag) continue;
            on_candidate(slots_[slot].hint);
            const T& entry = table[slots_[slot].position];
            if (id_of(entry) == id && name_words::SameName(entry.name, name)) return slots_[slot].position;
        }
        return -1;
    }

    // Starts fetching the slot where a lookup of (id, a name of hash `name_hash`) begins. Only for
    // a usable index.
    void Prefetch(std::int32_t id, std::uint64_t name_hash) const {
        __builtin_prefetch(&slots_[Tag(id, name_hash) & (slots_.size() - 1)]);
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
