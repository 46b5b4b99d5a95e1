// Colour mapping: nearest palette entries and their cache, error diffusion (against a
// plain rendering of the same rules) and optimized palettes.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <set>

#include "imaging/exceptions.h"
#include "imaging/pixel_graphic.h"

namespace quipix {
namespace {

void SetPalette(TPixelGraphic& g, const std::vector<PGColor>& colours) {
    g.SetPaletteCount(int(colours.size()));
    for (std::size_t i = 0; i < colours.size(); ++i) g.SetPaletteEntries(int(i), colours[i]);
}

// --- nearest entry ---

TEST(Nearest, FixedKindsUseTheirFormulas) {
    TPixelGraphic g;
    g.SetSize(1, 1, pgpf8Bit);
    g.SetPaletteIdent(pGray16);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(255, 255, 255)), 15);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(200, 0, 0)), (179 + 25) / 51);
    g.SetRGBWeighting(false);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(200, 0, 0)), (200 + 25) / 51);
    g.SetPaletteIdent(pSysGray4);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(64, 64, 64)), 0);  // L = 192
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(66, 64, 64)), 1);  // L = 193
    g.SetPaletteIdent(pSpecial216);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(255, 27, 25)), 5 * 36 + 6);
    g.SetPaletteIdent(pSpecial125);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(224, 223, 0)), 4 * 25 + 3 * 5);
    g.SetPaletteIdent(pBlackWhite);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(126, 128, 128)), 0);  // L = 382
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(128, 128, 128)), 1);
}

TEST(Nearest, OwnTablesAnswerWithTheTrulyNearestEntry) {
    TPixelGraphic g;
    g.SetSize(1, 1, pgpf8Bit);
    std::mt19937 rng(11);
    for (TPaletteIdent k : {pSys16, pSpecial252, pGray236}) {
        g.SetPaletteIdent(k);
        g.SetRGBWeighting(false);
        const auto& t = FixedPalette(k);
        for (int i = 0; i < 300; ++i) {
            PGColor c = rng() & 0xFFFFFF;
            if (k == pGray236) c = PGRGB(PGRed(c), PGRed(c), PGRed(c));
            auto dist = [&](PGColor e) {
                const int dr = PGRed(e) - PGRed(c), dg = PGGreen(e) - PGGreen(c), db = PGBlue(e) - PGBlue(c);
                return dr * dr + dg * dg + db * db;
            };
            const int best = g.NearestPaletteIndex(c);
            for (PGColor e : t) ASSERT_LE(dist(t[std::size_t(best)]), dist(e)) << k;
        }
    }
}

TEST(Nearest, ColoursOfOneCellShareAnIndex) {
    TPixelGraphic g;
    g.SetSize(1, 1, pgpf8Bit);
    SetPalette(g, {PGRGB(0, 0, 0), PGRGB(6, 0, 0), PGRGB(250, 250, 250)});
    // Both first entries live in cell (0, 0, 0); the first one seeds it.
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(7, 0, 0)), 0);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(0, 0, 0)), 0);
    g.SetNearestColorCache(false);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(7, 0, 0)), 1);
    g.SetNearestColorCache(true);
    // A cell seeding left open takes the exact answer of its first colour.
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(120, 124, 120)), 1);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(127, 127, 127)), 1);  // exactly nearest: entry 2
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(200, 200, 200)), 2);
}

TEST(Nearest, PaletteEditsInvalidateMemoAndCache) {
    TPixelGraphic g;
    g.SetSize(1, 1, pgpf8Bit);
    SetPalette(g, {PGRGB(0, 0, 0), PGRGB(255, 255, 255)});
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(10, 10, 10)), 0);
    g.SetPaletteEntries(1, PGRGB(10, 10, 10));
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(10, 10, 10)), 1);
    g.SetPaletteIdent(pGray256);
    EXPECT_EQ(g.NearestPaletteIndex(PGRGB(10, 10, 10)), 10);
    g.SetPaletteIdent(pNone);
    EXPECT_THROW(g.NearestPaletteIndex(PGRGB(10, 10, 10)), EPGNoPalette);
}

// --- error diffusion against a plain rendering ---

int Lim(int i, int b, bool soft) {
    const int a = std::abs(i);
    int v = a;
    if (b != 255 && a >= b) v = b;
    if (soft && a >= b / 2 && a <= 3 * b / 2 && a < 255) v = a / 2 + b / 4;
    return i < 0 ? -v : v;
}

int Round16(int s) { return s >= 0 ? (s + 8) / 16 : -((-s + 8) / 16); }

