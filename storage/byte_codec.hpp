#pragma once
// Little-endian reading and writing for the storage formats. The reader consumes a span and can
// never run past its end: each Take reports whether the whole field was there.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

class ByteReader {
public:
    explicit ByteReader(std::string_view data) : data_(data) {}

    size_t Remaining() const { return data_.size() - pos_; }
    size_t Position() const { return pos_; }

    bool U8(std::uint8_t& out) {
        if (Remaining() < 1) return false;
        out = Byte(0);
        pos_ += 1;
        return true;
    }
    bool U16(std::uint16_t& out) {
        if (Remaining() < 2) return false;
        out = static_cast<std::uint16_t>(Byte(0) | (Byte(1) << 8));
        pos_ += 2;
        return true;
    }
    bool U32(std::uint32_t& out) {
        if (Remaining() < 4) return false;
        out = static_cast<std::uint32_t>(Byte(0)) | (static_cast<std::uint32_t>(Byte(1)) << 8) |
              (static_cast<std::uint32_t>(Byte(2)) << 16) | (static_cast<std::uint32_t>(Byte(3)) << 24);
        pos_ += 4;
        return true;
    }
    // A view of the next `count` bytes.
    bool Bytes(size_t count, std::string_view& out) {
        if (Remaining() < count) return false;
        out = data_.substr(pos_, count);
        pos_ += count;
        return true;
    }

private:
    std::uint32_t Byte(size_t i) const { return static_cast<unsigned char>(data_[pos_ + i]); }

    std::string_view data_;
    size_t pos_ = 0;
};

inline void AppendU8(std::string& out, std::uint32_t v) { out.push_back(static_cast<char>(v & 0xFF)); }
inline void AppendU16(std::string& out, std::uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void AppendU32(std::string& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

inline std::uint32_t LoadU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t LoadU64(const unsigned char* p) {
    return static_cast<std::uint64_t>(LoadU32(p)) | (static_cast<std::uint64_t>(LoadU32(p + 4)) << 32);
}
inline void StoreU32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}
inline void StoreU64(unsigned char* p, std::uint64_t v) {
    StoreU32(p, static_cast<std::uint32_t>(v));
    StoreU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

}  // namespace tb
