// Raw tables go into a store as they are (order and ids untouched, like a load) and the store's own
// encoder writes the file image, so `pack` and the store can never disagree on the format.
#include "tools/raw_file.hpp"

#include <algorithm>

#include "base/errors.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"

namespace tb::tool {

std::string WriteStorageImage(const RawTables& tables) {
    std::vector<TrsSectionRecord> sections;
    sections.reserve(tables.sections.size());
    for (const RawSection& s : tables.sections) sections.push_back({s.name, s.id, s.parent});

    std::vector<TrsKeyRecord> keys;
    keys.reserve(tables.keys.size());
    for (size_t i = 0; i < tables.keys.size(); ++i) {
        const RawKey& raw = tables.keys[i];
        TrsKeyRecord& key = keys.emplace_back();
        key.name = raw.name;
        key.section_id = raw.section;
        key.kind = static_cast<TrsValueKind>(raw.kind);
        if (raw.kind == kKindString || raw.kind == kKindBinary) {
            key.bytes = raw.payload;
        } else if (raw.payload.size() != FixedPayloadSize(key.kind)) {
            throw Error("key " + std::to_string(i) + " (\"" + raw.name + "\"): the value has " +
                        std::to_string(raw.payload.size()) + " bytes, its kind takes " +
                        std::to_string(FixedPayloadSize(key.kind)));
        } else {
            std::copy(raw.payload.begin(), raw.payload.end(), key.fixed);
        }
    }
    TrsStorage store;
    store.SetOptions(0);
    store.LoadTables(std::move(sections), std::move(keys), false);
    return TrsBinData::EncodeTables(store);
}

}  // namespace tb::tool
