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
#include "codec/codec.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "base/errors.hpp"
#include "base/little_endian.hpp"

namespace tb {
namespace {

// The word-at-a-time scans read bytes in memory order from the low end of a word.
static_assert(std::endian::native == std::endian::little, "the codec's scans assume a little-endian machine");

constexpr std::uint8_t kStoredFlag = 0x80;
constexpr std::uint8_t kCompressedFlag = 0x40;
constexpr std::size_t kTableSize = 4096;
constexpr std::uint32_t kEmptyEntry = 0xFFFF;  // a position past every block, no bytes
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

// The hashes of sixteen positions in a row, from the 18 bytes at p. Sixteen at a time in 16-bit
// arithmetic (all the hash keeps of the product) lets the compiler use vector instructions.
inline void HashSixteen(const std::uint8_t* p, std::uint16_t* out) {
    std::uint16_t hashes[16];
    for (std::size_t i = 0; i < 16; ++i) {
        const auto mixed = static_cast<std::uint16_t>((p[i] << 8) ^ (p[i + 1] << 4) ^ p[i + 2]);
        hashes[i] = static_cast<std::uint16_t>(static_cast<std::uint16_t>(mixed * 40543u) >> 4);
    }
    std::memcpy(out, hashes, sizeof hashes);
}

// A table entry holds a position (low 16 bits) and the two bytes after it (high 16 bits), from the
// low bytes of the word at that position. Two positions in the same entry have the same hash, and
// the hash, once the second and third bytes are known, gives back the first: the low four bits of
// the product come from the third byte alone, the multiplier is odd, so the 16 bits that were
// multiplied follow, and the first byte is what remains of them. So equal high halves mean equal
// first three bytes, and the scan learns it without reading the earlier position.
inline std::uint32_t EntryOf(std::size_t position, std::uint32_t first_bytes) {
    return ((first_bytes << 8) & 0xFFFF0000u) | static_cast<std::uint32_t>(position);
}

inline std::uint32_t LoadU24(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
}

// Word-at-a-time helpers: fixed-size memcpy compiles to plain loads and stores.
inline std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void Copy8(std::uint8_t* dst, const std::uint8_t* src) { std::memcpy(dst, src, 8); }

// Equal bytes at a and b, at most max; a lies after b, so reading up to a + max stays in the input.
inline std::size_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t max) {
    std::size_t len = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (len + 8 <= max) {
            const std::uint64_t diff = Load64(a + len) ^ Load64(b + len);
            if (diff != 0) return len + static_cast<std::size_t>(std::countr_zero(diff)) / 8;
            len += 8;
        }
    }
    while (len < max && a[len] == b[len]) ++len;
    return len;
}

// The run of equal bytes starting at p, when it is at least kMinRun long (at most max); else 0.
// Shorter runs need no count: they give literals or copies like any other bytes.
inline std::size_t RunLength(const std::uint8_t* p, std::size_t max) {
    if (max < kMinRun || p[1] != p[0]) return 0;
    const std::uint64_t pattern = 0x0101010101010101ull * p[0];
    if (Load64(p) != pattern || Load64(p + 8) != pattern) return 0;
    std::size_t run = kMinRun;
    while (run + 8 <= max && Load64(p + run) == pattern) run += 8;
    while (run < max && p[run] == p[0]) ++run;
    return run;
}

}  // namespace

