#include "codec/codec.hpp"
#include "base/errors.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tb {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(const Bytes& input) {
    Bytes out(input.size() + kCompressMargin);
    out.resize(CompressBlock(input, out));
    return out;
}

std::optional<Bytes> Decode(const Bytes& block, std::size_t capacity = kBlockLimit) {
    Bytes out(capacity);
    const auto n = DecompressBlock(block, out);
    if (!n) return std::nullopt;
    out.resize(*n);
    return out;
}

Bytes Repeat(std::uint8_t byte, std::size_t count) { return Bytes(count, byte); }

Bytes Text(std::string_view s) { return {s.begin(), s.end()}; }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Bytes without any repeated three-byte sequence or run: every position gives a literal.
Bytes Distinct(std::size_t count, std::uint8_t first = 0) {
    Bytes b;
    for (std::size_t i = 0; i < count; ++i) b.push_back(static_cast<std::uint8_t>(first + i));
    return b;
}

Bytes Noise(std::size_t count, std::uint32_t seed) {
    std::mt19937 gen(seed);
    Bytes b(count);
    for (auto& v : b) v = static_cast<std::uint8_t>(gen());
    return b;
}

// A path of the machine's own files, as the test program sees them (through Z: under Wine).
std::string SystemPath(const char* path) {
    const std::string_view source = TB_SOURCE_DIR;
    return (source.starts_with("Z:") ? "Z:" : "") + std::string(path);
}

std::string AsString(const Bytes& b) { return {b.begin(), b.end()}; }

std::optional<std::string> ReadFile(const std::string& path, std::size_t max = SIZE_MAX) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (all.size() > max) all.resize(max);
    return all;
}

// --- Fixed encodings -------------------------------------------------------------------------

struct FixedCase {
    const char* name;
    Bytes input;
    Bytes encoded;
};

void PrintTo(const FixedCase& c, std::ostream* os) { *os << c.name; }

class FixedEncoding : public testing::TestWithParam<FixedCase> {};

TEST_P(FixedEncoding, EncodesToTheExactBytesAndDecodesBack) {
    const auto& c = GetParam();
    EXPECT_EQ(Encode(c.input), c.encoded);
    EXPECT_EQ(Decode(c.encoded), c.input);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FixedEncoding,
    testing::Values(
        // Too short to gain anything: stored.
        FixedCase{"one_byte", {0x41}, {0x80, 0x41}},
        FixedCase{"two_bytes", {0x41, 0x41}, {0x80, 0x41, 0x41}},
        FixedCase{"abc_stored", Text("abc"), {0x80, 'a', 'b', 'c'}},
        // Three literals and a copy item take 8 bytes for 6: stored.
        FixedCase{"short_copy_stored", Text("abcabc"), {0x80, 'a', 'b', 'c', 'a', 'b', 'c'}},
        // Flag, control word 0x8000, run of 16 + 4.
        FixedCase{"run_of_twenty", Repeat(0x41, 20), {0x40, 0x80, 0x00, 0x00, 0x00, 0x04, 0x41}},
        FixedCase{"run_of_4095_is_one_item", Repeat(0x07, 4095), {0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 0x07}},
        FixedCase{"run_of_4096_is_item_and_literal",
                  Repeat(0x07, 4096),
                  {0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 0x07, 0x07}},
        // Three literals, then a copy of 9 bytes from 3 back.
        FixedCase{"copy_item", Text("abcabcabcabc"), {0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x36}},
        // Fifteen equal bytes are no run: a literal, then an overlapping copy from 1 back.
        FixedCase{"overlapping_copy", Repeat('a', 15), {0x40, 0x40, 0x00, 'a', 0x00, 0x1B}},
        // Sixteen literals fill the first group; the run opens a second control word.
        FixedCase{"second_group",
                  Concat({Distinct(16, 0x20), Repeat(0xEE, 100)}),
                  Concat({{0x40, 0x00, 0x00}, Distinct(16, 0x20), {0x80, 0x00, 0x00, 0x00, 0x54, 0xEE}})}),
    [](const auto& p) { return p.param.name; });

