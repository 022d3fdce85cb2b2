#include <gtest/gtest.h>

#include "iconlist_helpers.hpp"
#include "iconlist/png_image_list.hpp"

namespace tb {
namespace {

using test::IconBytes;
using test::Stream;

std::string ErrorOf(std::string_view stream, TPngImageList& list) {
    try {
        ReadImageListProperties(stream, list);
    } catch (const PropertyReadError& e) {
        return e.what();
    }
    return "(no error)";
}

std::string ErrorOf(std::string_view stream) {
    TPngImageList list;
    return ErrorOf(stream, list);
}

Bitmap32 Decoded(std::string_view icon) {
    auto pixels = DecodePng(IconBytes(icon));
    if (!pixels) throw std::runtime_error("fixture does not decode");
    return *pixels;
}

TEST(PngImageList, NewListHasTheDocumentedDefaults) {
    TPngImageList list;
    EXPECT_TRUE(list.PngImages().empty());
    EXPECT_EQ(list.Width(), 16);
    EXPECT_EQ(list.Height(), 16);
    EXPECT_TRUE(list.EnabledImages());
    EXPECT_EQ(list.PngOptions(), (TPngOptions{true, false}));
    EXPECT_TRUE(list.Masked);
    EXPECT_EQ(list.AllocBy, 4);
    EXPECT_EQ(list.BkColor, clNone);
    EXPECT_EQ(list.BlendColor, clNone);
    EXPECT_EQ(list.DrawingStyle, TDrawingStyle::dsNormal);
    EXPECT_EQ(list.ImageType, TImageType::itImage);
    EXPECT_FALSE(list.ShareImages);
    EXPECT_EQ(list.Name, "");
    EXPECT_EQ(list.Tag, 0);
    EXPECT_EQ(list.DisplayName(), "TPngImageList");
}

TEST(PngImageList, SingleEndByteLeavesTheListEmpty) {
    TPngImageList list;
    ReadImageListProperties(std::string(1, '\0'), list);
    EXPECT_TRUE(list.PngImages().empty());
    EXPECT_TRUE(list.Images().empty());
}

TEST(PngImageList, TwoItemsGiveImagesZeroAndOneInOrder) {
    const Stream s = Stream().Name("PngImages").Code(14).PngItem(IconBytes("go-home")).PngItem(IconBytes("go-next")).End().End();
    TPngImageList list;
    ReadImageListProperties(s.Bytes(), list);
    ASSERT_EQ(list.PngImages().size(), 2u);
    EXPECT_EQ(list.PngImages()[0]->Name, "PngImage0");
    EXPECT_EQ(list.PngImages()[1]->Name, "PngImage1");
    EXPECT_EQ(list.PngImages()[0]->Background, clBtnFace);
    ASSERT_EQ(list.Images().size(), 2u);
    EXPECT_EQ(list.Images()[0], Decoded("go-home"));
    EXPECT_EQ(list.Images()[1], Decoded("go-next"));
    EXPECT_NE(list.Images()[0], list.Images()[1]);
}

TEST(PngImageList, DecodedIconsArePremultipliedAndPartlyTransparent) {
    const Bitmap32 icon = Decoded("edit-find");
    ASSERT_EQ(icon.width, 16);
    ASSERT_EQ(icon.height, 16);
    int transparent = 0;
    int opaque = 0;
    for (const auto px : icon.pixels) {
        const std::uint32_t a = px >> 24;
        EXPECT_LE((px >> 16) & 0xFF, a);
        EXPECT_LE((px >> 8) & 0xFF, a);
        EXPECT_LE(px & 0xFF, a);
        transparent += a == 0;
        opaque += a == 255;
    }
    EXPECT_GT(transparent, 0);
    EXPECT_GT(opaque, 0);
    EXPECT_FALSE(DecodePng("not a png file"));
    EXPECT_FALSE(DecodePng(IconBytes("go-home").substr(0, 100)));
}

// A process decodes the same icons for every window; whatever it keeps between decodes, each file
// gives its own picture, and a damaged copy of a file that decoded is still refused.
TEST(PngImageList, EachDecodeOfAFileGivesItsOwnPicture) {
    const std::string home = IconBytes("go-home");
    const std::string next = IconBytes("go-next");
    const auto first = DecodePng(home);
    ASSERT_TRUE(first);
    const auto other = DecodePng(next);
    ASSERT_TRUE(other);
    EXPECT_NE(*first, *other);
    EXPECT_EQ(DecodePng(home), first);
    EXPECT_EQ(DecodePng(next), other);
    EXPECT_FALSE(DecodePng(home.substr(0, home.size() - 20)));
    std::string flipped = home;
    flipped[flipped.size() / 2] ^= 0x55;  // inside the compressed pixels: fails their check
    EXPECT_NE(DecodePng(flipped), first);
}

TEST(PngImageList, WidthWrittenWithAnyIntegerCodeReadsTheSame) {
    const std::string icon = IconBytes("go-home");
    const auto read = [&](Stream width) {
        width.Name("PngImages").Code(14).PngItem(icon).End().End();
        auto list = std::make_unique<TPngImageList>();
        ReadImageListProperties(width.Bytes(), *list);
        return list;
    };
    const auto a = read(Stream().Name("Width").Int8(24));
    const auto b = read(Stream().Name("Width").Int16(24));
    const auto c = read(Stream().Name("Width").Int32(24));
    EXPECT_EQ(a->Width(), 24);
    EXPECT_EQ(a->Images(), b->Images());
    EXPECT_EQ(a->Images(), c->Images());
}

TEST(PngImageList, SizeGivenAfterTheImagesEmptiesThem) {
    const std::string icon = IconBytes("go-home");
    TPngImageList late;
    ReadImageListProperties(
        Stream().Name("PngImages").Code(14).PngItem(icon).End().Name("Width").Int8(24).Name("Height").Int8(24).End().Bytes(),
        late);
    EXPECT_EQ(late.Width(), 24);
    EXPECT_TRUE(late.PngImages().empty());
    EXPECT_TRUE(late.Images().empty());

    TPngImageList early;
    ReadImageListProperties(
        Stream().Name("Width").Int8(24).Name("Height").Int8(24).Name("PngImages").Code(14).PngItem(icon).End().End().Bytes(),
        early);
    ASSERT_EQ(early.Images().size(), 1u);
    const Bitmap32& image = early.Images()[0];
    EXPECT_EQ(image.width, 24);
    EXPECT_EQ(image.height, 24);
    // The 16 x 16 icon sits in the middle of the 24 x 24 image.
    const Bitmap32 original = Decoded("go-home");
    EXPECT_EQ(image.At(4 + 7, 4 + 9), original.At(7, 9));
    EXPECT_EQ(image.At(0, 0), 0u);
    EXPECT_EQ(image.At(23, 23), 0u);

    // The same size again changes nothing.
    early.SetWidth(24);
    EXPECT_EQ(early.Images().size(), 1u);
}

TEST(PngImageList, LargerPicturesAreScaledDownToTheListSize) {
    TPngImageList list;
    ReadImageListProperties(Stream().Name("PngImages").Code(14).PngItem(IconBytes("go-home-24")).End().End().Bytes(), list);
    ASSERT_EQ(list.Images().size(), 1u);
    EXPECT_EQ(list.Images()[0].width, 16);
    EXPECT_EQ(list.Images()[0].height, 16);

    Bitmap32 two_by_two(2, 2);
    two_by_two.pixels = {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF};
    EXPECT_EQ(FitPicture(two_by_two, 1, 1).pixels, std::vector<std::uint32_t>{0xFF808080});
}

TEST(PngImageList, BackgroundAsColourNameOrIntegerIsTheSame) {
    const Stream s = Stream()
                         .Name("PngImages")
                         .Code(14)
                         .Code(1).Name("Background").Ident("clWindow").End()
                         .Code(1).Name("Background").Int32(static_cast<std::int32_t>(0xFF000005)).End()
                         .Code(1).Name("background").Ident("CLRED").End()
                         .End()
                         .End();
    TPngImageList list;
    ReadImageListProperties(s.Bytes(), list);
    ASSERT_EQ(list.PngImages().size(), 3u);
    EXPECT_EQ(list.PngImages()[0]->Background, static_cast<std::int32_t>(0xFF000005));
    EXPECT_EQ(list.PngImages()[1]->Background, static_cast<std::int32_t>(0xFF000005));
    EXPECT_EQ(list.PngImages()[2]->Background, 0x0000FF);
    // Entries without a picture add no image.
    EXPECT_TRUE(list.Images().empty());
}

TEST(PngImageList, ColourTableHoldsEveryNameBothWays) {
    const std::pair<const char*, std::uint32_t> samples[] = {
        {"clBlack", 0}, {"clSkyBlue", 0xF0CAA6}, {"clMedGray", 0xA4A0A0}, {"clNone", 0x1FFFFFFF},
        {"clDefault", 0x20000000}, {"clScrollBar", 0xFF000000}, {"clInfoBk", 0xFF000018},
        {"clHotLight", 0xFF00001A}, {"clMenuBar", 0xFF00001E}};
    for (const auto& [name, value] : samples) {
        EXPECT_EQ(ColorFromIdent(name), static_cast<std::int32_t>(value)) << name;
        EXPECT_EQ(IdentFromColor(static_cast<std::int32_t>(value)), name) << name;
    }
    EXPECT_FALSE(ColorFromIdent("clPink"));
    EXPECT_FALSE(IdentFromColor(0xFF000019));  // system colour 25 has no name
}

TEST(PngImageList, EveryListPropertyIsReadInAnyCase) {
    const Stream s = Stream()
                         .Name("BLENDCOLOR").Ident("clRed")
                         .Name("BkColor").Int32(0x123456)
                         .Name("AllocBy").Int8(8)
                         .Name("DrawingStyle").Ident("DSFOCUS")
                         .Name("Height").Int8(20)
                         .Name("ImageType").Ident("itMask")
                         .Name("masked").Code(8)
                         .Name("ShareImages").Ident("true")
                         .Name("Width").Int8(32)
                         .Name("EnabledImages").Code(8)
                         .Name("PngOptions").Code(11).Name("pngGrayscaleOnDisabled").Name("PNGBLENDONDISABLED").Code(0)
                         .Name("Name").Text("Icons")
                         .Name("Tag").Int16(-300)
                         .Name("Bitmap").Binary("ignored bytes")
                         .Name("Left").Int8(10)
                         .Name("Top").Int16(400)
                         .Name("OnChange").Ident("IconsChange")
                         .End();
    TPngImageList list;
    ReadImageListProperties(s.Bytes(), list);
    EXPECT_EQ(list.BlendColor, 0x0000FF);
    EXPECT_EQ(list.BkColor, 0x123456);
    EXPECT_EQ(list.AllocBy, 8);
    EXPECT_EQ(list.DrawingStyle, TDrawingStyle::dsFocus);
    EXPECT_EQ(list.Height(), 20);
    EXPECT_EQ(list.ImageType, TImageType::itMask);
    EXPECT_FALSE(list.Masked);
    EXPECT_TRUE(list.ShareImages);
    EXPECT_EQ(list.Width(), 32);
    EXPECT_FALSE(list.EnabledImages());
    EXPECT_EQ(list.PngOptions(), (TPngOptions{true, true}));
    EXPECT_EQ(list.Name, "Icons");
    EXPECT_EQ(list.DisplayName(), "Icons");
    EXPECT_EQ(list.Tag, -300);
}

TEST(PngImageList, TextInEveryFormBecomesSystemCodePageText) {
    const auto name_of = [](Stream value) {
        TPngImageList list;
        ReadImageListProperties(Stream().Name("Name").Raw(value.Bytes()).End().Bytes(), list);
        return list.Name;
    };
    EXPECT_EQ(name_of(Stream().Text("Caf\xE9")), "Caf\xE9");
    EXPECT_EQ(name_of(Stream().Code(12).U32(4).Raw("Caf\xE9")), "Caf\xE9");
    EXPECT_EQ(name_of(Stream().Code(18).U32(5).U16('C').U16('a').U16('f').U16(0xE9).U16(0x20AC)), "Caf\xE9\x80");
    EXPECT_EQ(name_of(Stream().Code(20).U32(5).Raw("Caf\xC3\xA9")), "Caf\xE9");
}

TEST(PngImageList, ItemsMayCarryAnOrderNumberAndAnEmptyCollectionKeepsTheEntries) {
    const std::string icon = IconBytes("go-home");
    TPngImageList list;
    ReadImageListProperties(Stream()
                                .Name("PngImages").Code(14)
                                .Int8(0).PngItem(icon)
                                .Int32(7).Code(1).Name("Name").Text("Home").End()
                                .End()
                                .End()
                                .Bytes(),
                            list);
    ASSERT_EQ(list.PngImages().size(), 2u);
    EXPECT_EQ(list.PngImages()[1]->Name, "Home");

    ReadImageListProperties(Stream().Name("PngImages").Code(14).End().End().Bytes(), list);
    EXPECT_EQ(list.PngImages().size(), 2u);
    ReadImageListProperties(Stream().Name("PngImages").Code(14).PngItem(icon).End().End().Bytes(), list);
    EXPECT_EQ(list.PngImages().size(), 1u);
}

TEST(PngImageList, DisabledLookHalvesAlphaAndTurnsGrey) {
    const std::string icon = IconBytes("internet-web-browser");
    const Bitmap32 original = Decoded("internet-web-browser");
    const auto read = [&](Stream options) {
        auto list = std::make_unique<TPngImageList>();
        ReadImageListProperties(
            options.Name("PngImages").Code(14).PngItem(icon).End().Name("EnabledImages").Code(8).End().Bytes(), *list);
        return list;
    };

    const auto blended = read(Stream());
    ASSERT_EQ(blended->Images().size(), 1u);
    for (std::size_t i = 0; i < original.pixels.size(); ++i) {
        EXPECT_EQ(blended->Images()[0].pixels[i] >> 24, (original.pixels[i] >> 24) / 2);
    }

    const auto grey = read(Stream().Name("PngOptions").Code(11).Name("pngGrayscaleOnDisabled").Code(0));
    for (std::size_t i = 0; i < original.pixels.size(); ++i) {
        const std::uint32_t px = grey->Images()[0].pixels[i];
        EXPECT_EQ(px >> 24, original.pixels[i] >> 24);
        EXPECT_EQ((px >> 16) & 0xFF, px & 0xFF);
        EXPECT_EQ((px >> 8) & 0xFF, px & 0xFF);
    }

    // No options: the pictures stay as they are; enabling again restores them.
    const auto plain = read(Stream().Name("PngOptions").Code(11).Code(0));
    EXPECT_EQ(plain->Images()[0], original);
    blended->SetEnabledImages(true);
    EXPECT_EQ(blended->Images()[0], original);
}

TEST(PngImageList, UnreadablePictureKeepsTheNumbersOfTheImagesAfterIt) {
    TPngImageList list;
    ReadImageListProperties(
        Stream().Name("PngImages").Code(14).PngItem("not a png").PngItem(IconBytes("go-next")).End().End().Bytes(), list);
    ASSERT_EQ(list.Images().size(), 2u);
    EXPECT_EQ(list.Images()[0], Bitmap32(16, 16));
    EXPECT_EQ(list.Images()[1], Decoded("go-next"));
    EXPECT_FALSE(list.PngImages()[0]->PngImage.Pixels());
}

// An icon store can be written by others: what one list's pictures decode to is bounded, so a few
// small files that each claim 2048 x 2048 pixels cannot fill the memory and hold the window up.
TEST(PngImageList, PicturesBeyondTheListsDecodeBudgetKeepTheirBytesAndShowBlank) {
    const std::string large = IconBytes("large-2048");
    Stream stream;
    stream.Name("PngImages").Code(14);
    for (int i = 0; i < 5; ++i) stream.PngItem(large);
    stream.PngItem(IconBytes("go-next")).End().End();
    TPngImageList list;
    ReadImageListProperties(stream.Bytes(), list);
    ASSERT_EQ(list.Images().size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        // Four pictures of 4 Mpixels fill the budget; the rest are not decoded at all.
        EXPECT_EQ(list.PngImages()[i]->PngImage.Pixels().has_value(), i < 4);
        EXPECT_EQ(list.PngImages()[i]->PngImage.Data(), i < 5 ? large : IconBytes("go-next"));
    }
    EXPECT_EQ(list.Images()[5], Bitmap32(16, 16));
    // Each list read has a budget of its own, and a picture given directly is not counted.
    TPngImageList next;
    ReadImageListProperties(Stream().Name("PngImages").Code(14).PngItem(IconBytes("go-next")).End().End().Bytes(), next);
    EXPECT_EQ(next.Images()[0], Decoded("go-next"));
    list.PngImages()[5]->PngImage.SetData(IconBytes("go-next"));
    EXPECT_TRUE(list.PngImages()[5]->PngImage.Pixels());
}

struct ErrorCase {
    const char* name;
    std::string stream;
    std::string message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class ReadErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(ReadErrors, CarryTheExactMessage) { EXPECT_EQ(ErrorOf(GetParam().stream), GetParam().message); }

Stream Item(Stream properties) {
    return Stream().Name("PngImages").Code(14).Code(1).Raw(properties.Bytes());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadErrors,
    testing::Values(
        ErrorCase{"unknown_property", Stream().Name("Colour").Int8(1).End().Bytes(), "Property Colour does not exist"},
        ErrorCase{"unknown_item_property", Item(Stream().Name("Caption").Text("x")).Bytes(),
                  "Property Caption does not exist"},
        ErrorCase{"text_for_integer", Stream().Name("Width").Text("24").End().Bytes(), "Invalid property value"},
        ErrorCase{"int64_for_integer", Stream().Name("Tag").Code(19).U32(1).U32(0).End().Bytes(),
                  "Invalid property value"},
        ErrorCase{"unknown_boolean", Stream().Name("Masked").Ident("Maybe").End().Bytes(), "Invalid property value"},
        ErrorCase{"integer_for_boolean", Stream().Name("Masked").Int8(1).End().Bytes(), "Invalid property value"},
        ErrorCase{"text_for_enumeration", Stream().Name("ImageType").Text("itMask").End().Bytes(),
                  "Invalid property value"},
        ErrorCase{"list_for_set", Stream().Name("PngOptions").Code(1).End().End().Bytes(), "Invalid property value"},
        ErrorCase{"identifier_for_set", Stream().Name("PngOptions").Ident("pngBlendOnDisabled").End().Bytes(),
                  "Invalid property value"},
        ErrorCase{"unknown_enumeration", Stream().Name("DrawingStyle").Ident("dsBold").End().Bytes(),
                  "Invalid property value"},
        ErrorCase{"unknown_set_member", Stream().Name("PngOptions").Code(11).Name("pngFade").Code(0).End().Bytes(),
                  "Invalid property value"},
        ErrorCase{"unknown_colour", Stream().Name("BkColor").Ident("clPink").End().Bytes(), "Invalid property value"},
        ErrorCase{"integer_for_text", Stream().Name("Name").Int8(1).End().Bytes(), "Invalid property value"},
        ErrorCase{"integer_for_collection", Stream().Name("PngImages").Int8(0).End().Bytes(), "Invalid property value"},
        ErrorCase{"item_without_list_code", Stream().Name("PngImages").Code(14).Code(6).End().Bytes(),
                  "Invalid property value"},
        ErrorCase{"zero_width", Stream().Name("Width").Int8(0).End().Bytes(), "Invalid property value"},
        ErrorCase{"huge_height", Stream().Name("Height").Int32(100000).End().Bytes(), "Invalid property value"},
        ErrorCase{"no_end_byte", Stream().Name("Width").Int8(24).Bytes(), "Stream read error"},
        ErrorCase{"cut_in_value", Stream().Name("Width").Code(4).U16(24).Bytes(), "Stream read error"},
        ErrorCase{"binary_longer_than_stream", Stream().Name("Bitmap").Code(10).U32(1000).Raw("abc").Bytes(),
                  "Stream read error"},
        ErrorCase{"wide_text_longer_than_stream", Stream().Name("Name").Code(18).U32(0x40000000).Bytes(),
                  "Stream read error"},
        ErrorCase{"empty_stream", "", "Stream read error"},
        ErrorCase{"path_through_a_value", Item(Stream().Name("Name.Length").Int8(1)).Bytes(),
                  "Error reading PngImage0.Name.Length: Invalid property path"},
        ErrorCase{"path_through_unknown", Item(Stream().Name("Picture.Data").Binary("")).Bytes(),
                  "Error reading PngImage0.Picture.Data: Property Picture does not exist"},
        ErrorCase{"path_to_unknown", Item(Stream().Name("PngImage.Bytes").Binary("")).Bytes(),
                  "Error reading PngImage0.PngImage.Bytes: Property Bytes does not exist"},
        ErrorCase{"path_with_bad_value", Item(Stream().Name("PngImage.Data").Text("x")).Bytes(),
                  "Error reading PngImage0.PngImage.Data: Invalid property value"},
        ErrorCase{"path_cut_off", Item(Stream().Name("PngImage.Data").Code(10).U32(50)).Bytes(),
                  "Error reading PngImage0.PngImage.Data: Stream read error"},
        ErrorCase{"path_on_the_list", Stream().Name("Name").Text("Icons").Name("Width.Max").Int8(1).End().Bytes(),
                  "Error reading Icons.Width.Max: Invalid property path"}),
    [](const auto& p) { return p.param.name; });

TEST(PngImageList, PropertiesBeforeAFailureStayApplied) {
    TPngImageList list;
    const std::string message =
        ErrorOf(Stream().Name("Height").Int8(20).Name("Masked").Code(8).Name("Bogus").Int8(1).End().Bytes(), list);
    EXPECT_EQ(message, "Property Bogus does not exist");
    EXPECT_EQ(list.Height(), 20);
    EXPECT_FALSE(list.Masked);
}

TEST(PngImageList, ItemNameFollowsRenamedItemsInMessages) {
    const std::string message =
        ErrorOf(Item(Stream().Name("Name").Text("").Name("PngImage.Data").Int8(1)).Bytes());
    EXPECT_EQ(message, "Error reading TPngImageCollectionItem.PngImage.Data: Invalid property value");
}

// --- Writer ---

TEST(PngImageListWriter, WritesOnlyChangedPropertiesInDeclaredOrder) {
    TPngImageList list;
    EXPECT_EQ(WriteImageListProperties(list), std::string(1, '\0'));

    list.SetWidth(24);
    list.SetHeight(24);
    list.BkColor = 0x00FF00;
    list.BlendColor = 0x123456;
    list.AllocBy = 10;
    list.DrawingStyle = TDrawingStyle::dsTransparent;
    list.ImageType = TImageType::itMask;
    list.Masked = false;
    list.ShareImages = true;
    list.SetEnabledImages(false);
    list.SetPngOptions({false, true});
    auto& item = list.AddPngImage();
    item.PngImage.SetData(IconBytes("go-home"));
    item.Background = static_cast<std::int32_t>(0xFF000005);
    list.AddPngImage().Name = "Spare";
    list.Rebuild();

    const std::string bytes = WriteImageListProperties(list);
    PropertyReader reader(bytes);
    std::vector<std::string> names;
    for (const auto& entry : reader.ReadEntries()) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"BlendColor", "BkColor", "AllocBy", "DrawingStyle", "Height",
                                                "ImageType", "Masked", "ShareImages", "Width", "EnabledImages",
                                                "PngImages", "PngOptions"}));
    EXPECT_EQ(reader.Position(), bytes.size());

