#pragma once
// A storage tree exactly as its tables hold it: sections and keys in table order, ids as stored,
// every value as the bytes the file keeps for it. The dump and pack commands translate between this
// and JSON, so nothing the file holds is lost on the way.
#include <cstdint>
#include <string>
#include <vector>

namespace tb::tool {

struct RawSection {
    int32_t id = 0;
    int32_t parent = 0;  // 0: a child of the root
    std::string name;    // 8-bit text, byte for byte
};

struct RawKey {
    int32_t section = 0;  // 0: a key of the root
    std::string name;
    uint16_t kind = 0;    // the store's value kind code; codes above 10 carry no payload
    // For text and binary keys the content; for the fixed-size kinds their little-endian bytes
    // (4 for integer, boolean and raw 32-bit values, 8 for the 64-bit kinds and for a point).
    std::string payload;
};

struct RawTables {
    int version = 2;  // the version the file's signature gave; informative
    std::vector<RawSection> sections;
    std::vector<RawKey> keys;
};

// Value kind codes as the files store them.
enum RawKind : uint16_t {
    kKindEmpty = 0,
    kKindString = 1,
    kKindBinary = 2,
    kKindInteger = 3,
    kKindFloat = 4,
    kKindCurrency = 5,
    kKindDateTime = 6,
    kKindBoolean = 7,
    kKindPoint = 8,
    kKindInt64 = 9,
    kKindRaw32 = 10,
};

}  // namespace tb::tool
