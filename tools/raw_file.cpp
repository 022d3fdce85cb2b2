// Storage file layout (all integers little-endian):
//   "RS02", section count (2), key count (2)
//   section: id (2), parent id (2), name length (1), name
//   key:     section id (2), name length (1), name, kind (2), payload
//   payload: text and binary a 4-byte length and the bytes; integer, boolean and raw 32-bit values
//            4 bytes; float, currency, date-time and 64-bit integers 8 bytes; a point x and y
//            (4 bytes each); empty and unknown kinds nothing.
#include "tools/raw_file.hpp"

#include "base/errors.hpp"

namespace tb::tool {

namespace {

void PutLe(std::string& out, uint64_t value, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutName(std::string& out, const std::string& name, const std::string& what) {
    if (name.size() > 255) throw Error(what + ": the name is longer than 255 bytes");
    PutLe(out, name.size(), 1);
    out += name;
}

}  // namespace

std::string WriteStorageImage(const RawTables& tables) {
    if (tables.sections.size() > 65535 || tables.keys.size() > 65535) {
        throw Error("a storage file holds at most 65535 sections and 65535 keys");
    }
    std::string out = "RS02";
    PutLe(out, tables.sections.size(), 2);
    PutLe(out, tables.keys.size(), 2);
    for (size_t i = 0; i < tables.sections.size(); ++i) {
        const RawSection& s = tables.sections[i];
        const std::string what = "section " + std::to_string(i);
        if (s.id < 0 || s.id > 65535 || s.parent < 0 || s.parent > 65535) {
            throw Error(what + ": ids are 0 to 65535");
        }
        PutLe(out, static_cast<uint32_t>(s.id), 2);
        PutLe(out, static_cast<uint32_t>(s.parent), 2);
        PutName(out, s.name, what);
    }
    for (size_t i = 0; i < tables.keys.size(); ++i) {
        const RawKey& k = tables.keys[i];
        const std::string what = "key " + std::to_string(i);
        if (k.section < 0 || k.section > 65535) throw Error(what + ": section ids are 0 to 65535");
        PutLe(out, static_cast<uint32_t>(k.section), 2);
        PutName(out, k.name, what);
        PutLe(out, k.kind, 2);
        if (k.kind == kKindString || k.kind == kKindBinary) {
            if (k.payload.size() > 0xFFFFFFFFu) throw Error(what + ": the value is too long");
            PutLe(out, k.payload.size(), 4);
            out += k.payload;
        } else {
            const size_t size = FixedPayloadSize(k.kind);
            if (k.payload.size() != size) throw Error(what + ": the value has the wrong size for its kind");
            out += k.payload;
        }
    }
    return out;
}

}  // namespace tb::tool
