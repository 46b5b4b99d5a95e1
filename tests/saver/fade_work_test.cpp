// The fades' pixel work: the cross-fade's exact integer results, the fade-out of a
// large scene at its levels, the pause after the answer, and the engine's memory.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "saver/engine.h"
#include "saver_fakes.h"

namespace quipix::test {
namespace {

TEST(CrossFade, EveryLevelAndBytePairIsExact) {
    // All 256 x 256 pairs, with a length that is no multiple of any vector width.
    const std::size_t n = 256 * 256 + 7;
    std::vector<std::uint8_t> clean(n), snap(n), out(n);
    for (std::size_t i = 0; i < n; ++i) {
        clean[i] = std::uint8_t(i & 0xFF);
        snap[i] = std::uint8_t((i >> 8) & 0xFF);
    }
    for (int level = 0; level <= 256; ++level) {
        CrossFadeBytes(out.data(), clean.data(), snap.data(), n, level);
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(out[i], (clean[i] * level + snap[i] * (256 - level)) / 256)
                << "level " << level << " at " << i;
    }
    // Levels outside 0 .. 256 are held to the ends.
    CrossFadeBytes(out.data(), clean.data(), snap.data(), n, 300);
    EXPECT_EQ(out, clean);
    CrossFadeBytes(out.data(), clean.data(), snap.data(), n, -4);
    EXPECT_EQ(out, snap);
}

using FadeOutWork = EngineTest;

TEST_F(FadeOutWork, TheFinishedSceneFadesAsItIs) {
    // A large scene with many colours: the fade-out shows the scene itself at each
    // level (once a 236-colour reduction of it, built over several ticks of
    // FadeOutSetUp, was shown instead), so FadeOutSetUp takes one tick and leaves the
    // screen as it is.
    fake.settings.Speed = 10;
    fake.settings.BackgroundType = background_type::Gradient;
    fake.settings.FromColor = 0x2050F0;
    fake.settings.ToColor = 0xF08010;
    Start(900, 600);
    for (int cycle = 0; cycle < 2; ++cycle) {
        RunUntil(engine, FadeOutSetUp);
        TPixelGraphic scene;
        scene.CopyPicture(host.ShownPicture());
        engine.Timer1Timer();
        ASSERT_EQ(engine.AnimationState(), FadeOut);
        ASSERT_TRUE(SamePicture(*host.ShownPicture(), scene));
        std::vector<int> levels;
        while (engine.AnimationState() == FadeOut && levels.size() < 100) {
            levels.push_back(engine.FadeLevel());
            engine.Timer1Timer();
            ASSERT_TRUE(SamePicture(*host.ShownPicture(), *AtLevel(scene, levels.back())));
        }
        EXPECT_EQ(levels, (std::vector<int>{255, 205, 155, 105, 55, 5})) << "cycle " << cycle;
    }
}

TEST(PauseAfterTheAnswer, SceneStandsForThePauseThenTheFadeBegins) {
    struct Case {
        int pause;
        bool preview;  // 100 ms ticks instead of 10 ms
        int fadeMode;
        int w, h;
        // Ticks after the answer's arrival with nothing new on screen: the pause, and
        // with "Fade to black" FadeOutSetUp and the fade-out's level 255, the scene as
        // it is.
        int stillTicks;
    };
    const Case cases[] = {
        {4, false, fade_mode::FadeToBlack, 900, 600, 402}, {4, true, fade_mode::FadeToBlack, 900, 600, 42},
        {4, false, fade_mode::FadeInPlace, 320, 240, 400}, {0, false, fade_mode::FadeToBlack, 160, 120, 2},
        {-3, false, fade_mode::FadeToBlack, 160, 120, 2},  // a stored negative is no pause
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "pause " << c.pause << (c.preview ? " preview" : "") << " fade mode " << c.fadeMode);
        ScopedBlockText text;
        FakeServices fake;
        fake.settings.Pause = c.pause;
        fake.settings.FadeMode = c.fadeMode;
        fake.settings.BackgroundType = background_type::Gradient;
        fake.settings.FromColor = 0x2050F0;
        fake.settings.ToColor = 0xF08010;
        FakeHost host(c.w, c.h);
        host.preview_ = c.preview;
        TSaverEngine engine(host, fake.Make());
        engine.SetUpScene();
        RunUntil(engine, AnswerSlides);
        while (engine.AnswerY() > engine.Layout().AnswerTarget) engine.Timer1Timer();

        TPixelGraphic scene;
        scene.CopyPicture(host.ShownPicture());
        const int handOvers = host.handOvers_;
        int still = 0;
        for (;;) {
            engine.Timer1Timer();
            if (host.handOvers_ != handOvers || !SamePicture(*host.ShownPicture(), scene)) break;
            ASSERT_LT(++still, 10000);
        }
        EXPECT_EQ(still, c.stillTicks);
        if (c.fadeMode == fade_mode::FadeInPlace) {
            EXPECT_EQ(engine.AnimationState(), Snapshot);  // the home page text came first
            continue;
        }
        // The first frame that differs is the fade-out's second level (steps of 25).
        ASSERT_EQ(engine.AnimationState(), FadeOut);
        EXPECT_EQ(engine.FadeLevel(), 205);
        EXPECT_TRUE(SamePicture(*host.ShownPicture(), *AtLevel(scene, 230)));
    }
}

TEST(PauseAfterTheAnswer, AHostThatSleepsThroughItShowsEveryFrameAtItsTick) {
    // One host ticks every tick; the other sleeps through the ticks the engine says
    // only wait, as a window does, and hands them back: both show the same frames at
    // the same ticks, over two joke cycles.
    struct Case {
        int pause, fadeMode;
        int idleTicks;  // what the engine says once the answer has come to rest
    };
    for (const Case& c : {Case{1, fade_mode::FadeToBlack, 100}, Case{1, fade_mode::FadeInPlace, 100},
                          Case{0, fade_mode::FadeToBlack, 0}}) {
        SCOPED_TRACE(testing::Message() << "pause " << c.pause << " fade mode " << c.fadeMode);
        ScopedBlockText text;
        FakeServices fakes[2];  // each with its own random numbers, the same ones
        for (FakeServices& fake : fakes) {
            fake.settings.Pause = c.pause;
            fake.settings.FadeMode = c.fadeMode;
            fake.settings.Speed = 10;
            fake.settings.BackgroundType = background_type::Gradient;
        }
        FakeHost ticking(160, 120), sleeping(160, 120);
        TSaverEngine every(ticking, fakes[0].Make()), skipping(sleeping, fakes[1].Make());
        every.SetUpScene();
        skipping.SetUpScene();
        TIdleSleep sleep;
        int ticksEvery = 0, ticksSkipping = 0, sleeps = 0, cycles = 0;
        bool joked = false;
        while (cycles < 2 && ticksSkipping < 20000) {
            if (const int ms = sleep.Begin(skipping, 10); ms > 0) {
                EXPECT_EQ(ms, c.idleTicks * 10);
                ASSERT_EQ(sleep.End(skipping, 10), 0);  // the whole pause in one sleep
                ASSERT_EQ(skipping.IdleTicks(), 0);
                ticksSkipping += ms / 10;
                ++sleeps;
            } else {
                const int state = skipping.AnimationState();
                skipping.Timer1Timer();
                ++ticksSkipping;
                // A joke's cycle ends as the next joke begins.
                joked = joked || state == AnswerSlides;
                if (joked && skipping.AnimationState() == NewJoke) {
                    ++cycles;
                    joked = false;
                }
            }
            for (; ticksEvery < ticksSkipping; ++ticksEvery) every.Timer1Timer();
            ASSERT_EQ(every.AnimationState(), skipping.AnimationState()) << "tick " << ticksEvery;
            ASSERT_EQ(every.FadeLevel(), skipping.FadeLevel()) << "tick " << ticksEvery;
            ASSERT_TRUE(SamePicture(*ticking.ShownPicture(), *sleeping.ShownPicture()))
                << "tick " << ticksEvery;
        }
        EXPECT_EQ(cycles, 2);
        EXPECT_EQ(sleeps, c.idleTicks > 0 ? 2 : 0);
    }
}

TEST(FadeWork, EveryTickShowsItsFrameAndBlackFadesOnlyWhatIsDrawn) {
    // A window repaints only what the engine says changed. Over two joke cycles the
    // window's copy must always be the frame drawn whole; and over a black background,
    // which stays black at every level, the fades repaint only the text's areas and
    // the home page box, and the slides only the text's columns.
    class CountingHost : public FakeHost {
    public:
        using FakeHost::FakeHost;
        std::map<int, long> painted;  // pixels per state
        int state = -1;

    protected:
        void FrameChanged(const TRect& area) override {
            if (!EmptyRect(area)) painted[state] += long(area.Width()) * area.Height();
            FakeHost::FrameChanged(area);
        }
    };
    struct Case {
        int type;
        TColor solid;
        int fadeMode;
    };
    const Case cases[] = {
        {background_type::Solid, 0, fade_mode::FadeToBlack},
        {background_type::Solid, 0, fade_mode::FadeInPlace},
        {background_type::Solid, 0x336699, fade_mode::FadeToBlack},
        {background_type::Gradient, 0, fade_mode::FadeToBlack},
        {background_type::Gradient, 0, fade_mode::FadeInPlace},
    };
    const int w = 640, h = 480;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "background " << c.type << " colour " << c.solid << " fade mode " << c.fadeMode);
        ScopedBlockText text;
        FakeServices fake;
        fake.settings.BackgroundType = c.type;
        fake.settings.SolidColor = c.solid;
        fake.settings.FadeMode = c.fadeMode;
        fake.settings.Question.Size = 10;
        fake.settings.Answer.Size = 10;
        CountingHost host(w, h);
        TSaverEngine engine(host, fake.Make());
        engine.SetUpScene();
        TPixelGraphic whole;
        whole.SetSize(w, h, pgpf24Bit);
        std::map<int, int> ticks;  // of the second cycle, per state
        for (int tick = 0, cycles = 0; cycles < 2 && tick < 5000; ++tick) {
            const int state = engine.AnimationState();
            if (cycles == 1) {
                host.state = state;
                ++ticks[state];
            }
            engine.Timer1Timer();
            RenderFrameArea(host.Frame(), {0, 0, w, h}, whole);
            ASSERT_TRUE(SamePicture(*host.ShownPicture(), whole)) << "tick " << tick << ", state " << state;
            if (state != NewJoke && engine.AnimationState() == NewJoke) ++cycles;
        }
        if (c.type != background_type::Solid || c.solid != 0) continue;
        // "Why?" and "Because." are blocks of 40 and 80 by 20 pixels.
        const long strip = 84 * 40;
        EXPECT_LE(host.painted[QuestionSlides], ticks[QuestionSlides] * strip);
        EXPECT_LE(host.painted[AnswerSlides], ticks[AnswerSlides] * strip * 2);
        if (c.fadeMode != fade_mode::FadeToBlack) continue;
        // About two dozen frames, together less than half a screen.
        long fades = 0;
        for (int state : {FadeOut, BlackScreen, FadeInSetUp, FadeIn, NewJoke}) fades += host.painted[state];
        EXPECT_LT(fades, w * h / 2);
        EXPECT_EQ(host.painted[FadeIn], 0);
    }
}

