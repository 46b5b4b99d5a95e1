// The frame's row conversions. Fades redraw the whole screen at every level, so the
// true-colour paths are written for speed: four pixels at a time, and the level applied
// on the way with exact integer arithmetic, never as a second pass over the picture.
#include "saver/scene_frame.h"

#include <algorithm>
#include <cstring>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quipix {

namespace {

std::uint32_t Xrgb(int r, int g, int b) {
    return 0xFF000000u | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | std::uint32_t(b);
}

// c * level div 255 for every byte value c.
using ScaleTable = std::array<std::uint8_t, 256>;
void MakeScaleTable(int level, ScaleTable& table) {
    for (int c = 0; c < 256; ++c) table[std::size_t(c)] = std::uint8_t(c * level / 255);
}

std::uint32_t FillXrgb(PGColor fill, int level) {
    return Xrgb(PGRed(fill) * level / 255, PGGreen(fill) * level / 255, PGBlue(fill) * level / 255);
}

void FillXrgbRow(std::uint32_t* d, int n, std::uint32_t pixel) { std::fill(d, d + n, pixel); }

// n 24-bit pixels (blue, green, red bytes) from s into 32-bit ones at d, at level.
void ConvertTrueColorRow(const std::uint8_t* s, std::uint32_t* d, int n, int level, const ScaleTable& scale) {
#if defined(__SSE2__)
    // Blue, green, red in memory is already 0x00RRGGBB when read little-endian: four
    // pixels come from one 16-byte load whose pixels are moved one, two and three bytes
    // up into their lanes. Below full level each byte v becomes v * level div 255,
    // computed exactly as ((x + 1) * 257) >> 16 with x = v * level: both fit 16 bits.
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    const __m128i lane0 = _mm_setr_epi32(0xFFFFFF, 0, 0, 0);
    const __m128i lane1 = _mm_setr_epi32(0, 0xFFFFFF, 0, 0);
    const __m128i lane2 = _mm_setr_epi32(0, 0, 0xFFFFFF, 0);
    const __m128i lane3 = _mm_setr_epi32(0, 0, 0, 0xFFFFFF);
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const __m128i k257 = _mm_set1_epi16(257);
    const __m128i factor = _mm_set1_epi16(short(level));
    const bool full = level >= 255;
    // Six pixels left keep the 16-byte load inside the row.
    for (; n >= 6; n -= 4, s += 12, d += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        __m128i px = _mm_or_si128(_mm_and_si128(v, lane0), _mm_and_si128(_mm_slli_si128(v, 1), lane1));
        px = _mm_or_si128(px, _mm_and_si128(_mm_slli_si128(v, 2), lane2));
        px = _mm_or_si128(px, _mm_and_si128(_mm_slli_si128(v, 3), lane3));
        if (!full) {
            __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(px, zero), factor);
            __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(px, zero), factor);
            lo = _mm_mulhi_epu16(_mm_add_epi16(lo, one), k257);
            hi = _mm_mulhi_epu16(_mm_add_epi16(hi, one), k257);
            px = _mm_packus_epi16(lo, hi);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(px, alpha));
    }
#endif
    for (; n > 0; --n, s += 3) *d++ = Xrgb(scale[s[2]], scale[s[1]], scale[s[0]]);
}

}  // namespace

TRect IntersectRect(const TRect& a, const TRect& b) {
    return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
}

TRect UniteRect(const TRect& a, const TRect& b) {
    if (EmptyRect(a)) return b;
    if (EmptyRect(b)) return a;
    return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
            std::max(a.Bottom, b.Bottom)};
}

void MakeXrgbTable(const TPixelGraphic& picture, int level, XrgbTable& table) {
    const auto& entries = picture.Palette();
    const PGColor fallback = entries.empty() ? 0 : entries[0];
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = FillXrgb(i < entries.size() ? entries[i] : fallback, level);
}

