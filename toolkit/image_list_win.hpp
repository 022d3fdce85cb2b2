#pragma once
// The platform image list made from a PNG image list model: 32-bit images with alpha.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "base/handle_win.hpp"
#include "iconlist/bitmap.hpp"
#include "toolkit/dpi_win.hpp"

namespace tb {

class TPngImageList;

// An ILC_COLOR32 image list of the model's Width x Height scaled to `dpi` (with a mask when
// Masked), growing by AllocBy, holding the model's images in order (premultiplied alpha), each
// scaled by ScalePicture where the scale asks for a larger size, with its BkColor. An empty handle
// when the system cannot create the list.
UniqueImageList CreatePlatformImageList(const TPngImageList& list, int dpi = kDesignDpi);

// The picture stretched to width x height by the imaging component's high-quality scaler, on the
// premultiplied pixels (so transparent edges do not darken); the picture itself when it has that
// size already. Where the imaging component is not to be had (no COM on the thread), nearest
// pixels: the icon keeps its size and place, only less smooth. Sizes above kMaxPictureSide or
// below 1 give nullopt.
std::optional<Bitmap32> ScalePicture(const Bitmap32& picture, int width, int height);

// Adds the images in order, each under its own number: an image whose bitmap cannot be made gets a
// blank (transparent) image of the list's size in its place, so the images after it keep theirs.
void AddImagesKeepingNumbers(HIMAGELIST list, const std::vector<Bitmap32>& images);

// A colour of the property stream (plain, system colour number, clNone, clDefault) as a COLORREF;
// clNone and clDefault give CLR_NONE and CLR_DEFAULT.
COLORREF ToColorRef(std::int32_t color);

}  // namespace tb
