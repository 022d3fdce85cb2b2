// Activation, Reload, Close, the event sequences, and the links between stores and back-ends.
#include <gtest/gtest.h>

#include "storage/read_only_store.hpp"
#include "storage_fixture.hpp"

namespace tb {
namespace {

using testing_support::FileStore;

class LifecycleTest : public testing_support::TempFolderTest {
protected:
    std::string Image(const std::string& value) {
        TrsStorage store;
        store.WriteString("\\Options\\Toolbar Name", value);
        return TrsBinData::EncodeTables(store);
    }
};

// A template or icon store opened for reading never reaches its file: not on close, not even when
// someone sets the save option or saves outright.
TEST_F(LifecycleTest, ReadOnlyStoreNeverWritesItsFileBack) {
    WriteWholeFile(Path("t.tb"), Image("Bar"));
    {
        ReadOnlyStore templ(Path("t.tb"));
        EXPECT_FALSE(templ.Damaged());
        EXPECT_EQ(templ.Store().ReadString("\\Options\\Toolbar Name", ""), "Bar");
        templ.Store().WriteString("\\Options\\Toolbar Name", "Changed");
        EXPECT_THROW(templ.Store().Save(), TrsException);
        templ.Store().SetOptions(soSaveOnClose);
    }
    EXPECT_EQ(ReadWholeFile(Path("t.tb")), Image("Bar"));

    const auto image = ReadOnlyStore::FromImage(Image("Mem"));
    EXPECT_EQ(image.Store().Keys().size(), 1u);
    ReadOnlyStore missing(Path("none.tb"));
    EXPECT_EQ(missing.Store().KeyCount(), 0);
    EXPECT_FALSE(FileExists(Path("none.tb")));
}

TEST_F(LifecycleTest, KeysStayReadableAfterCloseUntilReload) {
    WriteWholeFile(Path("t.tb"), Image("Bar"));
    FileStore f(Path("t.tb"));
    f.store.SetActive(true);
    f.store.WriteString("\\Options\\Extra", "x");
    f.store.Close();
    EXPECT_FALSE(f.store.Active());
    EXPECT_EQ(f.store.ReadString("\\Options\\Toolbar Name", ""), "Bar");
    EXPECT_EQ(ReadWholeFile(Path("t.tb")), Image("Bar"));  // no soSaveOnClose: nothing written

    std::remove(Path("t.tb").c_str());
    f.store.Reload();
    EXPECT_FALSE(f.store.KeyExists("\\Options\\Toolbar Name"));
    EXPECT_FALSE(f.store.Active());  // Reload does not activate
}

TEST_F(LifecycleTest, ActivationLoadsOnceAndCloseSavesWithTheOption) {
    WriteWholeFile(Path("t.tb"), Image("Bar"));
    FileStore f(Path("t.tb"), soSaveOnClose);
    int loads = 0;
    f.store.OnAfterLoad = [&](TrsStorage&) { ++loads; };
    f.store.SetActive(true);
    f.store.SetActive(true);
    EXPECT_EQ(loads, 1);
    f.store.WriteString("\\Options\\Toolbar Name", "New");
    f.store.SetActive(false);
    f.store.SetActive(false);
    EXPECT_EQ(ReadWholeFile(Path("t.tb")), Image("New"));
}

TEST_F(LifecycleTest, EventsRunInOrderAroundLoadAndSave) {
    WriteWholeFile(Path("t.tb"), Image("Bar"));
    FileStore f(Path("t.tb"), soSaveOnClose);
    std::vector<std::string> log;
    auto note = [&](const char* what) { return [&log, what](auto&...) { log.push_back(what); }; };
    f.store.OnBeforeLoad = note("store before load");
    f.store.OnAfterLoad = note("store after load");
    f.store.OnBeforeSave = note("store before save");
    f.store.OnAfterSave = note("store after save");
    f.data.OnBeforeLoad = note("data before load");
    f.data.OnAfterLoad = note("data after load");
    f.data.OnBeforeSave = note("data before save");
    f.data.OnAfterSave = note("data after save");
    f.store.SetActive(true);
    f.store.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"store before load", "data before load", "data after load",
                                             "store after load", "store before save", "data before save",
                                             "data after save", "store after save"}));
}

