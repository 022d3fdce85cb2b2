#pragma once
// The object behind a window of one of the system's own window classes: the creator passes it as
// the creation parameter, and the window procedure finds it in the window's user data from
// WM_NCCREATE on (null before, and for windows made without one).
//   auto* self = SelfOf<TImage>(window, message, lparam);
#include <windows.h>

namespace tb {

template <class T>
T* SelfOf(HWND window, UINT message, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace tb
