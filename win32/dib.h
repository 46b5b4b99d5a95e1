// A TPixelGraphic as the GDI reads it: the DIB header and colour table that describe
// the picture's own buffer (its rows are bottom-up and DWORD-aligned, as a DIB's
// are), and a kept copy that controls paint 1:1 later.
// The dialog's previews, its logo and the picture open dialog's preview use it; the
// saver window describes its shown picture with DescribeDib before every paint.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <vector>

#include "imaging/pixel_graphic.h"

namespace quipix::win32 {

struct DibHeader {
    BITMAPINFOHEADER header{};
    RGBQUAD colors[256]{};
    // What the GDI's DIB calls take, with DIB_RGB_COLORS.
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(this); }
};

// Fills dib for picture: its size (rows bottom-up), bits per pixel, and for palette
// pictures the colours its bits can index.
void DescribeDib(DibHeader& dib, const TPixelGraphic& picture);

// A copy of a picture's pixels with their header, which stays valid however the
// picture changes afterwards. Empty until a picture of some size is kept.
class KeptDib {
public:
    void Keep(const TPixelGraphic& picture);
    bool Empty() const { return bits_.empty(); }
    int Width() const { return int(dib_.header.biWidth); }
    int Height() const { return int(dib_.header.biHeight); }

    // 1:1 in the middle of rect, the rest of rect filled with the dialog's face colour.
    void PaintCentred(HDC dc, const RECT& rect) const;

private:
    DibHeader dib_;
    std::vector<std::uint8_t> bits_;
};

}  // namespace quipix::win32
