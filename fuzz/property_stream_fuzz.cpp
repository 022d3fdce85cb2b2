// Property: reading any bytes as an image list's saved properties either applies them or raises the
// system's own error, never reads outside the bytes, and never allocates beyond the bounded image
// sizes; what the list holds afterwards can be written and read back.
#include <cstdint>
#include <string>

#include "iconlist/png_image_list.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string stream(reinterpret_cast<const char*>(data), size);
    tb::TPngImageList list;
    try {
        tb::ReadImageListProperties(stream, list);
    } catch (const tb::Error&) {
        return 0;
    }
    const std::string written = tb::WriteImageListProperties(list);
    tb::TPngImageList again;
    tb::ReadImageListProperties(written, again);  // must not raise: it is the writer's own output
    return 0;
}
