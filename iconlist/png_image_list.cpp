#include "iconlist/png_image_list.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "base/text.hpp"

namespace tb {
namespace {

constexpr std::string_view kDrawingStyles[] = {"dsFocus", "dsSelected", "dsNormal", "dsTransparent"};
constexpr std::string_view kImageTypes[] = {"itImage", "itMask"};
constexpr std::string_view kBlendOnDisabled = "pngBlendOnDisabled";
constexpr std::string_view kGrayscaleOnDisabled = "pngGrayscaleOnDisabled";

bool Is(std::string_view name, std::string_view property) { return EqualsIgnoreAsciiCase(name, property); }

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> properties) {
    return std::any_of(properties.begin(), properties.end(), [name](auto p) { return Is(name, p); });
}

int ReadImageSide(PropertyReader& reader) {
    const std::int32_t side = reader.ReadInteger();
    // Every image of the list is allocated at this size: keep it to what an image list can hold.
    if (side < 1 || side > kMaxImageSide) ThrowInvalidPropertyValue();
    return side;
}

// What the pictures of one image list read from a store may decode to, in pixels: an icon store in
// the user's data folder can be written by others, and a PNG file of a few kilobytes can ask for
// 64 MB of pixels and the time to fill them. 16 Mpixels hold a thousand icons of 128 x 128.
constexpr std::uint64_t kMaxDecodedPixelsPerList = std::uint64_t{16} << 20;

// Set while an image list is read: what its pictures may still decode to.
thread_local std::uint64_t* t_decode_budget = nullptr;

class DecodeBudget {
public:
    DecodeBudget() : previous_(t_decode_budget) { t_decode_budget = &left_; }
    ~DecodeBudget() { t_decode_budget = previous_; }
    DecodeBudget(const DecodeBudget&) = delete;
    DecodeBudget& operator=(const DecodeBudget&) = delete;

private:
    std::uint64_t left_ = kMaxDecodedPixelsPerList;
    std::uint64_t* previous_;
};

// Width times height as the PNG file's header states them, or nothing when the bytes do not start
// as a PNG file (the decoder would refuse them as well).
std::optional<std::uint64_t> PngHeaderPixels(std::string_view data) {
    constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    if (data.size() < 24 || data.substr(0, kSignature.size()) != kSignature) return std::nullopt;
    const auto big_endian = [data](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(data[at + i]);
        return value;
    };
    return std::uint64_t{big_endian(16)} * big_endian(20);
}

void WriteColor(PropertyWriter& w, std::int32_t color) {
    if (const auto ident = IdentFromColor(color)) {
        w.Ident(*ident);
    } else {
        w.Integer(color);
    }
}

}  // namespace

// --- TPngPicture ---

bool TPngPicture::ReadProperty(std::string_view name, PropertyReader& reader) {
    if (!Is(name, "Data")) return false;
    SetData(reader.ReadBinary());
    return true;
}

void TPngPicture::SetData(std::string data) {
    data_ = std::move(data);
    pixels_.reset();
    if (data_.empty()) return;
    if (t_decode_budget != nullptr) {
        // Past the list's budget a picture keeps its bytes (written back as they came) and shows blank.
        const std::optional<std::uint64_t> pixels = PngHeaderPixels(data_);
        if (!pixels || *pixels > *t_decode_budget) return;
        *t_decode_budget -= *pixels;
    }
    pixels_ = DecodePng(data_);
}

// --- TPngImageCollectionItem ---

TPngImageCollectionItem::TPngImageCollectionItem(int index) : Name(DefaultName(index)) {}

std::string TPngImageCollectionItem::DefaultName(int index) { return "PngImage" + std::to_string(index); }

std::string TPngImageCollectionItem::DisplayName() const {
    return Name.empty() ? "TPngImageCollectionItem" : Name;
}

