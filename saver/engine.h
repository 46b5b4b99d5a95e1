// The animation engine: a twelve-state machine driven one step per tick by its host:
// a new joke, the question and then the answer sliding up, the pause after the answer,
// and "Fade in place" or "Fade to black" back to the bare background. It owns its
// pictures and fonts, never a window or a timer; everything it shows goes through
// the SceneHost, which paints straight from the engine's pictures.
//
// One full-screen picture, the scene, is both the clean background and what is shown:
// before text is drawn over part of it, the clean pixels there are kept aside (a patch),
// and every erase and blend takes the clean background from the patches and the scene.
// "Fade to black" shows the scene (or, fading in, the clean background) at falling and
// rising brightness, true colour throughout, so no palette picture is ever made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "imaging/pixel_graphic.h"
#include "saver/scene.h"
#include "saver/scene_host.h"

namespace quipix {

// The maker's home page as the fades draw it.
inline constexpr const char* kHomePageText = "www.kelvara.example";
// Rows of clean background that a sliding text's strip reaches below the text beyond
// its speed: the strip is text height + speed + kStripMargin rows high, so each step
// paints clean background over the rows that the text left one tick earlier.
inline constexpr int kStripMargin = 6;

// The cross-fade of "Fade in place" over n bytes: out = (clean * level + snapshot *
// (256 - level)) div 256, level held to 0 .. 256. The three ranges must not overlap.
void CrossFadeBytes(std::uint8_t* out, const std::uint8_t* clean, const std::uint8_t* snapshot, std::size_t n,
                    int level);

// Starts making the background of a scene of width x height from settings on a worker
// thread, before any window exists: the first scene set up with the same background
// at that size takes it instead of making its own.
void PreloadBackground(const TSettings& settings, int width, int height);

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
    // The step the next tick runs.
    enum TAnimationState : int {
        NewJoke = 0,
        QuestionSlides = 1,
        AnswerSetUp = 2,
        AnswerSlides = 3,  // and then the pause after the answer
        // "Fade in place"
        HomePageInCorner = 4,
        Snapshot = 5,
        Blend = 6,
        // "Fade to black"
        FadeOutSetUp = 7,
        FadeOut = 8,
        BlackScreen = 9,
        FadeInSetUp = 10,
        FadeIn = 11,
    };

    explicit TSaverEngine(SceneHost& host, EngineServices services = DefaultEngineServices());
    ~TSaverEngine();
    TSaverEngine(const TSaverEngine&) = delete;
    TSaverEngine& operator=(const TSaverEngine&) = delete;

    // Loads the settings, builds pictures and fonts, paints the background and starts
    // the host's timer. Errors pass to the caller, leaving the scene as far as it got.
    void SetUpScene();
    // SetUpScene for a window: an error goes to showError (the error box) with its
    // message, or "Unknown error", instead of leaving the window's creation. So does a
    // failure to make the background, which comes on a worker thread at a later tick;
    // the engine then only waits (IdleTicks).
    void SetUpScene(const std::function<void(const std::string&)>& showError);
    // One state step. Any error stops the engine and asks the host to close, silently.
    void Timer1Timer();
    // Frees pictures and fonts; errors are swallowed.
    void FreeScene();

    // The ticks from now on that only wait (the pause after the answer, or every tick
    // once the background could not be made): they change nothing on screen and do no
    // work. A host may sleep for that many intervals and then hand them back with
    // SkipIdleTicks before ticking on; ticking through them does the same. 0 while
    // anything is to be done.
    int IdleTicks() const;
    // Accounts for ticks (at most IdleTicks()) as if each had been ticked.
    void SkipIdleTicks(int ticks);

    // --- read-only view, for the recorder, tests and benchmarks ---
    int AnimationState() const { return animationState_; }
    int FadeLevel() const { return fadeLevel_; }
    int EffectStep() const { return effectStep_; }
    int QuestionY() const { return questionY_; }
    int AnswerY() const { return answerY_; }
    int ColorDepth() const { return colorDepth_; }
    bool Stopped() const { return stopped_; }
    const TJokeLayout& Layout() const { return layout_; }
    // Memory the engine's pictures hold, in bytes.
    std::size_t PictureBytes() const;

private:
    // Clean pixels of an area of the scene that something has been drawn over.
    struct Patch {
        TRect Area;
        TPixelGraphic Clean;                      // 24 bits, the area's size
        std::unique_ptr<TPixelGraphic> Snapshot;  // "Fade in place": the finished scene there
    };
    // Bytes of one row that the finished scene changed: the cross-fade's work.
    struct BlendSpan {
        const Patch* From;
        int Row, First, End;  // scene row; byte range inside the patch's row
    };

