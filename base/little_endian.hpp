#pragma once
// Little-endian reading and writing, the one place every file format of the system goes through.
//
// ByteReader consumes a span and can never run past its end. Its failure flag is sticky: a read
// that does not fit gives 0 (or an empty view), marks the reader failed and leaves the position
// where it was; every later read fails the same way. A reader reads a whole record and checks Ok()
// once, then decides what a cut means for its format (the storage file keeps the records before
// it, the property stream raises its read error, the embedded copy refuses the copy).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

class ByteReader {
public:
    explicit ByteReader(std::string_view data) : data_(data) {}

    bool Ok() const { return ok_; }
    std::size_t Remaining() const { return data_.size() - pos_; }
    std::size_t Position() const { return pos_; }

    std::uint8_t U8() { return Fits(1) ? static_cast<std::uint8_t>(Advance(1)[0]) : 0; }
    std::uint16_t U16() { return Fits(2) ? static_cast<std::uint16_t>(LoadU16(Advance(2))) : 0; }
    std::uint32_t U32() { return Fits(4) ? LoadU32(Advance(4)) : 0; }
    std::uint64_t U64() { return Fits(8) ? LoadU64(Advance(8)) : 0; }
    // A view of the next `count` bytes; empty when they are not all there.
    std::string_view Bytes(std::size_t count) {
        if (!Fits(count)) return {};
        const std::string_view part = data_.substr(pos_, count);
        pos_ += count;
        return part;
    }
    // The next byte without consuming it; 0 and failed at the end.
    std::uint8_t PeekU8() { return Fits(1) ? static_cast<unsigned char>(data_[pos_]) : 0; }

    static std::uint32_t LoadU16(const unsigned char* p) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
    }
    static std::uint32_t LoadU32(const unsigned char* p) {
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    static std::uint64_t LoadU64(const unsigned char* p) {
        return static_cast<std::uint64_t>(LoadU32(p)) | (static_cast<std::uint64_t>(LoadU32(p + 4)) << 32);
    }

private:
    bool Fits(std::size_t count) {
        if (ok_ && count <= Remaining()) return true;
        ok_ = false;
        return false;
    }
    const unsigned char* Advance(std::size_t count) {
        const auto* p = reinterpret_cast<const unsigned char*>(data_.data()) + pos_;
        pos_ += count;
        return p;
    }

    std::string_view data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// Fixed-size loads and stores on buffers the caller has already checked for length.
inline std::uint32_t LoadU16(const unsigned char* p) { return ByteReader::LoadU16(p); }
inline std::uint32_t LoadU32(const unsigned char* p) { return ByteReader::LoadU32(p); }
inline std::uint64_t LoadU64(const unsigned char* p) { return ByteReader::LoadU64(p); }
inline std::uint32_t LoadU16(const char* p) { return LoadU16(reinterpret_cast<const unsigned char*>(p)); }
inline std::uint32_t LoadU32(const char* p) { return LoadU32(reinterpret_cast<const unsigned char*>(p)); }
inline std::uint64_t LoadU64(const char* p) { return LoadU64(reinterpret_cast<const unsigned char*>(p)); }

inline void StoreU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}
inline void StoreU64(unsigned char* p, std::uint64_t v) {
    StoreU32(p, static_cast<std::uint32_t>(v));
    StoreU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// Appending to a growing file image.
inline void AppendU8(std::string& out, std::uint32_t v) { out.push_back(static_cast<char>(v & 0xFF)); }
inline void AppendU16(std::string& out, std::uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void AppendU32(std::string& out, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                           static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
    out.append(bytes, 4);
}
inline void AppendU64(std::string& out, std::uint64_t v) {
    AppendU32(out, static_cast<std::uint32_t>(v));
    AppendU32(out, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace tb
