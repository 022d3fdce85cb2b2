#pragma once
// The stream codec of the embedded copy: a small Lempel-Ziv coder with a 4096-entry hash table,
// 12-bit offsets and 4-bit lengths, a run item and a stored form. Streams are cut into blocks of at
// most kBlockLimit bytes, each written with a 4-byte length prefix (see codec.cpp for the layout).
//
// Decoder contract: never reads outside the encoded block, never writes outside the output buffer,
// and reports a malformed block as corrupt instead of guessing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tb {

inline constexpr std::size_t kBlockLimit = 32782;            // input bytes of one block at most
inline constexpr std::size_t kMaxEncodedBlock = kBlockLimit + 1;  // stored form of a full block
// Callers size CompressBlock's output as input length + kCompressMargin. The encoder itself never
// writes past input length + 1 (the stored form), so this margin is only what callers promise.
inline constexpr std::size_t kCompressMargin = 4;

// Encodes 1..kBlockLimit bytes into output (at least input.size() + 1 bytes; callers normally give
// input.size() + kCompressMargin) and returns the encoded length, at most input.size() + 1.
// Throws tb::ArgumentError for an empty or oversized input or a short output buffer.
// Each call uses its own match table, so any number of threads may encode at once.
std::size_t CompressBlock(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

// Decodes one encoded block into output and returns the decoded length, or nullopt when the block
// is corrupt: empty, longer than kMaxEncodedBlock, cut off inside a control word or a unit, holding
// a copy that reaches before the start of the output, or producing more than
// min(output.size(), kBlockLimit) bytes.
std::optional<std::size_t> DecompressBlock(std::span<const std::uint8_t> block,
                                           std::span<std::uint8_t> output);

// Appends the chunked form of source to destination. An empty source appends nothing.
void CompressStream(std::string_view source, std::string& destination);

enum class StreamStatus {
    Complete,   // the source ended on a record boundary, or with a record of length 0
    Truncated,  // the source ended inside a length prefix or inside a record
    Corrupt,    // a record length above kMaxEncodedBlock, or a block that does not decode
};

struct DecompressResult {
    StreamStatus status = StreamStatus::Complete;
    std::size_t consumed = 0;  // source bytes of the records that were decoded
    std::size_t produced = 0;  // bytes appended to the destination
};

// Decodes records from the start of source and appends their bytes to destination. Decoding
// stops at a record of length 0 or where the source ends; a truncated last record is not decoded
// (the blocks before it stay appended). A corrupt record appends nothing of itself and stops.
DecompressResult DecompressStream(std::string_view source, std::string& destination);

}  // namespace tb
