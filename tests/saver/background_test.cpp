// Background drawing and colour arithmetic shared by the saver and the dialog, and the
// saver's picture background made on a worker thread.
#include <gtest/gtest.h>

#include "common/background.h"
#include "platform/platform.h"
#include "saver/engine.h"
#include "saver_fakes.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

int BlueAt(const TPixelGraphic& p, int y) { return PGBlue(p.Pixels(0, y)); }

TEST(AdjustColor, DarkAndLightLayers) {
    EXPECT_EQ(AdjustColor(PGRGB(255, 0, 0), -50), PGRGB(128, 0, 0));
    EXPECT_EQ(AdjustColor(PGRGB(255, 0, 0), 30), PGRGB(255, 76, 76));
    EXPECT_EQ(AdjustColor(PGRGB(0, 0, 255), -50), PGRGB(0, 0, 128));
    EXPECT_EQ(AdjustColor(PGRGB(0, 0, 255), 30), PGRGB(76, 76, 255));
    EXPECT_EQ(AdjustColor(PGRGB(200, 100, 0), -50), PGRGB(100, 50, 0));
    EXPECT_EQ(AdjustColor(PGRGB(200, 100, 0), 30), PGRGB(216, 146, 76));
    EXPECT_EQ(AdjustColor(PGRGB(12, 34, 56), 0), PGRGB(12, 34, 56));
}

TEST(AdjustColor, SystemColoursAreResolvedFirst) {
    platform::Services fake;
    fake.sysColor = [](int index) -> std::uint32_t { return index == 15 ? PGRGB(200, 100, 0) : 0; };
    const platform::Services old = platform::InstallServices(fake);
    const TColor btnFace = TColor(0x8000000F);
    EXPECT_EQ(ResolveColor(btnFace), PGRGB(200, 100, 0));
    EXPECT_EQ(AdjustColor(btnFace, -50), PGRGB(100, 50, 0));
    platform::InstallServices(old);
}

TEST(Gradient, NavyToBlackOver768Rows) {
    TPixelGraphic p;
    p.SetSize(3, 768, pgpf24Bit);
    DrawBackground(p, 1, 0, 0x800000, 0, false, TPixelGraphic{});
    for (int y = 0; y <= 5; ++y) EXPECT_EQ(BlueAt(p, y), 128) << y;
    EXPECT_EQ(BlueAt(p, 6), 127);
    EXPECT_EQ(BlueAt(p, 767), 1);
    EXPECT_EQ(p.Pixels(2, 767), PGRGB(0, 0, 1));
    for (int y = 1; y < 768; ++y) ASSERT_LE(BlueAt(p, y), BlueAt(p, y - 1));
}

TEST(Gradient, RisingChannelsAndEdgeCases) {
    TPixelGraphic p;
    p.SetSize(5, 10, pgpf24Bit);
    DrawBackground(p, 1, 0, PGRGB(0, 100, 255), PGRGB(255, 100, 0), false, TPixelGraphic{});
    EXPECT_EQ(p.Pixels(4, 0), PGRGB(0, 100, 255));
    // Row 9: 0 + 9 * 255 / 10 = 229 and 255 + 9 * -255 / 10 = 255 - 229 = 26.
    EXPECT_EQ(p.Pixels(4, 9), PGRGB(229, 100, 26));

    TPixelGraphic one;
    one.SetSize(4, 1, pgpf24Bit);
    DrawBackground(one, 1, 0, PGRGB(9, 8, 7), PGRGB(200, 200, 200), false, TPixelGraphic{});
    EXPECT_EQ(one.Pixels(3, 0), PGRGB(9, 8, 7));

    TPixelGraphic same;
    same.SetSize(2, 50, pgpf24Bit);
    DrawBackground(same, 1, 0, PGRGB(1, 2, 3), PGRGB(1, 2, 3), false, TPixelGraphic{});
    for (int y = 0; y < 50; ++y) ASSERT_EQ(same.Pixels(1, y), PGRGB(1, 2, 3));
}

TEST(SolidUnknownAndNoPicture, FillLeaveAloneOrBlack) {
    TPixelGraphic p;
    p.SetSize(4, 4, pgpf24Bit);
    DrawBackground(p, 0, PGRGB(10, 20, 30), 0, 0, false, TPixelGraphic{});
    EXPECT_EQ(p.Pixels(3, 3), PGRGB(10, 20, 30));
    DrawBackground(p, 7, PGRGB(99, 99, 99), 0, 0, false, TPixelGraphic{});
    EXPECT_EQ(p.Pixels(0, 0), PGRGB(10, 20, 30));
    // A picture background without a picture is black, tiled or not.
    p.SetBackGroundColor(PGRGB(50, 50, 50));
    p.Clear();
    DrawBackground(p, 2, 0, 0, 0, false, TPixelGraphic{});
    EXPECT_EQ(p.Pixels(2, 2), PGColor(0));
    p.Clear();
    DrawBackground(p, 2, 0, 0, 0, true, TPixelGraphic{});
    EXPECT_EQ(p.Pixels(2, 2), PGColor(0));
}

// A 3 x 2 picture whose every pixel is different.
void MakeTile(TPixelGraphic& tile) {
    tile.SetSize(3, 2, pgpf24Bit);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) tile.SetPixels(x, y, PGRGB(10 + x, 20 + y, 30));
}

TEST(PictureBackground, TilesFromTheCornerClipped) {
    TPixelGraphic tile;
    MakeTile(tile);
    TPixelGraphic p;
    p.SetSize(7, 5, pgpf24Bit);
    DrawBackground(p, 2, 0, 0, 0, true, tile);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) ASSERT_EQ(p.Pixels(x, y), tile.Pixels(x % 3, y % 2)) << x << "," << y;
}

