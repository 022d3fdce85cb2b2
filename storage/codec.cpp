// Encoded block (at most 32783 bytes):
//   flag   1 byte   0x80 = stored: the input follows unchanged;
//                   anything else = compressed (the encoder writes 0x40)
//   body            groups of: control word (2 bytes, high byte first) + up to 16 units, one per
//                   control bit from the most significant down; 0 = literal, 1 = item
// Units:
//   literal   1 byte   the byte itself
//   copy      2 bytes  offset (12 bits, 1..4095) << 4 | (length - 3) (lengths 3..18), high byte
//                      first; copies length bytes from offset bytes back in the output
//   run       4 bytes  00, (count - 16) as 12 bits high byte first, the byte; counts 16..4111
// A copy never has offset 0, so an item whose first 12 bits are zero is a run.
//
// Chunked stream: records of a 4-byte little-endian length m and an encoded block of m bytes;
// no header, no terminator; a record of length 0 also ends the stream.
#include "storage/codec.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tb {
namespace {

constexpr std::uint8_t kStoredFlag = 0x80;
constexpr std::uint8_t kCompressedFlag = 0x40;
constexpr std::size_t kTableSize = 4096;
constexpr std::uint16_t kEmptyEntry = 0xFFFF;
constexpr std::size_t kMaxOffset = 4095;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
constexpr std::size_t kMinRun = 16;
constexpr std::size_t kMaxEncodedRun = 4095;  // the encoder's longest run; the format allows 4111
constexpr std::size_t kUnitsPerGroup = 16;

std::size_t StoreBlock(std::span<const std::uint8_t> input, std::uint8_t* out) {
    out[0] = kStoredFlag;
    std::memcpy(out + 1, input.data(), input.size());
    return input.size() + 1;
}

inline std::uint32_t HashOf(const std::uint8_t* p) {
    const std::uint32_t v = ((((std::uint32_t{p[0]} << 4) ^ p[1]) << 4) ^ p[2]) * 40543u;
    return (v >> 4) & 0x0FFF;
}

void PutLittleEndian32(std::string& out, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                           static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
    out.append(bytes, 4);
}

std::uint32_t GetLittleEndian32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

}  // namespace

std::size_t CompressBlock(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
    const std::size_t n = input.size();
    if (n == 0 || n > kBlockLimit) throw std::invalid_argument("CompressBlock: block size out of range");
    if (output.size() < n + 1) throw std::invalid_argument("CompressBlock: output buffer too small");

    const std::uint8_t* src = input.data();
    std::uint8_t* out = output.data();

    // A table per call: the encoder empties it for every block anyway, so sharing one table across
    // calls saves nothing and would forbid encoding on two threads at once.
    std::array<std::uint16_t, kTableSize> table;
    table.fill(kEmptyEntry);

    out[0] = kCompressedFlag;
    std::size_t control_pos = 1;
    std::size_t pos = 3;
    std::uint32_t control = 0;
    std::size_t units = 0;
    std::size_t x = 0;

    while (x < n) {
        const std::size_t reserve = units == kUnitsPerGroup ? 2 : 0;
        const std::uint8_t b = src[x];

        std::size_t run = 1;
        const std::size_t run_limit = std::min(n - x, kMaxEncodedRun);
        while (run < run_limit && src[x + run] == b) ++run;

        std::size_t unit_size;
        std::size_t match_len = 0;
        std::size_t match_pos = 0;
        if (run >= kMinRun) {
            unit_size = 4;
        } else {
            if (x + kMinMatch <= n) {
                const std::uint32_t h = HashOf(src + x);
                const std::uint16_t e = table[h];
                table[h] = static_cast<std::uint16_t>(x);
                // Entries of 32768 and above count as negative positions and never qualify.
                if (e < 0x8000 && x - e <= kMaxOffset) {
                    const std::size_t max_len = std::min(kMaxMatch, n - x);
                    std::size_t len = 0;
                    while (len < max_len && src[x + len] == src[e + len]) ++len;
                    if (len >= kMinMatch) {
                        match_len = len;
                        match_pos = e;
                    }
                }
            }
            unit_size = match_len != 0 ? 2 : 1;
        }

        // Once the output would pass the input length the block is stored whatever follows, so
        // stop before writing anything past it: the output never needs more than n + 1 bytes.
        if (pos + reserve + unit_size > n) return StoreBlock(input, out);

        if (reserve != 0) {
            out[control_pos] = static_cast<std::uint8_t>(control >> 8);
            out[control_pos + 1] = static_cast<std::uint8_t>(control);
            control_pos = pos;
            pos += 2;
            control = 0;
            units = 0;
        }

        if (run >= kMinRun) {
            const std::size_t count = run - kMinRun;
            out[pos] = 0;
            out[pos + 1] = static_cast<std::uint8_t>(count >> 8);
            out[pos + 2] = static_cast<std::uint8_t>(count & 0xFF);
            out[pos + 3] = b;
            pos += 4;
            x += run;
            control = (control << 1) | 1;
        } else if (match_len != 0) {
            const std::size_t item = ((x - match_pos) << 4) | (match_len - kMinMatch);
            out[pos] = static_cast<std::uint8_t>(item >> 8);
            out[pos + 1] = static_cast<std::uint8_t>(item & 0xFF);
            pos += 2;
            x += match_len;
            control = (control << 1) | 1;
        } else {
            out[pos++] = b;
            x += 1;
            control <<= 1;
        }
        ++units;
    }

    control <<= (kUnitsPerGroup - units);
    out[control_pos] = static_cast<std::uint8_t>(control >> 8);
    out[control_pos + 1] = static_cast<std::uint8_t>(control);
    return pos;
}

