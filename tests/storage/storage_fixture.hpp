#pragma once
// Shared helpers of the storage tests: a fresh temporary folder per test, and stores attached to a
// binary back-end on a file in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/file.hpp"
#include "storage/bin_data.hpp"
#include "storage/storage.hpp"

namespace tb::testing_support {

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("tbstore_") + info->test_suite_name() + "_" + info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        folder_ = (std::filesystem::temp_directory_path() / name).string();
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string Path(const std::string& name) const { return folder_ + "/" + name; }

    std::string folder_;
};

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
