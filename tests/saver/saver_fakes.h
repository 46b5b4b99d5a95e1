// Stand-ins for the engine's surroundings: a host that keeps the shown picture in
// memory, a text engine whose measures are simple arithmetic, and settings and jokes
// chosen by the test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/settings.h"
#include "imaging/text_engine.h"
#include "saver/engine.h"
#include "saver/scene_host.h"
#include "support/test_support.h"

namespace quipix::test {

inline bool SamePicture(const TPixelGraphic& a, const TPixelGraphic& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelFormat() == b.PixelFormat() &&
           a.BufferSize() == b.BufferSize() && std::memcmp(a.Buffer(), b.Buffer(), a.BufferSize()) == 0;
}

// A 24-bit picture as a frame at level shows it: every byte c as c * level div 255.
inline std::unique_ptr<TPixelGraphic> AtLevel(const TPixelGraphic& picture, int level) {
    auto out = std::make_unique<TPixelGraphic>();
    out->CopyPicture(&picture);
    std::uint8_t* b = out->Buffer();
    for (std::size_t i = 0; i < out->BufferSize(); ++i) b[i] = std::uint8_t(b[i] * level / 255);
    return out;
}

class FakeHost : public SceneHost {
public:
    FakeHost(int w, int h, int depth = 24) : w_(w), h_(h), depth_(depth) {}
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    int ScreenWidth() const override { return screenW_ ? screenW_ : w_; }
    int ScreenHeight() const override { return screenH_ ? screenH_ : h_; }
    int ColorDepth() const override { return depth_; }
    bool IsPreview() const override { return preview_; }
    void StartTimer(int intervalMs) override { interval_ = intervalMs; }
    void StopAndClose() override { ++closes_; }
    void ShowPicture(const TPixelGraphic* picture) override {
        ++handOvers_;
        if (!picture) {
            shown_.reset();
            return;
        }
        shown_ = std::make_unique<TPixelGraphic>();
        shown_->CopyPicture(picture);
    }
    TPixelGraphic* ShownPicture() override { return shown_.get(); }

