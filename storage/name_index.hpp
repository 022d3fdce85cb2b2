#pragma once
// Hash indexes over a table sorted by (id, name): they find the entry with an id and a name equal
// under CompareNames. Used only while the table is strictly sorted, where each name is unique
// under its id, so that they find exactly what a binary search finds. Here: the names' words, the
// bookkeeping of an index, and the index of the section table (the key table's is key_index.hpp).
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

// An index slot's tag: the name's hash (NameHash) with the id mixed in; never 0. A lookup hashes
// its name once and mixes in each id it tries, which costs one multiplication.
inline std::uint32_t Tag(std::int32_t id, std::uint64_t name_hash) {
    std::uint64_t h = (name_hash ^ static_cast<std::uint32_t>(id)) * kMultiplier;
    h ^= h >> 32;
    return static_cast<std::uint32_t>(h) | 1u;
}

}  // namespace name_words

// Whether an index describes its table, and when to build it.
class IndexState {
public:
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

    void Built(std::uint64_t generation, bool usable) {
        generation_ = generation;
        usable_ = usable;
    }
    void Forget() {
        generation_ = ~0ull;
        usable_ = false;
    }

private:
    std::uint64_t generation_ = ~0ull;
    bool usable_ = false;
    std::uint64_t reads_generation_ = ~0ull;
    unsigned reads_ = 0;
};

// Whether (id, name) pairs stand strictly sorted, so that each name is unique under its id.
template <class T, class IdOf>
bool StrictlySorted(const std::vector<T>& table, IdOf id_of) {
    for (std::size_t i = 1; i < table.size(); ++i) {
        const std::int32_t a = id_of(table[i - 1]), b = id_of(table[i]);
        if (a > b || (a == b && CompareNames(table[i - 1].name, table[i].name) >= 0)) return false;
    }
    return true;
}

// A hash index whose slots keep a short name themselves: a lookup of such a name reads one slot
// and never its table's entry. Each slot also keeps a number for the caller (`hint`: the section's
// own id), handed over when its entry is found.
class NameIndex {
public:
    bool IsFor(std::uint64_t generation) const { return built_.IsFor(generation); }
    bool Usable() const { return built_.Usable(); }
    bool WorthBuilding(std::uint64_t generation) { return built_.WorthBuilding(generation); }

    // Builds the index for a table whose entries give their id through `id_of` and have a
    // `name`; unusable when the table is not strictly sorted. The table's entries must keep their
    // names where they are until the next Build (the slots of long names point at them).
    template <class T, class IdOf, class HintOf>
    void Build(const std::vector<T>& table, IdOf id_of, HintOf hint_of, std::uint64_t generation) {
        built_.Built(generation, false);
        slots_.clear();
        if (!StrictlySorted(table, id_of)) return;
        std::size_t slots = 16;
        while (slots < 2 * table.size()) slots *= 2;
        slots_.assign(slots, Slot{});
        for (std::size_t i = 0; i < table.size(); ++i) {
            const std::int32_t id = id_of(table[i]);
            const std::string_view name = table[i].name;
            const std::uint32_t tag = name_words::Tag(id, name_words::NameHash(name));
            std::size_t slot = tag & (slots - 1);
            while (slots_[slot].tag != 0) slot = (slot + 1) & (slots - 1);
            Slot& s = slots_[slot];
            s = {tag, static_cast<std::uint32_t>(i), id, hint_of(table[i])};
            if (name.size() <= kInlineName) {
                s.name_length = static_cast<std::uint8_t>(name.size());
                std::memcpy(s.name, name.data(), name.size());
            }
        }
        built_.Built(generation, true);
    }

    // Position of the entry, or -1 when there is none; `name_hash` is name_words::NameHash(name).
    // Only for a usable index. The entry's hint goes to `on_found` before the position returns.
    template <class T, class OnFound>
    std::ptrdiff_t Find(const std::vector<T>& table, std::int32_t id, std::string_view name,
                        std::uint64_t name_hash, OnFound on_found) const {
        const std::uint32_t tag = name_words::Tag(id, name_hash);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = tag & mask; slots_[slot].tag != 0; slot = (slot + 1) & mask) {
            const Slot& s = slots_[slot];
            if (s.tag != tag || s.id != id) continue;
            const bool same = s.name_length <= kInlineName ? name_words::SameName({s.name, s.name_length}, name)
                                                           : name_words::SameName(table[s.position].name, name);
            if (!same) continue;
            on_found(s.hint);
            return s.position;
        }
        return -1;
    }

private:
    IndexState built_;
    // 32 bytes, two to a cache line.
    struct Slot {
        std::uint32_t tag = 0;  // 0: empty
        std::uint32_t position = 0;
        std::int32_t id = 0;
        std::uint32_t hint = 0;
        std::uint8_t name_length = 0xFF;  // beyond kInlineName: the name is the entry's
        char name[15] = {};
    };
    static constexpr std::size_t kInlineName = sizeof(Slot::name);
    std::vector<Slot> slots_;
};

}  // namespace tb
