#pragma once
// Shared helpers of the storage tests: stores attached to a binary back-end on a file in the
// test's own temporary folder (tests/support/temp_folder.hpp).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/file.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"
#include "tests/support/temp_folder.hpp"

namespace tb::testing_support {

// A store reading and writing one file, set up the way the start-up settings use it.
struct FileStore {
    explicit FileStore(const std::string& path, TrsStorageOptions options = 0) {
        data.FileDir = fdCustom;
        data.Options = 0;
        data.FileName = path;
        store.SetOptions(options);
        store.SetStorageData(&data);
    }
    TrsBinData data;
    TrsStorage store;
};

inline std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

}  // namespace tb::testing_support