    TPngImageList back;
    ReadImageListProperties(bytes, back);
    EXPECT_EQ(WriteImageListProperties(back), bytes);
    EXPECT_EQ(back.BkColor, 0x00FF00);
    EXPECT_EQ(back.PngOptions(), (TPngOptions{false, true}));
    ASSERT_EQ(back.PngImages().size(), 2u);
    EXPECT_EQ(back.PngImages()[0]->Background, static_cast<std::int32_t>(0xFF000005));
    EXPECT_EQ(back.PngImages()[1]->Name, "Spare");
    EXPECT_EQ(back.Images(), list.Images());
    EXPECT_EQ(back.Images().size(), 1u);
}

TEST(PngImageListWriter, ColoursWithANameAreWrittenAsIdentifiers) {
    TPngImageList list;
    list.BkColor = static_cast<std::int32_t>(0xFF00000F);
    const std::string bytes = WriteImageListProperties(list);
    EXPECT_EQ(bytes, Stream().Name("BkColor").Ident("clBtnFace").End().Bytes());
}

TEST(PngImageListWriter, EveryTruncationOfAWrittenStreamIsReported) {
    TPngImageList list;
    list.SetWidth(20);
    list.Name = "x";
    list.AddPngImage().PngImage.SetData(IconBytes("go-next"));
    list.AddPngImage().Background = 0x345678;
    list.SetPngOptions({true, true});
    const std::string bytes = WriteImageListProperties(list);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_EQ(ErrorOf(bytes.substr(0, cut)).find("Stream read error") != std::string::npos, true) << cut;
    }
}

}  // namespace
}  // namespace tb