TEST(CompressBlock, PositionsFrom32768OnNeverServeAsMatches) {
    // 8 x (a run of 4095, one odd literal) = 32768 bytes in 16 units, then a pattern that would
    // give a copy anywhere below 32768.
    Bytes input;
    for (std::uint8_t i = 0; i < 8; ++i) {
        const Bytes run = Repeat(static_cast<std::uint8_t>(i + 1), 4095);
        input.insert(input.end(), run.begin(), run.end());
        input.push_back(static_cast<std::uint8_t>(0xF0 + i));
    }
    ASSERT_EQ(input.size(), 32768u);
    const Bytes tail = Text("XYZXYZXYZ");
    input.insert(input.end(), tail.begin(), tail.end());

    const Bytes encoded = Encode(input);
    ASSERT_EQ(encoded.size(), 3u + 8 * 5 + 2 + 9);
    EXPECT_EQ(Bytes(encoded.end() - 11, encoded.end()), Concat({{0x00, 0x00}, tail}));
    EXPECT_EQ(Decode(encoded), input);

    // The same pattern at the start of a block does give a copy.
    EXPECT_EQ(Encode(tail), Bytes({0x40, 0x10, 0x00, 'X', 'Y', 'Z', 0x00, 0x33}));
}

TEST(CompressBlock, FallsBackToStoredWithoutWritingPastTheStoredLength) {
    // 128 literals end a group with the output one byte short of the input length; a run follows.
    // Encoding it would need a new control word and a 4-byte item past the input length + 4.
    for (const std::size_t run : {17u, 18u}) {
        const Bytes input = Concat({Distinct(128), Repeat(0xAA, run)});
        const std::size_t n = input.size();
        Bytes out(n + kCompressMargin + 16, 0xCD);
        const std::size_t encoded = CompressBlock(input, std::span(out).first(n + kCompressMargin));
        EXPECT_EQ(encoded, n + 1);
        EXPECT_EQ(out[0], 0x80);
        EXPECT_EQ(Bytes(out.begin() + 1, out.begin() + 1 + n), input);
        EXPECT_EQ(Bytes(out.begin() + n + 1, out.end()), Repeat(0xCD, kCompressMargin + 15)) << run;
    }
}

TEST(CompressBlock, IncompressibleFullBlockIsStoredAndEveryBlockFitsTheLimit) {
    const Bytes input = Noise(kBlockLimit, 7);
    const Bytes encoded = Encode(input);
    EXPECT_EQ(encoded.size(), kMaxEncodedBlock);
    EXPECT_EQ(encoded[0], 0x80);
}

TEST(CompressBlock, RejectsEmptyAndOversizedInputAndShortOutput) {
    Bytes out(kBlockLimit + 8);
    EXPECT_THROW(CompressBlock({}, out), ArgumentError);
    const Bytes big(kBlockLimit + 1);
    EXPECT_THROW(CompressBlock(big, out), ArgumentError);
    const Bytes small = Text("abcd");
    EXPECT_THROW(CompressBlock(small, std::span(out).first(4)), ArgumentError);
}

TEST(CompressBlock, ThreadsEncodingAtOnceGetTheSameBytesAsOneThread) {
    const auto text = ReadFile(TB_SOURCE_DIR "/codec/codec.cpp");
    ASSERT_TRUE(text);
    std::string expected;
    CompressStream(*text, expected);
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results) {
        threads.emplace_back([&text, &r] {
            for (int i = 0; i < 20; ++i) {
                r.clear();
                CompressStream(*text, r);
            }
        });
    }
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, expected);
}

// --- The encoder's exact output ------------------------------------------------------------------

