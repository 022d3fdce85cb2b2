#include <gtest/gtest.h>

#include "iconlist_helpers.hpp"
#include "iconlist/png_image_list.hpp"
#include "storage/storage.hpp"

namespace tb {
namespace {

using test::IconBytes;

std::string TwoIcons() {
    TPngImageList list;
    list.AddPngImage().PngImage.SetData(IconBytes("go-home"));
    list.AddPngImage().PngImage.SetData(IconBytes("edit-find"));
    return WriteImageListProperties(list);
}

TEST(ReadImageList, AppliesTheKeyOfEitherByteKind) {
    TrsStorage store;
    store.WriteBinary("\\Icons", TwoIcons());
    store.WriteString("\\Text Icons", TwoIcons());
    for (const char* path : {"\\Icons", "/icons", "Text Icons"}) {
        TPngImageList list;
        EXPECT_EQ(store.ReadImageList(path, list), 1) << path;
        ASSERT_EQ(list.Images().size(), 2u) << path;
        EXPECT_EQ(list.Images()[1], *DecodePng(IconBytes("edit-find")));
    }
}

TEST(ReadImageList, MissingEmptyAndOtherKeysApplyNothing) {
    TrsStorage store;
    store.WriteBinary("\\Empty", "");
    store.WriteBinary("\\Zero", std::string(1, '\0'));
    store.WriteInteger("\\Number", 5);
    TPngImageList list;
    list.SetWidth(20);
    EXPECT_EQ(store.ReadImageList("\\Icons", list), 0);
    EXPECT_EQ(store.ReadImageList("\\Empty", list), 1);
    EXPECT_EQ(store.ReadImageList("\\Zero", list), 1);
    EXPECT_EQ(store.ReadImageList("\\Number", list), 1);
    EXPECT_EQ(list.Width(), 20);
    EXPECT_TRUE(list.PngImages().empty());
}

TEST(ReadImageList, ReaderErrorsReachTheCaller) {
    TrsStorage store;
    const std::string icons = TwoIcons();
    store.WriteBinary("\\Icons", icons.substr(0, icons.size() - 1));
    TPngImageList list;
    try {
        store.ReadImageList("\\Icons", list);
        FAIL() << "no error";
    } catch (const PropertyReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
}

}  // namespace
}  // namespace tb
