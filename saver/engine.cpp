// The animation engine's states: joke set-up, the two sliding texts and both fades.
#include "saver/engine.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "common/background.h"
#include "common/settings.h"
#include "imaging/canvas.h"

namespace quipix {

namespace {

constexpr int kFadePaletteColors = 236;
constexpr int kHomePagePoints = 18;

// Work allowed in one tick of building the fade-out's palette picture, counted in
// dithered pixels (the dearest step): a few milliseconds, so that a 10 ms tick keeps
// room for the host's repaint.
constexpr std::int64_t kTickWork = 384 * 1024;
constexpr std::int64_t kCountsPerWork = 4;        // counting a pixel is that much cheaper
constexpr std::int64_t kPaletteWork = 64 * 1024;  // the median cut
constexpr std::int64_t kShowPixelsPerWork = 8;    // copy and conversion of the hand-over

// Rows of width w that fit in work units of one pixel each, at least one while any remain.
int BandRows(std::int64_t work, int w, int remaining) {
    if (remaining <= 0) return 0;
    const std::int64_t rows = work / std::max(w, 1);
    return int(std::clamp<std::int64_t>(rows, 1, remaining));
}

// The scene the states before the fade leave, which the palette picture is built
// from in bands; anything else is reduced in one go.
bool BandableFadeOut(const TPixelGraphic& shown, int w, int h) {
    return shown.PixelFormat() == pgpf24Bit && shown.Width() == w && shown.Height() == h;
}

}  // namespace

// The two weights add up to 256, so each sum fits in 16 bits, and with the pointers
// known not to overlap the compiler turns this into 16-bit vector arithmetic.
void CrossFadeBytes(std::uint8_t* __restrict out, const std::uint8_t* __restrict clean,
                    const std::uint8_t* __restrict snapshot, std::size_t n, int level) {
    const std::uint16_t l = std::uint16_t(std::clamp(level, 0, 256));
    const std::uint16_t inverse = std::uint16_t(256 - l);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = std::uint8_t(std::uint16_t(clean[i] * l + snapshot[i] * inverse) >> 8);
}

TSaverEngine::TSaverEngine(SceneHost& host, EngineServices services)
    : host_(host), services_(std::move(services)) {}

TSaverEngine::~TSaverEngine() { FreeScene(); }

void TSaverEngine::SetUpScene(const std::function<void(const std::string&)>& showError) {
    try {
        SetUpScene();
    } catch (const std::exception& e) {
        showError(e.what());
    } catch (...) {
        showError("Unknown error");
    }
}

void TSaverEngine::SetUpScene() {
    stopped_ = false;
    ready_ = false;
    services_.loadSettings();
    const TSettings& s = Settings;

    cleanBackground_ = std::make_unique<TPixelGraphic>();
    workPicture_ = std::make_unique<TPixelGraphic>();
    measurePicture_ = std::make_unique<TPixelGraphic>();
    measurePicture_->SetSize(1, 1, pgpf24Bit);
    // The loaded picture is needed only to paint the clean background; it goes as
    // soon as that is done.
    auto backgroundPicture = std::make_unique<TPixelGraphic>();
    LoadBackgroundPicture(*backgroundPicture, s.Bitmap);

    const int w = std::max(0, host_.Width());
    const int h = std::max(0, host_.Height());

    SetUpLayout(layout_, s, w, h, host_.ScreenWidth(), host_.ScreenHeight());
    animationState_ = 0;
    fadeOutPhase_ = FadeOutPhase::Start;
    // The first use of a font loads it, which takes far longer than a tick; measuring
    // the home-page text here keeps that out of the ticks.
    HomePageFont(measurePicture_->Canvas());
    measurePicture_->Canvas().TextWidth(kHomePageText);

    const int interval = host_.IsPreview() ? 100 : 10;
    colorDepth_ = host_.ColorDepth();
    // The store keeps whatever was written; a speed below 1 would never finish a
    // slide or a fade, so the speeds are held to at least 1.
    const int speed = std::clamp(s.Speed, 1, 1000);
    effectStep_ = colorDepth_ > 8 ? speed * 5 : speed * 10;
    const int maxTextSpeed = std::max(1, h);
    questionSpeed_ = std::clamp(s.QuestionSpeed, 1, maxTextSpeed);
    answerSpeed_ = std::clamp(s.AnswerSpeed, 1, maxTextSpeed);
    fadeMode_ = s.FadeMode;
    // Rounded up, so that a rate that does not divide the pause never shortens it.
    const std::int64_t pauseMs = std::int64_t(std::max(s.Pause, 0)) * 1000;
    pauseTicks_ = int(std::min<std::int64_t>((pauseMs + interval - 1) / interval, INT_MAX));
    pauseLeft_ = 0;

    fadeInPicture_.reset();
    cleanBackground_->SetSize(w, h, pgpf24Bit);
    DrawBackground(*cleanBackground_, s.BackgroundType, s.SolidColor, s.FromColor, s.ToColor, s.Tiled,
                   *backgroundPicture);
    backgroundPicture.reset();
    firstFill_ = cleanBackground_->BackGroundValue();
    firstStart_ = true;
    cleanBackground_->SetBackGroundColor(0);
    // Black until the first tick, made once the loaded picture has gone.
    host_.ShowBlack(w, h);
    if (fadeMode_ != 1) PrepareFadeIn();

    animationState_ = fadeMode_ == 0 ? 9 : 0;
    ready_ = true;
    host_.StartTimer(interval);
}

void TSaverEngine::Timer1Timer() {
    // A scene whose set-up failed never ticks.
    if (stopped_ || !ready_) return;
    try {
        RunState();
    } catch (...) {
        stopped_ = true;
        try {
            host_.StopAndClose();
        } catch (...) {}
    }
}

void TSaverEngine::FreeScene() {
    ready_ = false;
    try {
        cleanBackground_.reset();
        workPicture_.reset();
        measurePicture_.reset();
        fadeInPicture_.reset();
    } catch (...) {}
}

TPixelGraphic& TSaverEngine::Shown() {
    TPixelGraphic* shown = host_.ShownPicture();
    if (!shown) throw std::runtime_error("No picture shown");
    return *shown;
}

void TSaverEngine::RunState() {
    switch (animationState_) {
    case 0:
        NewJoke();
        animationState_ = 1;
        break;
    case 1:
        if (SlideStep(true)) animationState_ = 2;
        break;
    case 2:
        AnswerSetUp();
        animationState_ = 3;
        break;
    case 3:
        if (pauseLeft_ > 0) {
            HoldStep();
            if (--pauseLeft_ == 0) animationState_ = fadeMode_ == 1 ? 4 : 7;
        } else if (SlideStep(false)) {
            pauseLeft_ = pauseTicks_;
            if (pauseLeft_ == 0) animationState_ = fadeMode_ == 1 ? 4 : 7;
        }
        break;
    case 4:
        DrawHomePage(true);
        animationState_ = 5;
        break;
    case 5:
        TakeSnapshot();
        animationState_ = 6;
        break;
    case 6:
        if (Blend()) animationState_ = 0;
        break;
    case 7:
        if (FadeOutStep()) animationState_ = 8;
        break;
    case 8:
        ApplyPaletteLevel();
        fadeLevel_ -= effectStep_;
        if (fadeLevel_ <= 0) animationState_ = 9;
        break;
    case 9:
        BlackScreen();
        animationState_ = 10;
        break;
    case 10:
        FadeInSetUp();
        animationState_ = 11;
        break;
    case 11:
        ApplyPaletteLevel();
        fadeLevel_ += effectStep_;
        if (fadeLevel_ >= 255) animationState_ = 0;
        break;
    default:
        break;
    }
}

void TSaverEngine::NewJoke() {
    firstStart_ = false;
    services_.nextJoke();
    // Kept as fetched: the scene of another monitor fetching its own joke replaces the
    // current joke while this one is still sliding or standing.
    question_ = Settings.CurrentQuestion;
    answer_ = Settings.CurrentAnswer;
    LayoutJoke(layout_, measurePicture_->Canvas(), question_, answer_);
    questionY_ = layout_.Height;
    answerY_ = layout_.Height;
    workPicture_->SetSize(layout_.TextWidth, layout_.QuestionHeight + questionSpeed_ + 6, pgpf24Bit);
    host_.ShowPicture(cleanBackground_.get());
    if (colorDepth_ <= 8) questionY_ = layout_.QuestionTarget;
}

void TSaverEngine::AnswerSetUp() {
    workPicture_->SetSize(layout_.TextWidth, layout_.AnswerHeight + answerSpeed_ + 6, pgpf24Bit);
    if (colorDepth_ <= 8) answerY_ = layout_.AnswerTarget;
}

bool TSaverEngine::SlideStep(bool question) {
    const TSettings& s = Settings;
    int& y = question ? questionY_ : answerY_;
    const int target = question ? layout_.QuestionTarget : layout_.AnswerTarget;
    const int height = question ? layout_.QuestionHeight : layout_.AnswerHeight;
    const int speed = question ? questionSpeed_ : answerSpeed_;

    // The strip reaches speed + 6 rows below the text, so each step paints clean
    // background over the rows the text left one tick earlier.
    const int stripHeight = height + speed + 6;
    const int copyHeight = std::min(stripHeight, layout_.Height - y);
    if (copyHeight > 0)
        workPicture_->CopyRect(0, 0, *cleanBackground_, layout_.Margin, y, layout_.TextWidth, copyHeight);
    if (question)
        DrawJokeText(*workPicture_, 0, height, 0, layout_.TextWidth, s.QuestionColor, layout_.QuestionFont,
                     question_, s.Question3D);
    else
        DrawJokeText(*workPicture_, 0, height, 0, layout_.TextWidth, s.AnswerColor, layout_.AnswerFont,
                     answer_, s.Answer3D);
    Shown().Canvas().Draw(layout_.Margin, y, *workPicture_);

    // Drawn before moving, so the text rests up to speed pixels below its target.
    y -= speed;
    return y <= target;
}

void TSaverEngine::HomePageFont(TPGCanvas& canvas) const {
    canvas.Font = TPGFont{};
    canvas.Font.Name = "Arial";
    canvas.Font.Size = std::max(1, ScaleFontSize(kHomePagePoints, layout_.Width, layout_.Height,
                                                 host_.ScreenWidth(), host_.ScreenHeight()));
    canvas.Font.Bold = true;
}

void TSaverEngine::DrawHomePage(bool inCorner) {
    TPGCanvas& canvas = Shown().Canvas();
    HomePageFont(canvas);
    canvas.Brush.Style = TBrushStyle::Clear;
    const int boxWidth = canvas.TextWidth(kHomePageText) + 5;
    const int boxHeight = canvas.TextHeight(kHomePageText) + 5;
    const int blue = int(services_.random(255));
    const int green = int(services_.random(255));
    const int red = int(services_.random(255));
    canvas.Font.Color = PGRGB(red, green, blue);

    int left, top;
    if (inCorner) {
        left = layout_.Width - boxWidth;
        top = layout_.Height - boxHeight;
    } else {
        // A window smaller than the box puts the text at its top-left corner.
        const int freeX = layout_.Width - boxWidth;
        const int freeY = layout_.Height - boxHeight;
        left = freeX > 0 ? int(services_.random(std::uint32_t(freeX))) : 0;
        top = freeY > 0 ? int(services_.random(std::uint32_t(freeY))) : 0;
    }
    canvas.TextOut(left, top, kHomePageText);
}

void TSaverEngine::TakeSnapshot() {
    fadeLevel_ = 0;
    workPicture_->SetSize(layout_.Width, layout_.Height, pgpf24Bit);
    workPicture_->AssignStretched(Shown());

    const TPixelGraphic& clean = *cleanBackground_;
    const TPixelGraphic& snapshot = *workPicture_;
    blendSpans_.clear();
    blendArea_ = {snapshot.Width(), snapshot.Height(), 0, 0};
    if (snapshot.BufferSize() != clean.BufferSize()) return;  // Blend refuses it
    const int rowBytes = snapshot.Width() * 3;
    for (int y = 0; y < snapshot.Height(); ++y) {
        const std::uint8_t* a = snapshot.ScanLine(y);
        const std::uint8_t* b = clean.ScanLine(y);
        if (std::memcmp(a, b, std::size_t(rowBytes)) == 0) continue;
        int first = 0, end = rowBytes;
        while (a[first] == b[first]) ++first;
        while (a[end - 1] == b[end - 1]) --end;
        blendSpans_.push_back({y, first, end});
        blendArea_.Left = std::min(blendArea_.Left, first / 3);
        blendArea_.Right = std::max(blendArea_.Right, (end + 2) / 3);
        blendArea_.Top = std::min(blendArea_.Top, y);
        blendArea_.Bottom = y + 1;
    }
}

bool TSaverEngine::Blend() {
    TPixelGraphic& shown = Shown();
    const TPixelGraphic& clean = *cleanBackground_;
    const TPixelGraphic& snapshot = *workPicture_;
    if (shown.PixelFormat() != pgpf24Bit || shown.Width() != clean.Width() ||
        shown.Height() != clean.Height() || snapshot.BufferSize() != clean.BufferSize() ||
        shown.BufferSize() != clean.BufferSize())
        throw std::runtime_error("Blend pictures differ");

    for (const BlendSpan& span : blendSpans_)
        CrossFadeBytes(shown.ScanLine(span.Row) + span.First, clean.ScanLine(span.Row) + span.First,
                       snapshot.ScanLine(span.Row) + span.First, std::size_t(span.End - span.First),
                       fadeLevel_);
    if (!blendSpans_.empty())
        shown.NotifyChangeArea(blendArea_.Left, blendArea_.Top, blendArea_.Right, blendArea_.Bottom);

    fadeLevel_ += effectStep_;
    if (fadeLevel_ <= 255) return false;
    workPicture_->SetSize(0, 0, pgpf24Bit);  // the snapshot's memory goes back
    return true;
}

void TSaverEngine::SavePalette() {
    savedPaletteCount_ = std::min(workPicture_->PaletteCount(), 256);
    for (int i = 0; i < savedPaletteCount_; ++i) {
        const PGColor c = workPicture_->PaletteEntries(i);
        savedRed_[i] = std::uint8_t(PGRed(c));
        savedGreen_[i] = std::uint8_t(PGGreen(c));
        savedBlue_[i] = std::uint8_t(PGBlue(c));
    }
}

void TSaverEngine::ShowFadeOut() {
    host_.ShowPicture(workPicture_.get());
    workPicture_->SetSize(0, 0, pgpf8Bit);  // the host has its copy
    fadeLevel_ = 255;
    fadeOutPhase_ = FadeOutPhase::Start;
}

void TSaverEngine::HoldStep() {
    // The screen stands still, so the fade-out's palette picture is built meanwhile
    // and its first level shows on the first tick after the pause.
    if (fadeMode_ == 1) return;
    const TPixelGraphic& shown = Shown();
    if (!BandableFadeOut(shown, layout_.Width, layout_.Height)) return;
    std::int64_t work = kTickWork;
    BuildFadeOut(shown, work);
}

bool TSaverEngine::FadeOutStep() {
    const TPixelGraphic& shown = Shown();
    const int w = layout_.Width, h = layout_.Height;
    if (!BandableFadeOut(shown, w, h)) {
        // Not the picture the states before leave; made in one go.
        workPicture_->SetSize(w, h, pgpf8Bit);
        workPicture_->CreateOptimizedPalette(shown, kFadePaletteColors, false);
        SavePalette();
        workPicture_->AssignStretched(shown);
        ShowFadeOut();
        return true;
    }
    std::int64_t work = kTickWork;
    const bool started = fadeOutPhase_ != FadeOutPhase::Show;  // work done in this tick
    if (!BuildFadeOut(shown, work)) return false;
    // The hand-over copies and converts the whole picture: after other work it waits
    // for the next tick unless enough of this one is left.
    if (started && work < std::int64_t(w) * h / kShowPixelsPerWork) return false;
    ShowFadeOut();
    return true;
}

// Runs the build's phases until work is spent; true when only the hand-over is left.
bool TSaverEngine::BuildFadeOut(const TPixelGraphic& shown, std::int64_t& work) {
    const int w = layout_.Width, h = layout_.Height;
    while (fadeOutPhase_ != FadeOutPhase::Show) {
        switch (fadeOutPhase_) {
        case FadeOutPhase::Start:
            workPicture_->SetSize(w, h, pgpf8Bit);
            fadeOutHistogram_.Clear();
            fadeOutRow_ = 0;
            fadeOutPhase_ = FadeOutPhase::Count;
            work -= std::int64_t(w) * h / 32;  // clearing the new picture
            break;
        case FadeOutPhase::Count: {
            const int rows = BandRows(work * kCountsPerWork, w, h - fadeOutRow_);
            fadeOutHistogram_.AddRows(shown, fadeOutRow_, rows);
            fadeOutRow_ += rows;
            work -= std::int64_t(rows) * w / kCountsPerWork + 1;
            if (fadeOutRow_ >= h) fadeOutPhase_ = FadeOutPhase::Palette;
            break;
        }
        case FadeOutPhase::Palette:
            workPicture_->CreateOptimizedPalette(fadeOutHistogram_, kFadePaletteColors, false);
            fadeOutHistogram_.Clear();
            SavePalette();
            fadeOutRow_ = 0;
            fadeOutPhase_ = FadeOutPhase::Copy;
            work -= kPaletteWork;
            break;
        case FadeOutPhase::Copy: {
            // Bands that follow each other carry the dithering errors on, so the
            // result is the one-shot copy's.
            const int rows = BandRows(work, w, h - fadeOutRow_);
            workPicture_->AssignRows(shown, fadeOutRow_, rows);
            fadeOutRow_ += rows;
            work -= std::int64_t(rows) * w + 1;
            if (fadeOutRow_ >= h) fadeOutPhase_ = FadeOutPhase::Show;
            break;
        }
        case FadeOutPhase::Show:
            break;
        }
        if (work <= 0) return false;
    }
    return true;
}

void TSaverEngine::ApplyPaletteLevel() {
    TPixelGraphic& shown = Shown();
    const int level = std::clamp(fadeLevel_, 0, 255);
    const int count = std::min(savedPaletteCount_, shown.PaletteCount());
    shown.BeginUpdate();
    for (int i = 0; i < count; ++i)
        shown.SetPaletteEntries(
            i, PGRGB(savedRed_[i] * level / 255, savedGreen_[i] * level / 255, savedBlue_[i] * level / 255));
    shown.EndUpdate();
}

void TSaverEngine::BlackScreen() {
    // Made in the shown picture itself, which already holds a full screen's memory:
    // the fade-out's palette picture becomes black, or the set-up's black picture
    // takes the fill colour the background drawing left (a solid background's).
    TPixelGraphic& shown = Shown();
    shown.BeginUpdate();
    shown.SetSize(layout_.Width, layout_.Height, pgpf24Bit);
    if (firstStart_ && firstFill_ != 0) {
        shown.SetBackGroundColor(PGColor(firstFill_));
        shown.Clear();
    }
    firstStart_ = false;
    shown.EndUpdate();
    DrawHomePage(false);
}

void TSaverEngine::PrepareFadeIn() {
    // The clean background never changes, so its palette reduction is made once, here,
    // rather than in a tick of every fade-in.
    fadeInPicture_ = std::make_unique<TPixelGraphic>();
    fadeInPicture_->SetSize(layout_.Width, layout_.Height, pgpf8Bit);
    fadeInPicture_->CreateOptimizedPalette(*cleanBackground_, kFadePaletteColors, false);
    fadeInPicture_->AssignStretched(*cleanBackground_);
    fadeInPaletteCount_ = std::min(fadeInPicture_->PaletteCount(), 256);
}

void TSaverEngine::FadeInSetUp() {
    if (!fadeInPicture_) PrepareFadeIn();
    // The host's copy is blackened in place: no third copy of the mapped background.
    host_.ShowPicture(fadeInPicture_.get());
    TPixelGraphic& shown = Shown();
    shown.BeginUpdate();
    savedPaletteCount_ = std::min(fadeInPaletteCount_, shown.PaletteCount());
    for (int i = 0; i < savedPaletteCount_; ++i) {
        const PGColor c = shown.PaletteEntries(i);
        savedRed_[i] = std::uint8_t(PGRed(c));
        savedGreen_[i] = std::uint8_t(PGGreen(c));
        savedBlue_[i] = std::uint8_t(PGBlue(c));
        shown.SetPaletteEntries(i, 0);
    }
    shown.IdentifyPalette();
    shown.EndUpdate();
    fadeLevel_ = 0;
}

}  // namespace quipix
