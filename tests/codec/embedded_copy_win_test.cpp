#include <gtest/gtest.h>

#include "storage/bin_data.hpp"
#include "settings/module_resource_win.hpp"
#include "storage/storage.hpp"

namespace tb {
namespace {

TEST(EmbeddedCopyResource, ModuleCarriesTheDefaultTemplate) {
    TrsBinData data;
    data.FileDir = fdCustom;
    data.Options = 0;
    data.FileName = "Z:\\no\\such\\folder\\Main.tb";
    data.InternalFileLoad = iflNoRealFile;
    ASSERT_TRUE(LoadInternalFileFromResource(data, GetModuleHandleW(nullptr), L"SAMPLE_TEMPLATE"));

    TrsStorage store;
    store.SetOptions(0);
    store.SetStorageData(&data);
    store.Reload();
    EXPECT_EQ(store.ReadString("\\Options\\Toolbar Name", ""), "Sample Bar");
    store.SetStorageData(nullptr);
}

TEST(EmbeddedCopyResource, MissingResourceLeavesTheCopyEmpty) {
    TrsBinData data;
    data.SetInternalStream("stale");
    EXPECT_FALSE(LoadInternalFileFromResource(data, GetModuleHandleW(nullptr), L"NO_SUCH_TEMPLATE"));
    EXPECT_EQ(data.InternalStream(), "");
    EXPECT_FALSE(ModuleResourceBytes(GetModuleHandleW(nullptr), L"NO_SUCH_TEMPLATE"));
}

}  // namespace
}  // namespace tb