TEST(FadeWork, FullScreenPicturesLiveOnlyInTheStatesThatNeedThem) {
    // The engine holds one screen-sized picture, the scene, and beside it only the
    // areas that text covers: no second screen-sized picture in any state.
    ScopedBlockText text;
    for (int mode : {fade_mode::FadeToBlack, fade_mode::FadeInPlace}) {
        FakeServices fake;
        fake.settings.FadeMode = mode;
        fake.settings.Speed = 10;
        fake.settings.BackgroundType = background_type::Gradient;
        fake.settings.Question.Size = 10;
        fake.settings.Answer.Size = 10;
        FakeHost host(800, 600);
        TSaverEngine engine(host, fake.Make());
        engine.SetUpScene();
        const std::size_t screen24 = 800 * 600 * 3;
        for (int tick = 0, cycles = 0; tick < 5000 && cycles < 2; ++tick) {
            const int state = engine.AnimationState();
            engine.Timer1Timer();
            ASSERT_EQ(host.closes_, 0);
            const int now = engine.AnimationState();
            EXPECT_LT(engine.PictureBytes(), screen24 + screen24 / 2)
                << "mode " << mode << " after state " << state;
            if (state != NewJoke && now == NewJoke) ++cycles;
        }
    }
}

}  // namespace
}  // namespace quipix::test