// The encoder written as plainly as the format allows: one position at a time, every byte compared
// on its own, each unit written as it is found. Stored copies are compared byte for byte against
// files written before, so the fast encoder must give exactly these bytes for every input.
Bytes PlainEncode(const Bytes& in) {
    const std::size_t n = in.size();
    Bytes out(n + 8);
    std::vector<std::uint16_t> table(4096, 0xFFFF);
    out[0] = 0x40;
    std::size_t control_pos = 1, pos = 3, units = 0, x = 0;
    std::uint32_t control = 0;
    const auto put_control = [&] {
        out[control_pos] = static_cast<std::uint8_t>(control >> 8);
        out[control_pos + 1] = static_cast<std::uint8_t>(control);
    };
    while (x < n && pos <= n) {
        if (units == 16) {
            put_control();
            control_pos = pos;
            pos += 2;
            control = 0;
            units = 0;
        }
        std::size_t run = 1;
        while (x + run < n && run < 4095 && in[x + run] == in[x]) ++run;
        std::size_t len = 0, from = 0;
        if (run < 16 && x + 3 <= n) {
            const std::uint32_t h =
                ((((((std::uint32_t{in[x]} << 4) ^ in[x + 1]) << 4) ^ in[x + 2]) * 40543u) >> 4) & 0x0FFF;
            const auto e = static_cast<std::int16_t>(table[h]);
            if (table[h] != 0xFFFF && static_cast<int>(x) - e < 4096) {
                from = static_cast<std::size_t>(e);
                while (len < 18 && x + len < n && in[x + len] == in[from + len]) ++len;
            }
            table[h] = static_cast<std::uint16_t>(x);
        }
        if (run >= 16) {
            for (const std::size_t b : {std::size_t{0}, (run - 16) >> 8, (run - 16) & 0xFF, std::size_t{in[x]}}) {
                out[pos++] = static_cast<std::uint8_t>(b);
            }
            x += run;
            control = (control << 1) | 1;
        } else if (len >= 3) {
            const std::size_t item = ((x - from) << 4) | (len - 3);
            out[pos++] = static_cast<std::uint8_t>(item >> 8);
            out[pos++] = static_cast<std::uint8_t>(item);
            x += len;
            control = (control << 1) | 1;
        } else {
            out[pos++] = in[x++];
            control <<= 1;
        }
        ++units;
    }
    control <<= 16 - units;
    put_control();
    if (pos > n) return Concat({{0x80}, in});
    out.resize(pos);
    return out;
}

// Blocks of every kind the encoder meets: stretches of noise, of a few letters, runs of any length
// and copies from near and far, mixed at random.
Bytes MixedBlock(std::mt19937& gen, std::size_t size) {
    Bytes b;
    while (b.size() < size) {
        switch (gen() % 4) {
            case 0: b.insert(b.end(), 1 + gen() % 4200, static_cast<std::uint8_t>(gen())); break;
            case 1: for (std::uint32_t i = 0, m = gen() % 300; i < m; ++i) b.push_back(static_cast<std::uint8_t>(gen())); break;
            case 2: {
                const std::size_t offset = 1 + gen() % 5000, len = gen() % 40;
                for (std::size_t i = 0; i < len && b.size() >= offset; ++i) b.push_back(b[b.size() - offset]);
                break;
            }
            default: for (std::uint32_t i = 0, m = gen() % 200; i < m; ++i) b.push_back("ab c"[gen() % 4]); break;
        }
    }
    b.resize(size);
    return b;
}

TEST(CompressBlock, GivesExactlyTheBytesOfThePlainEncoder) {
    std::vector<std::pair<std::string, Bytes>> sources;
    const auto add_file = [&](const std::string& path) {
        if (const auto bytes = ReadFile(path, 256 * 1024)) sources.emplace_back(path, Bytes(bytes->begin(), bytes->end()));
    };
    add_file(TB_SOURCE_DIR "/codec/codec.cpp");
    add_file(TB_SOURCE_DIR "/tests/iconlist/data/go-home.png");
    add_file(TB_SOURCE_DIR "/tests/codec/data/sample-template.internalfile");
    add_file(SystemPath("/usr/share/common-licenses/GPL-3"));
    add_file(SystemPath("/usr/bin/cmake"));
    sources.emplace_back("noise", Noise(3 * kBlockLimit, 11));
    std::mt19937 gen(27);
    for (int i = 0; i < 40; ++i) sources.emplace_back("mixed " + std::to_string(i), MixedBlock(gen, kBlockLimit));
    // Runs about the limits of a run item, and a match waiting just past position 32768.
    for (const std::size_t run : {15u, 16u, 17u, 18u, 19u, 4094u, 4095u, 4096u, 4111u, 4112u}) {
        sources.emplace_back("run " + std::to_string(run), Concat({Text("xyz"), Repeat(0x55, run), Text("xyzxyz")}));
    }
    sources.emplace_back("tail past 32768", Concat({MixedBlock(gen, 32768 - 5), Text("abcdefabcdefabcdef")}));

    for (const auto& [name, data] : sources) {
        // Whole blocks from the start, then blocks of random sizes from random places.
        std::vector<std::pair<std::size_t, std::size_t>> cuts;
        for (std::size_t at = 0; at < data.size(); at += kBlockLimit) cuts.emplace_back(at, std::min(kBlockLimit, data.size() - at));
        // Every short length from the start: where the scan's last unchecked positions, the
        // careful tail and the output's limit lie a few bytes apart.
        for (std::size_t n = 1; n <= 72 && n <= data.size(); ++n) cuts.emplace_back(0, n);
        for (int i = 0; i < 3; ++i) {
            const std::size_t n = 1 + gen() % std::min(data.size(), kBlockLimit);
            cuts.emplace_back(gen() % (data.size() - n + 1), n);
        }
        for (const auto& [at, n] : cuts) {
            const Bytes block(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n));
            ASSERT_EQ(Encode(block), PlainEncode(block)) << name << " at " << at << ", " << n << " bytes";
        }
    }
}