bool TPngImageCollectionItem::ReadProperty(std::string_view name, PropertyReader& reader) {
    if (Is(name, "Name")) {
        Name = reader.ReadText();
    } else if (Is(name, "Background")) {
        Background = reader.ReadColor();
    } else if (Is(name, "PngImage")) {
        ThrowInvalidPropertyValue();  // the picture is given through its Data
    } else {
        return false;
    }
    return true;
}

PersistentObject::Member TPngImageCollectionItem::ObjectProperty(std::string_view name) {
    if (Is(name, "PngImage")) return {true, &PngImage};
    return {IsOneOf(name, {"Name", "Background"}), nullptr};
}

// --- TPngImageList ---

std::string TPngImageList::DisplayName() const { return Name.empty() ? "TPngImageList" : Name; }

bool TPngImageList::ReadProperty(std::string_view name, PropertyReader& reader) {
    if (Is(name, "PngImages")) {
        reader.ReadCollection([this] { ClearPngImages(); },
                              [this, &reader] { reader.ReadProperties(AddPngImage()); });
        Rebuild();
    } else if (Is(name, "Width")) {
        SetWidth(ReadImageSide(reader));
    } else if (Is(name, "Height")) {
        SetHeight(ReadImageSide(reader));
    } else if (Is(name, "EnabledImages")) {
        SetEnabledImages(reader.ReadBoolean());
    } else if (Is(name, "PngOptions")) {
        TPngOptions options{false, false};
        for (const auto& member : reader.ReadSet()) {
            if (Is(member, kBlendOnDisabled)) {
                options.pngBlendOnDisabled = true;
            } else if (Is(member, kGrayscaleOnDisabled)) {
                options.pngGrayscaleOnDisabled = true;
            } else {
                ThrowInvalidPropertyValue();
            }
        }
        SetPngOptions(options);
    } else if (Is(name, "Masked")) {
        Masked = reader.ReadBoolean();
    } else if (Is(name, "AllocBy")) {
        AllocBy = reader.ReadInteger();
    } else if (Is(name, "BkColor")) {
        BkColor = reader.ReadColor();
    } else if (Is(name, "BlendColor")) {
        BlendColor = reader.ReadColor();
    } else if (Is(name, "DrawingStyle")) {
        DrawingStyle = static_cast<TDrawingStyle>(reader.ReadEnum(kDrawingStyles));
    } else if (Is(name, "ImageType")) {
        ImageType = static_cast<TImageType>(reader.ReadEnum(kImageTypes));
    } else if (Is(name, "ShareImages")) {
        ShareImages = reader.ReadBoolean();
    } else if (Is(name, "Name")) {
        Name = reader.ReadText();
    } else if (Is(name, "Tag")) {
        Tag = reader.ReadInteger();
    } else if (Is(name, "Bitmap")) {
        reader.ReadBinary();  // the PNG images replace the plain bitmap
    } else if (IsOneOf(name, {"Left", "Top"})) {
        reader.ReadInteger();  // design positions
    } else if (Is(name, "OnChange")) {
        reader.ReadIdent();  // a handler name means nothing outside the program that saved it
    } else {
        return false;
    }
    return true;
}

PersistentObject::Member TPngImageList::ObjectProperty(std::string_view name) {
    // None of the list's properties holds an object a path could continue into.
    return {IsOneOf(name, {"PngImages", "Width", "Height", "EnabledImages", "PngOptions", "Masked", "AllocBy",
                           "BkColor", "BlendColor", "DrawingStyle", "ImageType", "ShareImages", "Name", "Tag",
                           "Bitmap", "Left", "Top", "OnChange"}),
            nullptr};
}

TPngImageCollectionItem& TPngImageList::AddPngImage() {
    items_.push_back(std::make_unique<TPngImageCollectionItem>(static_cast<int>(items_.size())));
    return *items_.back();
}

void TPngImageList::ClearPngImages() {
    items_.clear();
    images_.clear();
    ++generation_;
}

void TPngImageList::SetWidth(int width) {
    if (width == width_) return;
    width_ = width;
    ClearPngImages();
}

void TPngImageList::SetHeight(int height) {
    if (height == height_) return;
    height_ = height;
    ClearPngImages();
}

