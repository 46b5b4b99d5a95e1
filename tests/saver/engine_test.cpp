// The animation engine on small scenes: state order, slide rows, fade levels and
// pixels, limited mode, the shrinking layout and the failure path.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <stdexcept>

#include "saver/engine.h"
#include "saver_fakes.h"
#include "saver/scene.h"
#include "support/test_support.h"

namespace quipix::test {
namespace {

// The states of one joke, each run of equal states squeezed to one.
const std::vector<int> kFadeInPlaceCycle{NewJoke,          QuestionSlides, AnswerSetUp, AnswerSlides,
                                         HomePageInCorner, Snapshot,       Blend};
const std::vector<int> kFadeToBlackCycle{NewJoke, QuestionSlides, AnswerSetUp, AnswerSlides, FadeOutSetUp,
                                         FadeOut, BlackScreen,    FadeInSetUp, FadeIn};

// The levels a fade state runs at, one per tick, until the engine leaves it.
std::vector<int> LevelsOf(TSaverEngine& engine, int state) {
    std::vector<int> levels;
    while (engine.AnimationState() == state && levels.size() < 1000) {
        levels.push_back(engine.FadeLevel());
        engine.Timer1Timer();
    }
    return levels;
}

std::vector<int> Steps(int from, int step, int count) {
    std::vector<int> v;
    for (int i = 0; i < count; ++i) v.push_back(from + i * step);
    return v;
}

using EngineStates = EngineTest;
using EngineSlide = EngineTest;
using EngineFades = EngineTest;
using EngineLayout = EngineTest;
using EngineFailure = EngineTest;

TEST_F(EngineStates, FadeInPlaceCycle) {
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    Start(160, 120);
    EXPECT_EQ(engine.AnimationState(), NewJoke);
    EXPECT_EQ(host.interval_, kFullScreenTickMs);
    EXPECT_EQ(Squeeze(RunCycle(engine)), kFadeInPlaceCycle);
    EXPECT_EQ(engine.AnimationState(), NewJoke);
    EXPECT_EQ(fake.jokes, 1);
    EXPECT_EQ(Squeeze(RunCycle(engine)), kFadeInPlaceCycle);
    EXPECT_EQ(fake.jokes, 2);
    EXPECT_EQ(host.closes_, 0);
}

TEST_F(EngineStates, FadeToBlackStartsWithFadeIn) {
    fake.settings.BackgroundType = background_type::Solid;
    fake.settings.SolidColor = 0x0000FF;
    host.preview_ = true;
    Start(160, 120);
    EXPECT_EQ(host.interval_, kPreviewTickMs);
    EXPECT_EQ(engine.AnimationState(), BlackScreen);
    EXPECT_EQ(Squeeze(RunCycle(engine)), (std::vector<int>{BlackScreen, FadeInSetUp, FadeIn}));
    EXPECT_EQ(fake.jokes, 0);
    EXPECT_EQ(Squeeze(RunCycle(engine)), kFadeToBlackCycle);
    EXPECT_EQ(fake.jokes, 1);
}

TEST_F(EngineStates, OtherFadeModeValuesFadeToBlackWithoutFadeIn) {
    fake.settings.FadeMode = 7;
    Start(160, 120);
    EXPECT_EQ(engine.AnimationState(), NewJoke);
    EXPECT_EQ(Squeeze(RunCycle(engine)), kFadeToBlackCycle);
}

TEST_F(EngineSlide, QuestionAtSpeedTenRestsAtLastRowDrawn) {
    fake.settings.Question.Speed = 10;
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.settings.Question.ThreeD = false;
    fake.settings.BackgroundType = background_type::Solid;
    fake.settings.SolidColor = 0;
    fake.settings.Question.Color = 0x00FF00;
    // Block text at 42 points is one line of 84 rows, so the pair needs 168 rows and
    // the question's target is (768 - 168) / 2 = 300.
    fake.settings.Question.Size = 42;
    fake.settings.Answer.Size = 42;
    fake.question = "Q";
    fake.answer = "A";
    Start(1024, 768);
    engine.Timer1Timer();  // NewJoke
    ASSERT_EQ(engine.Layout().QuestionHeight, 84);
    ASSERT_EQ(engine.Layout().QuestionTarget, 300);
    std::vector<int> rows;
    while (engine.AnimationState() == QuestionSlides) {
        const int y = engine.QuestionY();
        rows.push_back(y);
        engine.Timer1Timer();
        const TPixelGraphic& shown = *host.ShownPicture();
        const int x = 512;  // the centre of the text block
        if (y + 1 < 768) {
            // The face layer lies one row below the strip's top.
            EXPECT_EQ(shown.Pixels(x, y + 1), PGColor(0x00FF00)) << "row " << y;
            EXPECT_EQ(shown.Pixels(x, y), PGColor(0)) << "row " << y;
        }
        // Nothing is left behind below the text.
        if (y + 1 + 84 < 768) {
            EXPECT_EQ(shown.Pixels(x, y + 1 + 84), PGColor(0)) << "row " << y;
        }
    }
    // 768, 758, ..., 308: the draw at 308 moves on to 298, at or above the target.
    EXPECT_EQ(rows, Steps(768, -10, 47));
    EXPECT_EQ(rows.back(), 308);
}

TEST(EngineText, StripsShowWhatWholeStripsCutFromACleanCopyShow) {
    // The straightforward slide step cuts a strip the whole text column wide from a
    // clean copy of the background, draws the text on it and puts it on the screen;
    // the engine touches only the columns that change. Every frame must be the same,
    // with real fonts (italic overhang, 3-D copies), texts of one and several lines,
    // and an answer whose strip reaches over the bottom of a wider question.
    QUIPIX_NEEDS_TEXT_ENGINE();
    TempDir dir;
    std::string ppm = "P6\n37 23\n255\n";
    for (int i = 0; i < 37 * 23 * 3; ++i) ppm += char((i * 37) ^ (i >> 3));
    const std::string noise = dir.write("noise.ppm", ppm);
    struct Case {
        int questionSpeed, answerSpeed;
        bool threeD, italic;
        int size;
        const char *question, *answer;
        bool blockText = false;
    };
    const Case cases[] = {
        {10, 10, true, true, 16, "Why did the long question need two lines on a small screen?", "Wrapped."},
        {1, 7, false, false, 12, "Who?", "A first line\r\nand a much longer second line of the answer"},
        {5, 3, true, false, 40, "W", "iii"},
        // Blocks 20 rows high: the question rests at 110, 10 rows below its target,
        // and its 3-D block reaches row 131; the answer rests at 127.
        {10, 1, true, false, 10, "QQQQQQQQ", "A", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.question);
        std::optional<ScopedBlockText> block;
        if (c.blockText) block.emplace();
        FakeServices fake;
        fake.settings.FadeMode = fade_mode::FadeInPlace;
        fake.settings.BackgroundType = background_type::Picture;
        fake.settings.Bitmap = noise;
        fake.settings.Tiled = true;
        for (TJokeTextSettings* t : {&fake.settings.Question, &fake.settings.Answer}) {
            t->ThreeD = c.threeD;
            t->Italic = c.italic;
            t->Size = c.size;
        }
        fake.settings.Question.Speed = c.questionSpeed;
        fake.settings.Answer.Speed = c.answerSpeed;
        fake.question = c.question;
        fake.answer = c.answer;
        FakeHost host(320, 240);
        TSaverEngine engine(host, fake.Make());
        engine.SetUpScene();
        engine.Timer1Timer();  // NewJoke: the bare background
        TPixelGraphic clean, shown, strip;
        clean.CopyPicture(host.ShownPicture());
        shown.CopyPicture(&clean);
        const TJokeLayout& l = engine.Layout();
        for (int tick = 0; engine.AnimationState() != HomePageInCorner && tick < 3000; ++tick) {
            const int state = engine.AnimationState();
            const bool question = state == QuestionSlides;
            if (question || state == AnswerSlides) {
                const int y = question ? engine.QuestionY() : engine.AnswerY();
                const int height = question ? l.QuestionHeight : l.AnswerHeight;
                const TJokeTextSettings& look = question ? fake.settings.Question : fake.settings.Answer;
                strip.SetSize(l.TextWidth, height + look.Speed + kStripMargin, pgpf24Bit);
                strip.Canvas().Draw(-l.Margin, -y, clean);
                DrawJokeText(strip, 0, height, 0, l.TextWidth, look.Color,
                             question ? l.QuestionFont : l.AnswerFont, question ? c.question : c.answer,
                             look.ThreeD);
                shown.Canvas().Draw(l.Margin, y, strip);
            }
            engine.Timer1Timer();
            ASSERT_TRUE(SamePicture(*host.ShownPicture(), shown)) << "tick " << tick << ", state " << state;
        }
        ASSERT_EQ(engine.AnimationState(), HomePageInCorner);
    }
}

TEST_F(EngineSlide, EachMonitorsSceneDrawsTheJokeItFetched) {
    // One scene per monitor: another scene's new joke must not reach a scene whose
    // joke is already laid out (a longer text in the old layout would be cut off).
    FakeServices& a = fake;
    FakeServices b;
    for (FakeServices* f : {&a, &b}) {
        f->settings.Question.Speed = 10;
        f->settings.FadeMode = fade_mode::FadeInPlace;
        f->settings.Question.ThreeD = false;
        f->settings.BackgroundType = background_type::Solid;
        f->settings.SolidColor = 0;
        f->settings.Question.Color = 0x00FF00;
        f->settings.Question.Size = 42;
        f->settings.Answer.Size = 42;
    }
    a.question = "AB";        // 84 pixels wide about the centre
    b.question = "ABCDEFGH";  // 336 pixels wide, one line as well
    FakeHost hostB(1024, 768);
    TSaverEngine engineB(hostB, b.Make());
    TSaverEngine& engineA = engine;
    Start(1024, 768);
    engineB.SetUpScene();
    engineA.Timer1Timer();  // NewJoke: A's joke
    engineB.Timer1Timer();  // NewJoke: B's joke becomes the current one
    RunUntil(engineA, AnswerSetUp);
    // The last drawing was 10 rows below where the question now stands.
    const int row = engineA.QuestionY() + 10 + 40;
    const TPixelGraphic& shown = *host.ShownPicture();
    EXPECT_EQ(shown.Pixels(512, row), PGColor(0x00FF00));
    EXPECT_EQ(shown.Pixels(512 + 100, row), PGColor(0)) << "the other scene's longer question was drawn";
}

TEST_F(EngineSlide, LimitedModeJumpsToTargets) {
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.settings.Speed = 3;
    Start(320, 240, 8);
    EXPECT_EQ(engine.EffectStep(), 30);
    engine.Timer1Timer();  // NewJoke
    EXPECT_EQ(engine.QuestionY(), engine.Layout().QuestionTarget);
    engine.Timer1Timer();  // one slide step draws the question at its target
    EXPECT_EQ(engine.AnimationState(), AnswerSetUp);
    engine.Timer1Timer();
    EXPECT_EQ(engine.AnswerY(), engine.Layout().AnswerTarget);
    engine.Timer1Timer();
    EXPECT_EQ(engine.AnimationState(), HomePageInCorner);
}

TEST_F(EngineFades, BlendLevelsAndPixelsAtSpeedTen) {
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.settings.Speed = 10;
    fake.settings.BackgroundType = background_type::Gradient;
    fake.settings.FromColor = 0x204060;
    fake.settings.ToColor = 0xC0A080;
    Start(64, 48);
    // The blend runs from the finished scene (as shown before Blend) to the bare
    // background (as NewJoke shows it); check the first two frames byte by byte.
    RunUntil(engine, QuestionSlides);
    TPixelGraphic clean, snapshot;
    clean.CopyPicture(host.ShownPicture());
    RunUntil(engine, Blend);
    snapshot.CopyPicture(host.ShownPicture());
    for (int frame = 0; frame < 2; ++frame) {
        const int level = engine.FadeLevel();
        engine.Timer1Timer();
        const TPixelGraphic& shown = *host.ShownPicture();
        for (int y = 0; y < 48; ++y)
            for (int i = 0; i < 64 * 3; ++i) {
                const int want =
                    (clean.ScanLine(y)[i] * level + snapshot.ScanLine(y)[i] * (256 - level)) / 256;
                ASSERT_EQ(shown.ScanLine(y)[i], want) << "level " << level << " row " << y;
            }
    }
    std::vector<int> levels{0, 50};
    for (int l : LevelsOf(engine, Blend)) levels.push_back(l);
    EXPECT_EQ(levels, Steps(0, 50, 6));
    EXPECT_EQ(engine.AnimationState(), NewJoke);
}

TEST_F(EngineFades, FadeOutAndInLevelsAtSpeedTen) {
    fake.settings.Speed = 10;
    fake.settings.BackgroundType = background_type::Gradient;
    Start(64, 48);
    RunUntil(engine, FadeIn);
    EXPECT_EQ(LevelsOf(engine, FadeIn), Steps(0, 50, 6));
    // "Fade to black" shows the finished scene itself, true colour, at each level (once
    // a 236-colour reduction of it was shown instead): the levels and frames hold.
    RunUntil(engine, FadeOutSetUp);
    TPixelGraphic scene;
    scene.CopyPicture(host.ShownPicture());
    engine.Timer1Timer();  // FadeOutSetUp: nothing to prepare
    EXPECT_EQ(engine.FadeLevel(), 255);
    std::vector<int> out;
    while (engine.AnimationState() == FadeOut && out.size() < 100) {
        const int level = engine.FadeLevel();
        out.push_back(level);
        engine.Timer1Timer();
        ASSERT_TRUE(SamePicture(*host.ShownPicture(), *AtLevel(scene, level))) << "level " << level;
    }
    EXPECT_EQ(out, Steps(255, -50, 6));
    EXPECT_EQ(engine.AnimationState(), BlackScreen);
    engine.Timer1Timer();
    EXPECT_EQ(engine.AnimationState(), FadeInSetUp);
    // The fade-in starts from the bare background at level 0: all black.
    engine.Timer1Timer();
    const TPixelGraphic& black = *host.ShownPicture();
    EXPECT_TRUE(
        std::all_of(black.Buffer(), black.Buffer() + black.BufferSize(), [](auto b) { return b == 0; }));
    RunUntil(engine, QuestionSlides);
    TPixelGraphic bare;
    bare.CopyPicture(host.ShownPicture());
    RunUntil(engine, FadeInSetUp);
    engine.Timer1Timer();
    std::vector<int> in;
    while (engine.AnimationState() == FadeIn && in.size() < 100) {
        const int level = engine.FadeLevel();
        in.push_back(level);
        engine.Timer1Timer();
        ASSERT_TRUE(SamePicture(*host.ShownPicture(), *AtLevel(bare, level))) << "level " << level;
    }
    EXPECT_EQ(in, Steps(0, 50, 6));
}

TEST_F(EngineFades, PaletteScreenAtSpeedOneTakesTwentySixFrames) {
    fake.settings.Speed = 1;
    Start(64, 48, 8);
    EXPECT_EQ(engine.EffectStep(), 10);
    RunUntil(engine, FadeOut);
    EXPECT_EQ(LevelsOf(engine, FadeOut), Steps(255, -10, 26));
}

TEST(EngineText, HomePageTextInCornerAndInsideWindow) {
    QUIPIX_NEEDS_TEXT_ENGINE();
    FakeServices fake;
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.settings.BackgroundType = background_type::Solid;
    FakeHost host(400, 300);
    TSaverEngine engine(host, fake.Make());
    engine.SetUpScene();
    RunUntil(engine, HomePageInCorner);
    TPixelGraphic before;
    before.CopyPicture(host.ShownPicture());
    engine.Timer1Timer();
    const TPixelGraphic& after = *host.ShownPicture();
    int minX = 400, minY = 300, maxX = -1, maxY = -1;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            if (after.Pixels(x, y) != before.Pixels(x, y)) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
    ASSERT_GE(maxX, 0) << "the home page text was not drawn";
    TPixelGraphic scratch;
    scratch.SetSize(1, 1, pgpf24Bit);
    TPGCanvas& c = scratch.Canvas();
    c.Font.Name = "Arial";
    c.Font.Size = 18;
    c.Font.Bold = true;
    const int boxWidth = c.TextWidth(kHomePageText) + 5;
    const int boxHeight = c.TextHeight(kHomePageText) + 5;
    // The box's corner is at (W - box width, H - box height); the text ends at least
    // 5 pixels from the right and bottom edges.
    EXPECT_GE(minX, 400 - boxWidth);
    EXPECT_GE(minY, 300 - boxHeight);
    EXPECT_LT(maxX, 400 - 5);
    EXPECT_LT(maxY, 300 - 5);
}

TEST(EngineText, RandomPlaceOfBlackScreenTextStaysInside) {
    QUIPIX_NEEDS_TEXT_ENGINE();
    for (int run = 0; run < 5; ++run) {
        FakeServices fake;
        fake.seed = 1234567u * std::uint32_t(run + 1);
        fake.settings.BackgroundType = background_type::Gradient;
        FakeHost host(300, 60);
        TSaverEngine engine(host, fake.Make());
        engine.SetUpScene();
        engine.Timer1Timer();  // BlackScreen
        const TPixelGraphic& shown = *host.ShownPicture();
        bool drawn = false;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 300; ++x) drawn |= shown.Pixels(x, y) != 0;
        EXPECT_TRUE(drawn);
        // The edge rows and columns stay black: the box lies wholly inside.
        for (int x = 0; x < 300; ++x) EXPECT_EQ(shown.Pixels(x, 59), PGColor(0));
        for (int y = 0; y < 60; ++y) EXPECT_EQ(shown.Pixels(299, y), PGColor(0));
    }
}

TEST_F(EngineLayout, LongQuestionAndShortAnswerShrinkTogether) {
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.settings.Question.Size = 20;
    fake.settings.Answer.Size = 30;
    fake.question = std::string(100, 'q');
    fake.answer = "a";
    Start(200, 200);
    engine.Timer1Timer();
    const TJokeLayout& l = engine.Layout();
    const int shrink = 20 - l.QuestionFont.Size;
    EXPECT_EQ(shrink, 10);
    EXPECT_EQ(30 - l.AnswerFont.Size, shrink);
    EXPECT_LE(l.QuestionHeight + l.AnswerHeight, 200 * 8 / 10);
    // One point larger would not have fitted.
    TJokeLayout bigger = l;
    bigger.QuestionFont.Size++;
    bigger.AnswerFont.Size++;
    TPixelGraphic scratch;
    scratch.SetSize(1, 1, pgpf24Bit);
    MeasureJokeTexts(bigger, scratch.Canvas(), fake.question, fake.answer);
    EXPECT_GT(bigger.QuestionHeight + bigger.AnswerHeight, 160);
    EXPECT_EQ(l.QuestionTarget, (200 - l.QuestionHeight - l.AnswerHeight) / 2);
    EXPECT_EQ(l.AnswerTarget, l.QuestionTarget + l.QuestionHeight + 6);
}

TEST_F(EngineLayout, TextThatNeverFitsStopsAtOnePoint) {
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.question = std::string(5000, 'q');
    Start(40, 20);
    engine.Timer1Timer();
    EXPECT_EQ(engine.Layout().QuestionFont.Size, 1);
    EXPECT_EQ(engine.Layout().AnswerFont.Size, 1);
    EXPECT_EQ(host.closes_, 0);
}

TEST(EngineText, RealFontsShrinkTogether) {
    QUIPIX_NEEDS_TEXT_ENGINE();
    FakeServices fake;
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.question =
        "What do you get when you cross a very long question with a very small window that "
        "cannot possibly hold all of these words at the size the user asked for?";
    fake.answer = "Smaller type.";
    FakeHost host(320, 160);
    TSaverEngine engine(host, fake.Make());
    engine.SetUpScene();
    engine.Timer1Timer();
    const TJokeLayout& l = engine.Layout();
    EXPECT_LT(l.QuestionFont.Size, 24);
    EXPECT_EQ(l.QuestionFont.Size, l.AnswerFont.Size);
    EXPECT_LE(l.QuestionHeight + l.AnswerHeight, 128);
}

TEST_F(EngineLayout, PreviewScalesFonts) {
    EXPECT_EQ(ScaleFontSize(24, 152, 112, 1024, 768), 3);
    EXPECT_EQ(ScaleFontSize(24, 1024, 768, 1024, 768), 24);
    EXPECT_EQ(ScaleFontSize(24, 200, 700, 1000, 1000), 16);  // the larger ratio wins
}

TEST_F(EngineFailure, ErrorInsideATickClosesThroughTheHost) {
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.onJoke = [] { throw std::runtime_error("Failed to set data for 'Speed'"); };
    Start(100, 80);
    engine.Timer1Timer();
    EXPECT_EQ(host.closes_, 1);
    EXPECT_TRUE(engine.Stopped());
    engine.Timer1Timer();
    EXPECT_EQ(host.closes_, 1);
}

TEST_F(EngineFailure, AHostThatLostItsCopyIsGivenTheWholeFrame) {
    // The engine draws into its own pictures; a host's copy is only a view of them.
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.settings.BackgroundType = background_type::Gradient;
    Start(100, 80);
    engine.Timer1Timer();
    TPixelGraphic bare;
    bare.CopyPicture(host.ShownPicture());
    host.shown_.reset();
    // The question's first strips, from the bottom edge on.
    for (int i = 0; i < 20 && !host.ShownPicture(); ++i) engine.Timer1Timer();
    EXPECT_EQ(host.closes_, 0);
    ASSERT_NE(host.ShownPicture(), nullptr);
    const TPixelGraphic& shown = *host.ShownPicture();
    EXPECT_TRUE(std::memcmp(shown.ScanLine(0), bare.ScanLine(0), 100 * 3) == 0) << "not only the strip";
}

TEST_F(EngineFailure, ABackgroundThatCannotBeMadeIsReportedAsTheSetUpsError) {
    // The background is made on a worker thread and taken at the first tick that shows
    // it; a failure there gets the set-up's error box, not a silent close, and the
    // window stays black until input closes it, with no tick doing anything.
    class PaintingHost : public FakeHost {  // paints straight from the frame, keeping no copy
    public:
        using FakeHost::FakeHost;

    protected:
        void FrameChanged(const TRect&) override {}
    };
    for (int mode : {fade_mode::FadeToBlack, fade_mode::FadeInPlace}) {
        FakeServices fake;
        fake.settings.FadeMode = mode;
        PaintingHost host(200000, 200000);  // 120 GB of 24-bit pixels
        TSaverEngine engine(host, fake.Make());
        std::vector<std::string> errors;
        engine.SetUpScene([&errors](const std::string& e) { errors.push_back(e); });
        EXPECT_TRUE(errors.empty());
        for (int tick = 0; tick < 5; ++tick) engine.Timer1Timer();
        ASSERT_EQ(errors.size(), 1u) << "fade mode " << mode;
        EXPECT_FALSE(errors[0].empty());
        EXPECT_EQ(host.closes_, 0);
        EXPECT_GT(engine.IdleTicks(), 360000);  // a host sleeps through them
        engine.SkipIdleTicks(1000);
        engine.Timer1Timer();
        EXPECT_EQ(errors.size(), 1u);
    }
}

TEST_F(EngineFailure, SetUpErrorStartsNoTimer) {
    fake.onLoad = [] { throw std::runtime_error("Invalid data type for 'Speed'"); };
    EXPECT_THROW(Start(100, 80), std::runtime_error);
    EXPECT_EQ(host.interval_, -1);
}

TEST_F(EngineStates, UnusableSpeedsStillFinishTheCycle) {
    fake.settings.FadeMode = fade_mode::FadeInPlace;
    fake.settings.Speed = 0;
    fake.settings.Question.Speed = -4;
    fake.settings.Answer.Speed = 0;
    Start(100, 80);
    const std::vector<int> states = RunCycle(engine, 5000);
    EXPECT_EQ(Squeeze(states), kFadeInPlaceCycle);
    EXPECT_EQ(engine.AnimationState(), NewJoke);
}

}  // namespace
}  // namespace quipix::test