// --- Decoder ---------------------------------------------------------------------------------

TEST(DecompressBlock, AnyFlagButStoredMeansCompressed) {
    for (const std::uint8_t flag : {0x00, 0x01, 0x40, 0x7F, 0x81, 0xFF}) {
        const Bytes block = {flag, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x36};
        EXPECT_EQ(Decode(block), Text("abcabcabcabc")) << int(flag);
    }
}

TEST(DecompressBlock, StoredBlockOfNoBytesDecodesToNothing) {
    const Bytes empty_stored = {0x80};
    EXPECT_EQ(Decode(empty_stored), Bytes());
    EXPECT_EQ(Decode(empty_stored, 0), Bytes());  // even into an output of no bytes
    EXPECT_EQ(Decode({0x80, 'x'}, 1), Text("x"));  // a stored block that just fills the output

    // As a record it adds nothing and the records after it still decode.
    std::string out;
    const auto r = DecompressStream(std::string("\x01\x00\x00\x00\x80" "\x02\x00\x00\x00\x80" "z", 11), out);
    EXPECT_EQ(r.status, StreamStatus::Complete);
    EXPECT_EQ(out, "z");
    EXPECT_EQ(r.consumed, 11u);
}

struct CorruptCase {
    const char* name;
    Bytes block;
    std::size_t capacity;
};

void PrintTo(const CorruptCase& c, std::ostream* os) { *os << c.name; }

class CorruptBlock : public testing::TestWithParam<CorruptCase> {};

TEST_P(CorruptBlock, IsReportedNotDecoded) {
    const auto& c = GetParam();
    Bytes out(c.capacity + 64, 0x5A);
    EXPECT_FALSE(DecompressBlock(c.block, std::span(out).first(c.capacity)));
    EXPECT_EQ(Bytes(out.begin() + c.capacity, out.end()), Repeat(0x5A, 64));
}

Bytes Runs(std::size_t items) {
    // One group of run items of 4111 bytes each.
    Bytes b = {0x40, 0xFF, 0xFF};
    for (std::size_t i = 0; i < items; ++i) b.insert(b.end(), {0x00, 0x0F, 0xFF, 0x33});
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CorruptBlock,
    testing::Values(CorruptCase{"empty", {}, kBlockLimit},
                    CorruptCase{"longer_than_any_block", Concat({{0x80}, Bytes(kBlockLimit + 1)}), 40000},
                    CorruptCase{"stored_larger_than_output", {0x80, 1, 2, 3, 4}, 3},
                    CorruptCase{"control_word_cut", {0x40, 0x10}, kBlockLimit},
                    CorruptCase{"copy_item_cut", {0x40, 0x80, 0x00, 0x10}, kBlockLimit},
                    CorruptCase{"run_item_cut", {0x40, 0x80, 0x00, 0x00, 0x00, 0x04}, kBlockLimit},
                    CorruptCase{"copy_before_start", {0x40, 0x80, 0x00, 0x00, 0x10}, kBlockLimit},
                    CorruptCase{"copy_reaching_one_too_far", {0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x40}, kBlockLimit},
                    CorruptCase{"copy_past_output", {0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x36}, 11},
                    CorruptCase{"run_past_output", {0x40, 0x80, 0x00, 0x00, 0x00, 0x04, 0x41}, 19},
                    CorruptCase{"runs_past_block_limit", Runs(8), 40000},
                    CorruptCase{"control_word_without_unit",
                                Concat({{0x40, 0x00, 0x00}, Distinct(16), {0x00, 0x00}}), kBlockLimit}),
    [](const auto& p) { return p.param.name; });

