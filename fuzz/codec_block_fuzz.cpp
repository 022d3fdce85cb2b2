// Property: decoding any bytes as one block never reads outside them and never writes outside the
// output buffer (the sanitizers watch both); encoding any block and decoding it gives it back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/codec.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly sized heap buffers, so that any step outside them is seen.
    std::vector<uint8_t> block(data, data + size);
    std::vector<uint8_t> output(tb::kBlockLimit);
    if (const auto decoded = tb::DecompressBlock(block, output)) {
        if (*decoded > output.size()) std::abort();
    }

    const size_t plain_size = size < tb::kBlockLimit ? size : tb::kBlockLimit;
    if (plain_size == 0) return 0;
    std::vector<uint8_t> plain(data, data + plain_size);
    std::vector<uint8_t> encoded(plain_size + tb::kCompressMargin);
    const size_t encoded_size = tb::CompressBlock(plain, encoded);
    if (encoded_size > plain_size + 1) std::abort();
    encoded.resize(encoded_size);
    std::vector<uint8_t> back(plain_size);
    const auto decoded = tb::DecompressBlock(encoded, back);
    if (!decoded || *decoded != plain_size || std::memcmp(back.data(), plain.data(), plain_size) != 0) std::abort();
    return 0;
}
