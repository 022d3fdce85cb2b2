// Subclass chains kept in the library's memory: the newest procedure hears a message first and each
// passes it on to the next, down to the window's own; procedures leave while a message runs, under a
// subclass of the common controls put on top, and with the window; a window sent more messages from
// inside a procedure gets the whole chain again and the outer message goes on where it was.
#include "toolkit/window_subclass_win.hpp"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

namespace tb {
namespace {

constexpr UINT kProbe = WM_APP + 1;
constexpr UINT kNested = WM_APP + 2;

std::string trace;

LRESULT CALLBACK OwnProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kProbe || message == kNested) {
        trace += message == kNested ? "own(nested) " : "own ";
        return 7;
    }
    if (message == WM_NCDESTROY) trace += "own-ncdestroy ";
    return DefWindowProcW(window, message, wparam, lparam);
}

HWND MakeWindow() {
    static const ATOM registered = [] {
        WNDCLASSW type{};
        type.lpfnWndProc = &OwnProcedure;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"TbSubclassTestWindow";
        return RegisterClassW(&type);
    }();
    EXPECT_NE(registered, 0);
    return CreateWindowExW(0, L"TbSubclassTestWindow", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// Each procedure writes its id; id 2 also sends a nested message when asked (wparam 1), id 3
// removes ids 1 and 3 when asked (wparam 2); every one passes the message on.
LRESULT CALLBACK Named(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id, DWORD_PTR data) {
    if (message == kProbe || message == kNested) {
        if (message == kNested) trace += 'n';
        trace += std::to_string(id);
        trace += data != 0 ? "+ " : " ";
        if (message == kProbe && id == 2 && wparam == 1) SendMessageW(window, kNested, 0, 0);
        if (message == kProbe && id == 3 && wparam == 2) {
            RemoveSubclass(window, &Named, 1);
            RemoveSubclass(window, &Named, 3);
        }
    }
    if (message == WM_NCDESTROY) trace += "ncdestroy" + std::to_string(id) + ' ';
    return CallNextSubclass(window, message, wparam, lparam);
}

LRESULT CALLBACK CommonControlsSubclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                        DWORD_PTR) {
    if (message == kProbe) trace += "cc ";
    return DefSubclassProc(window, message, wparam, lparam);
}

TEST(WindowSubclass, NewestFirstDownToTheWindowsOwnAndNestedMessagesGetTheWholeChain) {
    const int before = SubclassedWindowCount();
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    const LONG_PTR own = GetWindowLongPtrW(window, GWLP_WNDPROC);
    ASSERT_TRUE(AddSubclass(window, &Named, 1, 0));
    ASSERT_TRUE(AddSubclass(window, &Named, 2, 0));
    ASSERT_TRUE(AddSubclass(window, &Named, 1, 5));  // the same procedure and id: new data, same place
    EXPECT_EQ(SubclassedWindowCount(), before + 1);

    trace.clear();
    EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 7);
    EXPECT_EQ(trace, "2 1+ own ");
    trace.clear();
    SendMessageW(window, kProbe, 1, 0);
    EXPECT_EQ(trace, "2 n2 n1+ own(nested) 1+ own ");

    RemoveSubclass(window, &Named, 2);
    RemoveSubclass(window, &Named, 1);
    RemoveSubclass(window, &Named, 9);  // not there: nothing happens
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), own);
    EXPECT_EQ(SubclassedWindowCount(), before);
    trace.clear();
    SendMessageW(window, kProbe, 0, 0);
    EXPECT_EQ(trace, "own ");
    DestroyWindow(window);
}

TEST(WindowSubclass, ProceduresLeaveWhileAMessageRunsAndWithTheWindow) {
    const int before = SubclassedWindowCount();
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    const LONG_PTR own = GetWindowLongPtrW(window, GWLP_WNDPROC);
    for (UINT_PTR id : {1, 2, 3}) ASSERT_TRUE(AddSubclass(window, &Named, id, 0));

    // 3 removes itself and 1 on the way: this message still reaches 2 but not 1.
    trace.clear();
    SendMessageW(window, kProbe, 2, 0);
    EXPECT_EQ(trace, "3 2 own ");
    trace.clear();
    SendMessageW(window, kProbe, 0, 0);
    EXPECT_EQ(trace, "2 own ");

    trace.clear();
    DestroyWindow(window);
    EXPECT_EQ(trace, "ncdestroy2 own-ncdestroy ");
    EXPECT_EQ(SubclassedWindowCount(), before);

    // Without links left, the chain gives the window its own procedure back.
    window = MakeWindow();
    ASSERT_TRUE(AddSubclass(window, &Named, 3, 0));
    SendMessageW(window, kProbe, 2, 0);
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), own);
    EXPECT_EQ(SubclassedWindowCount(), before);
    DestroyWindow(window);
}

TEST(WindowSubclass, ACommonControlsSubclassOnTopKeepsWorkingWhenOursLeave) {
    const int before = SubclassedWindowCount();
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(AddSubclass(window, &Named, 1, 0));
    ASSERT_TRUE(SetWindowSubclass(window, &CommonControlsSubclass, 1, 0));
    trace.clear();
    SendMessageW(window, kProbe, 0, 0);
    EXPECT_EQ(trace, "cc 1 own ");

    // Ours cannot step out from under the other: the chain stays, passing everything on.
    RemoveSubclass(window, &Named, 1);
    trace.clear();
    SendMessageW(window, kProbe, 0, 0);
    EXPECT_EQ(trace, "cc own ");
    RemoveWindowSubclass(window, &CommonControlsSubclass, 1);
    trace.clear();
    SendMessageW(window, kProbe, 0, 0);
    EXPECT_EQ(trace, "own ");
    DestroyWindow(window);
    EXPECT_EQ(SubclassedWindowCount(), before);
}

TEST(WindowSubclass, OnlyTheWindowsOwnThreadAddsAndNoWindowIsNoChain) {
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    bool added = true;
    std::thread([&] { added = AddSubclass(window, &Named, 1, 0); }).join();
    EXPECT_FALSE(added);
    EXPECT_FALSE(AddSubclass(nullptr, &Named, 1, 0));
    DestroyWindow(window);
    EXPECT_FALSE(AddSubclass(window, &Named, 1, 0));
}

}  // namespace
}  // namespace tb
