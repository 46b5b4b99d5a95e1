// Rectangle copies and resampling, checked against plain per-pixel renderings of the
// same sampling rules (no separable passes, no reciprocal division, no row cache).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "imaging/pixel_graphic.h"
#include "support/image_checks.h"

namespace quipix {
namespace {

void FillRandom(TPixelGraphic& g, unsigned seed) {
    std::mt19937 rng(seed);
    for (int y = 0; y < g.Height(); ++y)
        for (int x = 0; x < g.Width(); ++x) g.SetPixels(x, y, rng() & 0xFFFFFF);
}

// --- reference resampling ---

struct RefSample {
    bool usable = false;
    std::int64_t den = 1;
    std::vector<std::pair<std::int64_t, std::int64_t>> taps;  // position, weight
};

RefSample Sample(TStretchMode mode, std::int64_t k, std::int64_t b, std::int64_t f, std::int64_t S,
                 std::int64_t size) {
    RefSample s;
    auto in = [&](std::int64_t v) { return v >= 0 && v < size; };
    if (mode == smFast || b == f) {
        const std::int64_t s0 = mode == smFast ? S + b * k / f : k + S;
        s.usable = in(s0);
        s.taps = {{s0, 1}};
        return s;
    }
    const bool twoTap = (mode == smMedium) == (f < b);
    if (twoTap) {
        s.den = 2 * f;
        std::int64_t s0 = S + (b + 2 * k * b - f) / (2 * f);
        std::int64_t s1 = S + (b + 2 * k * b + f) / (2 * f);
        if (in(s0) != in(s1) && f > b) {
            s0 = std::clamp<std::int64_t>(s0, 0, size - 1);
            s1 = std::clamp<std::int64_t>(s1, 0, size - 1);
        }
        s.usable = in(s0) && in(s1);
        if (f + 2 * f * (s0 - S) == b + 2 * k * b || s0 == s1)
            s.taps = {{s0, 2 * f}};
        else
            s.taps = {{s0, 2 * f + (f + 2 * f * (s0 - S)) - b - 2 * k * b},
                      {s1, 2 * f + b + 2 * k * b - f - 2 * f * (s1 - S)}};
        return s;
    }
    s.den = b;
    const std::int64_t s0 = S + b * k / f;
    std::int64_t s1 = S + b * (k + 1) / f;
    if (b * (k + 1) % f == 0) --s1;
    s.usable = in(s0) && in(s1);
    if (s0 == s1) {
        s.taps = {{s0, b}};
    } else {
        s.taps.push_back({s0, f * (s0 - S + 1) - b * k});
        for (std::int64_t c = s0 + 1; c < s1; ++c) s.taps.push_back({c, f});
        s.taps.push_back({s1, b * (k + 1) - f * (s1 - S)});
    }
    return s;
}

void RefStretch(TPixelGraphic& dst, int dx, int dy, int dw, int dh, const TPixelGraphic& src, int sx, int sy,
                int sw, int sh, TStretchMode mode) {
    for (int y = std::max(dy, 0); y <= std::min(dy + dh - 1, dst.Height() - 1); ++y) {
        const RefSample rs = Sample(mode, y - dy, sh, dh, sy, src.Height());
        if (!rs.usable) continue;
        for (int x = std::max(dx, 0); x <= std::min(dx + dw - 1, dst.Width() - 1); ++x) {
            const RefSample cs = Sample(mode, x - dx, sw, dw, sx, src.Width());
            if (!cs.usable) continue;
            int out[3];
            for (int ch = 0; ch < 3; ++ch) {
                std::int64_t acc = 0;
                for (auto [r, wr] : rs.taps) {
                    std::int64_t sum = 0;
                    for (auto [c, wc] : cs.taps)
                        sum += wc * ((src.Pixels(int(c), int(r)) >> (8 * ch)) & 0xFF);
                    acc += sum / cs.den * wr;
                }
                out[ch] = int(acc / rs.den);
            }
            dst.SetPixels(x, y, PGRGB(out[0], out[1], out[2]));
        }
    }
}

// --- CopyRect ---

TEST(CopyRect, NegativeDestinationClipsTheSourceLeftPart) {
    TPixelGraphic src, dst;
    src.SetSize(6, 3, pgpf24Bit);
    FillRandom(src, 1);
    dst.SetSize(5, 4, pgpf24Bit);
    dst.SetBackGroundColor(PGRGB(1, 1, 1));
    dst.Clear();
    int calls = 0;
    dst.OnChange = [&](TPixelGraphic&) { ++calls; };
    dst.CopyRect(-2, 1, src, 0, 0, 6, 3);
    EXPECT_EQ(calls, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const PGColor want = (y >= 1 && x < 4) ? src.Pixels(x + 2, y - 1) : PGRGB(1, 1, 1);
            EXPECT_EQ(dst.Pixels(x, y), want) << x << "," << y;
        }
}

TEST(CopyRect, MixedFormatsAndSourceOffsets) {
    TPixelGraphic src, dst;
    src.SetSize(7, 5, pgpf4Bit);
    src.SetPaletteIdent(pSys16);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) src.SetPixelValues(x, y, std::uint32_t(x + 3 * y) & 15);
    dst.SetSize(4, 4, pgpf24Bit);
    dst.CopyRect(1, 0, src, 2, 3, 10, 10);  // only rows 3 and 4 of the source exist
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool inside = x >= 1 && y < 2;
            EXPECT_EQ(dst.Pixels(x, y), inside ? src.Pixels(x + 1, y + 3) : 0u) << x << "," << y;
        }
}

