// The pixel image itself: size and layout, clearing, pixel access, the palette and
// its identification, change notification and whole-picture copies.
#include <gtest/gtest.h>

#include "imaging/exceptions.h"
#include "imaging/pixel_graphic.h"
#include "support/image_checks.h"

namespace quipix {
namespace {

using test::ColourRows;
using test::Colours;
using test::MessageOf;

TEST(PixelFormat, BitsStrideAndBitCounts) {
    EXPECT_EQ(PixelStride(1, pgpf1Bit), 4);
    EXPECT_EQ(PixelStride(33, pgpf1Bit), 8);
    EXPECT_EQ(PixelStride(9, pgpf4Bit), 8);
    EXPECT_EQ(PixelStride(5, pgpf24Bit), 16);
    EXPECT_EQ(PixelFormatFromBitCount(4), pgpf4Bit);
    EXPECT_EQ(PixelFormatFromBitCount(24), pgpf24Bit);
    EXPECT_EQ(MessageOf<EPGInvalidBitCountNum>([] { PixelFormatFromBitCount(16); }),
              "Invalid value for BitCountNum");
}

TEST(PixelFormat, LuminanceWeightedAndPlain) {
    EXPECT_EQ(Luminance(PGRGB(255, 255, 255), true), 765);
    EXPECT_EQ(Luminance(PGRGB(100, 0, 0), true), 89);  // 89700 div 1000
    EXPECT_EQ(Luminance(PGRGB(1, 2, 3), false), 6);
}

TEST(SetSize, LayoutIsBottomUpWithAlignedStride) {
    TPixelGraphic g;
    g.SetSize(5, 3, pgpf24Bit);
    EXPECT_EQ(g.Stride(), 16);
    EXPECT_EQ(g.BufferSize(), 48u);
    EXPECT_EQ(g.ScanLine(2), g.Buffer());
    EXPECT_EQ(g.ScanLine(0), g.Buffer() + 32);
    g.SetPixels(1, 0, PGRGB(10, 20, 30));
    const std::uint8_t* p = g.ScanLine(0) + 3;
    EXPECT_EQ(std::vector<int>(p, p + 3), (std::vector<int>{30, 20, 10}));  // blue first
}

TEST(SetSize, SameSizeClearsToBackgroundNewSizeIsBlack) {
    TPixelGraphic g;
    g.SetSize(4, 4, pgpf24Bit);
    g.SetBackGroundColor(PGRGB(1, 2, 3));
    g.SetPixels(0, 0, PGRGB(9, 9, 9));
    g.SetSize(4, 4, pgpf24Bit);
    EXPECT_EQ(g.Pixels(0, 0), PGRGB(1, 2, 3));
    EXPECT_EQ(g.Pixels(3, 3), PGRGB(1, 2, 3));
    g.SetSize(5, 4, pgpf24Bit);
    EXPECT_EQ(g.Pixels(0, 0), 0u);
    EXPECT_EQ(g.Pixels(4, 3), 0u);
}

TEST(SetSize, NegativeAndHugeSizes) {
    TPixelGraphic g;
    g.SetSize(2, 2, pgpf8Bit);
    EXPECT_EQ(MessageOf<EPGInvalidSize>([&] { g.SetSize(-1, -1, pgpf24Bit); }), "Negative width");
    EXPECT_EQ(MessageOf<EPGInvalidSize>([&] { g.SetSize(1, -1, pgpf24Bit); }), "Negative height");
    EXPECT_EQ(g.Width(), 2);
    EXPECT_EQ(g.PixelFormat(), pgpf8Bit);
    // Too large a picture fails cleanly and leaves an empty, consistent image.
    EXPECT_THROW(g.SetSize(2000000000, 2000000000, pgpf24Bit), EPixelGraphic);
    EXPECT_TRUE(g.Empty());
    EXPECT_EQ(g.Width(), 0);
    EXPECT_EQ(g.Pixels(0, 0), 0u);
}

TEST(SetSize, ZeroSizeIsEmptyAndPaletteIsTrimmedToCapacity) {
    TPixelGraphic g;
    g.SetSize(10, 0, pgpf24Bit);
    EXPECT_TRUE(g.Empty());
    g.SetSize(4, 4, pgpf8Bit);
    g.SetPaletteIdent(pGray256);
    g.SetSize(4, 4, pgpf4Bit);
    EXPECT_EQ(g.PaletteCount(), 16);
    EXPECT_EQ(g.PaletteIdent(), pUnknown);
    g.SetSize(4, 4, pgpf24Bit);
    EXPECT_EQ(g.PaletteCount(), 0);
    EXPECT_EQ(g.PaletteIdent(), pTrueColor);
}

TEST(Clear, EightBitLeavesRowPaddingAlone) {
    TPixelGraphic g;
    g.SetSize(5, 2, pgpf8Bit);
    g.SetPaletteIdent(pGray256);
    for (int y = 0; y < 2; ++y)
        for (int x = 5; x < 8; ++x) g.ScanLine(y)[x] = 0xAA;
    g.SetBackGroundColor(PGRGB(7, 7, 7));
    EXPECT_EQ(g.BackGroundValue(), 7u);
    g.Clear();
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 5; ++x) EXPECT_EQ(g.ScanLine(y)[x], 7);
        for (int x = 5; x < 8; ++x) EXPECT_EQ(g.ScanLine(y)[x], 0xAA);
    }
    // A zero background zeroes every byte, padding included.
    g.SetBackGroundColor(0);
    g.Clear();
    EXPECT_EQ(g.ScanLine(0)[6], 0);
}