    int w_, h_, depth_;
    int screenW_ = 0, screenH_ = 0;
    bool preview_ = false;
    int interval_ = -1;
    int closes_ = 0;
    int handOvers_ = 0;
    std::unique_ptr<TPixelGraphic> shown_;
};

// Text is a full block: Size * 2 rows per line of at most Size * Chars pixels, where a
// line holds as many characters as fit; coverage is full over the whole block, so
// where a text lands can be read from the pixels.
class BlockTextEngine : public TextEngine {
public:
    static int LineHeight(const TPGFont& f) { return f.Size * 2; }
    TextExtent Measure(const TPGFont& font, std::string_view text, int width, unsigned flags) override {
        const int charWidth = std::max(1, font.Size);
        int lines = 1;
        int widest = 0;
        if ((flags & DT_WORDBREAK) && width > 0) {
            const int perLine = std::max(1, width / charWidth);
            lines = std::max<int>(1, (int(text.size()) + perLine - 1) / perLine);
            widest = std::min<int>(int(text.size()), perLine) * charWidth;
        } else {
            widest = int(text.size()) * charWidth;
        }
        return {widest, lines * LineHeight(font)};
    }
    std::shared_ptr<const TextMask> Render(const TPGFont& font, std::string_view text, int width, int height,
                                           unsigned flags) override {
        const TextExtent e = Measure(font, text, width, flags);
        auto mask = std::make_shared<TextMask>();
        mask->Width = std::max(0, std::min(width, std::max(e.Width, 1)));
        mask->Height = std::max(0, std::min(height, e.Height));
        mask->Left = (flags & DT_CENTER) ? (width - mask->Width) / 2 : 0;
        mask->Coverage.assign(std::size_t(mask->Width) * std::size_t(mask->Height), 255);
        mask->SpanStart.assign(std::size_t(mask->Height), 0);
        mask->SpanEnd.assign(std::size_t(mask->Height), mask->Width);
        return mask;
    }
};

// Installs the block engine for one test and puts the platform's engine back afterwards.
class ScopedBlockText {
public:
    ScopedBlockText() { SetTextEngine(std::make_shared<BlockTextEngine>()); }
    ~ScopedBlockText() { test::InstallPlatformTextEngine(); }
};

// Settings as LoadSettings leaves them on an empty store, with the joke already set,
// but without the pause after the answer, so that a cycle takes only its own ticks.
inline void DefaultTestSettings(TSettings& s) {
    s = TSettings{};
    s.Speed = 5;
    s.FadeMode = fade_mode::FadeToBlack;
    s.ChangeAfter = 25;
    s.FromColor = 0x800000;
    s.Question = {.Face = "Arial", .Color = 255, .Size = 24, .Speed = 5, .Bold = true, .ThreeD = true};
    s.Answer = {.Face = "Arial", .Color = 0xFF0000, .Size = 24, .Speed = 5, .Bold = true, .ThreeD = true};
    s.Pause = 0;
    s.DefaultQuestion = kDefaultQuestionText;
    s.DefaultAnswer = kDefaultAnswerText;
}

// Services whose settings are `settings` and whose every joke is question / answer.
struct FakeServices {
    TSettings settings;
    std::string question = "Why?";
    std::string answer = "Because.";
    int jokes = 0;
    std::uint32_t seed = 1;
    std::function<void()> onLoad, onJoke;  // run first, to make a test's failure
    FakeServices() { DefaultTestSettings(settings); }
    EngineServices Make() {
        EngineServices s;
        s.loadSettings = [this] {
            if (onLoad) onLoad();
            Settings = settings;
        };
        s.nextJoke = [this] {
            if (onJoke) onJoke();
            ++jokes;
            Settings.CurrentQuestion = question;
            Settings.CurrentAnswer = answer;
        };
        s.random = [this](std::uint32_t n) {
            seed = seed * 134775813u + 1u;
            return std::uint32_t((std::uint64_t(n) * seed) >> 32);
        };
        return s;
    }
};

// The engine on a fake host with the block text engine; a test sets what it needs
// in fake.settings and host, then Start sets the scene up on a host of w x h.
class EngineTest : public ::testing::Test {
protected:
    void Start(int w, int h, int depth = 24) {
        host.w_ = w;
        host.h_ = h;
        host.depth_ = depth;
        engine.SetUpScene();
    }
    ScopedBlockText text;
    FakeServices fake;
    FakeHost host{0, 0};
    TSaverEngine engine{host, fake.Make()};
};

using enum TSaverEngine::TAnimationState;

// Ticks until the engine reaches `state` (the tick that would run it has not run).
inline void RunUntil(TSaverEngine& engine, int state, int maxTicks = 10000) {
    for (int i = 0; i < maxTicks && engine.AnimationState() != state; ++i) engine.Timer1Timer();
    ASSERT_EQ(engine.AnimationState(), state);
}

// The states the engine runs, one per tick, until it comes back to a new joke after a
// fade (or maxTicks).
inline std::vector<int> RunCycle(TSaverEngine& engine, int maxTicks = 10000) {
    std::vector<int> states;
    bool faded = false;
    for (int i = 0; i < maxTicks; ++i) {
        const int s = engine.AnimationState();
        if (s == NewJoke && faded) break;
        if (s >= HomePageInCorner) faded = true;  // the states of both fades follow the answer
        states.push_back(s);
        engine.Timer1Timer();
    }
    return states;
}

// Runs of equal states squeezed to one.
inline std::vector<int> Squeeze(const std::vector<int>& states) {
    std::vector<int> out;
    for (int s : states)
        if (out.empty() || out.back() != s) out.push_back(s);
    return out;
}

}  // namespace quipix::test
