// The frame conversion that every window paints with: 32-bit rows of any area of a
// frame, at any level, match the frame as a window keeping its own 24-bit copy draws
// it, pixel for pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imaging/pixel_graphic.h"

#include "saver/scene_frame.h"

namespace quipix::test {
namespace {

TEST(SceneFrame, RowsAtEveryLevelMatchTheDrawnFrame) {
    // Every byte value in every channel, and widths that end the four-pixel steps at
    // each remainder; the picture lies off the window's corner so fill shows around it.
    TPixelGraphic truecolor, palette;
    truecolor.SetSize(263, 5, pgpf24Bit);
    for (int y = 0; y < 5; ++y)
        for (int i = 0; i < 263 * 3; ++i) truecolor.ScanLine(y)[i] = std::uint8_t(i * 7 + y * 31);
    palette.SetSize(263, 5, pgpf8Bit);
    palette.SetPaletteCount(200);
    for (int i = 0; i < 200; ++i) palette.SetPaletteEntries(i, PGRGB(i, 255 - i, (i * 13) & 0xFF));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 263; ++x) palette.ScanLine(y)[x] = std::uint8_t(x + y);  // some past the palette
    struct Case {
        const TPixelGraphic* picture;
        TRect area;
    };
    const Case cases[] = {
        {&truecolor, {0, 0, 280, 9}},   {&truecolor, {5, 3, 12, 6}}, {&truecolor, {9, 2, 10, 3}},
        {&truecolor, {100, 4, 271, 8}}, {&palette, {0, 0, 280, 9}},  {&palette, {150, 1, 275, 7}},
        {nullptr, {0, 0, 40, 3}},
    };
    for (const Case& c : cases) {
        for (int level = 0; level <= 255; ++level) {
            const TSceneFrame frame{c.picture, 7, 2, PGRGB(200, 100, 50), level};
            TPixelGraphic drawn;
            drawn.SetSize(c.area.Right, c.area.Bottom, pgpf24Bit);
            RenderFrameArea(frame, c.area, drawn);
            const int w = c.area.Width();
            std::vector<std::uint32_t> rows(std::size_t(w) * std::size_t(c.area.Height()), 0);
            ConvertFrameRows(frame, c.area, reinterpret_cast<std::uint8_t*>(rows.data()), std::size_t(w) * 4);
            for (int y = c.area.Top; y < c.area.Bottom; ++y)
                for (int x = c.area.Left; x < c.area.Right; ++x) {
                    const PGColor want = drawn.Pixels(x, y);
                    const std::uint32_t got =
                        rows[std::size_t(y - c.area.Top) * std::size_t(w) + std::size_t(x - c.area.Left)];
                    const std::uint32_t expected = 0xFF000000u | (std::uint32_t(PGRed(want)) << 16) |
                                                   (std::uint32_t(PGGreen(want)) << 8) | PGBlue(want);
                    ASSERT_EQ(got, expected) << "level " << level << " at " << x << ", " << y;
                }
        }
    }
}

TEST(SceneFrame, DrawnFrameScalesEveryChannel) {
    // The reference itself: channel c at level l is c * l div 255, fill included.
    TPixelGraphic picture;
    picture.SetSize(1, 1, pgpf24Bit);
    picture.SetPixels(0, 0, PGRGB(255, 128, 1));
    TPixelGraphic drawn;
    drawn.SetSize(2, 1, pgpf24Bit);
    RenderFrameArea({&picture, 0, 0, PGRGB(10, 20, 254), 128}, {0, 0, 2, 1}, drawn);
    EXPECT_EQ(drawn.Pixels(0, 0), PGRGB(128, 64, 0));
    EXPECT_EQ(drawn.Pixels(1, 0), PGRGB(5, 10, 127));
}

}  // namespace
}  // namespace quipix::test
