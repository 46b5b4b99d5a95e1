// The fades' pixel work: the cross-fade's exact integer results, and the fade-out's
// palette picture built over several ticks on a large scene, with the screen unchanged
// meanwhile and the same result as made in one go; and the pause after the answer,
// which that build runs inside.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "saver/engine.h"
#include "saver_fakes.h"

namespace quipix::test {
namespace {

void RunUntil(TSaverEngine& engine, int state) {
    for (int i = 0; i < 10000 && engine.AnimationState() != state; ++i) engine.Timer1Timer();
    ASSERT_EQ(engine.AnimationState(), state);
}

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

bool SamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelFormat() == b.PixelFormat() &&
           a.BufferSize() == b.BufferSize() && std::memcmp(a.Buffer(), b.Buffer(), a.BufferSize()) == 0;
}

// The palette picture that "Fade to black" starts from, made in one go.
void OneShotFadeOut(const TPixelGraphic& scene, TPixelGraphic& out) {
    out.SetSize(scene.Width(), scene.Height(), pgpf8Bit);
    out.CreateOptimizedPalette(scene, 236, false);
    out.AssignStretched(scene);
}

TEST(FadeOutWork, LargeSceneSpreadsOverTicksWithTheOneShotResult) {
    ScopedBlockText text;
    FakeServices fake;
    fake.settings.Speed = 10;
    fake.settings.BackgroundType = 1;  // a gradient: many colours to reduce
    fake.settings.FromColor = 0x2050F0;
    fake.settings.ToColor = 0xF08010;
    FakeHost host(900, 600);
    TSaverEngine engine(host, fake.Make());
    engine.SetUpScene();
    // The first fade-in's palette picture was made before the first tick.
    RunUntil(engine, 7);

    // What state 7 makes in one go from the finished scene.
    TPixelGraphic scene, expected;
    scene.CopyPicture(host.ShownPicture());
    OneShotFadeOut(scene, expected);

    const int handOvers = host.handOvers_;
    int ticks = 0;
    while (engine.AnimationState() == 7 && ticks < 1000) {
        engine.Timer1Timer();
        ++ticks;
        if (engine.AnimationState() == 7) {
            // Still working: nothing new handed over, the scene unchanged.
            ASSERT_EQ(host.handOvers_, handOvers);
            ASSERT_TRUE(SamePixels(*host.ShownPicture(), scene));
        }
    }
    EXPECT_GT(ticks, 1) << "a scene this large takes more than one tick";
    ASSERT_EQ(engine.AnimationState(), 8);
    EXPECT_EQ(host.handOvers_, handOvers + 1);
    EXPECT_EQ(engine.FadeLevel(), 255);
    const TPixelGraphic& shown = *host.ShownPicture();
    EXPECT_EQ(shown.Palette(), expected.Palette());
    EXPECT_TRUE(SamePixels(shown, expected));

    // The fade that follows runs its usual levels, and the next fade-out works afresh.
    std::vector<int> levels;
    while (engine.AnimationState() == 8) {
        levels.push_back(engine.FadeLevel());
        engine.Timer1Timer();
    }
    EXPECT_EQ(levels, (std::vector<int>{255, 205, 155, 105, 55, 5}));
    RunUntil(engine, 7);
    ASSERT_TRUE(SamePixels(*host.ShownPicture(), scene)) << "the same joke, the same scene";
    RunUntil(engine, 8);
    EXPECT_TRUE(SamePixels(*host.ShownPicture(), expected));
}

TEST(PauseAfterTheAnswer, SceneStandsForThePauseThenTheFadeBegins) {
    struct Case {
        int pause;
        bool preview;  // 100 ms ticks instead of 10 ms
        int fadeMode;
        int w, h;
        int stillTicks;  // ticks after the answer's arrival with nothing new on screen
    };
    const Case cases[] = {
        {4, false, 0, 900, 600, 400}, {4, true, 0, 900, 600, 40},  {4, false, 1, 320, 240, 400},
        {0, false, 0, 160, 120, 0},   {-3, false, 0, 160, 120, 0},  // a stored negative is no pause
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "pause " << c.pause << (c.preview ? " preview" : "") << " fade mode " << c.fadeMode);
        ScopedBlockText text;
        FakeServices fake;
        fake.settings.Pause = c.pause;
        fake.settings.FadeMode = c.fadeMode;
        fake.settings.BackgroundType = 1;
        fake.settings.FromColor = 0x2050F0;
        fake.settings.ToColor = 0xF08010;
        FakeHost host(c.w, c.h);
        host.preview_ = c.preview;
        TSaverEngine engine(host, fake.Make());
        engine.SetUpScene();
        RunUntil(engine, 3);
        while (engine.AnswerY() > engine.Layout().AnswerTarget) engine.Timer1Timer();

        TPixelGraphic scene;
        scene.CopyPicture(host.ShownPicture());
        const int handOvers = host.handOvers_;
        int still = 0;
        for (;;) {
            engine.Timer1Timer();
            if (host.handOvers_ != handOvers || !SamePixels(*host.ShownPicture(), scene)) break;
            ASSERT_LT(++still, 10000);
        }
        EXPECT_EQ(still, c.stillTicks);
        if (c.fadeMode == 1) {
            EXPECT_EQ(engine.AnimationState(), 5);  // the home page text came first
            continue;
        }
        // The first frame that differs is the fade-out's first level, from the
        // palette picture that a one-shot build makes.
        ASSERT_EQ(engine.AnimationState(), 8);
        EXPECT_EQ(engine.FadeLevel(), 255);
        TPixelGraphic expected;
        OneShotFadeOut(scene, expected);
        EXPECT_EQ(host.ShownPicture()->Palette(), expected.Palette());
        EXPECT_TRUE(SamePixels(*host.ShownPicture(), expected));
    }
}

TEST(FadeWork, FullScreenPicturesLiveOnlyInTheStatesThatNeedThem) {
    // Beside the clean background and the host's copy, the engine holds a screen-sized
    // picture only while it builds one: the snapshot of "Fade in place" (states 5 and
    // 6) and the fade-out's palette picture (state 7).
    ScopedBlockText text;
    for (int mode : {0, 1}) {
        FakeServices fake;
        fake.settings.FadeMode = mode;
        fake.settings.Speed = 10;
        fake.settings.BackgroundType = 1;
        FakeHost host(400, 300);
        TSaverEngine engine(host, fake.Make());
        engine.SetUpScene();
        const std::size_t screen8 = 400 * 300;
        for (int tick = 0, cycles = 0; tick < 5000 && cycles < 2; ++tick) {
            const int state = engine.AnimationState();
            engine.Timer1Timer();
            ASSERT_EQ(host.closes_, 0);
            const int now = engine.AnimationState();
            if (now == 5 || now == 6 || now == 7) continue;
            EXPECT_LT(engine.WorkPicture()->BufferCapacity(), screen8)
                << "mode " << mode << " after state " << state;
            if (state != 0 && now == 0) ++cycles;
        }
    }
}

}  // namespace
}  // namespace quipix::test
