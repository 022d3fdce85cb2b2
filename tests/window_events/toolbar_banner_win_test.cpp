// The Flash banner under Wine: the stand-in control, registered under the Flash control's class id
// in this prefix and found by the Flash check, hosted by the system's ActiveX container; the movie
// that loads and shows in place of the logo, one that reports nothing loaded or never completes; no
// Flash player, no movie address, and offline.
#include <filesystem>

#include "../helpers/win_support.hpp"
#include "base/file.hpp"
#include "window_fixture.hpp"

namespace tb::testing_window {
namespace {

namespace fs = std::filesystem;
using RegisterFunction = HRESULT(STDAPICALLTYPE*)();

class BannerTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        BuildSample();  // the sample has a logo
        WriteTemplateOptions(false);  // no splash
        ChangeSettings([](ToolbarSettings& s) { s.FlashUrl = u"http://movie.example/banner.swf"; });
    }
    void TearDown() override {
        form_.reset();
        Uninstall();
        WindowTest::TearDown();
    }

    // The Flash check's file and the stand-in's registration.
    void Install() {
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        flash_folder_ = fs::path(windows) / "system32" / "Macromed" / "Flash";
        fs::create_directories(flash_folder_);
        WriteWholeFile((flash_folder_ / "Flash.ocx").string(), "");
        stand_in_ = LoadLibraryA(TB_FLASH_STAND_IN);
        ASSERT_NE(stand_in_, nullptr);
        auto do_register = reinterpret_cast<RegisterFunction>(
            reinterpret_cast<void*>(GetProcAddress(stand_in_, "DllRegisterServer")));
        ASSERT_EQ(do_register(), S_OK);
    }
    void Uninstall() {
        if (stand_in_ != nullptr) {
            auto unregister = reinterpret_cast<RegisterFunction>(
                reinterpret_cast<void*>(GetProcAddress(stand_in_, "DllUnregisterServer")));
            unregister();
            stand_in_ = nullptr;  // COM may still hold the library: it stays loaded
        }
        std::error_code ignored;
        if (!flash_folder_.empty()) fs::remove_all(flash_folder_.parent_path(), ignored);
    }

    std::wstring Calls() {
        return form_->Banner.Control()->Call(IID_IDispatch, L"Calls", DISPATCH_PROPERTYGET).Get()->bstrVal;
    }
    TToolbarItem* BannerItem() {
        for (TToolbarItem* item : form_->ToolbarModel().TopLevel()) {
            if (item->Kind() == ItemKind::Control && item->Control() == form_->Banner.Control()->Handle()) return item;
        }
        return nullptr;
    }
    bool BannerShown() { return BannerItem()->Visible() && IsWindowVisible(form_->Banner.Control()->Handle()); }

    testing_support::CrossProcessLock folder_lock_{testing_support::kWindowsFolder};
    fs::path flash_folder_;
    HMODULE stand_in_ = nullptr;
    TFormToolbar::Pointer form_;
};

TEST_F(BannerTest, LoadedMovieTakesTheLogosPlace) {
    Install();
    form_ = Make(true);
    ASSERT_TRUE(boxes_.boxes.empty()) << Utf16ToUtf8(boxes_.boxes.front().text);
    ASSERT_TRUE(form_->Banner.Control());
    // First on the toolbar, hidden, stopped, the movie asked for.
    EXPECT_EQ(form_->ToolbarModel().TopLevel().front(), BannerItem());
    EXPECT_FALSE(BannerShown());
    EXPECT_TRUE(form_->MediaControl->Visible()) << "the logo stays until the movie is loaded";
    EXPECT_EQ(Calls(), L"Stop;Movie=http://movie.example/banner.swf");
    RECT box{};
    GetWindowRect(form_->Banner.Control()->Handle(), &box);
    EXPECT_EQ(box.bottom - box.top, 22);

    Pump(300);  // the ready-state event comes from the control's queue
    EXPECT_EQ(Calls(), L"Stop;Movie=http://movie.example/banner.swf;PercentLoaded;Play");
    EXPECT_TRUE(BannerShown());
    EXPECT_FALSE(form_->MediaControl->Visible());
    EXPECT_FALSE(IsWindowVisible(form_->Image.Handle()));
    GetWindowRect(form_->Banner.Control()->Handle(), &box);
    EXPECT_EQ(box.right - box.left, 105);
    form_.reset();  // FormDestroy frees the banner
}

