#pragma once
// The binary storage file back-end (default extension ".bin").
#include <string>
#include <string_view>
#include <vector>

#include "storage/storage.hpp"
#include "storage/storage_data.hpp"

namespace tb {

class TrsBinData : public TrsStreamData {
public:
    TrsBinData() : TrsStreamData(".bin") {}

    // The file image of a store's tables, as WriteTree writes it. Raises TrsException (and
    // produces nothing) when the tree exceeds what the format can hold.
    static std::string EncodeTables(const TrsStorage& store);

protected:
    void ReadTree(TMemoryStream& stream) override;
    void WriteTree(TMemoryStream& stream) override;

private:
    friend struct BinProgress;
    // Fills the tables from a file image; false when the image ends inside a record (the records
    // before it are kept).
    bool ParseImage(std::string_view image, TextPool& texts, std::vector<TrsSectionRecord>& sections,
                    std::vector<TrsKeyRecord>& keys);
};

}  // namespace tb
