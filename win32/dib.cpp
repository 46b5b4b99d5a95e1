// DIB headers over pictures, and kept copies of them for owner-drawn controls.
#include "win32/dib.h"

#include <algorithm>

namespace quipix::win32 {

void DescribeDib(DibHeader& dib, const TPixelGraphic& picture) {
    const int bits = PixelFormatBits(picture.PixelFormat());
    BITMAPINFOHEADER& h = dib.header;
    h = BITMAPINFOHEADER{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = picture.Width();
    h.biHeight = picture.Height();  // positive: bottom-up, as the picture keeps its rows
    h.biPlanes = 1;
    h.biBitCount = WORD(bits);
    h.biCompression = BI_RGB;
    const int colors = bits <= 8 ? std::clamp(picture.PaletteCount(), 0, 1 << bits) : 0;
    h.biClrUsed = DWORD(colors);
    for (int i = 0; i < colors; ++i) {
        const PGColor c = picture.PaletteEntries(i);
        dib.colors[i] = RGBQUAD{BYTE(PGBlue(c)), BYTE(PGGreen(c)), BYTE(PGRed(c)), 0};
    }
}

void KeptDib::Keep(const TPixelGraphic& picture) {
    DescribeDib(dib_, picture);
    bits_.clear();
    const int height = picture.Height();
    if (picture.Width() > 0 && height > 0) {
        // The bottom row comes first in memory.
        const std::uint8_t* first = picture.ScanLine(height - 1);
        bits_.assign(first, first + std::size_t(picture.Stride()) * std::size_t(height));
    }
}

void KeptDib::PaintCentred(HDC dc, const RECT& rect) const {
    const int w = Width(), h = Height();
    if (bits_.empty() || w < rect.right - rect.left || h < rect.bottom - rect.top)
        FillRect(dc, &rect, GetSysColorBrush(COLOR_BTNFACE));
    if (bits_.empty()) return;
    SetDIBitsToDevice(dc, rect.left + (rect.right - rect.left - w) / 2,
                      rect.top + (rect.bottom - rect.top - h) / 2, DWORD(w), DWORD(h), 0, 0, 0, UINT(h),
                      bits_.data(), dib_.Info(), DIB_RGB_COLORS);
}

}  // namespace quipix::win32
