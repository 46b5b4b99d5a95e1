// The animation engine: a twelve-state machine driven one step per tick by its host.
// New joke (0), question slides (1), answer set-up (2), answer slides and then rests
// for the pause (3), "Fade in place" (4-6) and "Fade to black" (7-11). It owns its
// pictures and fonts, never a window or a timer; everything it shows goes through
// the SceneHost.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/pixel_graphic.h"
#include "saver/scene.h"
#include "saver/scene_host.h"

namespace quipix {

// The maker's home page as the fades draw it.
inline constexpr const char* kHomePageText = "www.kelvara.example";

// The cross-fade of "Fade in place" over n bytes: out = (clean * level + snapshot *
// (256 - level)) div 256, level held to 0 .. 256. The three ranges must not overlap.
void CrossFadeBytes(std::uint8_t* out, const std::uint8_t* clean, const std::uint8_t* snapshot, std::size_t n,
                    int level);

// The process-wide services the engine calls. Tests replace them.
struct EngineServices {
    std::function<void()> loadSettings;                  // fills Settings
    std::function<void()> nextJoke;                      // sets CurrentQuestion / CurrentAnswer
    std::function<std::uint32_t(std::uint32_t)> random;  // 0 .. n - 1 (0 when n is 0)
};
// LoadSettings, NextJoke and the joke library's random source.
EngineServices DefaultEngineServices();

class TSaverEngine {
public:
    explicit TSaverEngine(SceneHost& host, EngineServices services = DefaultEngineServices());
    ~TSaverEngine();
    TSaverEngine(const TSaverEngine&) = delete;
    TSaverEngine& operator=(const TSaverEngine&) = delete;

    // Loads the settings, builds pictures and fonts, paints the background and starts
    // the host's timer. Errors pass to the caller, leaving the scene as far as it got.
    void SetUpScene();
    // SetUpScene for a window: an error goes to showError (the error box) with its
    // message, or "Unknown error", instead of leaving the window's creation.
    void SetUpScene(const std::function<void(const std::string&)>& showError);
    // One state step. Any error stops the engine and asks the host to close, silently.
    void Timer1Timer();
    // Frees pictures and fonts; errors are swallowed.
    void FreeScene();

    // --- read-only view, for the recorder, tests and benchmarks ---
    int AnimationState() const { return animationState_; }
    int FadeLevel() const { return fadeLevel_; }
    int EffectStep() const { return effectStep_; }
    int QuestionY() const { return questionY_; }
    int AnswerY() const { return answerY_; }
    int ColorDepth() const { return colorDepth_; }
    bool Stopped() const { return stopped_; }
    const TJokeLayout& Layout() const { return layout_; }
    const TPixelGraphic* CleanBackground() const { return cleanBackground_.get(); }
    const TPixelGraphic* WorkPicture() const { return workPicture_.get(); }

private:
    void RunState();
    void NewJoke();                    // state 0
    bool SlideStep(bool question);     // states 1 and 3; true when arrived
    void AnswerSetUp();                // state 2
    void DrawHomePage(bool inCorner);  // states 4 and 9
    void TakeSnapshot();               // state 5
    bool Blend();                      // state 6; true when done
    void HoldStep();                   // state 3 after the answer arrived
    bool FadeOutStep();                // state 7; true when the faded picture shows
    bool BuildFadeOut(const TPixelGraphic& shown, std::int64_t& work);
    void ApplyPaletteLevel();  // states 8 and 11
    void BlackScreen();        // state 9
    void FadeInSetUp();        // state 10
    void PrepareFadeIn();
    TPixelGraphic& Shown();
    void SavePalette();
    void ShowFadeOut();
    void HomePageFont(TPGCanvas& canvas) const;

    SceneHost& host_;
    EngineServices services_;

    std::unique_ptr<TPixelGraphic> cleanBackground_;
    // Empty except while a strip, the fade-in-place snapshot or the fade-out's palette
    // picture is being built: none of them outlives the state that needs it.
    std::unique_ptr<TPixelGraphic> workPicture_;
    std::unique_ptr<TPixelGraphic> measurePicture_;  // canvas for measuring text
    std::unique_ptr<TPixelGraphic> fadeInPicture_;   // clean background, palette-mapped
    int fadeInPaletteCount_ = 0;
    // The first black screen after set-up is cleared to the background drawing's fill
    // colour (a solid background's colour), every later one is black.
    bool firstStart_ = false;
    std::uint32_t firstFill_ = 0;
    // Where the snapshot differs from the clean background: byte ranges of rows.
    // Everywhere else the blend of two equal bytes is that byte, so it is skipped.
    struct BlendSpan {
        int Row, First, End;
    };
    std::vector<BlendSpan> blendSpans_;
    TPixelGraphic::ChangedArea blendArea_;
    TJokeLayout layout_;
    std::string question_, answer_;  // the joke this scene fetched and laid out

    int animationState_ = 0;
    int questionY_ = 0;
    int answerY_ = 0;
    int questionSpeed_ = 1;
    int answerSpeed_ = 1;
    int colorDepth_ = 24;
    int effectStep_ = 25;
    int fadeMode_ = 0;
    // Ticks the finished joke stands before its fade, and those still to go.
    int pauseTicks_ = 0;
    int pauseLeft_ = 0;
    int fadeLevel_ = 0;
    int savedPaletteCount_ = 0;
    // The palette picture of "Fade to black" is built over as many ticks as its size
    // needs, during the pause or else in state 7, while the finished scene stays on
    // screen: colour count in row bands, palette, dithered copy in row bands, hand-over.
    enum class FadeOutPhase { Start, Count, Palette, Copy, Show };
    FadeOutPhase fadeOutPhase_ = FadeOutPhase::Start;
    int fadeOutRow_ = 0;
    TPGColorHistogram fadeOutHistogram_;
    std::array<std::uint8_t, 256> savedRed_{}, savedGreen_{}, savedBlue_{};
    bool stopped_ = false;
    bool ready_ = false;  // SetUpScene finished
};

}  // namespace quipix
