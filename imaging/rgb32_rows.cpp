// The one conversion of picture rows to 32-bit pixels, written for the per-tick strips
// and for fades that redraw the whole screen at every level: 24-bit rows four pixels at
// a time with the level applied on the way in exact integer arithmetic, palette rows
// through a lookup table made at that level.
#include "imaging/rgb32_rows.h"

#include <algorithm>

#include "imaging/cpu_features.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace quipix {

namespace {

std::uint32_t Xrgb(int r, int g, int b) {
    return 0xFF000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | std::uint32_t(b);
}

#if defined(__SSE2__)
// The factor of ScaleBytes for a level of 0 to 254.
inline __m128i ScaleFactor(int level) { return _mm_set1_epi16(short(level * 257 + 1)); }

// Each byte v of px as v * level div 255, in one multiply per 16-bit lane: for v up
// to 255 and level up to 254, (v * (level * 257 + 1)) >> 16 is exactly that quotient
// (the frame conversion's tests check every pair), so a fade's whole-screen conversion
// costs little more than its copy.
inline __m128i ScaleBytes(__m128i px, __m128i factor) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(px, zero), factor);
    const __m128i hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(px, zero), factor);
    return _mm_packus_epi16(lo, hi);
}
#endif

void ConvertTrueColorTail(const std::uint8_t* s, std::uint32_t* d, int n, int level) {
    if (level >= 255) {
        for (; n > 0; --n, s += 3) *d++ = Xrgb(s[2], s[1], s[0]);
        return;
    }
    for (; n > 0; --n, s += 3) *d++ = Xrgb(s[2] * level / 255, s[1] * level / 255, s[0] * level / 255);
}

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
// Four pixels spread into their lanes by one byte shuffle.
__attribute__((target("ssse3"))) void ConvertTrueColorRowShuffle(const std::uint8_t* s, std::uint32_t* d,
                                                                 int n, int level) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    const __m128i factor = ScaleFactor(std::min(level, 254));
    const bool full = level >= 255;
    // Six pixels left keep the 16-byte load inside the row.
    for (; n >= 6; n -= 4, s += 12, d += 4) {
        __m128i px = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), order);
        if (!full) px = ScaleBytes(px, factor);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(px, alpha));
    }
    ConvertTrueColorTail(s, d, n, level);
}
#endif

// n 24-bit pixels (blue, green, red bytes) from s into 32-bit ones at d, at level.
void ConvertTrueColorRow(const std::uint8_t* s, std::uint32_t* d, int n, int level) {
#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
    if (HaveByteShuffle()) return ConvertTrueColorRowShuffle(s, d, n, level);
#endif
#if defined(__SSE2__)
    // Blue, green, red in memory is already 0x00RRGGBB when read little-endian: four
    // pixels come from one 16-byte load whose pixels are moved one, two and three bytes
    // up into their lanes.
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    const __m128i lane0 = _mm_setr_epi32(0xFFFFFF, 0, 0, 0);
    const __m128i lane1 = _mm_setr_epi32(0, 0xFFFFFF, 0, 0);
    const __m128i lane2 = _mm_setr_epi32(0, 0, 0xFFFFFF, 0);
    const __m128i lane3 = _mm_setr_epi32(0, 0, 0, 0xFFFFFF);
    const __m128i factor = ScaleFactor(std::min(level, 254));
    const bool full = level >= 255;
    // Six pixels left keep the 16-byte load inside the row.
    for (; n >= 6; n -= 4, s += 12, d += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        __m128i px = _mm_or_si128(_mm_and_si128(v, lane0), _mm_and_si128(_mm_slli_si128(v, 1), lane1));
        px = _mm_or_si128(px, _mm_and_si128(_mm_slli_si128(v, 2), lane2));
        px = _mm_or_si128(px, _mm_and_si128(_mm_slli_si128(v, 3), lane3));
        if (!full) px = ScaleBytes(px, factor);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(px, alpha));
    }
#endif
    ConvertTrueColorTail(s, d, n, level);
}

}  // namespace

void MakePaletteTable(const TPixelGraphic& picture, PaletteTable& table, int level) {
    level = std::clamp(level, 0, 255);
    const auto& entries = picture.Palette();
    const PGColor fallback = entries.empty() ? 0 : entries[0];
    for (std::size_t i = 0; i < table.size(); ++i) {
        const PGColor c = i < entries.size() ? entries[i] : fallback;
        table[i] = Xrgb(PGRed(c) * level / 255, PGGreen(c) * level / 255, PGBlue(c) * level / 255);
    }
}

void ConvertPixelGraphicRows(const TPixelGraphic& picture, const PaletteTable& table, int left, int right,
                             int top, int bottom, std::uint8_t* out, std::size_t stride, int level) {
    level = std::clamp(level, 0, 255);
    const TPGPixelFormat format = picture.PixelFormat();
    for (int y = top; y < bottom; ++y, out += stride) {
        const std::uint8_t* row = picture.ScanLine(y);
        auto* d = reinterpret_cast<std::uint32_t*>(out);
        switch (format) {
        case pgpf24Bit:
            if (level == 0)
                std::fill(d, d + (right - left), Xrgb(0, 0, 0));
            else
                ConvertTrueColorRow(row + std::size_t(left) * 3, d, right - left, level);
            break;
        case pgpf8Bit:
            for (int x = left; x < right; ++x) *d++ = table[row[x]];
            break;
        case pgpf4Bit:
            for (int x = left; x < right; ++x)
                *d++ = table[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)];
            break;
        case pgpf1Bit:
            for (int x = left; x < right; ++x) *d++ = table[(row[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        }
    }
}

}  // namespace quipix