void ConvertPictureRows(const TPixelGraphic& picture, const XrgbTable& table, int level, int left, int right,
                        int top, int bottom, std::uint8_t* out, std::size_t stride) {
    level = std::clamp(level, 0, 255);
    const TPGPixelFormat format = picture.PixelFormat();
    ScaleTable scale{};
    if (format == pgpf24Bit) MakeScaleTable(level, scale);
    for (int y = top; y < bottom; ++y, out += stride) {
        const std::uint8_t* row = picture.ScanLine(y);
        auto* d = reinterpret_cast<std::uint32_t*>(out);
        switch (format) {
        case pgpf24Bit:
            if (level == 0)
                FillXrgbRow(d, right - left, Xrgb(0, 0, 0));
            else
                ConvertTrueColorRow(row + std::size_t(left) * 3, d, right - left, level, scale);
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

void ConvertFrameRows(const TSceneFrame& frame, const TRect& area, std::uint8_t* out, std::size_t stride) {
    if (EmptyRect(area)) return;
    const int level = std::clamp(frame.Level, 0, 255);
    const std::uint32_t fill = FillXrgb(frame.Fill, level);
    const TPixelGraphic* p = frame.Picture;
    const TRect covered =
        p && !p->Empty()
            ? IntersectRect(area, {frame.Left, frame.Top, frame.Left + p->Width(), frame.Top + p->Height()})
            : TRect{};
    XrgbTable table{};
    if (!EmptyRect(covered) && p->PixelFormat() != pgpf24Bit) MakeXrgbTable(*p, level, table);
    const int width = area.Width();
    for (int y = area.Top; y < area.Bottom; ++y, out += stride) {
        auto* d = reinterpret_cast<std::uint32_t*>(out);
        if (EmptyRect(covered) || y < covered.Top || y >= covered.Bottom) {
            FillXrgbRow(d, width, fill);
            continue;
        }
        FillXrgbRow(d, covered.Left - area.Left, fill);
        ConvertPictureRows(*p, table, level, covered.Left - frame.Left, covered.Right - frame.Left,
                           y - frame.Top, y - frame.Top + 1, out + std::size_t(covered.Left - area.Left) * 4,
                           stride);
        FillXrgbRow(d + (covered.Right - area.Left), area.Right - covered.Right, fill);
    }
}

void RenderFrameArea(const TSceneFrame& frame, const TRect& area, TPixelGraphic& target) {
    const TRect r = IntersectRect(area, {0, 0, target.Width(), target.Height()});
    if (EmptyRect(r) || target.PixelFormat() != pgpf24Bit) return;
    const int level = std::clamp(frame.Level, 0, 255);
    ScaleTable scale{};
    MakeScaleTable(level, scale);
    const PGColor f = frame.Fill;
    const std::uint8_t fill[3] = {scale[std::size_t(PGBlue(f))], scale[std::size_t(PGGreen(f))],
                                  scale[std::size_t(PGRed(f))]};
    const TPixelGraphic* p = frame.Picture;
    const TRect covered =
        p && !p->Empty()
            ? IntersectRect(r, {frame.Left, frame.Top, frame.Left + p->Width(), frame.Top + p->Height()})
            : TRect{};
    XrgbTable table{};
    std::vector<std::uint32_t> xrgb;
    if (!EmptyRect(covered) && p->PixelFormat() != pgpf24Bit) {
        MakeXrgbTable(*p, level, table);
        xrgb.resize(std::size_t(covered.Width()));
    }
    auto fillSpan = [&](std::uint8_t* d, int n) {
        for (int i = 0; i < n; ++i, d += 3) std::memcpy(d, fill, 3);
    };
    for (int y = r.Top; y < r.Bottom; ++y) {
        std::uint8_t* row = target.ScanLine(y);
        if (EmptyRect(covered) || y < covered.Top || y >= covered.Bottom) {
            fillSpan(row + std::size_t(r.Left) * 3, r.Width());
            continue;
        }
        fillSpan(row + std::size_t(r.Left) * 3, covered.Left - r.Left);
        std::uint8_t* d = row + std::size_t(covered.Left) * 3;
        const int sy = y - frame.Top;
        if (p->PixelFormat() == pgpf24Bit) {
            const std::uint8_t* s = p->ScanLine(sy) + std::size_t(covered.Left - frame.Left) * 3;
            const std::size_t n = std::size_t(covered.Width()) * 3;
            if (level == 255)
                std::memcpy(d, s, n);
            else
                for (std::size_t i = 0; i < n; ++i) d[i] = scale[s[i]];
        } else {
            // Through the same table as ConvertFrameRows, so that values past the
            // palette show as they do there.
            ConvertPictureRows(*p, table, level, covered.Left - frame.Left, covered.Right - frame.Left, sy,
                               sy + 1, reinterpret_cast<std::uint8_t*>(xrgb.data()), xrgb.size() * 4);
            for (const std::uint32_t px : xrgb) {
                d[0] = std::uint8_t(px);
                d[1] = std::uint8_t(px >> 8);
                d[2] = std::uint8_t(px >> 16);
                d += 3;
            }
        }
        fillSpan(row + std::size_t(covered.Right) * 3, r.Right - covered.Right);
    }
}

}  // namespace quipix