TEST(CopyRect, OntoItselfOverlapping) {
    TPixelGraphic g, before;
    g.SetSize(8, 8, pgpf24Bit);
    FillRandom(g, 2);
    before.CopyPicture(&g);
    g.CopyRect(1, 1, g, 0, 0, 8, 8);
    for (int y = 1; y < 8; ++y)
        for (int x = 1; x < 8; ++x) ASSERT_EQ(g.Pixels(x, y), before.Pixels(x - 1, y - 1));
}

TEST(CopyRect, WithoutDitherAFlatAreaStaysFlat) {
    TPixelGraphic src, dst;
    src.SetSize(9, 6, pgpf24Bit);
    src.SetBackGroundColor(PGRGB(100, 150, 30));
    src.Clear();
    dst.SetSize(9, 6, pgpf8Bit);
    dst.SetPaletteIdent(pSpecial216);
    dst.Dither = false;
    dst.CopyRect(0, 0, src, 0, 0, 9, 6);
    const std::uint32_t v = dst.PixelValues(0, 0);
    EXPECT_EQ(v, std::uint32_t(dst.NearestPaletteIndex(PGRGB(100, 150, 30))));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(dst.PixelValues(x, y), v);
    // With dithering the same area mixes entries whose mean is near the colour.
    dst.Dither = true;
    dst.CopyRect(0, 0, src, 0, 0, 9, 6);
    int red = 0, distinct = 0;
    std::uint32_t first = dst.PixelValues(0, 0);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) {
            red += PGRed(dst.Pixels(x, y));
            distinct += dst.PixelValues(x, y) != first;
        }
    EXPECT_GT(distinct, 0);
    EXPECT_NEAR(red / 54.0, 100.0, 8.0);
}