std::optional<std::size_t> DecompressBlock(std::span<const std::uint8_t> block,
                                           std::span<std::uint8_t> output) {
    const std::size_t m = block.size();
    if (m == 0 || m > kMaxEncodedBlock) return std::nullopt;
    const std::size_t limit = std::min(output.size(), kBlockLimit);
    const std::uint8_t* in = block.data();
    std::uint8_t* out = output.data();

    if (in[0] == kStoredFlag) {
        if (m - 1 > limit) return std::nullopt;
        if (m > 1) std::memcpy(out, in + 1, m - 1);
        return m - 1;
    }
    if (m < 3) return std::nullopt;

    // The control word sits in the top 16 bits of a 32-bit value, next bit first.
    std::uint32_t control = (std::uint32_t{in[1]} << 24) | (std::uint32_t{in[2]} << 16);
    std::size_t bits = 16;
    std::size_t ip = 3;
    std::size_t op = 0;

    while (ip < m) {
        if (bits == 0) {
            if (m - ip < 3) return std::nullopt;  // a control word needs at least one unit after it
            control = (std::uint32_t{in[ip]} << 24) | (std::uint32_t{in[ip + 1]} << 16);
            bits = 16;
            ip += 2;
        }
        if ((control & 0x80000000u) == 0) {
            // A stretch of literals: as many as the control word has zero bits in a row, cut at the
            // block's end (the unused low bits of the last control word are zero).
            std::size_t count = control == 0 ? bits : static_cast<std::size_t>(std::countl_zero(control));
            count = std::min({count, bits, m - ip});
            if (count > limit - op) return std::nullopt;
            std::memcpy(out + op, in + ip, count);
            op += count;
            ip += count;
            bits -= count;
            control <<= count;
            continue;
        }

        if (m - ip < 2) return std::nullopt;
        const std::size_t b0 = in[ip];
        const std::size_t b1 = in[ip + 1];
        const std::size_t offset = (b0 << 4) | (b1 >> 4);
        if (offset == 0) {
            if (m - ip < 4) return std::nullopt;
            const std::size_t count = ((b1 << 8) | in[ip + 2]) + kMinRun;
            if (count > limit - op) return std::nullopt;
            std::memset(out + op, in[ip + 3], count);
            op += count;
            ip += 4;
        } else {
            const std::size_t length = (b1 & 0x0F) + kMinMatch;
            if (offset > op || length > limit - op) return std::nullopt;
            std::uint8_t* dst = out + op;
            const std::uint8_t* from = dst - offset;
            if (offset >= length) {
                std::memcpy(dst, from, length);
            } else {
                // Overlapping: byte by byte, so a short offset repeats its pattern.
                for (std::size_t i = 0; i < length; ++i) dst[i] = from[i];
            }
            op += length;
            ip += 2;
        }
        control <<= 1;
        --bits;
    }
    return op;
}

void CompressStream(std::string_view source, std::string& destination) {
    if (source.empty()) return;
    std::vector<std::uint8_t> buffer(kBlockLimit + kCompressMargin);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(source.data());
    for (std::size_t done = 0; done < source.size();) {
        const std::size_t n = std::min(kBlockLimit, source.size() - done);
        const std::size_t encoded = CompressBlock({bytes + done, n}, buffer);
        PutLittleEndian32(destination, static_cast<std::uint32_t>(encoded));
        destination.append(reinterpret_cast<const char*>(buffer.data()), encoded);
        done += n;
    }
}

DecompressResult DecompressStream(std::string_view source, std::string& destination) {
    DecompressResult result;
    std::vector<std::uint8_t> buffer(kBlockLimit);
    const auto* bytes = reinterpret_cast<const unsigned char*>(source.data());
    std::size_t at = 0;
    for (;;) {
        const std::size_t left = source.size() - at;
        if (left == 0) break;
        if (left < 4) {
            result.status = StreamStatus::Truncated;
            break;
        }
        const std::uint32_t length = GetLittleEndian32(bytes + at);
        if (length == 0) {
            result.consumed = at + 4;
            break;
        }
        if (length > kMaxEncodedBlock) {
            result.status = StreamStatus::Corrupt;
            break;
        }
        if (left - 4 < length) {
            result.status = StreamStatus::Truncated;
            break;
        }
        const auto decoded = DecompressBlock({bytes + at + 4, length}, buffer);
        if (!decoded) {
            result.status = StreamStatus::Corrupt;
            break;
        }
        destination.append(reinterpret_cast<const char*>(buffer.data()), *decoded);
        result.produced += *decoded;
        at += 4 + length;
        result.consumed = at;
    }
    return result;
}

}  // namespace tb
