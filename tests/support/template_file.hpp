#pragma once
// Writes a template file the way a publisher's tool does: a binary store saved on close.
#include <functional>
#include <string>

#include "storage/bin_data.hpp"
#include "storage/storage.hpp"

namespace tb {

inline void WriteTemplateFile(const std::string& path, const std::function<void(TrsStorage&)>& fill) {
    TrsBinData data;
    data.FileDir = fdCustom;
    data.Options = 0;
    data.FileName = path;
    TrsStorage store;
    store.SetOptions(soSaveOnClose);
    store.SetStorageData(&data);
    store.SetActive(true);
    fill(store);
    store.Close();
}

}  // namespace tb
