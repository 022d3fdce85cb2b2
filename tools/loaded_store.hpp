#pragma once
// A store loaded from a file image through its binary back-end. The image is handed to the back-end
// as its stream, so no file-name rule of the back-end (default extension, folder choice) applies:
// the tool reads exactly the file it was given. The store never saves.
#include <string>

#include "storage/bin_data.hpp"
#include "storage/storage.hpp"

namespace tb::tool {

class LoadedStore {
public:
    explicit LoadedStore(std::string image) {
        store_.SetOptions(0);
        data_.FileDir = fdCustom;
        data_.Options = 0;
        data_.OnLoadFromStream = [&image](TrsStreamData&, TMemoryStream& stream, bool&) {
            stream.Assign(std::move(image));
        };
        store_.SetStorageData(&data_);
        store_.SetActive(true);
        data_.OnLoadFromStream = nullptr;
    }
    LoadedStore(const LoadedStore&) = delete;
    LoadedStore& operator=(const LoadedStore&) = delete;

    TrsStorage& Store() { return store_; }

private:
    TrsBinData data_;  // declared first: the store detaches from it when destroyed
    TrsStorage store_;
};

}  // namespace tb::tool