TEST(DecompressBlock, EveryTruncationGivesAPrefixOrIsReported) {
    Bytes input = Concat({Text("header header header "), Repeat(0, 300), Noise(40, 3),
                          Text("tail tail tail tail tail")});
    const Bytes encoded = Encode(input);
    ASSERT_EQ(encoded[0], 0x40);
    for (std::size_t cut = 0; cut < encoded.size(); ++cut) {
        const Bytes block(encoded.begin(), encoded.begin() + cut);
        const auto decoded = Decode(block);
        if (!decoded) continue;
        // A cut on a unit boundary is indistinguishable from a shorter block.
        ASSERT_LT(decoded->size(), input.size()) << cut;
        EXPECT_TRUE(std::equal(decoded->begin(), decoded->end(), input.begin())) << cut;
    }
}

TEST(DecompressBlock, RandomDamageNeverOverrunsTheOutput) {
    // Long enough for the decoder's fast loop, short offsets and runs included.
    Bytes input;
    for (int i = 0; i < 60; ++i) {
        input = Concat({input, Text("The quick brown fox " + std::to_string(i * 7919) + " jumps over the lazy dog. "),
                        Repeat('-', static_cast<std::size_t>(i % 25)), Text("abababab")});
    }
    const Bytes encoded = Encode(input);
    ASSERT_EQ(encoded[0], 0x40);
    std::mt19937 gen(11);
    for (int i = 0; i < 3000; ++i) {
        Bytes damaged = encoded;
        const int flips = 1 + static_cast<int>(gen() % 3);
        for (int f = 0; f < flips; ++f) damaged[1 + gen() % (damaged.size() - 1)] = static_cast<std::uint8_t>(gen());
        const std::size_t capacity = 1 + gen() % (input.size() + 100);
        Bytes out(capacity + 16, 0x5A);
        const auto n = DecompressBlock(damaged, std::span(out).first(capacity));
        if (n) {
            ASSERT_LE(*n, capacity);
        }
        ASSERT_EQ(Bytes(out.begin() + capacity, out.end()), Repeat(0x5A, 16));
    }
}

// --- Chunked streams -------------------------------------------------------------------------

std::string Compress(std::string_view source) {
    std::string out;
    CompressStream(source, out);
    return out;
}

TEST(ChunkedStream, RecordsFollowTheBlockLimit) {
    EXPECT_EQ(Compress(""), "");
    EXPECT_EQ(Compress("abc"), std::string("\x04\x00\x00\x00\x80" "abc", 8));

    const std::string full = AsString(Noise(kBlockLimit + 1, 5));
    const std::string one = Compress(std::string_view(full).substr(0, kBlockLimit));
    ASSERT_EQ(one.size(), 4 + kMaxEncodedBlock);
    EXPECT_EQ(one.substr(0, 4), std::string("\x0F\x80\x00\x00", 4));  // 32783

    const std::string two = Compress(full);
    ASSERT_EQ(two.size(), 4 + kMaxEncodedBlock + 4 + 2);
    EXPECT_EQ(two.substr(one.size()), std::string("\x02\x00\x00\x00\x80", 5) + full.back());
}

TEST(ChunkedStream, DecodingStopsAtAZeroLengthRecord) {
    std::string stream = Compress("first") + std::string(4, '\0') + Compress("second");
    std::string out = "kept:";
    const auto r = DecompressStream(stream, out);
    EXPECT_EQ(r.status, StreamStatus::Complete);
    EXPECT_EQ(out, "kept:first");
    EXPECT_EQ(r.produced, 5u);

    std::string empty;
    EXPECT_EQ(DecompressStream("", empty).status, StreamStatus::Complete);
    EXPECT_EQ(empty, "");
}

