// Property: any bytes load as a history file without failing, no line holds CR, LF or NUL, and what
// is saved reads back as the same lines.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/text_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto lines = tb::ReadTextLines(bytes);
    for (const std::u16string& line : lines) {
        if (line.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string::npos) std::abort();
    }
    if (tb::ReadTextLines(tb::WriteTextLines(lines)) != lines) std::abort();
    return 0;
}
