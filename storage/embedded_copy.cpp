#include "storage/embedded_copy.hpp"

#include <cstdint>

#include "base/little_endian.hpp"

#include "codec/codec.hpp"
#include "storage/storage_data.hpp"

namespace tb {
std::string EncodeInternalFile(std::string_view copy) {
    if (copy.empty()) return {};
    std::string chunks;
    CompressStream(copy, chunks);
    std::string out = {'\x01', '\x01'};
    AppendU32(out, static_cast<std::uint32_t>(chunks.size()));
    return out + chunks;
}

bool DecodeInternalFile(std::string_view property_data, std::string& copy) {
    copy.clear();
    ByteReader in(property_data);
    const std::string_view marker = in.Bytes(2);
    const std::string_view chunks = in.Bytes(in.U32());
    if (!in.Ok() || marker != "\x01\x01") return false;
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
