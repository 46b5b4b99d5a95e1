// Canvas fills and picture drawing: clipping, format conversion and notification.
#include <gtest/gtest.h>

#include "imaging/canvas.h"
#include "imaging/pixel_graphic.h"

namespace quipix {
namespace {

TEST(CanvasFill, FillsClippedWithTheBrushAndNotifiesTheArea) {
    TPixelGraphic g;
    g.SetSize(10, 8, pgpf24Bit);
    TPixelGraphic::ChangedArea seen{};
    g.OnChange = [&](TPixelGraphic& s) { seen = s.LastChange(); };
    TPGCanvas& c = g.Canvas();
    c.Brush.Color = PGRGB(1, 2, 3);
    c.FillRect({-5, 6, 4, 20});
    EXPECT_EQ(g.Pixels(0, 6), PGRGB(1, 2, 3));
    EXPECT_EQ(g.Pixels(3, 7), PGRGB(1, 2, 3));
    EXPECT_EQ(g.Pixels(4, 7), 0u);
    EXPECT_EQ(g.Pixels(0, 5), 0u);
    EXPECT_EQ(seen.Left, 0);
    EXPECT_EQ(seen.Top, 6);
    EXPECT_EQ(seen.Right, 4);
    EXPECT_EQ(seen.Bottom, 8);

    c.Brush.Style = TBrushStyle::Clear;
    c.Brush.Color = PGRGB(9, 9, 9);
    c.FillRect({0, 0, 10, 8});
    EXPECT_EQ(g.Pixels(5, 5), 0u) << "a clear brush fills nothing";
}

TEST(CanvasFill, PaletteImageGetsNearestIndex) {
    TPixelGraphic g;
    g.SetSize(5, 3, pgpf4Bit);
    g.SetPaletteIdent(pSys16);
    g.Canvas().Brush.Color = PGRGB(250, 5, 5);
    g.Canvas().FillRect({1, 1, 4, 2});
    EXPECT_EQ(g.PixelValues(1, 1), 9u);  // (255, 0, 0)
    EXPECT_EQ(g.PixelValues(3, 1), 9u);
    EXPECT_EQ(g.PixelValues(4, 1), 0u);
}

void Paint(TPixelGraphic& g) {
    for (int y = 0; y < g.Height(); ++y)
        for (int x = 0; x < g.Width(); ++x) g.SetPixels(x, y, PGRGB(x * 10, y * 10, 77));
}

TEST(CanvasDraw, CopiesOneToOneClippedAtEveryEdge) {
    TPixelGraphic src, dst;
    src.SetSize(6, 5, pgpf24Bit);
    Paint(src);
    dst.SetSize(8, 7, pgpf24Bit);
    dst.Canvas().Draw(4, -2, src);
    EXPECT_EQ(dst.Pixels(4, 0), PGRGB(0, 20, 77));
    EXPECT_EQ(dst.Pixels(7, 2), PGRGB(30, 40, 77));
    EXPECT_EQ(dst.Pixels(3, 0), 0u);
    EXPECT_EQ(dst.Pixels(4, 3), 0u);
    // The row padding of the target stays untouched (stride 24 for 8 pixels: none), so
    // check a width with padding too.
    TPixelGraphic odd;
    odd.SetSize(3, 2, pgpf24Bit);  // stride 12, 3 pad bytes
    odd.Canvas().Draw(-1, 0, src);
    EXPECT_EQ(odd.Pixels(0, 0), PGRGB(10, 0, 77));
    EXPECT_EQ(odd.Pixels(2, 1), PGRGB(30, 10, 77));
    for (int y = 0; y < 2; ++y)
        for (int i = 9; i < 12; ++i) EXPECT_EQ(odd.ScanLine(y)[i], 0) << "padding";
}

TEST(CanvasDraw, ConvertsBetweenFormats) {
    TPixelGraphic pal, rgb;
    pal.SetSize(4, 2, pgpf8Bit);
    pal.SetPaletteIdent(pGray256);
    pal.SetPixelValues(1, 0, 200);
    rgb.SetSize(4, 2, pgpf24Bit);
    rgb.Canvas().Draw(0, 0, pal);
    EXPECT_EQ(rgb.Pixels(1, 0), PGRGB(200, 200, 200));
    EXPECT_EQ(rgb.Pixels(0, 0), 0u);

    rgb.SetPixels(2, 1, PGRGB(255, 255, 255));
    TPixelGraphic bw;
    bw.SetSize(4, 2, pgpf1Bit);
    bw.SetPaletteIdent(pBlackWhite);
    bw.Canvas().Draw(0, 0, rgb);
    EXPECT_EQ(bw.PixelValues(2, 1), 1u);
    EXPECT_EQ(bw.PixelValues(1, 0), 1u);  // 200 grey is nearer white
    EXPECT_EQ(bw.PixelValues(0, 0), 0u);
}

TEST(CanvasDraw, DrawingAPictureOntoItselfUsesItsOldPixels) {
    TPixelGraphic g;
    g.SetSize(6, 5, pgpf24Bit);
    Paint(g);
    g.Canvas().Draw(1, 1, g);
    EXPECT_EQ(g.Pixels(1, 1), PGRGB(0, 0, 77));
    EXPECT_EQ(g.Pixels(5, 4), PGRGB(40, 30, 77));
    EXPECT_EQ(g.Pixels(0, 0), PGRGB(0, 0, 77));
}

}  // namespace
}  // namespace quipix
