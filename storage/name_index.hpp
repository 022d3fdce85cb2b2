#pragma once
// A hash index over a table sorted by (id, name): finds the entry with an id and a name equal
// under CompareNames. Used only while the table is strictly sorted, where each name is unique
// under its id, so that it finds exactly what a binary search finds.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tb {

int CompareNames(std::string_view a, std::string_view b);

class NameIndex {
public:
    // FNV-1a over the id and the name with ASCII letters folded, as CompareNames folds them.
    static std::uint32_t Hash(std::int32_t id, std::string_view name) {
        std::uint32_t h = 2166136261u;
        const auto u = static_cast<std::uint32_t>(id);
        for (int shift = 0; shift < 32; shift += 8) h = (h ^ ((u >> shift) & 0xFF)) * 16777619u;
        for (char c : name) {
            auto b = static_cast<unsigned char>(c);
            if (b >= 'a' && b <= 'z') b = static_cast<unsigned char>(b - 32);
            h = (h ^ b) * 16777619u;
        }
        return h | 1u;  // 0 marks an empty slot
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
    // `name`; unusable when the table is not strictly sorted.
    template <class T, class IdOf>
    void Build(const std::vector<T>& table, IdOf id_of, std::uint64_t generation) {
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
            slots_[slot] = {tag, static_cast<std::uint32_t>(i), std::string_view(table[i].name).data()};
        }
        usable_ = true;
    }

    // Position of the entry, or -1 when there is none. Only for a usable index.
    template <class T, class IdOf>
    std::ptrdiff_t Find(const std::vector<T>& table, IdOf id_of, std::int32_t id, std::string_view name) const {
        const std::uint32_t tag = Hash(id, name);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t slot = tag & mask; slots_[slot].tag != 0; slot = (slot + 1) & mask) {
            if (slots_[slot].tag != tag) continue;
            // The name's bytes are fetched while the entry is: in a large table each is a cache
            // miss of its own, and the entry only says where the name is once it has arrived.
            __builtin_prefetch(slots_[slot].name);
            const T& entry = table[slots_[slot].position];
            if (id_of(entry) == id && CompareNames(entry.name, name) == 0) return slots_[slot].position;
        }
        return -1;
    }

private:
    std::uint64_t generation_ = ~0ull;
    bool usable_ = false;
    // A tag and its position side by side: a lookup in a large table costs one cache miss here.
    struct Slot {
        std::uint32_t tag = 0;  // 0: empty
        std::uint32_t position = 0;
        // Where the entry's name was when the index was built: only a hint for fetching it early.
        // Texts may move since (a compaction does not change the table's generation), so lookups
        // never read through it.
        const char* name = nullptr;
    };
    std::vector<Slot> slots_;
    std::uint64_t reads_generation_ = ~0ull;
    unsigned reads_ = 0;
};

}  // namespace tb
