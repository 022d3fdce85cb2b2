#pragma once
// The PNG image list: the images of the toolbar's items as the icon store keeps them (a property
// stream, read by ReadImageListProperties) and the 32-bit images a platform image list is made
// of. The model is portable; toolkit/ turns it into a Windows image list.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "iconlist/bitmap.hpp"
#include "iconlist/colors.hpp"
#include "iconlist/property_stream.hpp"

namespace tb {

enum class TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };
enum class TImageType { itImage, itMask };

struct TPngOptions {
    bool pngBlendOnDisabled = true;
    bool pngGrayscaleOnDisabled = false;
    friend bool operator==(const TPngOptions&, const TPngOptions&) = default;
};

// The picture of one entry: the PNG file's bytes ("Data") and, when they decode, its pixels.
class TPngPicture final : public PersistentObject {
public:
    std::string DisplayName() const override { return "TPngPicture"; }
    bool ReadProperty(std::string_view name, PropertyReader& reader) override;

    bool Empty() const { return data_.empty(); }
    const std::string& Data() const { return data_; }
    // Takes a PNG file; bytes that do not decode leave the picture without pixels.
    void SetData(std::string data);
    const std::optional<Bitmap32>& Pixels() const { return pixels_; }

private:
    std::string data_;
    std::optional<Bitmap32> pixels_;
};

class TPngImageCollectionItem final : public PersistentObject {
public:
    explicit TPngImageCollectionItem(int index);

    std::string DisplayName() const override;
    bool ReadProperty(std::string_view name, PropertyReader& reader) override;
    Member ObjectProperty(std::string_view name) override;

    TPngPicture PngImage;
    std::string Name;                  // "PngImage%d" with the index it was created at
    std::int32_t Background = clBtnFace;

    static std::string DefaultName(int index);
};

class TPngImageList final : public PersistentObject {
public:
    TPngImageList() = default;
    TPngImageList(const TPngImageList&) = delete;
    TPngImageList& operator=(const TPngImageList&) = delete;

    std::string DisplayName() const override;
    bool ReadProperty(std::string_view name, PropertyReader& reader) override;
    Member ObjectProperty(std::string_view name) override;

    // --- The saved properties ---
    const std::vector<std::unique_ptr<TPngImageCollectionItem>>& PngImages() const { return items_; }
    TPngImageCollectionItem& AddPngImage();  // a new entry at the end (no rebuild)
    void ClearPngImages();                   // empties the entries and the images
    int Width() const { return width_; }
    int Height() const { return height_; }
    // A size other than the current one empties the entries and the images.
    void SetWidth(int width);
    void SetHeight(int height);
    bool EnabledImages() const { return enabled_images_; }
    void SetEnabledImages(bool enabled);  // a change rebuilds the images
    TPngOptions PngOptions() const { return png_options_; }
    void SetPngOptions(TPngOptions options);  // a change rebuilds the images

    bool Masked = true;
    int AllocBy = 4;
    std::int32_t BkColor = clNone;
    std::int32_t BlendColor = clNone;
    TDrawingStyle DrawingStyle = TDrawingStyle::dsNormal;
    TImageType ImageType = TImageType::itImage;
    bool ShareImages = false;
    std::string Name;
    std::int32_t Tag = 0;

    // --- The platform image list's content ---
    // One Width x Height premultiplied image per entry with a picture, in entry order; an entry
    // whose data is not a readable PNG file gives a transparent image, so the images after it
    // keep their numbers.
    const std::vector<Bitmap32>& Images() const { return images_; }
    // Counts the rebuilds, so a platform list made from Images() can tell it is out of date.
    unsigned Generation() const { return generation_; }
    void Rebuild();

private:
    std::vector<std::unique_ptr<TPngImageCollectionItem>> items_;
    int width_ = 16;
    int height_ = 16;
    bool enabled_images_ = true;
    TPngOptions png_options_;
    std::vector<Bitmap32> images_;
    unsigned generation_ = 0;
};

// Applies a saved property stream to the list (the reader stops at the end-of-list byte).
// Raises PropertyReadError; the properties read before a failure stay applied.
void ReadImageListProperties(std::string_view stream, TPngImageList& list);

// The list's saved properties, in their declared order, those that differ from a new list's.
std::string WriteImageListProperties(const TPngImageList& list);

// Sizes the image list accepts for Width and Height.
inline constexpr int kMaxImageSide = 256;

}  // namespace tb
