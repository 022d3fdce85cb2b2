// The tool's seam to the core: storage files are read and written by the store itself, so what the
// tool shows and writes is exactly what the toolbar will see.
#include "tools/store_access.hpp"

#include "base/file.hpp"
#include "codec/codec.hpp"
#include "storage/read_only_store.hpp"

namespace tb::tool {

namespace {

std::string ReadExisting(const std::string& file) {
    auto bytes = ReadWholeFile(file);
    if (!bytes) throw Error(file + ": no such file");
    return std::move(*bytes);
}

class StoreTemplate final : public TemplateView {
public:
    explicit StoreTemplate(std::string image) : loaded_(ReadOnlyStore::FromImage(std::move(image))) {}

    bool KeyExists(const std::string& path) override { return Store().KeyExists(path); }
    std::string ReadString(const std::string& path, const std::string& fallback) override {
        return Store().ReadString(path, fallback);
    }
    int32_t ReadInteger(const std::string& path, int32_t fallback) override { return Store().ReadInteger(path, fallback); }
    bool ReadBool(const std::string& path, bool fallback) override { return Store().ReadBool(path, fallback); }

    std::vector<std::string> KeyNames(const std::string& section) override {
        std::vector<std::string> names;
        const std::string path = "\\" + section;
        // Selecting a section creates it when missing; a check must not change what it checks.
        if (!Store().SectionExists(path)) return names;
        Store().SetRootSection(path);
        Store().GetKeyNames(names);
        Store().SetRootSection("");
        return names;
    }

    bool Damaged() override { return Store().Damaged(); }

private:
    TrsStorage& Store() { return loaded_.Store(); }
    ReadOnlyStore loaded_;
};

}  // namespace

LoadedTables LoadStorageFile(const std::string& file) { return LoadStorageImage(ReadExisting(file)); }

LoadedTables LoadStorageImage(std::string image) {
    LoadedTables result;
    if (image.size() >= 4) result.tables.version = static_cast<unsigned char>(image[3]) - '0';
    const auto loaded = ReadOnlyStore::FromImage(std::move(image));
    const TrsStorage& store = loaded.Store();
    for (const TrsSectionRecord& s : store.Sections()) result.tables.sections.push_back({s.id, s.parent_id, s.name});
    for (const TrsKeyRecord& k : store.Keys()) {
        result.tables.keys.push_back({k.section_id, std::string(k.name), static_cast<uint16_t>(k.kind), std::string(k.Payload())});
    }
    result.damaged = store.Damaged();
    return result;
}

std::unique_ptr<TemplateView> OpenTemplate(const std::string& file) { return OpenTemplateImage(ReadExisting(file)); }

std::unique_ptr<TemplateView> OpenTemplateImage(std::string image) {
    return std::make_unique<StoreTemplate>(std::move(image));
}

std::optional<std::string> ReadKeyText(const std::string& file, const std::string& path) {
    auto loaded = ReadOnlyStore::FromImage(ReadExisting(file));
    if (!loaded.Store().KeyExists(path)) return std::nullopt;
    try {
        return loaded.Store().ReadString(path, "");
    } catch (const TrsException& e) {
        throw KeyReadError(e.what());
    }
}

std::string WriteTemplateImage(const std::vector<PlannedKey>& keys) {
    TrsStorage store;
    store.SetOptions(0);
    for (const PlannedKey& key : keys) {
        try {
            store.WriteValue(key.path, static_cast<TrsValueKind>(key.value.kind), key.value.payload);
        } catch (const TrsException& e) {
            throw Error("the key " + key.path + " cannot be written: " + e.what());
        }
    }
    return TrsBinData::EncodeTables(store);
}

std::string CompressBytes(const std::string& bytes) {
    std::string out;
    CompressStream(bytes, out);
    return out;
}

Decompressed DecompressBytes(const std::string& bytes) {
    Decompressed result;
    const DecompressResult r = DecompressStream(bytes, result.bytes);
    const std::string after = " after " + std::to_string(r.produced) + " bytes of output";
    switch (r.status) {
        case StreamStatus::Complete:
            break;
        case StreamStatus::Truncated:
            throw Error("damaged: the stream is cut off inside the record at offset " + std::to_string(r.consumed) + after);
        case StreamStatus::Corrupt:
            throw Error("damaged: the record at offset " + std::to_string(r.consumed) + " does not decode" + after);
    }
    result.ignored = bytes.size() - r.consumed;
    return result;
}

}  // namespace tb::tool