TEST(PictureBackground, TileLargerThanTargetAndOnePixelTile) {
    TPixelGraphic big;
    big.SetSize(9, 9, pgpf24Bit);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) big.SetPixels(x, y, PGRGB(x, y, 77));
    TPixelGraphic p;
    p.SetSize(4, 3, pgpf24Bit);
    DrawBackground(p, 2, 0, 0, 0, true, big);
    EXPECT_EQ(p.Pixels(3, 2), PGRGB(3, 2, 77));

    TPixelGraphic dot;
    dot.SetSize(1, 1, pgpf24Bit);
    dot.SetPixels(0, 0, PGRGB(5, 6, 7));
    DrawBackground(p, 2, 0, 0, 0, true, dot);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) ASSERT_EQ(p.Pixels(x, y), PGRGB(5, 6, 7));
    // Stretched, the dot covers the target just the same.
    p.SetBackGroundColor(PGRGB(1, 1, 1));
    p.Clear();
    DrawBackground(p, 2, 0, 0, 0, false, dot);
    EXPECT_EQ(p.Pixels(3, 2), PGRGB(5, 6, 7));
}

TEST(LoadBackground, FailuresGiveABlackSquare) {
    TempDir dir;
    TPixelGraphic p;
    LoadBackgroundPicture(p, "");
    EXPECT_TRUE(p.Empty());
    LoadBackgroundPicture(p, dir.str() + "/missing.bmp");
    EXPECT_EQ(p.Width(), 100);
    EXPECT_EQ(p.Height(), 100);
    EXPECT_EQ(p.PixelFormat(), pgpf24Bit);
    EXPECT_EQ(p.Pixels(50, 50), PGColor(0));
    // A damaged file: a BMP signature and nothing after it.
    TPixelGraphic q;
    LoadBackgroundPicture(q, dir.write("bad.bmp", std::string("BM\x10\x00", 4)));
    EXPECT_EQ(q.Width(), 100);
    EXPECT_EQ(q.Pixels(99, 99), PGColor(0));
    // An empty path keeps what was loaded.
    LoadBackgroundPicture(q, "");
    EXPECT_EQ(q.Width(), 100);
}

// The scene's picture background is made on a worker thread, or taken from one a
// front end started before its window: either way the screen is black until the scene
// shows, and then shows the picture drawn over the window. One started for another
// size or picture is not taken.
TEST(PictureBackground, SceneMadeOnAWorkerIsThePictureDrawn) {
    ScopedBlockText text;
    TempDir dir;
    std::string ppm = "P6\n3 2\n255\n";
    for (int i = 0; i < 18; ++i) ppm += char(i * 13 + 5);
    const std::string path = dir.write("three.ppm", ppm);
    const std::string other = dir.write("one.ppm", std::string("P6\n1 1\n255\n\x10\x20\x30"));
    // Larger than the window, so that stretching it shrinks it.
    std::string large = "P6\n53 41\n255\n";
    for (int i = 0; i < 53 * 41 * 3; ++i) large += char((i * 37) ^ (i >> 5));
    const std::string shrunk = dir.write("large.ppm", large);
    // Grey, of the window's size: not 24 bits, so it is drawn rather than taken as it is.
    std::string grey = "P5\n40 30\n255\n";
    for (int i = 0; i < 40 * 30; ++i) grey += char(i * 7);
    const std::string sameSize = dir.write("grey.pgm", grey);
    struct Case {
        int fadeMode;
        bool tiled;
        std::string preload;  // none when empty
        int preloadWidth;
        std::string picture = "";  // the three-pixel one when empty
    };
    // A preload that is not taken waits for the next; the last is taken, so none is
    // left behind.
    const Case cases[] = {
        {fade_mode::FadeToBlack, false, "", 0},         {fade_mode::FadeInPlace, true, "", 0},
        {fade_mode::FadeInPlace, false, "", 0, shrunk}, {fade_mode::FadeInPlace, false, "", 0, sameSize},
        {fade_mode::FadeToBlack, false, path, 41},      {fade_mode::FadeInPlace, true, other, 40},
        {fade_mode::FadeToBlack, false, path, 40},      {fade_mode::FadeInPlace, true, path, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picture + " " + c.preload + " " + std::to_string(c.preloadWidth) +
                     (c.tiled ? " tiled" : ""));
        FakeServices fake;
        fake.settings.FadeMode = c.fadeMode;
        fake.settings.BackgroundType = background_type::Picture;
        fake.settings.Bitmap = c.picture.empty() ? path : c.picture;
        fake.settings.Tiled = c.tiled;
        if (!c.preload.empty()) {
            TSettings preload = fake.settings;
            preload.Bitmap = c.preload;
            PreloadBackground(preload, c.preloadWidth, 30);
        }
        TPixelGraphic loaded, want;
        LoadBackgroundPicture(loaded, fake.settings.Bitmap, c.tiled ? 0 : 40, c.tiled ? 0 : 30);
        want.SetSize(40, 30, pgpf24Bit);
        DrawBackground(want, background_type::Picture, 0, 0, 0, c.tiled, loaded);

        FakeHost host(40, 30);
        TSaverEngine engine(host, fake.Make());
        engine.SetUpScene();
        const TPixelGraphic& black = *host.ShownPicture();
        EXPECT_TRUE(
            std::all_of(black.Buffer(), black.Buffer() + black.BufferSize(), [](auto b) { return b == 0; }));
        RunUntil(engine, QuestionSlides);  // the new joke showed the bare background
        ASSERT_TRUE(SamePicture(*host.ShownPicture(), want));
    }
}

}  // namespace
}  // namespace quipix::test
