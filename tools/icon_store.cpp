// The icon store: writing it from a build plan, and reading it back as the toolbar does, to report
// what the toolbar would show and everything that would cost it images.
#include <cstdio>

#include "base/file.hpp"
#include "iconlist/colors.hpp"
#include "iconlist/png_image_list.hpp"
#include "tools/bitmap_file.hpp"
#include "storage/read_only_store.hpp"
#include "tools/store_access.hpp"

namespace tb::tool {

namespace {

constexpr const char* kIconsKey = "\\Icons";
constexpr const char* kLogoKey = "\\Image";

std::string StemOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\:");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string SizeText(uint64_t width, uint64_t height) { return std::to_string(width) + "x" + std::to_string(height); }

// Why the toolbar cannot show a picture; empty when it can.
std::string PictureProblem(const TPngPicture& picture) {
    if (picture.Pixels()) return {};
    if (!HasPngSignature(picture.Data())) return "not a PNG file";
    if (const auto size = PngHeaderSize(picture.Data());
        size && (size->first > static_cast<uint32_t>(kMaxPictureSide) || size->second > static_cast<uint32_t>(kMaxPictureSide))) {
        return "the PNG picture is " + SizeText(size->first, size->second) + ", larger than " +
               std::to_string(kMaxPictureSide) + " pixels on a side";
    }
    return "the PNG file is damaged or of a kind the decoder cannot read";
}

Json ColorJson(int32_t color) {
    if (const auto ident = IdentFromColor(color)) return std::string(*ident);
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(color));
    return std::string(text);
}

Json SettingsJson(const TPngImageList& list) {
    static constexpr const char* kDrawingStyles[] = {"dsFocus", "dsSelected", "dsNormal", "dsTransparent"};
    Json options = Json::array();
    if (list.PngOptions().pngBlendOnDisabled) options.push_back("pngBlendOnDisabled");
    if (list.PngOptions().pngGrayscaleOnDisabled) options.push_back("pngGrayscaleOnDisabled");
    Json settings = Json::object();
    settings["Width"] = list.Width();
    settings["Height"] = list.Height();
    settings["EnabledImages"] = list.EnabledImages();
    settings["PngOptions"] = std::move(options);
    settings["Masked"] = list.Masked;
    settings["AllocBy"] = list.AllocBy;
    settings["BkColor"] = ColorJson(list.BkColor);
    settings["BlendColor"] = ColorJson(list.BlendColor);
    settings["DrawingStyle"] = kDrawingStyles[static_cast<int>(list.DrawingStyle)];
    settings["ImageType"] = list.ImageType == TImageType::itImage ? "itImage" : "itMask";
    settings["ShareImages"] = list.ShareImages;
    settings["Name"] = BytesToJson(list.Name);
    settings["Tag"] = list.Tag;
    return settings;
}

class IconStoreInspector {
public:
    IconStoreInspector(std::string file, std::string image) : file_(std::move(file)), loaded_(ReadOnlyStore::FromImage(std::move(image))) {}

    IconStoreReport Run() {
        report_.facts.file = file_;
        report_.json["file"] = file_;
        if (loaded_.Store().Damaged()) {
            Error(file_, "damaged: the file ends inside a record, so the toolbar reads only what comes before it");
        }
        ReadImages();
        ReadLogo();
        return std::move(report_);
    }

private:
    void Error(const std::string& path, const std::string& reason) { report_.facts.findings.push_back({true, path, reason}); }
    void Warn(const std::string& path, const std::string& reason) { report_.facts.findings.push_back({false, path, reason}); }
    std::string KeyPath(const char* key) const { return file_ + ":" + key; }