// Dithers src into a copy of `palette` (an 8-bit picture of the same size).
std::vector<int> RefDither(const TPixelGraphic& src, const TPixelGraphic& palette, int b, bool soft,
                           bool grey) {
    TPixelGraphic look;
    look.CopyPicture(&palette);
    const int w = src.Width();
    std::vector<int> out(std::size_t(w * src.Height()));
    std::vector<std::array<int, 3>> cur(std::size_t(w + 2)), next(std::size_t(w + 2));
    for (int y = 0; y < src.Height(); ++y) {
        std::swap(cur, next);
        for (auto& e : next) e = {0, 0, 0};
        const bool ltr = y % 2 == 0;
        const int d = ltr ? 1 : -1;
        for (int i = 0; i < w; ++i) {
            const int x = ltr ? i : w - 1 - i;
            const PGColor c = src.Pixels(x, y);
            const int cx = x + 1;
            std::array<int, 3> v{}, err{};
            int index;
            if (grey) {
                const int g = std::clamp(
                    Luminance(c, look.RGBWeighting()) / 3 + Lim(Round16(cur[cx][1]), b, soft), 0, 255);
                index = look.NearestPaletteIndex(PGRGB(g, g, g));
                err[1] = g - PGGreen(look.PaletteEntries(index));
            } else {
                for (int ch = 0; ch < 3; ++ch)
                    v[ch] =
                        std::clamp(int((c >> (8 * ch)) & 0xFF) + Lim(Round16(cur[cx][ch]), b, soft), 0, 255);
                index = look.NearestPaletteIndex(PGRGB(v[0], v[1], v[2]));
                const PGColor e = look.PaletteEntries(index);
                for (int ch = 0; ch < 3; ++ch) err[ch] = v[ch] - int((e >> (8 * ch)) & 0xFF);
            }
            out[std::size_t(y * w + x)] = index;
            for (int ch = 0; ch < 3; ++ch) {
                cur[cx + d][ch] += 7 * err[ch];
                next[cx - d][ch] += 3 * err[ch];
                next[cx][ch] += 5 * err[ch];
                next[cx + d][ch] += err[ch];
            }
        }
    }
    return out;
}

void Gradient(TPixelGraphic& g, int w, int h, unsigned seed) {
    g.SetSize(w, h, pgpf24Bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g.SetPixels(x, y, PGRGB(x * 255 / w, y * 255 / h, int(rng() % 64) + 96));
}

void ExpectMatchesReference(TPixelGraphic& dst, const TPixelGraphic& src, int b, bool soft, bool grey) {
    const std::vector<int> want = RefDither(src, dst, b, soft, grey);
    dst.AssignStretched(src);
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x)
            ASSERT_EQ(int(dst.PixelValues(x, y)), want[std::size_t(y * src.Width() + x)]) << x << "," << y;
}

TEST(Dither, ArbitraryPaletteFollowsTheSerpentineRules) {
    TPixelGraphic src;
    Gradient(src, 37, 23, 12);
    TPixelGraphic dst;
    dst.SetSize(37, 23, pgpf8Bit);
    std::mt19937 rng(13);
    std::vector<PGColor> colours;
    for (int i = 0; i < 40; ++i) colours.push_back(rng() & 0xFFFFFF);
    SetPalette(dst, colours);
    dst.SetNearestColorCache(false);
    ExpectMatchesReference(dst, src, 32, true, false);
    dst.DitherErrorLimitAuto = false;
    dst.DitherErrorLimit = 255;
    dst.DitherErrorLimitSoft = false;
    ExpectMatchesReference(dst, src, 255, false, false);
}

TEST(Dither, GreyPalettesCarryTheLuminanceError) {
    TPixelGraphic src;
    Gradient(src, 31, 17, 14);
    TPixelGraphic dst;
    dst.SetSize(31, 17, pgpf8Bit);
    dst.SetPaletteIdent(pGray16);
    ExpectMatchesReference(dst, src, 128, true, true);
    dst.SetPaletteIdent(pBlackWhite);
    ExpectMatchesReference(dst, src, 255, true, true);
}

TEST(Dither, HalfGreyOnBlackAndWhiteMakesACheckerboard) {
    TPixelGraphic src, dst;
    src.SetSize(4, 2, pgpf24Bit);
    src.SetBackGroundColor(PGRGB(128, 128, 128));
    src.Clear();
    dst.SetSize(4, 2, pgpf1Bit);
    dst.SetPaletteIdent(pBlackWhite);
    dst.AssignStretched(src);
    EXPECT_EQ(dst.ScanLine(0)[0], 0xA0);  // white, black, white, black
    EXPECT_EQ(dst.ScanLine(1)[0], 0x50);
}

// --- optimized palettes ---