void TPngImageList::SetEnabledImages(bool enabled) {
    if (enabled == enabled_images_) return;
    enabled_images_ = enabled;
    Rebuild();
}

void TPngImageList::SetPngOptions(TPngOptions options) {
    if (options == png_options_) return;
    png_options_ = options;
    Rebuild();
}

void TPngImageList::Rebuild() {
    images_.clear();
    const bool disabled_look =
        !enabled_images_ && (png_options_.pngBlendOnDisabled || png_options_.pngGrayscaleOnDisabled);
    for (const auto& item : items_) {
        if (item->PngImage.Empty()) continue;
        const auto& pixels = item->PngImage.Pixels();
        Bitmap32 image = pixels ? FitPicture(*pixels, width_, height_) : Bitmap32(width_, height_);
        if (disabled_look) {
            ApplyDisabledLook(image, png_options_.pngBlendOnDisabled, png_options_.pngGrayscaleOnDisabled);
        }
        images_.push_back(std::move(image));
    }
    ++generation_;
}

void ReadImageListProperties(std::string_view stream, TPngImageList& list) {
    const DecodeBudget budget;
    const DecodingSession session;
    PropertyReader reader(stream);
    reader.ReadProperties(list);
}

std::string WriteImageListProperties(const TPngImageList& list) {
    const TPngImageList defaults;
    PropertyWriter w;
    if (list.BlendColor != defaults.BlendColor) {
        w.Name("BlendColor");
        WriteColor(w, list.BlendColor);
    }
    if (list.BkColor != defaults.BkColor) {
        w.Name("BkColor");
        WriteColor(w, list.BkColor);
    }
    if (list.AllocBy != defaults.AllocBy) {
        w.Name("AllocBy");
        w.Integer(list.AllocBy);
    }
    if (list.DrawingStyle != defaults.DrawingStyle) {
        w.Name("DrawingStyle");
        w.Ident(kDrawingStyles[static_cast<int>(list.DrawingStyle)]);
    }
    if (list.Height() != defaults.Height()) {
        w.Name("Height");
        w.Integer(list.Height());
    }
    if (list.ImageType != defaults.ImageType) {
        w.Name("ImageType");
        w.Ident(kImageTypes[static_cast<int>(list.ImageType)]);
    }
    if (list.Masked != defaults.Masked) {
        w.Name("Masked");
        w.Boolean(list.Masked);
    }
    if (list.ShareImages != defaults.ShareImages) {
        w.Name("ShareImages");
        w.Boolean(list.ShareImages);
    }
    if (list.Width() != defaults.Width()) {
        w.Name("Width");
        w.Integer(list.Width());
    }
    if (list.EnabledImages() != defaults.EnabledImages()) {
        w.Name("EnabledImages");
        w.Boolean(list.EnabledImages());
    }
    if (!list.PngImages().empty()) {
        w.Name("PngImages");
        w.BeginCollection();
        for (std::size_t i = 0; i < list.PngImages().size(); ++i) {
            const auto& item = *list.PngImages()[i];
            w.BeginItem();
            if (!item.PngImage.Empty()) {
                w.Name("PngImage.Data");
                w.Binary(item.PngImage.Data());
            }
            if (item.Name != TPngImageCollectionItem::DefaultName(static_cast<int>(i))) {
                w.Name("Name");
                w.Text(item.Name);
            }
            if (item.Background != clBtnFace) {
                w.Name("Background");
                WriteColor(w, item.Background);
            }
            w.EndList();
        }
        w.EndList();
    }
    if (!(list.PngOptions() == defaults.PngOptions())) {
        w.Name("PngOptions");
        std::vector<std::string_view> members;
        if (list.PngOptions().pngBlendOnDisabled) members.push_back(kBlendOnDisabled);
        if (list.PngOptions().pngGrayscaleOnDisabled) members.push_back(kGrayscaleOnDisabled);
        w.Set(members);
    }
    w.EndList();
    return w.Bytes();
}

}  // namespace tb
