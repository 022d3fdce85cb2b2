// Property: loading any bytes as a storage file never reads outside them and never allocates more
// than they could fill (each record takes at least 5 bytes); reading every loaded key, with every
// conversion, either gives a value or raises the system's own error. A file that loads undamaged
// and fits the format writes back as a file that loads to the same tables.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/bin_data.hpp"
#include "storage/read_only_store.hpp"
#include "storage/storage.hpp"

namespace {

// Loads the bytes through the back-end's stream event: no file is touched.
std::string KeyPath(const tb::TrsStorage& store, const tb::TrsKeyRecord& key) {
    std::string path(key.name);
    for (int32_t id = key.section_id, guard = 0; id != 0 && guard < 32; ++guard) {
        const tb::TrsSectionRecord* parent = nullptr;
        for (const auto& s : store.Sections()) {
            if (s.id == id) {
                parent = &s;
                break;
            }
        }
        if (!parent) break;
        path = std::string(parent->name) + "\\" + path;
        id = parent->parent_id;
    }
    return "\\" + path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string image(reinterpret_cast<const char*>(data), size);
    auto loaded = tb::ReadOnlyStore::FromImage(image);
    tb::TrsStorage& store = loaded.Store();

    const size_t records = store.Sections().size() + store.Keys().size();
    if (size >= 8 && records * 5 > size - 8) std::abort();

    size_t checked = 0;
    for (const auto& key : store.Keys()) {
        if (++checked > 64) break;  // the first keys are enough to exercise every conversion
        const std::string path = KeyPath(store, key);
        try { (void)store.ReadString(path, ""); } catch (const tb::Error&) {}
        try { (void)store.ReadInteger(path, 0); } catch (const tb::Error&) {}
        try { (void)store.ReadBool(path, false); } catch (const tb::Error&) {}
        tb::TMemoryStream stream;
        (void)store.ReadStream(path, stream);
    }

    if (!store.Damaged()) {
        std::string written;
        try {
            written = tb::TrsBinData::EncodeTables(store);
        } catch (const tb::Error&) {
            return 0;  // beyond the format's limits: refused, nothing written
        }
        const auto reloaded = tb::ReadOnlyStore::FromImage(written);
        const tb::TrsStorage& again = reloaded.Store();
        if (again.Damaged() || again.Keys().size() != store.Keys().size() ||
            again.Sections().size() != store.Sections().size()) {
            std::abort();
        }
        for (size_t i = 0; i < store.Keys().size(); ++i) {
            const auto& a = store.Keys()[i];
            const auto& b = again.Keys()[i];
            if (a.name != b.name || a.section_id != b.section_id || a.kind != b.kind || a.Payload() != b.Payload()) {
                std::abort();
            }
        }
    }
    return 0;
}
