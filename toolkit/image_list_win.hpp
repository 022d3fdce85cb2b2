#pragma once
// The platform image list made from a PNG image list model: 32-bit images with alpha.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <utility>

namespace tb {

class TPngImageList;

// Owns an image list handle; moves, never copies.
class ImageListHandle {
public:
    ImageListHandle() = default;
    explicit ImageListHandle(HIMAGELIST handle) : handle_(handle) {}
    ImageListHandle(ImageListHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    ImageListHandle& operator=(ImageListHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    ImageListHandle(const ImageListHandle&) = delete;
    ImageListHandle& operator=(const ImageListHandle&) = delete;
    ~ImageListHandle() { Reset(); }

    HIMAGELIST Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset(HIMAGELIST handle = nullptr) {
        if (handle_ != nullptr) ImageList_Destroy(handle_);
        handle_ = handle;
    }

private:
    HIMAGELIST handle_ = nullptr;
};

// An ILC_COLOR32 image list of the model's Width x Height (with a mask when Masked), growing by
// AllocBy, holding the model's images in order (premultiplied alpha), with its BkColor. An empty
// handle when the system cannot create the list.
ImageListHandle CreatePlatformImageList(const TPngImageList& list);

// A colour of the property stream (plain, system colour number, clNone, clDefault) as a COLORREF;
// clNone and clDefault give CLR_NONE and CLR_DEFAULT.
COLORREF ToColorRef(std::int32_t color);

}  // namespace tb