TEST(Clear, TwentyFourBitAndSmallFormats) {
    TPixelGraphic g;
    g.SetSize(3, 2, pgpf24Bit);
    g.SetBackGroundColor(PGRGB(200, 100, 50));
    g.Clear();
    EXPECT_EQ(g.Pixels(2, 1), PGRGB(200, 100, 50));
    TPixelGraphic b;
    b.SetSize(11, 2, pgpf1Bit);
    b.SetPaletteIdent(pBlackWhite);
    b.SetBackGroundColor(PGRGB(255, 255, 255));
    b.Clear();
    EXPECT_EQ(b.ScanLine(0)[0], 0xFF);
    EXPECT_EQ(b.ScanLine(0)[1], 0xE0);  // bits past column 10 stay clear
    TPixelGraphic n;
    n.SetSize(3, 1, pgpf4Bit);
    n.SetPaletteIdent(pSys16);
    n.SetBackGroundColor(PGRGB(255, 0, 0));
    n.Clear();
    EXPECT_EQ(n.ScanLine(0)[0], 0x99);
    EXPECT_EQ(n.ScanLine(0)[1], 0x90);
}

TEST(Pixels, SmallFormatsPackBitsAndNibbles) {
    TPixelGraphic g;
    g.SetSize(10, 1, pgpf1Bit);
    g.SetPixelValues(0, 0, 1);
    g.SetPixelValues(9, 0, 1);
    g.SetPixelValues(3, 0, 2);  // anything but 1 clears
    EXPECT_EQ(g.ScanLine(0)[0], 0x80);
    EXPECT_EQ(g.ScanLine(0)[1], 0x40);
    EXPECT_EQ(g.PixelValues(9, 0), 1u);
    TPixelGraphic n;
    n.SetSize(3, 1, pgpf4Bit);
    n.SetPixelValues(0, 0, 0x1A);
    n.SetPixelValues(1, 0, 0x05);
    EXPECT_EQ(n.ScanLine(0)[0], 0xA5);
    EXPECT_EQ(n.PixelValues(0, 0), 0xAu);
    EXPECT_EQ(n.PixelValues(1, 0), 5u);
}

