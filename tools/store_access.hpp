#pragma once
// The tool's use of the core: loading and writing stores, the codec and the icon list stream.
// Everything else in the tool works on the plain types declared here and in raw_tables.hpp.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/json_text.hpp"
#include "tools/lint.hpp"
#include "tools/raw_tables.hpp"
#include "tools/toolbar_source.hpp"

namespace tb::tool {

struct LoadedTables {
    RawTables tables;
    bool damaged = false;  // the file ended inside a record: the tables hold what came before
};

// Loads a storage file as the toolbar does and returns its tables. A missing file is an error here
// (the toolbar would read it as empty): tb::Error "FILE: no such file".
LoadedTables LoadStorageFile(const std::string& file);
LoadedTables LoadStorageImage(std::string image);

// A template loaded for reading as the toolbar reads it, from a file or from a file image.
std::unique_ptr<TemplateView> OpenTemplate(const std::string& file);
std::unique_ptr<TemplateView> OpenTemplateImage(std::string image);

// A key that exists but cannot be read as text (its kind has no text form).
class KeyReadError : public Error {
public:
    using Error::Error;
};

// `ReadString` of one key; nullopt when the key is missing, KeyReadError when its value has no text.
std::optional<std::string> ReadKeyText(const std::string& file, const std::string& path);

// The template image written by the store from the planned keys, in order (later writes win).
std::string WriteTemplateImage(const std::vector<PlannedKey>& keys);

// The icon store image: the image list in "\Icons", and the logo bitmap in "\Image" when there is one.
// Throws tb::Error naming the icon file when an icon is not a PNG file the toolbar can show.
std::string WriteIconStoreImage(const BuildPlan& plan, const std::string& logo_bitmap);

// A logo file as a Windows bitmap: a BMP file is taken as it is, a PNG file is decoded and laid on
// white. Throws tb::Error naming the file when it is neither.
std::string LogoBitmap(const std::string& file, const std::string& bytes);

// The image list of an icon store as JSON (settings, entries, the logo), with the facts lint needs:
// the number of images the toolbar would get, and findings for everything that would lose images.
struct IconStoreReport {
    Json json;
    IconStoreFacts facts;
};
IconStoreReport InspectIconStore(const std::string& file);
IconStoreReport InspectIconStoreImage(const std::string& file, std::string image);

// The chunked stream of the embedded copy.
std::string CompressBytes(const std::string& bytes);

struct Decompressed {
    std::string bytes;
    size_t ignored = 0;  // bytes after the record of length 0 that ends the stream
};
// Throws tb::Error saying where when a record is cut off or does not decode.
Decompressed DecompressBytes(const std::string& bytes);

}  // namespace tb::tool
