// The key table's read index (key_index.hpp).
#include "storage/key_index.hpp"

#include <algorithm>
#include <cstring>

namespace tb {
namespace {

bool ByteString(TrsValueKind kind) { return kind == vkString || kind == vkBinary; }

}  // namespace

void KeyIndex::Fill(Slot& slot, const TrsKeyRecord& key, std::size_t position) {
    slot.section_id = key.section_id;
    slot.position = static_cast<std::uint32_t>(position);
    slot.kind = key.kind;
    if (key.name.size() <= kInlineName) {
        std::memcpy(slot.name, key.name.data(), key.name.size());
    } else {
        const char* address = key.name.data();
        std::memcpy(slot.name, &address, sizeof address);
    }
    slot.name_length = static_cast<std::uint8_t>(key.name.size());
    const bool fits = key.name.size() <= std::numeric_limits<std::uint8_t>::max() &&
                      key.bytes.size() <= std::numeric_limits<std::uint32_t>::max();
    slot.state = fits ? kCopied : kByRecord;
    if (ByteString(key.kind)) {
        slot.value = reinterpret_cast<std::uintptr_t>(key.bytes.data());
        slot.value_length = static_cast<std::uint32_t>(key.bytes.size());
    } else {
        std::memcpy(&slot.value, key.fixed, sizeof slot.value);
        slot.value_length = 0;
    }
}

std::string_view KeyIndex::NameOf(const Slot& slot) {
    if (slot.name_length <= kInlineName) return std::string_view(slot.name, slot.name_length);
    const char* address;
    std::memcpy(&address, slot.name, sizeof address);
    return std::string_view(address, slot.name_length);
}

TrsKeyRecord KeyIndex::Record(const Slot& slot) {
    TrsKeyRecord key;
    key.name = NameOf(slot);
    key.section_id = slot.section_id;
    key.kind = slot.kind;
    if (ByteString(slot.kind)) {
        key.bytes = std::string_view(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(slot.value)),
                                     slot.value_length);
    } else {
        std::memcpy(key.fixed, &slot.value, sizeof key.fixed);
    }
    return key;
}

void KeyIndex::Build(const std::vector<TrsKeyRecord>& keys, std::uint64_t generation) {
    built_.Built(generation, false);
    slots_.clear();
    // Slot numbers come from a 32-bit tag scaled by the table's size, which must fit 32 bits.
    if (keys.size() > (std::size_t{1} << 31) ||
        !StrictlySorted(keys, [](const TrsKeyRecord& k) { return k.section_id; })) {
        return;
    }
    // Two slots of three in use at most: a search meets few others before its own or an empty one.
    const std::size_t slots = std::max<std::size_t>(16, keys.size() + keys.size() / 2 + 1);
    std::vector<Slot>(slots).swap(slots_);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::size_t slot = Home(keys[i].section_id, name_words::NameHash(keys[i].name));
        while (slots_[slot].state != kEmpty) slot = Next(slot);
        Fill(slots_[slot], keys[i], i);
    }
    built_.Built(generation, true);
}

std::ptrdiff_t KeyIndex::Find(const std::vector<TrsKeyRecord>& keys, std::int32_t section_id, std::string_view name,
                              std::uint64_t name_hash, TrsKeyRecord& found) const {
    for (std::size_t slot = Home(section_id, name_hash); slots_[slot].state != kEmpty; slot = Next(slot)) {
        const Slot& s = slots_[slot];
        if (s.section_id != section_id) continue;
        if (s.state == kByRecord) {
            const TrsKeyRecord& key = keys[s.position];
            if (!name_words::SameName(key.name, name)) continue;
            found = key;
            return s.position;
        }
        if (s.name_length != name.size()) continue;
        // The value is fetched while the name is compared (a long name is a cache miss of its own).
        if (ByteString(s.kind)) __builtin_prefetch(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(s.value)));
        if (!name_words::SameName(NameOf(s), name)) continue;
        found = Record(s);
        return s.position;
    }
    return -1;
}

void KeyIndex::Refresh(const TrsKeyRecord& key, std::size_t position) {
    for (std::size_t slot = Home(key.section_id, name_words::NameHash(key.name)); slots_[slot].state != kEmpty;
         slot = Next(slot)) {
        if (slots_[slot].position == position) {
            Fill(slots_[slot], key, position);
            return;
        }
    }
}

}  // namespace tb