TEST(CopyRect, ProgressReportsRowsAndAbortStops) {
    TPixelGraphic src, dst;
    src.SetSize(4, 10, pgpf24Bit);
    FillRandom(src, 3);
    dst.SetSize(4, 10, pgpf24Bit);
    int changes = 0;
    dst.OnChange = [&](TPixelGraphic&) { ++changes; };
    test::ProgressLog log(dst, 2);
    dst.CopyRect(0, 2, src, 0, 0, 4, 10);
    EXPECT_EQ(log.starts, 1);
    EXPECT_EQ(log.ends, 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(log.steps, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(log.maxima.front(), 7);
    EXPECT_EQ(dst.Pixels(0, 4), src.Pixels(0, 2));
    EXPECT_EQ(dst.Pixels(0, 5), 0u);  // after the abort
}

// --- StretchCopy ---

TEST(StretchCopy, PreciseEnlargeTakesColumnZeroAlone) {
    TPixelGraphic src, dst;
    src.SetSize(10, 1, pgpf24Bit);
    FillRandom(src, 4);
    dst.SetSize(20, 1, pgpf24Bit);
    dst.AssignStretched(src);
    EXPECT_EQ(dst.Pixels(0, 0), src.Pixels(0, 0));   // weight 40 of 40
    EXPECT_EQ(dst.Pixels(19, 0), src.Pixels(9, 0));  // the stray tap is clamped
    // Column 1 lies a quarter of the way to source column 1: weights 30 and 10.
    const PGColor a = src.Pixels(0, 0), b = src.Pixels(1, 0);
    EXPECT_EQ(PGRed(dst.Pixels(1, 0)), (30 * PGRed(a) + 10 * PGRed(b)) / 40);
    EXPECT_EQ(PGBlue(dst.Pixels(1, 0)), (30 * PGBlue(a) + 10 * PGBlue(b)) / 40);
}

TEST(StretchCopy, EqualSizesAreAPlainCopy) {
    TPixelGraphic src, dst;
    src.SetSize(13, 7, pgpf24Bit);
    FillRandom(src, 5);
    dst.SetSize(13, 7, pgpf24Bit);
    dst.AssignStretched(src);
    EXPECT_EQ(std::memcmp(src.Buffer(), dst.Buffer(), src.BufferSize()), 0);
}

TEST(StretchCopy, MatchesPerPixelRenderingInEveryMode) {
    std::mt19937 rng(6);
    for (int round = 0; round < 60; ++round) {
        const TStretchMode mode = TStretchMode(round % 3);
        TPixelGraphic src, got, want;
        src.SetSize(1 + int(rng() % 40), 1 + int(rng() % 40), pgpf24Bit);
        FillRandom(src, rng());
        const int w = 1 + int(rng() % 50), h = 1 + int(rng() % 50);
        got.SetSize(w, h, pgpf24Bit);
        want.SetSize(w, h, pgpf24Bit);
        got.StretchMode = mode;
        // Mostly whole pictures; every fourth round odd rectangles that stick out.
        int dx = 0, dy = 0, dw = w, dh = h, sx = 0, sy = 0, sw = src.Width(), sh = src.Height();
        if (round % 4 == 3) {
            dx = int(rng() % 9) - 4, dy = int(rng() % 9) - 4;
            dw = 1 + int(rng() % 60), dh = 1 + int(rng() % 60);
            sx = int(rng() % 9) - 4, sy = int(rng() % 9) - 4;
            sw = 1 + int(rng() % 45), sh = 1 + int(rng() % 45);
            if (sw == dw && sh == dh) ++dw;
        }
        got.StretchCopy(dx, dy, dw, dh, src, sx, sy, sw, sh);
        RefStretch(want, dx, dy, dw, dh, src, sx, sy, sw, sh, mode);
        ASSERT_EQ(std::memcmp(got.Buffer(), want.Buffer(), got.BufferSize()), 0)
            << "round " << round << " mode " << mode << " " << src.Width() << "x" << src.Height() << " -> "
            << w << "x" << h;
    }
}

TEST(StretchCopy, LargeShrinkFactorsAndPaletteSources) {
    TPixelGraphic src, got, want;
    src.SetSize(300, 7, pgpf8Bit);
    src.SetPaletteIdent(pSpecial216);
    std::mt19937 rng(7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 300; ++x) src.SetPixelValues(x, y, rng() % 216);
    got.SetSize(7, 3, pgpf24Bit);
    want.SetSize(7, 3, pgpf24Bit);
    got.AssignStretched(src);
    RefStretch(want, 0, 0, 7, 3, src, 0, 0, 300, 7, smPrecise);
    EXPECT_EQ(std::memcmp(got.Buffer(), want.Buffer(), got.BufferSize()), 0);
}

TEST(StretchCopy, EmptyRectanglesDoNothing) {
    TPixelGraphic src, dst;
    src.SetSize(4, 4, pgpf24Bit);
    FillRandom(src, 8);
    dst.SetSize(4, 4, pgpf24Bit);
    dst.StretchCopy(0, 0, 4, 4, src, 0, 0, 0, 3);
    dst.StretchCopy(0, 0, 0, 4, src, 0, 0, 2, 3);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(dst.Pixels(i % 4, i / 4), 0u);
}

}  // namespace
}  // namespace quipix