TEST_F(BannerTest, ShownBannerIsTheFirstTabStop) {
    Install();
    form_ = Make(true);
    Pump(300);  // the movie loads: the banner shows
    ASSERT_TRUE(BannerShown());
    // Tab through the window and back with Shift+Tab, in the order they show: banner, search box,
    // buttons.
    form_->EnterFocus(false);
    EXPECT_EQ(form_->DescribeFocus(), R"({"focus":"banner"})");
    ASSERT_TRUE(form_->MoveFocus(true));
    EXPECT_EQ(form_->DescribeFocus(), R"({"focus":"search box","list":false})");
    ASSERT_TRUE(form_->MoveFocus(true));
    EXPECT_EQ(form_->DescribeFocus(), R"({"focus":"button","item":"miHome","caption":"Home"})");
    EXPECT_FALSE(form_->MoveFocus(true)) << "past the last stop the focus goes back to the browser";
    form_->EnterFocus(true);
    EXPECT_EQ(form_->DescribeFocus(), R"({"focus":"button","item":"miLinks","caption":"Links"})");
    ASSERT_TRUE(form_->MoveFocus(false));
    EXPECT_EQ(form_->DescribeFocus(), R"({"focus":"search box","list":false})");
    ASSERT_TRUE(form_->MoveFocus(false));
    EXPECT_EQ(form_->DescribeFocus(), R"({"focus":"banner"})");
    EXPECT_FALSE(form_->MoveFocus(false));
}

TEST_F(BannerTest, ClosedBannerLetsItsEventSinkGo) {
    Install();
    using ReleaseFunction = int(WINAPI*)(int*);
    auto release_watched = reinterpret_cast<ReleaseFunction>(
        reinterpret_cast<void*>(GetProcAddress(stand_in_, "ReleaseWatchedSinks")));
    ASSERT_NE(release_watched, nullptr);
    int watched = 0;
    release_watched(&watched);  // sinks of earlier tests in this process are not this test's
    form_ = Make(true);
    ASSERT_TRUE(form_->Banner.Control());
    Pump(300);  // an event reaches the sink while it is connected
    EXPECT_EQ(Calls(), L"Stop;Movie=http://movie.example/banner.swf;PercentLoaded;Play");
    form_.reset();
    const int still_held = release_watched(&watched);
    EXPECT_EQ(watched, 1);
    EXPECT_EQ(still_held, 0) << "the banner's event sink outlives the banner";
}

TEST_F(BannerTest, MovieThatLoadsNothingOrNeverCompletesStaysHidden) {
    Install();
    struct Case {
        const char16_t* movie;
        const wchar_t* calls;
    } cases[] = {
        {u"http://movie.example/b.swf?percent=0", L"Stop;Movie=http://movie.example/b.swf?percent=0;PercentLoaded"},
        {u"http://movie.example/b.swf?state=3", L"Stop;Movie=http://movie.example/b.swf?state=3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.movie));
        ChangeSettings([&](ToolbarSettings& s) { s.FlashUrl = c.movie; });
        form_ = Make(true);
        ASSERT_TRUE(form_->Banner.Control());
        Pump(300);
        EXPECT_EQ(Calls(), c.calls);
        EXPECT_FALSE(BannerShown());
        EXPECT_TRUE(form_->MediaControl->Visible());
        form_.reset();
    }
}

TEST_F(BannerTest, OfflineTheControlStandsHiddenWithoutAMovie) {
    Install();
    form_ = Make(true, nullptr, [](TFormToolbar& form) { form.Banner.AttemptConnect = [] { return 12029ul; }; });
    ASSERT_TRUE(form_->Banner.Control());
    Pump(300);
    EXPECT_EQ(Calls(), L"Stop");
    EXPECT_FALSE(BannerShown());
    EXPECT_TRUE(form_->MediaControl->Visible());
}

TEST_F(BannerTest, NoFlashPlayerOrNoMovieAddressGivesNoBanner) {
    form_ = Make(true);  // no Flash player installed
    EXPECT_FALSE(form_->Banner.Control());
    EXPECT_TRUE(form_->MediaControl->Visible());
    form_.reset();

    Install();
    ChangeSettings([](ToolbarSettings& s) { s.FlashUrl.clear(); });
    form_ = Make(true);
    EXPECT_FALSE(form_->Banner.Control());
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(BannerTest, ControlThatCannotBeCreatedIsReportedAndTheWindowComesUp) {
    // The Flash check finds a player, but no control is registered under its class id.
    Install();
    Uninstall();
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    fs::create_directories(fs::path(windows) / "system32" / "Macromed" / "Flash");
    flash_folder_ = fs::path(windows) / "system32" / "Macromed" / "Flash";
    WriteWholeFile((flash_folder_ / "Flash.ocx").string(), "");
    form_ = Make(true);
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_FALSE(form_->Banner.Control());
    EXPECT_EQ(form_->Caption(), u"Sample Bar") << "the steps before the banner ran";
}

}  // namespace
}  // namespace tb::testing_window
