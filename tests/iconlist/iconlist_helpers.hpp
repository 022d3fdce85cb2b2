#pragma once
// Fixtures for the icon list tests: the icons in data/ and a byte builder for hand-made streams.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tb::test {

inline std::string IconBytes(std::string_view name) {
    const std::string path = std::string(TB_SOURCE_DIR "/tests/iconlist/data/") + std::string(name) + ".png";
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("missing fixture " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Hand-made property streams: each call appends the bytes of one piece.
class Stream {
public:
    Stream& Name(std::string_view n) {
        bytes_.push_back(static_cast<char>(n.size()));
        bytes_.append(n);
        return *this;
    }
    Stream& Code(int code) {
        bytes_.push_back(static_cast<char>(code));
        return *this;
    }
    Stream& Raw(std::string_view raw) {
        bytes_.append(raw);
        return *this;
    }
    Stream& U8(int v) { return Code(v); }
    Stream& U16(std::uint32_t v) {
        bytes_.push_back(static_cast<char>(v & 0xFF));
        bytes_.push_back(static_cast<char>((v >> 8) & 0xFF));
        return *this;
    }
    Stream& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Stream& Int8(int v) { return Code(2).U8(v); }
    Stream& Int16(int v) { return Code(3).U16(static_cast<std::uint32_t>(v)); }
    Stream& Int32(std::int32_t v) { return Code(4).U32(static_cast<std::uint32_t>(v)); }
    Stream& Ident(std::string_view s) { return Code(7).Name(s); }
    Stream& Text(std::string_view s) { return Code(6).Name(s); }
    Stream& Binary(std::string_view b) { return Code(10).U32(static_cast<std::uint32_t>(b.size())).Raw(b); }
    Stream& End() { return Code(0); }
    // One collection item holding a picture.
    Stream& PngItem(std::string_view png) { return Code(1).Name("PngImage.Data").Binary(png).End(); }

    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

}  // namespace tb::test