TEST(OptimizedPalette, OneColourGivesItsCellCentre) {
    TPixelGraphic src, dst;
    src.SetSize(5, 5, pgpf24Bit);
    src.SetBackGroundColor(PGRGB(255, 0, 0));
    src.Clear();
    dst.SetSize(5, 5, pgpf8Bit);
    dst.CreateOptimizedPalette(src, 236, false);
    ASSERT_EQ(dst.PaletteCount(), 1);
    EXPECT_EQ(dst.PaletteEntries(0), PGRGB(252, 2, 4));
    EXPECT_EQ(dst.PaletteIdent(), pUnknown);
}

TEST(OptimizedPalette, EmptySourceOrNoRoomGivesSystemColours) {
    TPixelGraphic src, dst;
    dst.SetSize(2, 2, pgpf8Bit);
    dst.CreateOptimizedPalette(src, 236, false);
    EXPECT_EQ(dst.PaletteCount(), 16);
    EXPECT_EQ(dst.PaletteIdent(), pSys16);
    dst.CreateOptimizedPalette(src, 5, false);
    ASSERT_EQ(dst.PaletteCount(), 5);
    EXPECT_EQ(dst.PaletteEntries(4), PGRGB(0, 0, 128));
    src.SetSize(3, 3, pgpf24Bit);
    dst.CreateOptimizedPalette(src, 16, true);  // nothing left for the picture's own colours
    EXPECT_EQ(dst.PaletteCount(), 16);
}

TEST(OptimizedPalette, MedianCutFillsTheTargetAndAppendsSystemColours) {
    TPixelGraphic src;
    Gradient(src, 120, 90, 15);
    TPixelGraphic dst;
    dst.SetSize(1, 1, pgpf8Bit);
    dst.CreateOptimizedPalette(src, 236, false);
    EXPECT_EQ(dst.PaletteCount(), 236);
    std::set<PGColor> distinct(dst.Palette().begin(), dst.Palette().end());
    EXPECT_GT(distinct.size(), 200u);
    dst.CreateOptimizedPalette(src, 40, true);
    ASSERT_EQ(dst.PaletteCount(), 40);
    EXPECT_EQ(dst.PaletteEntries(24), 0u);  // system colours follow the 24 computed ones
    EXPECT_EQ(dst.PaletteEntries(39), PGRGB(255, 255, 255));
    // Two colours in distant cells: one box each, at the cell centres.
    TPixelGraphic two;
    two.SetSize(2, 1, pgpf24Bit);
    two.SetPixels(0, 0, PGRGB(0, 0, 0));
    two.SetPixels(1, 0, PGRGB(255, 255, 255));
    dst.CreateOptimizedPalette(two, 236, false);
    ASSERT_EQ(dst.PaletteCount(), 2);
    std::set<PGColor> got(dst.Palette().begin(), dst.Palette().end());
    EXPECT_EQ(got, (std::set<PGColor>{PGRGB(4, 2, 4), PGRGB(252, 254, 252)}));
}

TEST(OptimizedPalette, OctreeKeepsFewColoursAndMergesBeyondTheTarget) {
    TPixelGraphic src;
    src.SetSize(4, 1, pgpf8Bit);
    SetPalette(src, {PGRGB(0, 0, 0), PGRGB(255, 255, 255), PGRGB(0, 0, 255), PGRGB(9, 9, 9)});
    src.SetPixelValues(1, 0, 1);  // indices 0, 1, 0, 0: entries 2 and 3 unused
    TPixelGraphic dst;
    dst.SetSize(1, 1, pgpf8Bit);
    dst.CreateOptimizedPalette(src, 236, false);
    ASSERT_EQ(dst.PaletteCount(), 2);
    EXPECT_EQ(dst.PaletteEntries(0), PGRGB(0, 0, 0));
    EXPECT_EQ(dst.PaletteEntries(1), PGRGB(255, 255, 255));
    // One colour asked for: the two merge into their weighted mean.
    dst.CreateOptimizedPalette(src, 1, false);
    ASSERT_EQ(dst.PaletteCount(), 1);
    EXPECT_EQ(dst.PaletteEntries(0), PGRGB(63, 63, 63));
    // The picture's own palette as source.
    src.CreateOptimizedPalette(src, 236, false);
    EXPECT_EQ(src.PaletteCount(), 2);
}

TEST(OptimizedPalette, AbortKeepsTheRowsCounted) {
    TPixelGraphic src, dst;
    src.SetSize(2, 4, pgpf24Bit);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x) src.SetPixels(x, y, y == 0 ? PGRGB(255, 0, 0) : PGRGB(0, 0, 255));
    dst.SetSize(1, 1, pgpf8Bit);
    dst.OnProgress = [](const void*, int, int, bool& abort) { abort = true; };
    dst.CreateOptimizedPalette(src, 236, false);
    ASSERT_EQ(dst.PaletteCount(), 1);
    EXPECT_EQ(dst.PaletteEntries(0), PGRGB(252, 2, 4));
}

}  // namespace
}  // namespace quipix
