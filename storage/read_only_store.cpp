#include "storage/read_only_store.hpp"

#include <utility>

namespace tb {

void ReadOnlyStore::Data::SaveData() {
    RaiseStorageError(kSetKeyValueError, "the store \"" + FileName + "\" is open for reading only");
}

ReadOnlyStore::ReadOnlyStore(const std::string& path) {
    store_.SetOptions(0);
    data_.FileDir = fdCustom;
    data_.Options = 0;
    data_.FileName = path;
    store_.SetStorageData(&data_);
    store_.SetActive(true);  // activation is the load
}

ReadOnlyStore::ReadOnlyStore(Image image) {
    store_.SetOptions(0);
    data_.FileDir = fdCustom;
    data_.Options = 0;
    data_.OnLoadFromStream = [&image](TrsStreamData&, TMemoryStream& stream, bool&) {
        stream.Assign(std::move(image.bytes));
    };
    store_.SetStorageData(&data_);
    store_.SetActive(true);
    data_.OnLoadFromStream = nullptr;
}

ReadOnlyStore::~ReadOnlyStore() {
    try {
        store_.SetOptions(0);
        store_.Close();
    } catch (...) {
        // Closing without saving writes nothing; there is nothing to report.
    }
}

}  // namespace tb
