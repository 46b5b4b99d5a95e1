// The GDI text engine against the text-engine contract. The fonts are whatever the
// system (or Wine) substitutes for the names asked for, so no exact metric is assumed:
// only relations that any font keeps.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "imaging/canvas.h"
#include "imaging/text_engine.h"
#include "win32/gdi_text_engine.h"

namespace quipix {
namespace {

constexpr unsigned kJoke = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;

TPGFont Font(int size, bool bold = false, bool italic = false) {
    TPGFont f;
    f.Name = "Arial";
    f.Size = size;
    f.Bold = bold;
    f.Italic = italic;
    return f;
}

long long Ink(const TextMask& m) {
    long long sum = 0;
    for (std::uint8_t c : m.Coverage) sum += c;
    return sum;
}

class GdiText : public ::testing::Test {
protected:
    std::shared_ptr<TextEngine> engine = MakeGdiTextEngine(96);
    int Line(const TPGFont& f) { return engine->Measure(f, "x", 0, DT_SINGLELINE).Height; }
};

TEST_F(GdiText, MeasureGrowsWithSizeDpiAndLineCount) {
    const int small = Line(Font(12)), large = Line(Font(24));
    ASSERT_GT(small, 10);
    EXPECT_NEAR(large, 2 * small, 3);
    EXPECT_NEAR(MakeGdiTextEngine(192)->Measure(Font(12), "x", 0, DT_SINGLELINE).Height, large, 1)
        << "points follow the engine's DPI";
    EXPECT_GT(engine->Measure(Font(24), "Joke", 0, DT_SINGLELINE).Width,
              engine->Measure(Font(12), "Joke", 0, DT_SINGLELINE).Width);

    const TPGFont f = Font(20);
    const int line = Line(f);
    struct Case {
        const char* text;
        unsigned flags;
        int lines;
    } cases[] = {
        {"Why", kJoke, 1},
        {"a\r\nb", kJoke, 2},
        {"a\rb", kJoke, 2},
        {"a\nb", kJoke, 2},
        {"a\r\n\r\nb", kJoke, 3},
        {"a\r\n", kJoke, 1},
        {"", kJoke, 0},
        {"", DT_SINGLELINE, 1},
        {"a\r\nb", DT_SINGLELINE, 1},
        {"a&b\r\nc", DT_NOPREFIX, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine->Measure(f, c.text, 1000, c.flags).Height, c.lines * line) << c.text;
}

TEST_F(GdiText, WordBreakWrapsInANarrowColumn) {
    const TPGFont f = Font(20);
    const int line = Line(f);
    const std::string text = "one two three four five";
    const TextExtent wide = engine->Measure(f, text, 2000, kJoke);
    EXPECT_EQ(wide.Height, line);
    const int column = engine->Measure(f, "three", 0, DT_SINGLELINE).Width + 4;
    const TextExtent narrow = engine->Measure(f, text, column, kJoke);
    EXPECT_GE(narrow.Height, 3 * line);
    EXPECT_EQ(narrow.Height % line, 0);
    EXPECT_LE(narrow.Width, column);
    EXPECT_EQ(engine->Measure(f, text, column, DT_CENTER | DT_NOPREFIX).Height, line)
        << "without word break only explicit breaks start lines";
}

TEST_F(GdiText, CentringPutsInkSymmetric) {
    const TPGFont f = Font(24, true);
    const auto centred = engine->Render(f, "IIII", 400, 100, kJoke);
    ASSERT_GT(centred->Width, 0);
    EXPECT_NEAR(centred->Left, 400 - (centred->Left + centred->Width), 3);
    const auto left = engine->Render(f, "IIII", 400, 100, DT_WORDBREAK | DT_NOPREFIX);
    ASSERT_GT(left->Width, 0);
    EXPECT_LT(left->Left, 8);
    EXPECT_EQ(left->Width, centred->Width);
}

TEST_F(GdiText, MaskStaysInTheRectangleAndIsTrimmedToItsInk) {
    struct Case {
        const char* text;
        TPGFont font;
        int width, height;
        unsigned flags;
    } cases[] = {
        {"Why did the chicken cross the road?", Font(40), 120, 50, kJoke},
        {"Supercalifragilisticexpialidocious", Font(24), 60, 200, kJoke},
        {"Wolf", Font(48, true, true), 70, 80, DT_NOPREFIX},
        {"jgq fff\r\nWAVY", Font(30, false, true), 300, 500, kJoke},
        {"tiny", Font(8), 20, 5, DT_SINGLELINE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto m = engine->Render(c.font, c.text, c.width, c.height, c.flags);
        ASSERT_GT(m->Width, 0);
        ASSERT_GT(m->Height, 0);
        EXPECT_GE(m->Left, 0);
        EXPECT_GE(m->Top, 0);
        EXPECT_LE(m->Left + m->Width, c.width);
        EXPECT_LE(m->Top + m->Height, c.height);
        ASSERT_EQ(m->Coverage.size(), std::size_t(m->Width) * std::size_t(m->Height));
        ASSERT_EQ(m->SpanStart.size(), std::size_t(m->Height));
        ASSERT_EQ(m->SpanEnd.size(), std::size_t(m->Height));
        int firstCol = m->Width, lastCol = -1;
        for (int y = 0; y < m->Height; ++y) {
            const int a = m->SpanStart[std::size_t(y)], b = m->SpanEnd[std::size_t(y)];
            ASSERT_TRUE(0 <= a && a <= b && b <= m->Width) << "row " << y;
            for (int x = 0; x < m->Width; ++x) {
                const bool ink = m->Coverage[std::size_t(y) * std::size_t(m->Width) + std::size_t(x)] != 0;
                if (x < a || x >= b) {
                    ASSERT_FALSE(ink) << "ink outside the span, row " << y;
                }
                if (ink) firstCol = std::min(firstCol, x), lastCol = std::max(lastCol, x);
            }
        }
        EXPECT_LT(m->SpanStart.front(), m->SpanEnd.front()) << "the top row has ink";
        EXPECT_LT(m->SpanStart.back(), m->SpanEnd.back()) << "the bottom row has ink";
        EXPECT_EQ(firstCol, 0);
        EXPECT_EQ(lastCol, m->Width - 1);
    }
    // Nothing to draw, or nowhere to draw it: an empty mask, not a failure.
    EXPECT_EQ(engine->Render(Font(20), "", 100, 100, kJoke)->Width, 0);
    EXPECT_EQ(engine->Render(Font(20), "Hi", 0, 100, kJoke)->Width, 0);
    EXPECT_EQ(engine->Render(Font(20), "Hi", 100, 0, kJoke)->Width, 0);
}

TEST_F(GdiText, BoldIsWiderAndHeavierAndEdgesAreGrey) {
    const TPGFont regular = Font(24), bold = Font(24, true);
    EXPECT_GT(engine->Measure(bold, "Mask", 0, DT_SINGLELINE).Width,
              engine->Measure(regular, "Mask", 0, DT_SINGLELINE).Width);
    const auto r = engine->Render(regular, "Mask", 400, 100, kJoke);
    const auto b = engine->Render(bold, "Mask", 400, 100, kJoke);
    EXPECT_GT(Ink(*b), Ink(*r)) << "a cached regular mask must not stand in for bold";
    bool full = false, between = false;
    for (std::uint8_t c : b->Coverage) {
        full |= c == 255;
        between |= c > 20 && c < 235;
    }
    EXPECT_TRUE(full) << "white on black gives full coverage inside strokes";
    EXPECT_TRUE(between) << "greyscale antialiasing gives partial coverage at edges";
}

TEST_F(GdiText, Utf8AndWindows1252DrawTheSameGlyphs) {
    const TPGFont f = Font(30);
    const auto utf8 = engine->Render(f, "caf\xC3\xA9", 300, 60, kJoke);
    const auto cp1252 = engine->Render(f, "caf\xE9", 300, 60, kJoke);
    const auto plain = engine->Render(f, "cafe", 300, 60, kJoke);
    EXPECT_EQ(utf8->Left, cp1252->Left);
    EXPECT_EQ(utf8->Top, cp1252->Top);
    EXPECT_EQ(utf8->Width, cp1252->Width);
    EXPECT_EQ(utf8->Coverage, cp1252->Coverage);
    EXPECT_NE(utf8->Coverage, plain->Coverage) << "the accent is drawn";
    EXPECT_EQ(engine->Measure(f, "\x93q\x94", 0, DT_SINGLELINE).Width,
              engine->Measure(f, "\xE2\x80\x9Cq\xE2\x80\x9D", 0, DT_SINGLELINE).Width);
}

TEST_F(GdiText, RepeatedLayersReuseTheirMasks) {
    // A tick draws the question's three layers and then the answer's.
    const TPGFont q = Font(24, true), a = Font(20);
    const auto question = engine->Render(q, "Why?", 600, 80, kJoke);
    const auto answer = engine->Render(a, "Because.", 600, 80, kJoke);
    for (int tick = 0; tick < 3; ++tick) {
        for (int layer = 0; layer < 3; ++layer)
            EXPECT_EQ(engine->Render(q, "Why?", 600, 80, kJoke), question);
        for (int layer = 0; layer < 3; ++layer)
            EXPECT_EQ(engine->Render(a, "Because.", 600, 80, kJoke), answer);
    }
    EXPECT_NE(engine->Render(q, "Why?", 600, 40, kJoke), question) << "another height";
}

// The installed engine (the test entry's, at 96 dpi) lays text out at the DPI of the
// saver window drawing, each DPI with its own layouts.
TEST(InstalledGdiText, FollowsTheDpiOfTheWindowDrawing) {
    TextEngine* installed = CurrentTextEngine();
    ASSERT_NE(installed, nullptr);
    const TPGFont f = Font(12);
    const auto line = [&] { return installed->Measure(f, "x", 0, DT_SINGLELINE).Height; };
    const int at96 = line();
    const int at192 = MakeGdiTextEngine(192)->Measure(f, "x", 0, DT_SINGLELINE).Height;
    ASSERT_GT(at192, at96 + 5);
    {
        const ScopedTextDpi monitor(192);
        EXPECT_EQ(line(), at192);
        const auto mask = installed->Render(f, "Why?", 300, 60, kJoke);
        {
            const ScopedTextDpi own(0);
            EXPECT_EQ(line(), at96) << "0 is the engine's own DPI";
            const ScopedTextDpi other(144);
            installed->Render(f, "Why?", 300, 60, kJoke);
        }
        EXPECT_EQ(line(), at192) << "scopes nest";
        EXPECT_EQ(installed->Render(f, "Why?", 300, 60, kJoke), mask)
            << "another DPI evicted this one's mask";
    }
    EXPECT_EQ(line(), at96);

    // An engine installed by someone else is left at its own DPI.
    SetTextEngine(MakeGdiTextEngine(96));
    {
        const ScopedTextDpi monitor(192);
        EXPECT_EQ(CurrentTextEngine()->Measure(f, "x", 0, DT_SINGLELINE).Height, at96);
    }
    InstallGdiTextEngine(96);
}

}  // namespace
}  // namespace quipix
