#include "storage/embedded_copy.hpp"

#include <cstdint>

#include "storage/codec.hpp"
#include "storage/storage_data.hpp"

namespace tb {
namespace {

constexpr std::size_t kHeaderSize = 6;  // 01 01 and the length

}  // namespace

std::string EncodeInternalFile(std::string_view copy) {
    if (copy.empty()) return {};
    std::string chunks;
    CompressStream(copy, chunks);
    std::string out = {'\x01', '\x01'};
    const auto length = static_cast<std::uint32_t>(chunks.size());
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
    return out + chunks;
}

bool DecodeInternalFile(std::string_view property_data, std::string& copy) {
    copy.clear();
    if (property_data.size() < kHeaderSize || property_data[0] != '\x01' || property_data[1] != '\x01') return false;
    const auto* p = reinterpret_cast<const unsigned char*>(property_data.data()) + 2;
    const std::uint32_t length = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                                 (std::uint32_t{p[3]} << 24);
    if (length > property_data.size() - kHeaderSize) return false;
    const std::string_view chunks = property_data.substr(kHeaderSize, length);
    const DecompressResult result = DecompressStream(chunks, copy);
    // A copy that decodes only in part would load as a tree missing keys: take all or nothing.
    if (result.status != StreamStatus::Complete) {
        copy.clear();
        return false;
    }
    return true;
}

bool LoadInternalFile(TrsStreamData& data, std::string_view property_data) {
    std::string copy;
    const bool ok = DecodeInternalFile(property_data, copy);
    data.SetInternalStream(std::move(copy));
    return ok;
}

std::string SaveInternalFile(const TrsStreamData& data) { return EncodeInternalFile(data.InternalStream()); }

}  // namespace tb
