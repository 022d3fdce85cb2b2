// Property: decoding any bytes as UTF-8 never reads outside them, and well-formed UTF-8 survives a
// round trip through UTF-16 unchanged; the system code page round trip keeps every byte.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (const auto utf16 = tb::Utf8ToUtf16(bytes)) {
        if (tb::Utf16ToUtf8(*utf16) != bytes) std::abort();
    }
    const std::string no_nul = bytes.substr(0, bytes.find('\0'));
    if (tb::Utf16ToAnsi(tb::AnsiToUtf16(no_nul)) != no_nul) std::abort();
    return 0;
}
