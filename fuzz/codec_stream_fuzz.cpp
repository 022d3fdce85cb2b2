// Property: decoding any bytes as a chunked stream never overruns, reports how far it got, and
// appends only whole blocks; any bytes compressed as a stream decode back to themselves.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "codec/codec.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string source(reinterpret_cast<const char*>(data), size);
    std::string decoded = "prefix";
    const auto result = tb::DecompressStream(source, decoded);
    if (result.consumed > size || decoded.size() != 6 + result.produced || decoded.compare(0, 6, "prefix") != 0) {
        std::abort();
    }

    std::string packed;
    tb::CompressStream(source, packed);
    std::string unpacked;
    const auto round = tb::DecompressStream(packed, unpacked);
    if (round.status != tb::StreamStatus::Complete || unpacked != source || round.consumed != packed.size()) {
        std::abort();
    }
    return 0;
}
