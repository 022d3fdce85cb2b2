#pragma once
// A template or icon store opened only to be read. A store saves on close by default, so every
// place that only reads a publisher's or user's file opens it through this helper: its store never
// saves on close, and its back-end refuses any save, so no forgotten line can write the file back.
//   ReadOnlyStore templ(path);            // the file at path, taken as given
//   templ.Store().ReadString("\\Options\\Toolbar Name", "");
#include <string>

#include "storage/bin_data.hpp"
#include "storage/storage.hpp"

namespace tb {

class ReadOnlyStore {
public:
    // Loads the binary storage file at `path`, taken as given (no default extension, no folder
    // choice). A missing file gives an empty store; a file cut short gives a damaged one.
    explicit ReadOnlyStore(const std::string& path);
    // Loads a file image held in memory.
    static ReadOnlyStore FromImage(std::string image) { return ReadOnlyStore(Image{std::move(image)}); }

    ReadOnlyStore(const ReadOnlyStore&) = delete;
    ReadOnlyStore& operator=(const ReadOnlyStore&) = delete;
    // Closes without saving; nothing of that can fail.
    ~ReadOnlyStore();

    TrsStorage& Store() { return store_; }
    const TrsStorage& Store() const { return store_; }
    bool Damaged() const { return store_.Damaged(); }

private:
    struct Image {
        std::string bytes;
    };
    explicit ReadOnlyStore(Image image);

    // The binary back-end whose save raises TrsException: nothing reaches the file.
    class Data final : public TrsBinData {
    protected:
        void SaveData() override;
    };

    Data data_;  // declared first: the store detaches from it when destroyed
    TrsStorage store_;
};

}  // namespace tb