TEST(Pixels, OutsideReadsBackgroundOrRaises) {
    TPixelGraphic g;
    g.SetSize(2, 2, pgpf8Bit);
    g.SetPaletteIdent(pSys16);
    g.SetBackGroundColor(PGRGB(0, 0, 255));
    EXPECT_EQ(g.PixelValues(-1, 0), 12u);
    EXPECT_EQ(g.Pixels(-1, 0), PGRGB(0, 0, 255));
    g.SetPixels(5, 5, 0);  // ignored
    g.RangeCheck = true;
    EXPECT_EQ(MessageOf<EPGXYIndexOutOfRange>([&] { g.PixelValues(2, 0); }), "X, Y index out of range");
    EXPECT_THROW(g.SetPixels(0, -1, 0), EPGXYIndexOutOfRange);
}

TEST(Palette, TrueColorEntriesAreTheIdentity) {
    TPixelGraphic g;
    g.SetSize(2, 2, pgpf24Bit);
    EXPECT_EQ(g.PaletteEntries(5), 5u);
    EXPECT_EQ(MessageOf<EPGNoPalette>([&] { g.SetPaletteEntries(0, 0); }), "No palette");
}

TEST(Palette, EntriesCountAndIdent) {
    TPixelGraphic g;
    g.SetSize(2, 2, pgpf8Bit);
    g.SetPaletteCount(3);
    EXPECT_EQ(g.PaletteIdent(), pUnknown);
    g.SetPaletteEntries(2, PGRGB(1, 2, 3));
    EXPECT_EQ(g.PaletteEntries(2), PGRGB(1, 2, 3));
    EXPECT_EQ(MessageOf<EPGInvalidPaletteIndex>([&] { g.PaletteEntries(3); }), "Invalid palette index");
    EXPECT_THROW(g.SetPaletteEntries(-1, 0), EPGInvalidPaletteIndex);
    g.SetPaletteCount(0);
    EXPECT_EQ(g.PaletteIdent(), pNone);
    EXPECT_THROW(g.NearestPaletteIndex(0), EPGNoPalette);
    EXPECT_THROW(g.SetPixels(0, 0, 0), EPGNoPalette);
    TPixelGraphic small;
    small.SetSize(2, 2, pgpf4Bit);
    EXPECT_THROW(small.SetPaletteCount(17), EPGInvalidPaletteIndex);
}

TEST(Palette, FixedTables) {
    EXPECT_EQ(FixedPalette(pGray4)[1], PGRGB(85, 85, 85));
    EXPECT_EQ(FixedPalette(pGray16)[15], PGRGB(255, 255, 255));
    const auto& g236 = FixedPalette(pGray236);
    ASSERT_EQ(g236.size(), 236u);
    EXPECT_EQ(g236.front(), 0u);
    EXPECT_EQ(g236.back(), PGRGB(255, 255, 255));
    EXPECT_EQ(g236[1], PGRGB(1, 1, 1));
    EXPECT_EQ(g236[117], PGRGB(127, 127, 127));  // 255 * 117 / 235 = 126.96
    for (std::size_t i = 1; i < g236.size(); ++i) EXPECT_GT(PGRed(g236[i]), PGRed(g236[i - 1]));
    EXPECT_EQ(FixedPalette(pSpecial125)[1 * 25 + 2 * 5 + 3], PGRGB(64, 128, 192));
    EXPECT_EQ(FixedPalette(pSpecial216)[5 * 36 + 1], PGRGB(255, 0, 51));
    const auto& s252 = FixedPalette(pSpecial252);
    ASSERT_EQ(s252.size(), 252u);
    const auto& sys = FixedPalette(pSys16);
    EXPECT_TRUE(std::equal(sys.begin(), sys.end(), s252.begin()));
    EXPECT_TRUE(FixedPalette(pUnknown).empty());
}