    void RunState();
    void StartJoke();               // state 0
    bool SlideStep(bool question);  // states 1 and 3; true when arrived
    void SetUpAnswer();             // state 2
    void DrawCornerHomePage();      // state 4
    void TakeSnapshot();            // state 5
    bool BlendStep();               // state 6; true when done
    // The scene at level; changed, when given, is all that differs from the frame shown.
    void ShowFaded(int level, const TRect* changed);  // states 0, 8, 10 and 11
    void ShowBlackScreen();                           // state 9
    void FinishPause();
    // Takes the scene from the worker that makes the background, once it is needed.
    // False when that failed and a window's error box said so; without a window the
    // error passes to the caller.
    bool TakeScene();

    TRect SceneRect() const { return {0, 0, layout_.Width, layout_.Height}; }
    // Fills rows of target from row top on with the clean background of area.
    void CleanPixels(const TRect& area, TPixelGraphic& target, int top) const;
    // Keeps the clean pixels of area aside before it is drawn over; returns the patch.
    Patch& KeepClean(const TRect& area);
    // Hands a patch that is no longer needed back for reuse.
    void ReleasePatch(std::vector<std::unique_ptr<Patch>>::iterator patch);
    // Puts the clean background back wherever something was drawn; returns the area.
    TRect RestoreClean();
    // Where the scene may differ from the clean background: the patches' areas.
    TRect DrawnArea() const;
    // The host shows the scene at some level over a black background, so another level
    // changes only DrawnArea.
    bool ShowsSceneOverBlack() const;
    // Draws a text into the strip picture as its slide steps do.
    void DrawStripText(bool question);
    // The area of the strip picture that a text's three layers reach.
    TRect MeasureInk(bool question);
    void Show(const TSceneFrame& frame);
    void Show(const TSceneFrame& frame, const TRect& changed);
    void HomePageFont(TPGCanvas& canvas) const;
    // The home page box's size and a random colour for its text.
    struct HomePageText {
        int BoxWidth, BoxHeight;
        PGColor Color;
    };
    HomePageText MeasureHomePage();
    // The area the home page text drawn at (left, top) may touch, inside the scene.
    TRect HomePageArea(const HomePageText& text, int left, int top) const;

    SceneHost& host_;
    EngineServices services_;

    std::unique_ptr<TPixelGraphic> scene_;
    // The background being made on a worker thread; until it is taken, scene_ is null
    // and the screen shows only black or the first black screen.
    std::future<std::unique_ptr<TPixelGraphic>> pendingScene_;
    std::vector<std::unique_ptr<Patch>> patches_;
    // Patches no longer in use, with their pictures' memory: a slide tick takes one
    // instead of allocating (and faulting in) a new picture, so a steady tick
    // allocates nothing.
    std::vector<std::unique_ptr<Patch>> sparePatches_;
    // The patch under each text's latest strip; it moves up with the text.
    Patch* questionPatch_ = nullptr;
    Patch* answerPatch_ = nullptr;
    std::unique_ptr<TPixelGraphic> strip_;           // a text's strip while it slides
    std::unique_ptr<TPixelGraphic> measurePicture_;  // canvas for measuring text
    std::unique_ptr<TPixelGraphic> blackScreen_;     // the home page box of state 9
    TRect blackScreenArea_;
    std::vector<BlendSpan> blendSpans_;
    std::vector<TRect> blendAreas_;  // what the cross-fade changes, a rectangle per patch
    // The first black screen after set-up shows the background drawing's fill colour
    // (a solid background's colour), every later one is black.
    bool firstStart_ = false;
    PGColor firstFill_ = 0;
    // A solid black background: black at every level, so a fade changes only the
    // scene's drawn area.
    bool blackBackground_ = false;
    TRect textInk_;  // MeasureInk of the text sliding now
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
    bool stopped_ = false;
    bool failed_ = false;  // the background could not be made
    bool ready_ = false;   // SetUpScene finished
    std::function<void(const std::string&)> showError_;
};

// A window's sleep through the ticks that only wait: one wake-up for the whole pause
// (in sleeps of at most an hour, so the milliseconds stay in range), its ticks handed
// back to the engine when it ends.
class TIdleSleep {
public:
    // The milliseconds to sleep from now at the tick interval; 0 when nothing waits.
    int Begin(const TSaverEngine& engine, int intervalMs);
    // The sleep is over: its ticks go back to the engine. Returns the milliseconds of
    // the next sleep, or 0 when ticking goes on.
    int End(TSaverEngine& engine, int intervalMs);
    // Forgets a sleep whose end will never come (the timers were stopped).
    void Cancel() { ticks_ = 0; }

private:
    int ticks_ = 0;
};

}  // namespace quipix
