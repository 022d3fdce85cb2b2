#include "iconlist/png_image_list.hpp"
#include "storage/storage.hpp"

namespace tb {

int TrsStorage::ReadImageList(std::string_view path, TPngImageList& list) {
    TMemoryStream* stream = LoadScratchStream(path);
    if (stream == nullptr) return 0;
    // A key of another kind, or an empty one, holds no properties.
    if (stream->Size() != 0) ReadImageListProperties(stream->Remaining(), list);
    return 1;
}

}  // namespace tb
