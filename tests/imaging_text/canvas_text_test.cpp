// Canvas text: layout like the Windows text call (wrap, centre, explicit breaks, no
// prefix), clipping to the rectangle, blending, and change notification.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "imaging/canvas.h"
#include "imaging/pixel_graphic.h"
#include "imaging/text_engine.h"
#include "support/test_support.h"

namespace quipix {
namespace {

constexpr PGColor kBlack = 0;
constexpr PGColor kWhite = 0xFFFFFF;

struct Ink {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
    int count = 0;
    bool any() const { return count > 0; }
};

// Pixels that differ from the background colour.
Ink FindInk(const TPixelGraphic& g, PGColor background) {
    Ink ink;
    for (int y = 0; y < g.Height(); ++y)
        for (int x = 0; x < g.Width(); ++x)
            if (g.Pixels(x, y) != background) {
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
                ++ink.count;
            }
    return ink;
}

class CanvasText : public ::testing::Test {
protected:
    void SetUp() override {
        QUIPIX_NEEDS_TEXT_ENGINE();
        image.SetSize(400, 300, pgpf24Bit);  // black
        TPGCanvas& c = image.Canvas();
        c.Font.Name = "Arial";
        c.Font.Size = 20;
        c.Font.Bold = true;
        c.Font.Color = kWhite;
        c.Brush.Style = TBrushStyle::Clear;
    }
    int Measure(const std::string& text, int width) {
        TRect r{0, 0, width, 1000};
        return image.Canvas().DrawText(text, r, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
    }
    int Draw(const std::string& text, TRect r) {
        return image.Canvas().DrawText(text, r, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    }
    TPixelGraphic image;
};

TEST_F(CanvasText, EngineIsInstalled) { ASSERT_NE(CurrentTextEngine(), nullptr); }

TEST_F(CanvasText, WrappedHeightGrowsInWholeLines) {
    const int line = image.Canvas().TextHeight("x");
    ASSERT_GT(line, 20);
    EXPECT_EQ(Measure("Why", 300), line);
    const std::string words = "Why did the chicken cross the road to get to the other side";
    const int two = Measure(words, 400);
    const int many = Measure(words, 120);
    EXPECT_EQ(two % line, 0);
    EXPECT_EQ(many % line, 0);
    EXPECT_GT(many, two);
    EXPECT_LT(Measure("a b", 1000), Measure("a b", 1)) << "a narrow column puts each word alone";
    EXPECT_EQ(Measure("a b", 1), 2 * line);
}

TEST_F(CanvasText, CalcRectSetsRightAndBottomAndDrawsNothing) {
    TRect r{10, 20, 310, 25};
    const int h = image.Canvas().DrawText("Hello there", r, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(r.Left, 10);
    EXPECT_EQ(r.Top, 20);
    EXPECT_EQ(r.Bottom, 20 + h);
    EXPECT_EQ(r.Right - r.Left, image.Canvas().TextWidth("Hello there"));
    EXPECT_FALSE(FindInk(image, kBlack).any());
}

TEST_F(CanvasText, ExplicitLineBreaksStartNewLines) {
    const int line = image.Canvas().TextHeight("x");
    EXPECT_EQ(Measure("a\r\nb", 400), 2 * line);
    EXPECT_EQ(Measure("a\rb", 400), 2 * line);
    EXPECT_EQ(Measure("a\nb", 400), 2 * line);
    EXPECT_EQ(Measure("a\r\n\r\nb", 400), 3 * line) << "an empty line in between counts";
    EXPECT_EQ(Measure("a\r\n", 400), line) << "a break at the end starts no line";
    EXPECT_EQ(Measure("", 400), 0);
    // The answer's lines are joined by CR LF and must stay apart even when they fit.
    EXPECT_EQ(Measure("Because\r\nit could", 4000), 2 * line);
}

TEST_F(CanvasText, LongWordStaysAloneOnItsLineAndIsClipped) {
    const int line = image.Canvas().TextHeight("x");
    EXPECT_EQ(Measure("a Supercalifragilistic b", 60), 3 * line);
    Draw("Supercalifragilisticexpialidocious", {100, 50, 160, 150});
    const Ink ink = FindInk(image, kBlack);
    ASSERT_TRUE(ink.any());
    EXPECT_GE(ink.left, 100);
    EXPECT_LE(ink.right, 159);
}

TEST_F(CanvasText, LinesAreCentredEachOnItsOwn) {
    Draw("IIII", {0, 0, 400, 100});
    const Ink one = FindInk(image, kBlack);
    ASSERT_TRUE(one.any());
    EXPECT_NEAR(one.left, 399 - one.right, 3);

    // Two lines of different width share the centre.
    image.Clear();
    const int line = image.Canvas().TextHeight("x");
    Draw("WWWWWW\r\nii", {50, 0, 350, 200});
    TPixelGraphic top, bottom;
    top.SetSize(400, line, pgpf24Bit);
    bottom.SetSize(400, line, pgpf24Bit);
    top.CopyRect(0, 0, image, 0, 0, 400, line);
    bottom.CopyRect(0, 0, image, 0, line, 400, line);
    const Ink a = FindInk(top, kBlack), b = FindInk(bottom, kBlack);
    ASSERT_TRUE(a.any() && b.any());
    EXPECT_NEAR(a.left + a.right, 400, 4);
    EXPECT_NEAR(b.left + b.right, 400, 4);
    EXPECT_GT(b.left, a.left + 40);
}

TEST_F(CanvasText, AmpersandIsDrawnAsItself) {
    TPGCanvas& c = image.Canvas();
    EXPECT_GT(c.TextWidth("A&B"), c.TextWidth("AB"));
    EXPECT_NEAR(c.TextWidth("&&"), 2 * c.TextWidth("&"), 1);
    Draw("&", {0, 0, 400, 100});
    const Ink ink = FindInk(image, kBlack);
    ASSERT_TRUE(ink.any());
    // A prefix would turn the ampersand into nothing but an underline; the glyph is
    // tall.
    EXPECT_GT(ink.bottom - ink.top, c.TextHeight("&") / 3);
}

TEST_F(CanvasText, NothingIsDrawnOutsideTheRectangle) {
    image.Canvas().Font.Size = 40;
    const TRect r{50, 40, 170, 90};  // shorter than two lines, narrower than the text
    Draw("Why did the chicken cross the road?", r);
    const Ink ink = FindInk(image, kBlack);
    ASSERT_TRUE(ink.any());
    EXPECT_GE(ink.left, r.Left);
    EXPECT_GE(ink.top, r.Top);
    EXPECT_LT(ink.right, r.Right);
    EXPECT_LT(ink.bottom, r.Bottom);

    // A rectangle reaching past the image edges neither crashes nor wraps around.
    image.Clear();
    Draw("Edge", {-30, -10, 40, 20});
    Draw("Edge", {370, 280, 480, 400});
    EXPECT_TRUE(FindInk(image, kBlack).any());
}

TEST_F(CanvasText, ReturnsTextHeightEvenWhenClipped) {
    const int full = Measure("one two three four", 60);
    EXPECT_EQ(Draw("one two three four", {0, 0, 60, 10}), full);
}

TEST_F(CanvasText, BlendsCoverageIntoTheBackground) {
    image.SetBackGroundColor(PGRGB(0, 0, 200));
    image.Clear();
    image.Canvas().Font.Color = PGRGB(255, 0, 0);
    Draw("Blend", {0, 0, 400, 100});
    bool exact = false, between = false;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 400; ++x) {
            const PGColor c = image.Pixels(x, y);
            EXPECT_EQ(PGGreen(c), 0);
            if (c == PGRGB(255, 0, 0)) exact = true;
            if (PGRed(c) > 20 && PGRed(c) < 235) {
                between = true;
                // dst + (src - dst) * a / 255 keeps red and blue summing to about 255 * k.
                EXPECT_NEAR(PGRed(c) / 255.0 + PGBlue(c) / 200.0, 1.0, 0.02);
            }
        }
    EXPECT_TRUE(exact) << "full coverage gives the font colour itself";
    EXPECT_TRUE(between) << "edges are antialiased";
}

TEST_F(CanvasText, PaletteImagesTakeNearestEntries) {
    TPixelGraphic grey;
    grey.SetSize(200, 60, pgpf8Bit);
    grey.SetPaletteIdent(pGray256);
    grey.Clear();
    TPGCanvas& c = grey.Canvas();
    c.Brush.Style = TBrushStyle::Clear;
    c.Font.Size = 20;
    c.Font.Color = PGRGB(255, 255, 255);
    TRect r{0, 0, 200, 60};
    c.DrawText("Grey", r, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    bool full = false, mid = false;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x) {
            const auto v = grey.PixelValues(x, y);
            if (v == 255) full = true;
            if (v > 30 && v < 220) mid = true;
        }
    EXPECT_TRUE(full);
    EXPECT_TRUE(mid) << "the blended colour maps to an intermediate grey";
}

TEST_F(CanvasText, TextOutPaintsTheSolidBrushBehindOneLine) {
    TPGCanvas& c = image.Canvas();
    c.Brush.Style = TBrushStyle::Solid;
    c.Brush.Color = PGRGB(0, 128, 0);
    c.TextOut(10, 20, "Hi\r\nthere");
    const int w = c.TextWidth("Hi\r\nthere"), h = c.TextHeight("Hi");
    EXPECT_EQ(image.Pixels(10, 20), PGRGB(0, 128, 0));
    EXPECT_EQ(image.Pixels(10 + w - 1, 20 + h - 1), PGRGB(0, 128, 0));
    EXPECT_EQ(image.Pixels(10 + w + 2, 20), kBlack);
    EXPECT_EQ(image.Pixels(10, 20 + h), kBlack) << "line breaks are not interpreted";
    EXPECT_TRUE(FindInk(image, PGRGB(0, 128, 0)).any());

    // Past the edges only the visible part is drawn.
    c.Brush.Style = TBrushStyle::Clear;
    image.Clear();
    c.TextOut(-7, -5, "Cut");
    c.TextOut(395, 290, "Cut");
    c.TextOut(500, 0, "Gone");
    const Ink ink = FindInk(image, kBlack);
    EXPECT_TRUE(ink.any());
    EXPECT_EQ(ink.left, 0);
}

TEST_F(CanvasText, DecodesUtf8ElseWindows1252) {
    TPGCanvas& c = image.Canvas();
    const int utf8 = c.TextWidth("caf\xC3\xA9");
    const int cp1252 = c.TextWidth("caf\xE9");
    EXPECT_EQ(utf8, cp1252);
    EXPECT_GT(utf8, c.TextWidth("caf"));
    EXPECT_EQ(c.TextWidth("\x93quoted\x94"), c.TextWidth("\xE2\x80\x9Cquoted\xE2\x80\x9D"));
}

TEST_F(CanvasText, PointsScaleWithSizeAndStyleChangesTheMask) {
    TPGCanvas& c = image.Canvas();
    c.Font.Size = 12;
    const int small = c.TextHeight("x");
    c.Font.Size = 24;
    EXPECT_NEAR(c.TextHeight("x"), 2 * small, 2);
    // The same text in regular and bold: the cached mask must not be reused.
    c.Font.Bold = false;
    Draw("Mask", {0, 0, 400, 100});
    const int regular = FindInk(image, kBlack).count;
    image.Clear();
    c.Font.Bold = true;
    Draw("Mask", {0, 0, 400, 100});
    EXPECT_GT(FindInk(image, kBlack).count, regular);
}

TEST_F(CanvasText, DrawingReportsTheTouchedArea) {
    std::optional<TPixelGraphic::ChangedArea> seen;
    int calls = 0;
    image.OnChange = [&](TPixelGraphic& g) {
        seen = g.LastChange();
        ++calls;
    };
    TRect calc{0, 0, 200, 200};
    image.Canvas().DrawText("Measure", calc, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(calls, 0) << "measuring changes nothing";

    Draw("Area", {100, 100, 300, 200});
    ASSERT_EQ(calls, 1);
    const Ink ink = FindInk(image, kBlack);
    EXPECT_LE(seen->Left, ink.left);
    EXPECT_LE(seen->Top, ink.top);
    EXPECT_GT(seen->Right, ink.right);
    EXPECT_GT(seen->Bottom, ink.bottom);
    EXPECT_GE(seen->Left, 100);
    EXPECT_LE(seen->Bottom, 200);

    image.BeginUpdate();
    Draw("Quiet", {0, 0, 100, 50});
    EXPECT_EQ(calls, 1) << "no notification while an update is open";
    image.EndUpdate();
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace quipix
