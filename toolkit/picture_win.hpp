#pragma once
// Pictures and the picture control. A picture holds a bitmap, an icon, a metafile or a PNG image; it
// loads a file by its extension (.bmp; .ico; .emf and .wmf; .jpg and .jpeg; .png), a Windows bitmap
// from bytes, or a decoded PNG (as a bitmap). A PNG file loaded by extension is a picture of its own
// kind, not a bitmap: ConvertTo24BitBitmap turns it into one. Everything goes through WIC and GDI. Failures raise tb::Error.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/handle_win.hpp"
#include "toolkit/form_win.hpp"

namespace tb {

struct Bitmap32;

class TPicture {
public:
    enum class Kind { None, Bitmap, Icon, Metafile, Png };

    TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    Kind GetKind() const { return kind_; }
    bool Empty() const { return kind_ == Kind::None; }
    bool IsBitmap() const { return kind_ == Kind::Bitmap; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    HBITMAP Bitmap() const { return bitmap_.Get(); }
    int BitsPerPixel() const;

    // By extension (letter case ignored); an unknown extension or an unreadable file raises, and
    // the picture stays as it was.
    void LoadFromFile(const std::u16string& path);
    // A Windows bitmap file image (BITMAPFILEHEADER onwards).
    void LoadBitmapFromBytes(std::string_view bytes);
    // A decoded picture (premultiplied 32-bit) as a 32-bit bitmap.
    void AssignPixels(const Bitmap32& pixels);
    // Draws whatever the picture holds at (0, 0) onto a new 24-bit bitmap of the same size, and keeps that.
    void ConvertTo24BitBitmap();
    void Clear();

    // Draws the picture into the rectangle; transparent: the bitmap's bottom-left pixel colour is
    // left out (icons and alpha bitmaps draw with their own transparency). At its own size at the
    // rectangle's top-left corner, or stretched over the whole rectangle.
    void Draw(HDC dc, const RECT& box, bool transparent, bool stretch = false) const;

private:
    void TakeBitmap(HBITMAP bitmap);

    Kind kind_ = Kind::None;
    UniqueHbitmap bitmap_;
    UniqueHicon icon_;
    UniqueAny<NullHandleTraits<HENHMETAFILE, ::DeleteEnhMetaFile>> metafile_;
    int width_ = 0;
    int height_ = 0;
};

// What a window that shows a picture (TImage, TPictureBox) does with a message: fills its background
// with the brush `background` gives for the erasing context, draws the picture over its client
// area, raises `on_click` on a click, sets the cursor of number `cursor`, and lets go of its object
// as it is destroyed. The answer, or nothing where the window's default handling follows.
struct PictureWindow {
    const TPicture& picture;
    bool transparent;
    int cursor;
    const std::function<void()>& on_click;
    std::function<HBRUSH(HDC)> background;
    bool stretch;  // the picture over the whole client area, not at its own size
};
std::optional<LRESULT> HandlePictureWindowMessage(HWND window, UINT message, WPARAM wparam,
                                                  const PictureWindow& shown);

// The picture control: shows a picture at its top-left corner, optionally transparent; a click
// raises OnClick.
class TImage : public TWinControl {
public:
    explicit TImage(std::u16string name) : TWinControl(std::move(name)) {}

    void Create(HWND parent, int left, int top, int width, int height);
    TPicture& Picture() { return picture_; }
    const TPicture& Picture() const { return picture_; }
    // Call after changing the picture: sizes the control to it (when AutoSize) and repaints.
    void PictureChanged();
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);
    bool AutoSize = true;
    // The screen scale the control is shown at: the picture is drawn (and, with AutoSize, the
    // control sized) at its size times the scale; 96 shows it pixel for pixel.
    void SetDpi(int dpi);

    std::function<void()> OnClick;

private:
    static LRESULT CALLBACK ImageProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    TPicture picture_;
    bool transparent_ = false;
    int dpi_ = 96;
};

// Clipboard: Unicode text.
std::u16string ClipboardText();
void SetClipboardText(HWND owner, std::u16string_view text);

}  // namespace tb