TEST_F(LifecycleTest, FailedLoadLeavesTheStoreInactiveAtTheRoot) {
    FileStore f(Path("t.tb"));
    f.data.OnLoadFromStream = [](TrsStreamData&, TMemoryStream&, bool&) { throw Error("handler failed"); };
    bool data_after = false, store_after = false;
    f.data.OnAfterLoad = [&](TrsStorageData&) { data_after = true; };
    f.store.OnAfterLoad = [&](TrsStorage&) { store_after = true; };
    f.store.SetRootSection("\\Somewhere");
    EXPECT_THROW(f.store.SetActive(true), Error);
    EXPECT_FALSE(f.store.Active());
    EXPECT_TRUE(data_after);
    EXPECT_FALSE(store_after);
    EXPECT_EQ(f.store.RootSection(), "");
    EXPECT_EQ(f.store.CurrentSection(), -1);
}

TEST_F(LifecycleTest, SaveRestoresTheRootSectionAndRecreatesIt) {
    FileStore f(Path("t.tb"), soSaveOnClose);
    f.store.SetActive(true);
    f.store.SetRootSection("\\Order");
    f.data.OnSaveToStream = [](TrsStreamData& data, TMemoryStream&, bool& do_standard) {
        // During the write the root is current.
        EXPECT_EQ(data.CurrentStore()->RootSection(), "");
        EXPECT_EQ(data.CurrentStore()->CurrentSection(), -1);
        data.CurrentStore()->DeleteSection("\\Order");
        do_standard = true;
    };
    f.store.Close();
    EXPECT_EQ(f.store.RootSection(), "\\Order");
    EXPECT_TRUE(f.store.SectionExists("\\Order"));
    EXPECT_NE(f.store.CurrentSection(), -1);
}

TEST_F(LifecycleTest, ActivationDuringARestoreWaitsForItsEnd) {
    WriteWholeFile(Path("t.tb"), Image("Bar"));
    FileStore f(Path("t.tb"));
    f.store.BeginRestore();
    f.store.SetActive(true);
    EXPECT_FALSE(f.store.Active());
    EXPECT_FALSE(f.store.KeyExists("\\Options\\Toolbar Name"));
    f.store.EndRestore();
    EXPECT_TRUE(f.store.Active());
    EXPECT_EQ(f.store.ReadString("\\Options\\Toolbar Name", ""), "Bar");
}

TEST_F(LifecycleTest, StoreWithoutBackEndStillRaisesItsEvents) {
    TrsStorage store;
    int events = 0;
    store.OnBeforeLoad = store.OnAfterLoad = store.OnBeforeSave = store.OnAfterSave = [&](TrsStorage&) { ++events; };
    store.SetActive(true);
    store.WriteInteger("k", 1);
    store.Close();
    EXPECT_EQ(events, 4);
    EXPECT_EQ(store.ReadInteger("k", 0), 1);
}

TEST_F(LifecycleTest, DestroyingEitherSideUnlinksTheOther) {
    auto data = std::make_unique<TrsBinData>();
    {
        TrsStorage store;
        store.SetStorageData(data.get());
        EXPECT_EQ(data->CurrentStore(), &store);
        EXPECT_EQ(data->AttachedStores().size(), 1u);
    }
    EXPECT_EQ(data->CurrentStore(), nullptr);
    EXPECT_TRUE(data->AttachedStores().empty());

    TrsStorage store;
    store.SetStorageData(data.get());
    data.reset();
    EXPECT_EQ(store.StorageData(), nullptr);
    store.SetActive(true);  // loads nothing, no back-end left
    EXPECT_TRUE(store.Active());

    // Moving a store to another back-end: the first forgets it, and its destruction leaves the
    // store with the second.
    auto first = std::make_unique<TrsBinData>();
    TrsBinData second;
    store.SetStorageData(first.get());
    store.SetStorageData(&second);
    EXPECT_EQ(first->CurrentStore(), nullptr);
    first.reset();
    EXPECT_EQ(store.StorageData(), &second);
}

TEST_F(LifecycleTest, DestructionSavesWithTheOption) {
    {
        FileStore f(Path("t.tb"), soSaveOnClose);
        f.store.SetActive(true);
        f.store.WriteString("\\Options\\Toolbar Name", "Gone");
    }
    EXPECT_EQ(ReadWholeFile(Path("t.tb")), Image("Gone"));
}

}  // namespace
}  // namespace tb