    void ReadImages() {
        TPngImageList list;
        const std::string path = KeyPath(kIconsKey);
        bool readable = true;
        try {
            if (loaded_.Store().ReadImageList(kIconsKey, list) == 0) {
                Warn(path, "missing: the toolbar has no images");
            }
        } catch (const tb::Error& e) {
            readable = false;
            Error(path, std::string("the image list cannot be read (") + e.what() + "): the toolbar drops all its images");
        }
        report_.json["settings"] = SettingsJson(list);
        Json entries = Json::array();
        int image = 0;
        for (size_t i = 0; i < list.PngImages().size(); ++i) {
            const TPngImageCollectionItem& item = *list.PngImages()[i];
            const std::string what = "entry " + std::to_string(i) + " (" + item.Name + ")";
            Json entry = Json::object();
            entry["index"] = i;
            entry["name"] = BytesToJson(item.Name);
            entry["background"] = ColorJson(item.Background);
            if (item.PngImage.Empty()) {
                entry["image"] = nullptr;
                entry["error"] = "no picture";
                Warn(path, what + " has no picture: it adds no image, so every image after it moves down one number");
                entries.push_back(std::move(entry));
                continue;
            }
            entry["image"] = image++;
            if (const auto& pixels = item.PngImage.Pixels()) {
                entry["width"] = pixels->width;
                entry["height"] = pixels->height;
                if (pixels->width != list.Width() || pixels->height != list.Height()) {
                    Warn(path, what + " is " + SizeText(pixels->width, pixels->height) + ": the toolbar fits it into " +
                                   SizeText(list.Width(), list.Height()));
                }
            } else {
                const std::string problem = PictureProblem(item.PngImage);
                entry["error"] = problem;
                Error(path, what + ": " + problem + ": the toolbar shows an empty image in its place");
            }
            entries.push_back(std::move(entry));
        }
        report_.json["images"] = std::move(entries);
        report_.facts.image_count = readable ? static_cast<int>(list.Images().size()) : 0;
        report_.json["image_count"] = report_.facts.image_count;
    }

    void ReadLogo() {
        TrsStorage& store = loaded_.Store();
        if (!store.KeyExists(kLogoKey)) {
            report_.json["logo"] = nullptr;
            return;
        }
        TMemoryStream stream;
        store.ReadStream(kLogoKey, stream);
        Json logo = Json::object();
        logo["bytes"] = stream.Size();
        std::string why;
        if (const auto facts = ReadBmpFacts(stream.Bytes(), why)) {
            logo["width"] = facts->width;
            logo["height"] = facts->height < 0 ? -static_cast<int64_t>(facts->height) : facts->height;
            logo["bits"] = facts->bits;
        } else {
            logo["error"] = why;
            // The logo is loaded in the same guarded step as the images: its failure costs both.
            Error(KeyPath(kLogoKey), why + ": loading the logo fails, and the toolbar drops its images with it");
        }
        report_.json["logo"] = std::move(logo);
    }

    std::string file_;
    ReadOnlyStore loaded_;
    IconStoreReport report_;
};

}  // namespace

std::string WriteIconStoreImage(const BuildPlan& plan, const std::string& logo_bitmap) {
    TPngImageList list;
    list.SetWidth(plan.icon_width);
    list.SetHeight(plan.icon_height);
    for (const PlannedIcon& icon : plan.icons) {
        TPngImageCollectionItem& item = list.AddPngImage();
        item.PngImage.SetData(icon.png);
        if (const std::string problem = PictureProblem(item.PngImage); !problem.empty()) {
            throw Error(icon.file + ": " + problem + ", so the toolbar could not show it");
        }
        item.Name = StemOf(icon.file);
    }
    TrsStorage store;
    store.SetOptions(0);
    store.WriteBinary(kIconsKey, WriteImageListProperties(list));
    if (!logo_bitmap.empty()) store.WriteBinary(kLogoKey, logo_bitmap);
    return TrsBinData::EncodeTables(store);
}

std::string LogoBitmap(const std::string& file, const std::string& bytes) {
    std::string why;
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        if (!ReadBmpFacts(bytes, why)) throw Error(file + ": " + why);
        return bytes;
    }
    if (HasPngSignature(bytes)) {
        const auto picture = DecodePng(bytes);
        if (!picture) throw Error(file + ": the PNG file cannot be decoded");
        return EncodeBmpOnWhite(*picture);
    }
    throw Error(file + ": a logo must be a PNG or a Windows bitmap (BMP) file");
}

IconStoreReport InspectIconStore(const std::string& file) {
    auto image = ReadWholeFile(file);
    if (!image) throw tb::Error(file + ": no such file");
    return InspectIconStoreImage(file, std::move(*image));
}

IconStoreReport InspectIconStoreImage(const std::string& file, std::string image) {
    return IconStoreInspector(file, std::move(image)).Run();
}

}  // namespace tb::tool
