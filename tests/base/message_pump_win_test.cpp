// The nested message pump: it handles what waits, stops where it is told, and never swallows the
// WM_QUIT that belongs to the thread's own loop.
#include <gtest/gtest.h>

#include <vector>

#include "base/message_pump_win.hpp"
#include "tests/support/test_window_win.hpp"

namespace tb {
namespace {

constexpr UINT kNote = WM_APP + 7;

class MessagePump : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(window_.Handle(), nullptr); }
    void TearDown() override {
        MSG left;
        while (PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void Post(WPARAM note) { PostMessageW(window_.Handle(), kNote, note, 0); }
    static bool QuitWaits(WPARAM* code) {
        MSG message;
        if (!PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
        *code = message.wParam;
        return true;
    }

    // The notes in the order they were dispatched to the window.
    std::vector<WPARAM> seen_;
    testing_support::TestWindow window_{L"TbPumpTestWindow", [this](UINT message, WPARAM wparam, LPARAM) {
                                            if (message != kNote) return false;
                                            seen_.push_back(wparam);
                                            return true;
                                        }};
};

TEST_F(MessagePump, HandlesWhatWaitsAndReportsAnEmptyQueue) {
    Post(1);
    Post(2);
    EXPECT_TRUE(PumpWaitingMessages());
    EXPECT_EQ(seen_, (std::vector<WPARAM>{1, 2}));
    WPARAM code = 0;
    EXPECT_FALSE(QuitWaits(&code));
}

TEST_F(MessagePump, StopsAtQuitAndGivesItBackToTheThreadsLoop) {
    Post(1);
    PostQuitMessage(5);
    EXPECT_FALSE(PumpWaitingMessages());
    WPARAM code = 0;
    ASSERT_TRUE(QuitWaits(&code)) << "WM_QUIT was swallowed";
    EXPECT_EQ(code, 5u);
}

TEST_F(MessagePump, TakeReportsTheQuitAndLeavesItToTheCaller) {
    PostQuitMessage(9);
    const PumpResult taken = TakeWaitingMessages();
    EXPECT_TRUE(taken.quit);
    EXPECT_EQ(taken.quit_code, 9u);
    WPARAM code = 0;
    EXPECT_FALSE(QuitWaits(&code));
}

TEST_F(MessagePump, FilterAndStopDecideWhatIsDispatched) {
    for (WPARAM note = 1; note <= 4; ++note) Post(note);
    PumpOptions options;
    options.filter = [](MSG& message) { return message.message == kNote && message.wParam == 2; };
    options.stop = [this] { return seen_.size() == 2; };
    EXPECT_TRUE(PumpWaitingMessages(options));
    EXPECT_EQ(seen_, (std::vector<WPARAM>{1, 3})) << "2 went to the filter; 4 waits for a later pump";
    EXPECT_TRUE(PumpWaitingMessages());
    EXPECT_EQ(seen_, (std::vector<WPARAM>{1, 3, 4}));
}

TEST_F(MessagePump, WaitWakesForAMessageOrASignalledHandle) {
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForMessageOr(5000, &event, 1), 0);
    ResetEvent(event);
    Post(1);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(WaitForMessageOr(5000, &event, 1), -1);
    EXPECT_LT(GetTickCount64() - start, 2000u) << "a waiting message wakes the wait";
    CloseHandle(event);
}

}  // namespace
}  // namespace tb
