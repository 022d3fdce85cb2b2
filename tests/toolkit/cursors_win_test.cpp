// The cursor table: the hand is there before anything starts up, and a registration replaces or
// removes an entry.
#include <gtest/gtest.h>

#include "toolkit/cursors_win.hpp"

namespace tb {
namespace {

TEST(CursorTable, HasTheSystemHandFromTheStartAndTakesRegistrations) {
    const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    EXPECT_EQ(RegisteredCursor(kSystemHandCursor), hand);
    EXPECT_EQ(RegisteredCursor(7), nullptr);
    RegisterCursor(7, LoadCursorW(nullptr, IDC_CROSS));
    EXPECT_EQ(RegisteredCursor(7), LoadCursorW(nullptr, IDC_CROSS));
    RegisterCursor(7, nullptr);
    EXPECT_EQ(RegisteredCursor(7), nullptr);
    EXPECT_EQ(RegisteredCursor(kSystemHandCursor), hand);
}

}  // namespace
}  // namespace tb
