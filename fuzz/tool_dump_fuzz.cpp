// Property: whatever bytes a storage file holds, its dump loses nothing. The tables the store reads
// from the bytes, written as the dump's text and read back, encode to exactly the file image the
// tables themselves encode to.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/errors.hpp"
#include "tools/dump_format.hpp"
#include "tools/raw_file.hpp"
#include "tools/store_access.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tb::tool;
    const LoadedTables loaded = LoadStorageImage(std::string(reinterpret_cast<const char*>(data), size));
    const std::string text = LineJsonText(DumpToJson(loaded.tables));
    const RawTables back = DumpFromJson(Json::parse(text));
    std::string expected;
    try {
        expected = WriteStorageImage(loaded.tables);
    } catch (const tb::Error&) {
        return 0;  // tables the format cannot hold (none that a load gives)
    }
    if (WriteStorageImage(back) != expected) std::abort();
    return 0;
}
