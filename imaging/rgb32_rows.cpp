// The one conversion of picture rows to 32-bit pixels, written for the per-tick
// strips: 24-bit rows four pixels at a time, palette rows through a lookup table.
#include "imaging/rgb32_rows.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quipix {

void MakePaletteTable(const TPixelGraphic& picture, PaletteTable& table) {
    // Values past the palette show entry 0, or black without one.
    const auto& entries = picture.Palette();
    const PGColor fallback = entries.empty() ? 0 : entries[0];
    for (std::size_t i = 0; i < table.size(); ++i) {
        const PGColor c = i < entries.size() ? entries[i] : fallback;
        table[i] = 0xFF000000u | (std::uint32_t(PGRed(c)) << 16) | (std::uint32_t(PGGreen(c)) << 8) |
                   std::uint32_t(PGBlue(c));
    }
}

void ConvertPixelGraphicRows(const TPixelGraphic& picture, const PaletteTable& lut, int left, int right,
                             int top, int bottom, std::uint8_t* out, std::size_t stride) {
    const TPixelGraphic* pic = &picture;
    const TPGPixelFormat format = pic->PixelFormat();
    for (int y = top; y < bottom; ++y, out += stride) {
        const std::uint8_t* row = pic->ScanLine(y);
        auto* d = reinterpret_cast<std::uint32_t*>(out);
        if (format == pgpf24Bit) {
            // Blue, green, red in memory is already 0x00RRGGBB when read little-endian:
            // four pixels come from three 32-bit loads, or from one 16-byte load whose
            // pixels are moved one, two and three bytes up into their lanes.
            const std::uint8_t* s = row + std::size_t(left) * 3;
            int n = right - left;
#if defined(__SSE2__)
            const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
            const __m128i lane0 = _mm_setr_epi32(0xFFFFFF, 0, 0, 0);
            const __m128i lane1 = _mm_setr_epi32(0, 0xFFFFFF, 0, 0);
            const __m128i lane2 = _mm_setr_epi32(0, 0, 0xFFFFFF, 0);
            const __m128i lane3 = _mm_setr_epi32(0, 0, 0, 0xFFFFFF);
            // Six pixels left keep the 16-byte load inside the row.
            for (; n >= 6; n -= 4, s += 12, d += 4) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
                __m128i px =
                    _mm_or_si128(_mm_and_si128(v, lane0), _mm_and_si128(_mm_slli_si128(v, 1), lane1));
                px = _mm_or_si128(px, _mm_and_si128(_mm_slli_si128(v, 2), lane2));
                px = _mm_or_si128(px, _mm_and_si128(_mm_slli_si128(v, 3), lane3));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(px, alpha));
            }
#endif
            for (; n >= 4; n -= 4, s += 12, d += 4) {
                std::uint32_t w[3];
                std::memcpy(w, s, 12);
                d[0] = 0xFF000000u | (w[0] & 0xFFFFFFu);
                d[1] = 0xFF000000u | (w[0] >> 24) | ((w[1] << 8) & 0xFFFF00u);
                d[2] = 0xFF000000u | (w[1] >> 16) | ((w[2] << 16) & 0xFF0000u);
                d[3] = 0xFF000000u | (w[2] >> 8);
            }
            for (; n > 0; --n, s += 3)
                *d++ = 0xFF000000u | (std::uint32_t(s[2]) << 16) | (std::uint32_t(s[1]) << 8) |
                       std::uint32_t(s[0]);
            continue;
        }
        d -= left;  // palette rows are indexed by picture column
        switch (format) {
        case pgpf8Bit:
            for (int x = left; x < right; ++x) d[x] = lut[row[x]];
            break;
        case pgpf4Bit:
            for (int x = left; x < right; ++x)
                d[x] = lut[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)];
            break;
        case pgpf1Bit:
            for (int x = left; x < right; ++x) d[x] = lut[(row[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case pgpf24Bit:
            break;
        }
    }
}

}  // namespace quipix
