#pragma once
// The toolbar window's published surface for programs that drive it (the stand-in browser): a
// registered window message. A driver sends it to the band's window on that window's own thread;
// nothing of the library's objects crosses, so a driver of another build can ask a library of
// this one.
//   ToolbarQuery query{sizeof query, nullptr, buffer, sizeof buffer, 0};
//   SendMessageW(window, RegisterWindowMessageW(kToolbarQueryMessage), kToolbarDescribe, (LPARAM)&query);
// The window answers 1 and writes UTF-8 text to `answer` (NUL-terminated when it fits); `length`
// is the answer's full size, so a driver whose buffer was too small asks again with a larger one.
// It answers 0 to a query it cannot answer (an unknown kind or item, a layout it does not know) and
// to one sent from another thread, whose pointers it could not trust.
#include <windows.h>

namespace tb {

inline constexpr wchar_t kToolbarQueryMessage[] = L"TbToolbarQuery";

// The message's wParam.
enum ToolbarQueryKind : WPARAM {
    // The toolbar as JSON, as `tbhost --dump` prints it.
    kToolbarDescribe = 1,
    // The item whose component name is `name`: its caption, then, for an item on a drop-down menu,
    // a NUL and the caption of the item that opens that menu.
    kToolbarLocateItem = 2,
    // Where the keyboard focus is in the window, as a JSON object ({"focus":"button","item":NAME,
    // "caption":TEXT}, "overflow", "banner", {"focus":"search box","list":BOOL}); the empty text
    // when the focus is not in the window.
    kToolbarDescribeFocus = 16,
};

// The message's lParam points at this (plain C layout; `size` tells its version).
struct ToolbarQuery {
    UINT size;            // sizeof(ToolbarQuery)
    const wchar_t* name;  // kToolbarLocateItem: the item's component name
    char* answer;         // where the answer goes
    UINT capacity;        // bytes at `answer`
    UINT length;          // out: the answer's size in bytes, without a closing NUL
};

}  // namespace tb