TEST(ChunkedStream, EveryTruncationKeepsWholeRecordsAndIsReported) {
    const std::string source = AsString(Concat({Noise(kBlockLimit, 1), Repeat('z', 5000)}));
    const std::string stream = Compress(source);
    const std::size_t first_record = 4 + kMaxEncodedBlock;
    for (std::size_t cut = 0; cut < stream.size(); ++cut) {
        // Every cut inside the small second record, and a stride through the big first one.
        if (cut < first_record - 8 && cut % 997 != 0) continue;
        std::string out;
        const auto r = DecompressStream(std::string_view(stream).substr(0, cut), out);
        if (cut == 0 || cut == first_record) {
            EXPECT_EQ(r.status, StreamStatus::Complete) << cut;
        } else {
            EXPECT_EQ(r.status, StreamStatus::Truncated) << cut;
        }
        EXPECT_EQ(out, source.substr(0, cut >= first_record ? kBlockLimit : 0)) << cut;
    }
}

TEST(ChunkedStream, CorruptRecordsAreReportedAndAddNothingOfThemselves) {
    const std::string good = Compress("good");
    const std::string bad_block = std::string("\x05\x00\x00\x00\x40\x80\x00\x00\x10", 9);
    const std::string too_long = std::string("\x10\x80\x00\x00", 4) + std::string(32784, 'x');
    for (const std::string& bad : {bad_block, too_long}) {
        std::string out;
        const auto r = DecompressStream(good + bad + good, out);
        EXPECT_EQ(r.status, StreamStatus::Corrupt);
        EXPECT_EQ(out, "good");
        EXPECT_EQ(r.consumed, good.size());
    }
}

TEST(ChunkedStream, RandomDamageIsDecodedSafely) {
    const std::string source = AsString(Concat({Text("alpha beta gamma alpha beta gamma "), Repeat(9, 70000)}));
    const std::string stream = Compress(source);
    std::mt19937 gen(29);
    for (int i = 0; i < 300; ++i) {
        std::string damaged = stream;
        damaged[gen() % damaged.size()] = static_cast<char>(gen());
        std::string out;
        const auto r = DecompressStream(damaged, out);
        EXPECT_LE(r.consumed, damaged.size());
        EXPECT_EQ(out.size(), r.produced);
    }
}

// --- Round trips -------------------------------------------------------------------------------

void ExpectRoundTrip(const std::string& source, double max_ratio) {
    const std::string stream = Compress(source);
    std::string back;
    const auto r = DecompressStream(stream, back);
    EXPECT_EQ(r.status, StreamStatus::Complete);
    EXPECT_EQ(r.consumed, stream.size());
    EXPECT_TRUE(back == source) << "round trip differs, size " << source.size();
    EXPECT_LE(static_cast<double>(stream.size()), max_ratio * static_cast<double>(source.size()) + 8);
}

TEST(RoundTrip, SyntheticData) {
    ExpectRoundTrip(AsString(Repeat(0, 100000)), 0.01);
    ExpectRoundTrip(AsString(Noise(100000, 2)), 1.001);
    std::string mixed;
    for (int i = 0; i < 5000; ++i) mixed += "key" + std::to_string(i % 97) + "=" + std::string(i % 23, '.') + "\n";
    ExpectRoundTrip(mixed, 0.5);
    for (std::size_t n = 1; n < 40; ++n) ExpectRoundTrip(AsString(Distinct(n)), 1.5);
}

TEST(RoundTrip, RealFiles) {
    const auto source = ReadFile(TB_SOURCE_DIR "/codec/codec.cpp");
    ASSERT_TRUE(source);
    ExpectRoundTrip(*source, 0.8);

    std::string icons;
    for (const char* name : {"go-home", "edit-find", "go-next", "internet-web-browser"}) {
        const auto png = ReadFile(std::string(TB_SOURCE_DIR "/tests/iconlist/data/") + name + ".png");
        ASSERT_TRUE(png) << name;
        icons += *png;
    }
    ExpectRoundTrip(icons, 1.01);

    // Large system files where the machine has them.
    if (const auto license = ReadFile(SystemPath("/usr/share/common-licenses/GPL-3"))) ExpectRoundTrip(*license, 0.7);
    if (const auto binary = ReadFile(SystemPath("/usr/bin/cmake"), 512 * 1024)) ExpectRoundTrip(*binary, 0.95);
}

}  // namespace
}  // namespace tb