TEST(Palette, IdentifyRecognisesEveryFixedKind) {
    for (TPaletteIdent k : {pBlackWhite, pSysGray4, pSys16, pGray4, pGray16, pGray236, pGray256, pSpecial125,
                            pSpecial216, pSpecial252}) {
        TPixelGraphic g;
        g.SetSize(1, 1, pgpf8Bit);
        const auto& t = FixedPalette(k);
        g.SetPaletteCount(int(t.size()));
        for (std::size_t i = 0; i < t.size(); ++i) g.SetPaletteEntries(int(i), t[i]);
        EXPECT_EQ(g.PaletteIdent(), pUnknown);
        g.IdentifyPalette();
        EXPECT_EQ(g.PaletteIdent(), k) << k;
        const bool grey = k != pSys16 && k < pSpecial125;
        EXPECT_EQ(g.AllGrey(), grey) << k;
    }
    TPixelGraphic g;
    g.SetSize(1, 1, pgpf8Bit);
    g.IdentifyPalette();
    EXPECT_EQ(g.PaletteIdent(), pNone);
    g.SetSize(1, 1, pgpf24Bit);
    g.IdentifyPalette();
    EXPECT_EQ(g.PaletteIdent(), pTrueColor);
}

TEST(Notification, NestedUpdatesFireOnceAtTheEnd) {
    TPixelGraphic g;
    int calls = 0;
    g.OnChange = [&](TPixelGraphic&) { ++calls; };
    g.SetSize(3, 3, pgpf24Bit);
    EXPECT_EQ(calls, 1);
    g.BeginUpdate();
    g.BeginUpdate();
    g.Clear();
    g.EndUpdate();
    EXPECT_EQ(calls, 1);
    g.EndUpdate();
    EXPECT_EQ(calls, 2);
    g.SetPixels(0, 0, 5);  // pixel writes do not notify
    g.SetPaletteReserved(true);
    EXPECT_EQ(calls, 2);
    g.EndUpdate();  // unbalanced: still notifies, and later changes still do
    g.Clear();
    EXPECT_EQ(calls, 4);
}

TEST(Notification, ChangedAreaIsClippedAndResetByWholeChanges) {
    TPixelGraphic g;
    g.SetSize(10, 10, pgpf24Bit);
    std::vector<TPixelGraphic::ChangedArea> seen;
    g.OnChange = [&](TPixelGraphic& s) { seen.push_back(s.LastChange()); };
    g.NotifyChangeArea(-5, 2, 4, 20);
    g.NotifyChange();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(std::vector<int>({seen[0].Left, seen[0].Top, seen[0].Right, seen[0].Bottom}),
              (std::vector<int>{0, 2, 4, 10}));
    EXPECT_EQ(seen[1].Right, 10);
    g.BeginUpdate();
    g.NotifyChangeArea(0, 0, 1, 1);
    EXPECT_EQ(seen.size(), 2u);
}

TEST(CopyPicture, CopiesPixelsPaletteAndSettingsButNotReservation) {
    TPixelGraphic src;
    src.SetSize(3, 2, pgpf8Bit);
    src.SetPaletteIdent(pGray16);
    src.SetPixelValues(2, 1, 9);
    src.SetBackGroundColor(PGRGB(255, 255, 255));
    src.Dither = false;
    src.StretchMode = smFast;
    src.SetPaletteReserved(true);
    TPixelGraphic dst;
    int calls = 0;
    dst.OnChange = [&](TPixelGraphic&) { ++calls; };
    dst.CopyPicture(&src);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dst.Width(), 3);
    EXPECT_EQ(dst.PixelFormat(), pgpf8Bit);
    EXPECT_EQ(dst.PixelValues(2, 1), 9u);
    EXPECT_EQ(dst.PaletteIdent(), pGray16);
    EXPECT_EQ(dst.BackGroundValue(), 15u);
    EXPECT_FALSE(dst.Dither);
    EXPECT_EQ(dst.StretchMode, smFast);
    EXPECT_FALSE(dst.PaletteReserved());
    dst.CopyPicture(&dst);  // onto itself: nothing lost
    EXPECT_EQ(dst.PixelValues(2, 1), 9u);
    dst.CopyPicture(nullptr);
    EXPECT_TRUE(dst.Empty());
    EXPECT_EQ(dst.PixelFormat(), pgpf24Bit);
}

}  // namespace
}  // namespace quipix