std::size_t CompressBlock(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
    const std::size_t n = input.size();
    if (n == 0 || n > kBlockLimit) throw ArgumentError("CompressBlock: block size out of range");
    if (output.size() < n + 1) throw ArgumentError("CompressBlock: output buffer too small");

    const std::uint8_t* src = input.data();
    std::uint8_t* out = output.data();

    // A table per call: the encoder empties it for every block anyway, so sharing one table across
    // calls saves nothing and would forbid encoding on two threads at once.
    std::array<std::uint32_t, kTableSize> table;
    table.fill(kEmptyEntry);

    out[0] = kCompressedFlag;
    std::size_t control_pos = 1;
    std::size_t pos = 3;
    std::uint32_t control = 0;
    std::size_t units = 0;

    // Opens a new group when the current one is full. Once the output would pass the input
    // length the block is stored whatever follows, so every step checks first and writes
    // nothing past n: the output never needs more than n + 1 bytes.
    const auto room_for = [&](std::size_t unit_bytes) {
        const std::size_t reserve = units == kUnitsPerGroup ? 2 : 0;
        if (pos + reserve + unit_bytes > n) return false;
        if (reserve != 0) {
            out[control_pos] = static_cast<std::uint8_t>(control >> 8);
            out[control_pos + 1] = static_cast<std::uint8_t>(control);
            control_pos = pos;
            pos += 2;
            control = 0;
            units = 0;
        }
        return true;
    };

    // Positions at least kMaxMatch before the end need no end checks: a match may take its full
    // length, and a run is told by its first bytes.
    const std::size_t unchecked_end = n > kMaxMatch ? n - kMaxMatch : 0;
    // The hash of every position the scan may reach, worked out before it starts, so that the
    // scan reads a position's table entry as soon as it knows the position: the time to tell a
    // match from a literal is most of what a position costs, since the processor mostly guesses
    // it wrong. The last sixteen may pass unchecked_end; the bytes they read are still in the
    // input. On the heap: 64 KB for a full block is too much for a caller's stack.
    const auto hashes = std::make_unique_for_overwrite<std::uint16_t[]>(unchecked_end + 16);
    for (std::size_t i = 0; i < unchecked_end; i += 16) HashSixteen(src + i, &hashes[i]);
    std::size_t x = 0;
    while (x < n) {
        // Scan for the next run or match. Each position passed on the way is a literal; the
        // literals are written together afterwards.
        const std::size_t literal_start = x;
        std::size_t run = 0;
        std::size_t match_len = 0;
        std::size_t match_pos = 0;
        // One 8-byte load per position serves the run test, the hash and the table's entry.
        // Entries of 32768 and above (which never qualify) are made only in the checked loop
        // below, which the scan never leaves again, so here an entry qualifies when it is at most
        // kMaxOffset back (an empty entry, 0xFFFF, lies ahead of every position).
        for (; x < unchecked_end; ++x) {
            const std::uint64_t word = Load64(src + x);
            // Eight equal bytes are the only words that a rotation by one byte leaves unchanged.
            if (word == std::rotr(word, 8)) [[unlikely]] {
                run = RunLength(src + x, std::min(n - x, kMaxEncodedRun));
                if (run != 0) break;
            }
            const std::uint32_t h = hashes[x];
            const std::uint32_t entry = table[h];
            const std::uint32_t made = EntryOf(x, static_cast<std::uint32_t>(word));
            table[h] = made;
            // The entry says whether the first three bytes match without reading them (see
            // EntryOf), and whether it is in reach: x - e below 4096. One branch for both tests,
            // whose outcome the processor cannot guess.
            const std::size_t e = entry & 0xFFFF;
            if ((((entry ^ made) >> 16) | ((x - e) >> 12)) == 0) {
                const std::uint64_t diff = word ^ Load64(src + e);
                match_len = diff != 0 ? static_cast<std::size_t>(std::countr_zero(diff)) / 8
                                      : 8 + MatchLength(src + x + 8, src + e + 8, kMaxMatch - 8);
                match_pos = e;
                break;
            }
        }
        // The common case: fewer than a group of literals and a copy, far from the output's limit.
        // Fixed 16-byte copies take the literals (what they write past them is rewritten by the
        // next units, and stays within n); when the group fills on the way, its control word is
        // written and the next one's place is kept where the group ends. The second copy ends at
        // most 33 bytes past pos, so nothing is written past n.
        if (match_len != 0) {
            const std::size_t k = x - literal_start;
            if (k < kUnitsPerGroup && pos + 34 <= n) [[likely]] {
                const std::uint8_t* literals = src + literal_start;
                std::memcpy(out + pos, literals, 16);
                if (units + k >= kUnitsPerGroup) {
                    const std::size_t first = kUnitsPerGroup - units;  // literals that fit this group
                    control <<= first;
                    out[control_pos] = static_cast<std::uint8_t>(control >> 8);
                    out[control_pos + 1] = static_cast<std::uint8_t>(control);
                    control_pos = pos + first;
                    pos = control_pos + 2;
                    std::memcpy(out + pos, literals + first, 16);
                    pos += k - first;
                    control = 0;
                    units = k - first;
                } else {
                    pos += k;
                    control <<= k;
                    units += k;
                }
                const std::size_t item = ((x - match_pos) << 4) | (match_len - kMinMatch);
                out[pos] = static_cast<std::uint8_t>(item >> 8);
                out[pos + 1] = static_cast<std::uint8_t>(item & 0xFF);
                pos += 2;
                control = (control << 1) | 1;
                ++units;
                x += match_len;
                continue;
            }
        }
        for (; x < n && match_len == 0 && run == 0; ++x) {
            run = RunLength(src + x, std::min(n - x, kMaxEncodedRun));
            if (run != 0) break;
            if (x + kMinMatch > n) continue;  // too close to the end for a match
            const std::uint32_t h = HashOf(src + x);
            const std::size_t e = table[h] & 0xFFFF;
            table[h] = EntryOf(x, LoadU24(src + x));
            if (e < 0x8000 && x - e <= kMaxOffset) {
                const std::size_t len = MatchLength(src + x, src + e, std::min(kMaxMatch, n - x));
                if (len >= kMinMatch) {
                    match_len = len;
                    match_pos = e;
                    break;
                }
            }
        }

        for (std::size_t at = literal_start; at < x;) {
            const std::size_t free_units = units == kUnitsPerGroup ? kUnitsPerGroup : kUnitsPerGroup - units;
            const std::size_t k = std::min(x - at, free_units);
            if (!room_for(k)) return StoreBlock(input, out);
            // Most stretches are short: one fixed 16-byte copy where both buffers have the bytes
            // (what it writes past the stretch is rewritten by the next units, and stays within n).
            if (pos + 16 <= n && at + 16 <= n) [[likely]] {
                std::memcpy(out + pos, src + at, 16);
            } else {
                std::memcpy(out + pos, src + at, k);
            }
            pos += k;
            at += k;
            control <<= k;
            units += k;
        }
        if (x == n) break;

        if (run != 0) {
            if (!room_for(4)) return StoreBlock(input, out);
            const std::size_t count = run - kMinRun;
            out[pos] = 0;
            out[pos + 1] = static_cast<std::uint8_t>(count >> 8);
            out[pos + 2] = static_cast<std::uint8_t>(count & 0xFF);
            out[pos + 3] = src[x];
            pos += 4;
            x += run;
        } else {
            if (!room_for(2)) return StoreBlock(input, out);
            const std::size_t item = ((x - match_pos) << 4) | (match_len - kMinMatch);
            out[pos] = static_cast<std::uint8_t>(item >> 8);
            out[pos + 1] = static_cast<std::uint8_t>(item & 0xFF);
            pos += 2;
            x += match_len;
        }
        control = (control << 1) | 1;
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
        // The fast loop: while there is room on both sides, each step takes the literals up to the
        // next item (none to 16) and then that item, with fixed-size copies and no branch on the
        // kind of unit. Bytes copied past a unit are rewritten by the next units or lie beyond the
        // decoded length. With 32 bytes left in the block, the zero bits taken as literals are
        // real units: the unused bits of the last group come only after its last item.
        while (m - ip >= 32 && limit - op >= 48) {
            if (bits == 0) {
                control = (std::uint32_t{in[ip]} << 24) | (std::uint32_t{in[ip + 1]} << 16);
                bits = 16;
                ip += 2;
                // Groups of sixteen literals (a zero control word) are most of a block that hardly
                // compresses: one copy each. With this much of the block left, a zero control word
                // cannot be the last group's, so all its units are real.
                while (control == 0 && m - ip >= 48 && limit - op >= 64) [[unlikely]] {
                    std::memcpy(out + op, in + ip, 16);
                    op += 16;
                    ip += 16;
                    control = (std::uint32_t{in[ip]} << 24) | (std::uint32_t{in[ip + 1]} << 16);
                    ip += 2;
                }
            }
            // A 1 bit just past the group's last bit stops the count there.
            const std::size_t literals =
                static_cast<std::size_t>(std::countl_zero(control | (0x80000000u >> bits)));
            std::memcpy(out + op, in + ip, 16);
            op += literals;
            ip += literals;
            bits -= literals;
            control <<= literals;
            if (bits == 0) continue;

            const std::size_t b1 = in[ip + 1];
            const std::size_t offset = (std::size_t{in[ip]} << 4) | (b1 >> 4);
            // Runs, overlapping copies and bad offsets go the long way.
            if (offset < 8 || offset > op) [[unlikely]] break;
            // Three 8-byte steps cover the longest copy; with an offset of 8 or more each step
            // reads only bytes that are already final.
            std::uint8_t* dst = out + op;
            const std::uint8_t* from = dst - offset;
            Copy8(dst, from);
            Copy8(dst + 8, from + 8);
            Copy8(dst + 16, from + 16);
            op += (b1 & 0x0F) + kMinMatch;
            ip += 2;
            control <<= 1;
            --bits;
        }
        // The fast loop leaves at least 12 bytes of the block unread, so the step below always
        // has input.

        // One step the careful way.
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
        AppendU32(destination, static_cast<std::uint32_t>(encoded));
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
        const std::uint32_t length = LoadU32(bytes + at);
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
        // A stored block goes to the destination as it is, without the detour through the buffer.
        if (bytes[at + 4] == kStoredFlag) {
            destination.append(source.substr(at + 5, length - 1));
            result.produced += length - 1;
            at += 4 + length;
            result.consumed = at;
            continue;
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
