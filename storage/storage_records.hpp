#pragma once
// A key's record and the kinds of value it holds (see storage.hpp for the tree that keeps them).
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tb {

// The kind of value a key holds; files keep it in 16 bits, and codes beyond vkRaw32 survive a load
// (they carry no payload and convert to nothing).
enum TrsValueKind : std::uint16_t {
    vkEmpty = 0,
    vkString = 1,    // 8-bit text of any length
    vkBinary = 2,    // bytes of any length
    vkInteger = 3,   // signed 32-bit
    vkFloat = 4,     // IEEE double
    vkCurrency = 5,  // signed 64-bit, value x 10000
    vkDateTime = 6,  // double: days since 1899-12-30, fraction = time of day
    vkBoolean = 7,   // 32-bit, non-zero is true
    vkPoint = 8,     // x then y, signed 32-bit each
    vkInt64 = 9,     // signed 64-bit
    vkRaw32 = 10,    // 32 bits shown as signed decimal
};

// Bytes of the fixed payload of a kind: 4 or 8; 0 for vkEmpty, the two byte-string kinds and
// unknown codes.
constexpr std::size_t FixedPayloadSize(TrsValueKind kind) {
    switch (kind) {
        case vkInteger:
        case vkBoolean:
        case vkRaw32:
            return 4;
        case vkFloat:
        case vkCurrency:
        case vkDateTime:
        case vkInt64:
        case vkPoint:
            return 8;
        default:
            return 0;
    }
}

// The texts of a key are views into its store's text pool (text_pool.hpp): they stay valid until
// the store's next write, removal, load or ClearAll.
struct TrsKeyRecord {
    std::string_view name;
    std::string_view bytes;       // payload of vkString and vkBinary
    std::int32_t section_id = 0;  // 0: a key of the root
    TrsValueKind kind = vkEmpty;
    unsigned char fixed[8] = {};  // payload of the fixed-size kinds, little-endian

    // The payload as it stands in a file: the byte string for kinds 1 and 2, else the first
    // FixedPayloadSize(kind) bytes of `fixed`.
    std::string_view Payload() const;
};

}  // namespace tb
