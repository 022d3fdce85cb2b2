#pragma once
// One owning wrapper for every kind of Win32 handle: move-only, closes exactly once. Each handle
// kind is one line below: its type, the value that means "none", and how it is closed.
//   UniqueHandle h(CreateEventW(...));  if (!h) ...;  WaitForSingleObject(h.Get(), ...);
// Never take the address of a handle that already holds something: Put() closes it first.
#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace tb {

template <class Traits>
class UniqueAny {
public:
    using Type = typename Traits::Type;

    UniqueAny() = default;
    explicit UniqueAny(Type value) : value_(value) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : value_(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~UniqueAny() { Reset(); }

    Type Get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Invalid(); }
    // Gives up ownership without closing.
    Type Release() { return std::exchange(value_, Traits::Invalid()); }
    // Closes what is held (if anything) and takes value.
    void Reset(Type value = Traits::Invalid()) {
        const Type old = std::exchange(value_, value);
        if (old != Traits::Invalid()) Traits::Close(old);
    }
    // For out parameters: closes what is held and hands out the slot.
    Type* Put() {
        Reset();
        return &value_;
    }

private:
    Type value_ = Traits::Invalid();
};

// Traits for a handle type T that is "none" when null and closed by Close.
template <class T, auto CloseFunction>
struct NullHandleTraits {
    using Type = T;
    static constexpr T Invalid() { return nullptr; }
    static void Close(T value) { CloseFunction(value); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) { ::CloseHandle(value); }
};

inline void DestroyWindowIfAlive(HWND window) {
    if (::IsWindow(window)) ::DestroyWindow(window);
}

using UniqueHandle = UniqueAny<NullHandleTraits<HANDLE, ::CloseHandle>>;  // events, threads, processes
using UniqueFile = UniqueAny<FileHandleTraits>;                           // CreateFile: INVALID_HANDLE_VALUE
using UniqueHkey = UniqueAny<NullHandleTraits<HKEY, ::RegCloseKey>>;
using UniqueImageList = UniqueAny<NullHandleTraits<HIMAGELIST, ::ImageList_Destroy>>;
using UniqueHbitmap = UniqueAny<NullHandleTraits<HBITMAP, ::DeleteObject>>;
using UniqueHfont = UniqueAny<NullHandleTraits<HFONT, ::DeleteObject>>;
using UniqueHbrush = UniqueAny<NullHandleTraits<HBRUSH, ::DeleteObject>>;
using UniqueHicon = UniqueAny<NullHandleTraits<HICON, ::DestroyIcon>>;
using UniqueHmenu = UniqueAny<NullHandleTraits<HMENU, ::DestroyMenu>>;
using UniqueHwnd = UniqueAny<NullHandleTraits<HWND, DestroyWindowIfAlive>>;
using UniqueModule = UniqueAny<NullHandleTraits<HMODULE, ::FreeLibrary>>;
using UniqueMemoryDc = UniqueAny<NullHandleTraits<HDC, ::DeleteDC>>;

}  // namespace tb
