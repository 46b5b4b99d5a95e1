// Work spread over several calls (colour counts and dithered copies in row bands) must
// give exactly what the one-shot operations give; buffers kept across size changes
// must never show their old pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "imaging/pixel_graphic.h"

namespace quipix {
namespace {

// Smooth fields with grain: many colours, so errors and palettes do real work.
void MakeNoisy(TPixelGraphic& g, int w, int h, unsigned seed) {
    g.SetSize(w, h, pgpf24Bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* p = g.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const int n = int(rng() % 41) - 20;
            p[0] = std::uint8_t(std::clamp(255 * x / w + n, 0, 255));
            p[1] = std::uint8_t(std::clamp(255 * y / h - n, 0, 255));
            p[2] = std::uint8_t(std::clamp(128 + n * 3, 0, 255));
        }
    }
}

bool SamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
    return a.BufferSize() == b.BufferSize() && std::memcmp(a.Buffer(), b.Buffer(), a.BufferSize()) == 0;
}

// An 8-bit picture with the optimized palette of source, pixels cleared.
void PalettePicture(TPixelGraphic& g, const TPixelGraphic& source, TPGPixelFormat format, int colours) {
    g.SetSize(source.Width(), source.Height(), format);
    g.CreateOptimizedPalette(source, colours, false);
}

TEST(AssignRows, BandsGiveTheOneShotDitheredCopy) {
    TPixelGraphic source;
    MakeNoisy(source, 97, 61, 3);
    for (TPGPixelFormat format : {pgpf8Bit, pgpf4Bit}) {
        TPixelGraphic whole, banded;
        const int colours = format == pgpf8Bit ? 236 : 16;
        PalettePicture(whole, source, format, colours);
        PalettePicture(banded, source, format, colours);
        whole.AssignStretched(source);
        // Bands of uneven sizes, odd and even first rows, one running past the end.
        int row = 0;
        for (int rows : {1, 2, 7, 1, 13, 30, 100}) {
            banded.AssignRows(source, row, rows);
            row += rows;
        }
        EXPECT_TRUE(SamePixels(whole, banded)) << "format " << format;
    }
}

TEST(AssignRows, GreyPaletteBandsAndTheMemoMatchToo) {
    TPixelGraphic source, whole, banded;
    MakeNoisy(source, 40, 33, 5);
    for (TPixelGraphic* g : {&whole, &banded}) {
        g->SetSize(40, 33, pgpf8Bit);
        g->SetPaletteIdent(pGray16);
    }
    whole.AssignStretched(source);
    for (int y = 0; y < 33; y += 4) banded.AssignRows(source, y, 4);
    EXPECT_TRUE(SamePixels(whole, banded));
    // Both leave the same last colour asked; a lookup afterwards agrees.
    EXPECT_EQ(whole.NearestPaletteIndex(PGRGB(90, 90, 90)), banded.NearestPaletteIndex(PGRGB(90, 90, 90)));
}

TEST(AssignRows, OtherStartsBeginAfresh) {
    TPixelGraphic source;
    MakeNoisy(source, 50, 40, 7);
    TPixelGraphic banded, fresh;
    PalettePicture(banded, source, pgpf8Bit, 64);
    PalettePicture(fresh, source, pgpf8Bit, 64);
    banded.AssignRows(source, 0, 10);
    // A gap: rows 12.. start with zero errors, like a copy of that band alone.
    banded.AssignRows(source, 12, 9);
    fresh.CopyRect(0, 12, source, 0, 12, 50, 9);
    for (int y = 12; y < 21; ++y)
        ASSERT_EQ(std::memcmp(banded.ScanLine(y), fresh.ScanLine(y), 50), 0) << "row " << y;

    // A palette edit between bands drops the carried errors as well.
    banded.SetPaletteEntries(0, banded.PaletteEntries(0));
    banded.AssignRows(source, 21, 5);
    fresh.CopyRect(0, 21, source, 0, 21, 50, 5);
    for (int y = 21; y < 26; ++y)
        ASSERT_EQ(std::memcmp(banded.ScanLine(y), fresh.ScanLine(y), 50), 0) << "row " << y;
}

TEST(ColorHistogram, BandsInAnyOrderGiveTheOneShotPalette) {
    TPixelGraphic source, whole, banded;
    MakeNoisy(source, 120, 90, 9);
    whole.SetSize(120, 90, pgpf8Bit);
    banded.SetSize(120, 90, pgpf8Bit);
    for (bool system : {false, true}) {
        whole.CreateOptimizedPalette(source, 236, system);
        TPGColorHistogram h;
        EXPECT_TRUE(h.Empty());
        h.AddRows(source, 50, 1000);  // clipped at the bottom
        h.AddRows(source, -5, 25);    // clipped at the top: rows 0 .. 19
        h.AddRows(source, 20, 30);
        EXPECT_FALSE(h.Empty());
        banded.CreateOptimizedPalette(h, 236, system);
        EXPECT_EQ(banded.Palette(), whole.Palette());
        EXPECT_EQ(banded.PaletteIdent(), whole.PaletteIdent());
    }
}

TEST(ColorHistogram, CountersStopAtTheCapAndEmptyMeansEmptySource) {
    // 300 x 300 of one colour passes the 16-bit cap; a few pixels of another colour
    // then weigh as much as the cap lets them.
    TPixelGraphic source, whole, banded;
    source.SetSize(300, 300, pgpf24Bit);
    source.SetBackGroundColor(PGRGB(250, 10, 10));
    source.Clear();
    for (int x = 0; x < 40; ++x) source.SetPixels(x, 0, PGRGB(10, 10, 250));
    whole.SetSize(1, 1, pgpf8Bit);
    banded.SetSize(1, 1, pgpf8Bit);
    whole.CreateOptimizedPalette(source, 1, false);
    TPGColorHistogram h;
    for (int y = 0; y < 300; y += 100) h.AddRows(source, y, 100);
    banded.CreateOptimizedPalette(h, 1, false);
    EXPECT_EQ(banded.Palette(), whole.Palette());

    TPixelGraphic empty;
    whole.CreateOptimizedPalette(empty, 236, false);
    h.Clear();
    EXPECT_TRUE(h.Empty());
    TPixelGraphic palette8;
    palette8.SetSize(2, 2, pgpf8Bit);
    palette8.SetPaletteIdent(pGray16);
    h.AddRows(palette8, 0, 2);  // not 24-bit: nothing counted
    banded.CreateOptimizedPalette(h, 236, false);
    EXPECT_EQ(banded.Palette(), whole.Palette());
    EXPECT_EQ(banded.PaletteIdent(), pSys16);
}

TEST(KeptBuffer, NewSizesAreBlackAndCopiesExact) {
    TPixelGraphic g;
    g.SetSize(64, 64, pgpf24Bit);
    g.SetBackGroundColor(PGRGB(255, 255, 255));
    g.Clear();
    // Smaller in another format, then larger again: no old byte may show through.
    g.SetSize(30, 20, pgpf8Bit);
    for (std::size_t i = 0; i < g.BufferSize(); ++i) ASSERT_EQ(g.Buffer()[i], 0) << i;
    std::memset(g.Buffer(), 0x5A, g.BufferSize());
    g.SetSize(64, 70, pgpf24Bit);
    for (std::size_t i = 0; i < g.BufferSize(); ++i) ASSERT_EQ(g.Buffer()[i], 0) << i;

    // CopyPicture into a picture that held a larger one copies every byte, padding too.
    TPixelGraphic small;
    MakeNoisy(small, 13, 7, 2);
    g.CopyPicture(&small);
    EXPECT_EQ(g.Width(), 13);
    EXPECT_EQ(g.Height(), 7);
    EXPECT_TRUE(SamePixels(g, small));
    g.SetSize(0, 0, pgpf24Bit);
    EXPECT_TRUE(g.Empty());
    EXPECT_EQ(g.ScanLine(0), nullptr);
}

}  // namespace
}  // namespace quipix
