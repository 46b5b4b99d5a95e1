// The animation engine's states: joke set-up, the two sliding texts, the pause and
// both fades, over one scene picture that the host paints from.
#include "saver/engine.h"

#include <algorithm>
#include <cstdint>
#include <climits>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "common/background.h"
#include "common/settings.h"
#include "imaging/canvas.h"

namespace quipix {

namespace {

constexpr int kHomePagePoints = 18;

// Copies area of source (24 bits) into target (24 bits) with its top-left corner at
// (x, y); both ranges lie inside their pictures.
void CopyArea(const TPixelGraphic& source, const TRect& area, TPixelGraphic& target, int x, int y) {
    const std::size_t bytes = std::size_t(area.Width()) * 3;
    for (int row = area.Top; row < area.Bottom; ++row)
        std::memcpy(target.ScanLine(y + row - area.Top) + std::size_t(x) * 3,
                    source.ScanLine(row) + std::size_t(area.Left) * 3, bytes);
}

std::size_t Capacity(const TPixelGraphic* p) { return p ? p->BufferCapacity() : 0; }

// What a scene's background is drawn from, and at which size.
struct BackgroundKey {
    int Type = 0;
    TColor Solid = 0, From = 0, To = 0;
    bool Tiled = false;
    std::string Path;  // a picture background's only
    int Width = 0, Height = 0;
    bool operator==(const BackgroundKey&) const = default;

    BackgroundKey(const TSettings& s, int width, int height)
        : Type(s.BackgroundType),
          Solid(s.SolidColor),
          From(s.FromColor),
          To(s.ToColor),
          Tiled(s.Tiled),
          Path(s.BackgroundType == background_type::Picture ? s.Bitmap : std::string()),
          Width(width),
          Height(height) {}
};

// A scene's background. Runs on a worker thread: filling a large screen takes a few
// ticks' time, reading a large photo several.
std::unique_ptr<TPixelGraphic> MakeScene(const BackgroundKey& key) {
    const int width = key.Width, height = key.Height;
    const bool tiled = key.Tiled;
    const bool isPicture = key.Type == background_type::Picture;
    // A picture is read reduced toward the scene's size when stretched.
    auto picture = std::make_unique<TPixelGraphic>();
    if (isPicture) LoadBackgroundPicture(*picture, key.Path, tiled ? 0 : width, tiled ? 0 : height);
    // A picture of the scene's size is drawn as a plain copy of itself, whether
    // stretched or tiled: it becomes the background as it is.
    if (isPicture && picture->PixelFormat() == pgpf24Bit && picture->Width() == width &&
        picture->Height() == height && !picture->Empty())
        return picture;
    if (!isPicture || tiled || picture->Empty() || height < 2) {
        auto scene = std::make_unique<TPixelGraphic>();
        scene->SetSize(width, height, pgpf24Bit);
        DrawBackground(*scene, key.Type, key.Solid, key.From, key.To, tiled, *picture);
        return scene;
    }
    // Stretching a photo over a large screen takes about as long as reading it, so the
    // two halves of the rows are stretched at once, each into a black picture of its
    // own whose edges clip the stretch of the whole (a row's pixels depend only on
    // where it lies in the whole). They are copied into the scene once the picture
    // read has gone, so no more memory is held at once than with one stretch.
    const int top = height / 2;
    TPixelGraphic upper, lower;
    upper.SetSize(width, top, pgpf24Bit);
    lower.SetSize(width, height - top, pgpf24Bit);
    const auto stretch = [&picture, width, height](TPixelGraphic* half, int y) {
        half->StretchCopy(0, y, width, height, *picture, 0, 0, picture->Width(), picture->Height());
    };
    auto lowerStretched = std::async(std::launch::async, stretch, &lower, -top);
    stretch(&upper, 0);
    lowerStretched.get();
    picture.reset();
    auto scene = std::make_unique<TPixelGraphic>();
    scene->SetSizeUncleared(width, height, pgpf24Bit);
    CopyArea(upper, {0, 0, width, top}, *scene, 0, 0);
    CopyArea(lower, {0, 0, width, height - top}, *scene, 0, top);
    return scene;
}

using SceneFuture = std::future<std::unique_ptr<TPixelGraphic>>;

SceneFuture StartScene(const BackgroundKey& key) { return std::async(std::launch::async, MakeScene, key); }

// The one background a front end started before its windows, until a scene takes it.
struct Preload {
    BackgroundKey Key;
    SceneFuture Scene;
};
std::optional<Preload>& Preloaded() {
    static std::optional<Preload> preload;
    return preload;
}

// The preloaded background when it is this one, else one started now.
SceneFuture BackgroundFor(const BackgroundKey& key) {
    auto& p = Preloaded();
    if (p && p->Key == key) {
        SceneFuture scene = std::move(p->Scene);
        p.reset();
        return scene;
    }
    return StartScene(key);
}

}  // namespace

void PreloadBackground(const TSettings& settings, int width, int height) {
    if (width <= 0 || height <= 0) return;
    const BackgroundKey key(settings, width, height);
    Preloaded() = Preload{key, StartScene(key)};
}

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

// The host may be part way through its own destruction: the pictures go without a
// word to it, and a host shows nothing of an engine it has let go.
TSaverEngine::~TSaverEngine() = default;

namespace {

// Runs step; an error goes to showError with its message. False when one did.
bool RunReported(const std::function<void()>& step,
                 const std::function<void(const std::string&)>& showError) {
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        showError(e.what());
    } catch (...) {
        showError("Unknown error");
    }
    return false;
}

}  // namespace

void TSaverEngine::SetUpScene(const std::function<void(const std::string&)>& showError) {
    showError_ = showError;
    RunReported([this] { SetUpScene(); }, showError);
}

void TSaverEngine::SetUpScene() {
    stopped_ = false;
    failed_ = false;
    ready_ = false;
    // Whatever an earlier engine of this host showed is gone.
    host_.Show(TSceneFrame{});
    services_.loadSettings();
    const TSettings& s = Settings;

    patches_.clear();
    sparePatches_.clear();
    questionPatch_ = answerPatch_ = nullptr;
    blendSpans_.clear();
    blackScreen_.reset();
    pendingScene_ = {};
    scene_.reset();
    strip_ = std::make_unique<TPixelGraphic>();
    measurePicture_ = std::make_unique<TPixelGraphic>();
    measurePicture_->SetSize(1, 1, pgpf24Bit);
    const int w = std::max(0, host_.Width());
    const int h = std::max(0, host_.Height());
    // The background is made on a worker thread while the fonts load and the first
    // black ticks go by; the tick that first shows the scene waits for it.
    pendingScene_ = BackgroundFor(BackgroundKey(s, w, h));

    SetUpLayout(layout_, s, w, h, host_.ScreenWidth(), host_.ScreenHeight());
    animationState_ = NewJoke;
    // The first use of a font loads it, which takes far longer than a tick; measuring
    // the home-page text here keeps that out of the ticks.
    HomePageFont(measurePicture_->Canvas());
    measurePicture_->Canvas().TextWidth(kHomePageText);

    const int interval = host_.IsPreview() ? kPreviewTickMs : kFullScreenTickMs;
    colorDepth_ = host_.ColorDepth();
    // The store keeps whatever was written; a speed below 1 would never finish a
    // slide or a fade, so the speeds are held to at least 1.
    const int speed = std::clamp(s.Speed, 1, 1000);
    effectStep_ = colorDepth_ > 8 ? speed * 5 : speed * 10;
    const int maxTextSpeed = std::max(1, h);
    questionSpeed_ = std::clamp(s.Question.Speed, 1, maxTextSpeed);
    answerSpeed_ = std::clamp(s.Answer.Speed, 1, maxTextSpeed);
    fadeMode_ = s.FadeMode;
    // Rounded up, so that a rate that does not divide the pause never shortens it.
    const std::int64_t pauseMs = std::int64_t(std::max(s.Pause, 0)) * 1000;
    pauseTicks_ = int(std::min<std::int64_t>((pauseMs + interval - 1) / interval, INT_MAX));
    pauseLeft_ = 0;

    // The first black screen shows the fill that the background's drawing leaves (a
    // solid background's colour, none for a picture), the same at any size.
    TPixelGraphic fillOnly;
    fillOnly.SetSize(1, 1, pgpf24Bit);
    DrawBackground(fillOnly, s.BackgroundType, s.SolidColor, s.FromColor, s.ToColor, s.Tiled,
                   TPixelGraphic{});
    firstFill_ = PGColor(fillOnly.BackGroundValue());
    firstStart_ = true;
    blackBackground_ = s.BackgroundType == background_type::Solid && firstFill_ == 0;
    // Black until the first tick.
    Show({scene_.get(), 0, 0, 0, 0});

    // Only "Fade to black" itself starts by fading in from black; any other number but
    // "Fade in place" fades to black after each joke all the same (FinishPause).
    animationState_ = fadeMode_ == fade_mode::FadeToBlack ? BlackScreen : NewJoke;
    ready_ = true;
    host_.StartTimer(interval);
}

void TSaverEngine::Timer1Timer() {
    // A scene whose set-up failed never ticks.
    if (stopped_ || !ready_) return;
    try {
        // The first black screen is the only state that shows nothing of the scene.
        if (animationState_ != BlackScreen && !TakeScene()) return;
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
        host_.Show(TSceneFrame{});
        patches_.clear();
        sparePatches_.clear();
        questionPatch_ = answerPatch_ = nullptr;
        blendSpans_.clear();
        pendingScene_ = {};
        scene_.reset();
        strip_.reset();
        measurePicture_.reset();
        blackScreen_.reset();
    } catch (...) {}
}

int TSaverEngine::IdleTicks() const {
    if (failed_) return INT_MAX;
    if (stopped_ || !ready_ || animationState_ != AnswerSlides) return 0;
    return pauseLeft_;
}

void TSaverEngine::SkipIdleTicks(int ticks) {
    if (failed_) return;
    const int n = std::clamp(ticks, 0, IdleTicks());
    if (n == 0) return;
    pauseLeft_ -= n;
    if (pauseLeft_ == 0) FinishPause();
}

int TIdleSleep::Begin(const TSaverEngine& engine, int intervalMs) {
    const int interval = std::max(1, intervalMs);
    ticks_ = std::min(engine.IdleTicks(), 3600 * 1000 / interval);
    return ticks_ * interval;
}

int TIdleSleep::End(TSaverEngine& engine, int intervalMs) {
    engine.SkipIdleTicks(ticks_);
    ticks_ = 0;
    return Begin(engine, intervalMs);
}

void TSaverEngine::FinishPause() {
    animationState_ = fadeMode_ == fade_mode::FadeInPlace ? HomePageInCorner : FadeOutSetUp;
}

std::size_t TSaverEngine::PictureBytes() const {
    std::size_t bytes = Capacity(scene_.get()) + Capacity(strip_.get()) + Capacity(measurePicture_.get()) +
                        Capacity(blackScreen_.get());
    for (const auto* list : {&patches_, &sparePatches_})
        for (const auto& p : *list) bytes += Capacity(&p->Clean) + Capacity(p->Snapshot.get());
    return bytes;
}

bool TSaverEngine::TakeScene() {
    if (!pendingScene_.valid()) return true;
    const auto take = [this] {
        scene_ = pendingScene_.get();
        scene_->SetBackGroundColor(0);
    };
    // Making the background is part of a window's set-up and fails as the set-up does:
    // the error box, and the window stays as it is until input closes it.
    if (!showError_)
        take();
    else if (!RunReported(take, showError_)) {
        stopped_ = failed_ = true;
        return false;
    }
    return true;
}

void TSaverEngine::RunState() {
    switch (animationState_) {
    case NewJoke:
        StartJoke();
        animationState_ = QuestionSlides;
        break;
    case QuestionSlides:
        if (SlideStep(true)) animationState_ = AnswerSetUp;
        break;
    case AnswerSetUp:
        SetUpAnswer();
        animationState_ = AnswerSlides;
        break;
    case AnswerSlides:
        // The finished joke stands for the pause: those ticks only count down.
        if (pauseLeft_ > 0) {
            if (--pauseLeft_ == 0) FinishPause();
        } else if (SlideStep(false)) {
            pauseLeft_ = pauseTicks_;
            if (pauseLeft_ == 0) FinishPause();
        }
        break;
    case HomePageInCorner:
        DrawCornerHomePage();
        animationState_ = Snapshot;
        break;
    case Snapshot:
        TakeSnapshot();
        animationState_ = Blend;
        break;
    case Blend:
        if (BlendStep()) animationState_ = NewJoke;
        break;
    case FadeOutSetUp:
        // The finished scene itself is faded: nothing to prepare.
        fadeLevel_ = 255;
        animationState_ = FadeOut;
        break;
    case FadeOut:
        ShowFaded(fadeLevel_, nullptr);
        fadeLevel_ -= effectStep_;
        if (fadeLevel_ <= 0) animationState_ = BlackScreen;
        break;
    case BlackScreen:
        ShowBlackScreen();
        animationState_ = FadeInSetUp;
        break;
    case FadeInSetUp:
        // The clean background at level 0: as black as the screen before, but for the
        // home page text.
        fadeLevel_ = 0;
        ShowFaded(0, host_.Frame().Fill == 0 ? &blackScreenArea_ : nullptr);
        animationState_ = FadeIn;
        break;
    case FadeIn:
        ShowFaded(fadeLevel_, nullptr);
        fadeLevel_ += effectStep_;
        if (fadeLevel_ >= 255) animationState_ = NewJoke;
        break;
    default:
        break;
    }
}

void TSaverEngine::Show(const TSceneFrame& frame) {
    if (!(frame == host_.Frame())) host_.Show(frame);
}

void TSaverEngine::Show(const TSceneFrame& frame, const TRect& changed) {
    if (!(frame == host_.Frame())) host_.Show(frame, changed);
}

void TSaverEngine::ShowFaded(int level, const TRect* changed) {
    const TSceneFrame frame{scene_.get(), 0, 0, 0, std::clamp(level, 0, 255)};
    if (changed)
        Show(frame, *changed);
    else if (ShowsSceneOverBlack())
        // Another level of the scene shown: black stays black, only what is drawn on
        // it changes.
        Show(frame, DrawnArea());
    else
        Show(frame);
}

void TSaverEngine::CleanPixels(const TRect& area, TPixelGraphic& target, int top) const {
    // Wherever no patch lies the scene shows the clean background; every patch holds
    // it where something was drawn.
    CopyArea(*scene_, area, target, 0, top);
    for (const auto& p : patches_) {
        const TRect r = IntersectRect(area, p->Area);
        if (EmptyRect(r)) continue;
        CopyArea(p->Clean,
                 {r.Left - p->Area.Left, r.Top - p->Area.Top, r.Right - p->Area.Left, r.Bottom - p->Area.Top},
                 target, r.Left - area.Left, top + r.Top - area.Top);
    }
}

TSaverEngine::Patch& TSaverEngine::KeepClean(const TRect& area) {
    // The spare patch with the least memory that holds the area, else the largest one,
    // which grows: so the memory of each grows to a size it keeps needing, and no more.
    const std::size_t bytes = std::size_t(area.Width()) * 3 * std::size_t(area.Height());
    const auto rank = [bytes](const std::unique_ptr<Patch>& p) {
        const std::size_t have = Capacity(&p->Clean);
        return have >= bytes ? have : SIZE_MAX - have;
    };
    const auto best = std::min_element(sparePatches_.begin(), sparePatches_.end(),
                                       [&rank](const auto& a, const auto& b) { return rank(a) < rank(b); });
    std::unique_ptr<Patch> patch;
    if (best == sparePatches_.end()) {
        patch = std::make_unique<Patch>();
    } else {
        patch = std::move(*best);
        sparePatches_.erase(best);
    }
    patch->Area = area;
    // Every pixel is written next.
    patch->Clean.SetSizeUncleared(area.Width(), area.Height(), pgpf24Bit);
    CleanPixels(area, patch->Clean, 0);
    patches_.push_back(std::move(patch));
    return *patches_.back();
}

void TSaverEngine::ReleasePatch(std::vector<std::unique_ptr<Patch>>::iterator patch) {
    sparePatches_.push_back(std::move(*patch));
    patches_.erase(patch);
}

bool TSaverEngine::ShowsSceneOverBlack() const {
    const TSceneFrame& shown = host_.Frame();
    return blackBackground_ && scene_ && shown.Picture == scene_.get() && shown.Left == 0 && shown.Top == 0 &&
           shown.Fill == 0;
}

TRect TSaverEngine::DrawnArea() const {
    TRect drawn;
    for (const auto& p : patches_) drawn = UniteRect(drawn, p->Area);
    return drawn;
}

TRect TSaverEngine::RestoreClean() {
    TRect restored;
    for (const auto& p : patches_) {
        CopyArea(p->Clean, {0, 0, p->Area.Width(), p->Area.Height()}, *scene_, p->Area.Left, p->Area.Top);
        restored = UniteRect(restored, p->Area);
    }
    while (!patches_.empty()) ReleasePatch(patches_.end() - 1);
    questionPatch_ = answerPatch_ = nullptr;
    blendSpans_.clear();
    return restored;
}

void TSaverEngine::StartJoke() {
    firstStart_ = false;
    services_.nextJoke();
    // Kept as fetched: the scene of another monitor fetching its own joke replaces the
    // current joke while this one is still sliding or standing.
    question_ = Settings.CurrentQuestion;
    answer_ = Settings.CurrentAnswer;
    LayoutJoke(layout_, measurePicture_->Canvas(), question_, answer_);
    questionY_ = layout_.Height;
    answerY_ = layout_.Height;
    strip_->SetSize(layout_.TextWidth, layout_.QuestionHeight + questionSpeed_ + kStripMargin, pgpf24Bit);
    textInk_ = MeasureInk(true);
    // The bare background: where the last joke left its text, or all of it after a fade
    // to black.
    ShowFaded(255, nullptr);
    const TRect restored = RestoreClean();
    if (!EmptyRect(restored)) host_.Repaint(restored);
    if (colorDepth_ <= 8) questionY_ = layout_.QuestionTarget;
}

void TSaverEngine::SetUpAnswer() {
    strip_->SetSize(layout_.TextWidth, layout_.AnswerHeight + answerSpeed_ + kStripMargin, pgpf24Bit);
    textInk_ = MeasureInk(false);
    if (colorDepth_ <= 8) answerY_ = layout_.AnswerTarget;
}

void TSaverEngine::DrawStripText(bool question) {
    const TJokeTextSettings& look = question ? Settings.Question : Settings.Answer;
    DrawJokeText(*strip_, 0, question ? layout_.QuestionHeight : layout_.AnswerHeight, 0, layout_.TextWidth,
                 look.Color, question ? layout_.QuestionFont : layout_.AnswerFont,
                 question ? question_ : answer_, look.ThreeD);
}

TRect TSaverEngine::MeasureInk(bool question) {
    // Drawn once as each slide step draws it; the areas the drawing reports are its ink.
    TRect ink;
    strip_->OnChange = [&ink](TPixelGraphic& p) {
        const auto& a = p.LastChange();
        ink = UniteRect(ink, {a.Left, a.Top, a.Right, a.Bottom});
    };
    DrawStripText(question);
    strip_->OnChange = nullptr;
    return ink;
}

bool TSaverEngine::SlideStep(bool question) {
    int& y = question ? questionY_ : answerY_;
    const int target = question ? layout_.QuestionTarget : layout_.AnswerTarget;
    const int height = question ? layout_.QuestionHeight : layout_.AnswerHeight;
    const int speed = question ? questionSpeed_ : answerSpeed_;

    // The strip is clean background with the text at its top; its rows outside the
    // scene are never shown.
    const int stripHeight = height + speed + kStripMargin;
    TRect strip =
        IntersectRect({layout_.Margin, y, layout_.Margin + layout_.TextWidth, y + stripHeight}, SceneRect());
    // Of its columns only those change where the text lands or something was drawn in
    // its rows: everywhere else the scene shows the clean background already.
    TRect reach{layout_.Margin + textInk_.Left, strip.Top, layout_.Margin + textInk_.Right, strip.Bottom};
    for (const auto& p : patches_)
        if (p->Area.Top < strip.Bottom && p->Area.Bottom > strip.Top)
            reach = UniteRect(reach, {p->Area.Left, strip.Top, p->Area.Right, strip.Bottom});
    strip = IntersectRect(strip, reach);
    if (!EmptyRect(strip)) {
        // The strip picture's row and column at the strip's top-left corner.
        const int top = strip.Top - y;
        const int left = strip.Left - layout_.Margin;
        Patch*& under = question ? questionPatch_ : answerPatch_;
        Patch* previous = under;
        Patch& kept = KeepClean(strip);
        under = &kept;
        CopyArea(kept.Clean, {0, 0, strip.Width(), strip.Height()}, *strip_, left, top);
        if (previous) {
            // The rows the previous strip covered below this one hold its clean bottom
            // rows now; whatever else they hold is kept aside as well.
            const TRect left{previous->Area.Left, std::max(strip.Bottom, previous->Area.Top),
                             previous->Area.Right, previous->Area.Bottom};
            bool clean = previous->Area.Top >= strip.Top;
            for (int row = left.Top; clean && row < left.Bottom; ++row)
                clean = std::memcmp(scene_->ScanLine(row) + std::size_t(left.Left) * 3,
                                    previous->Clean.ScanLine(row - previous->Area.Top),
                                    std::size_t(left.Width()) * 3) == 0;
            if (clean)
                ReleasePatch(std::find_if(patches_.begin(), patches_.end(),
                                          [previous](const auto& p) { return p.get() == previous; }));
        }
        DrawStripText(question);
        CopyArea(*strip_, {left, top, left + strip.Width(), top + strip.Height()}, *scene_, strip.Left,
                 strip.Top);
        host_.Repaint(strip);
    }

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

TSaverEngine::HomePageText TSaverEngine::MeasureHomePage() {
    TPGCanvas& canvas = measurePicture_->Canvas();
    HomePageFont(canvas);
    HomePageText t;
    t.BoxWidth = canvas.TextWidth(kHomePageText) + 5;
    t.BoxHeight = canvas.TextHeight(kHomePageText) + 5;
    const int blue = int(services_.random(255));
    const int green = int(services_.random(255));
    const int red = int(services_.random(255));
    t.Color = PGRGB(red, green, blue);
    return t;
}

TRect TSaverEngine::HomePageArea(const HomePageText& text, int left, int top) const {
    // The box with room around it for any glyph that reaches past its measure.
    const int m = text.BoxHeight;
    return IntersectRect({left - m, top - m, left + text.BoxWidth + m, top + text.BoxHeight + m},
                         SceneRect());
}

void TSaverEngine::DrawCornerHomePage() {
    const HomePageText text = MeasureHomePage();
    // It ends 5 pixels from the right and bottom edges, over the finished joke.
    const int left = layout_.Width - text.BoxWidth;
    const int top = layout_.Height - text.BoxHeight;
    const TRect area = HomePageArea(text, left, top);
    if (EmptyRect(area)) return;
    KeepClean(area);
    TPGCanvas& canvas = scene_->Canvas();
    HomePageFont(canvas);
    canvas.Brush.Style = TBrushStyle::Clear;
    canvas.Font.Color = text.Color;
    canvas.TextOut(left, top, kHomePageText);
    host_.Repaint(area);
}

void TSaverEngine::TakeSnapshot() {
    fadeLevel_ = 0;
    blendSpans_.clear();
    blendAreas_.clear();
    // The finished scene differs from the clean background only inside the patches;
    // everywhere else the blend of two equal bytes is that byte, so it is skipped.
    for (const auto& p : patches_) {
        const TRect& a = p->Area;
        if (!p->Snapshot) p->Snapshot = std::make_unique<TPixelGraphic>();
        p->Snapshot->SetSizeUncleared(a.Width(), a.Height(), pgpf24Bit);
        CopyArea(*scene_, a, *p->Snapshot, 0, 0);
        const int rowBytes = a.Width() * 3;
        TRect changed;
        for (int y = 0; y < a.Height(); ++y) {
            const std::uint8_t* s = p->Snapshot->ScanLine(y);
            const std::uint8_t* c = p->Clean.ScanLine(y);
            if (std::memcmp(s, c, std::size_t(rowBytes)) == 0) continue;
            int first = 0, end = rowBytes;
            while (s[first] == c[first]) ++first;
            while (s[end - 1] == c[end - 1]) --end;
            blendSpans_.push_back({p.get(), a.Top + y, first, end});
            changed =
                UniteRect(changed, {a.Left + first / 3, a.Top + y, a.Left + (end + 2) / 3, a.Top + y + 1});
        }
        if (!EmptyRect(changed)) blendAreas_.push_back(changed);
    }
}

bool TSaverEngine::BlendStep() {
    for (const BlendSpan& span : blendSpans_) {
        const Patch& p = *span.From;
        const int y = span.Row - p.Area.Top;
        CrossFadeBytes(scene_->ScanLine(span.Row) + std::size_t(p.Area.Left) * 3 + span.First,
                       p.Clean.ScanLine(y) + span.First, p.Snapshot->ScanLine(y) + span.First,
                       std::size_t(span.End - span.First), fadeLevel_);
    }
    for (const TRect& area : blendAreas_) host_.Repaint(area);

    fadeLevel_ += effectStep_;
    if (fadeLevel_ <= 255) return false;
    // The last level is almost the clean background; the next joke puts it back.
    blendSpans_.clear();
    return true;
}

void TSaverEngine::ShowBlackScreen() {
    // Black, or at the very first start the background drawing's fill colour (a solid
    // background's), with the home page text at a random place wholly inside.
    const PGColor fill = firstStart_ && firstFill_ != 0 ? firstFill_ : 0;
    firstStart_ = false;
    const HomePageText text = MeasureHomePage();
    // A window smaller than the box puts the text at its top-left corner.
    const int freeX = layout_.Width - text.BoxWidth;
    const int freeY = layout_.Height - text.BoxHeight;
    const int left = freeX > 0 ? int(services_.random(std::uint32_t(freeX))) : 0;
    const int top = freeY > 0 ? int(services_.random(std::uint32_t(freeY))) : 0;
    // Only the text's surroundings are a picture; the host fills the rest.
    blackScreenArea_ = HomePageArea(text, left, top);
    // One picture for every joke's box: its memory is kept from one to the next.
    if (!blackScreen_) blackScreen_ = std::make_unique<TPixelGraphic>();
    blackScreen_->SetSizeUncleared(blackScreenArea_.Width(), blackScreenArea_.Height(), pgpf24Bit);
    if (!EmptyRect(blackScreenArea_)) {
        blackScreen_->SetBackGroundColor(fill);
        blackScreen_->Clear();
        TPGCanvas& canvas = blackScreen_->Canvas();
        HomePageFont(canvas);
        canvas.Brush.Style = TBrushStyle::Clear;
        canvas.Font.Color = text.Color;
        canvas.TextOut(left - blackScreenArea_.Left, top - blackScreenArea_.Top, kHomePageText);
    }
    const TSceneFrame frame{blackScreen_->Empty() ? nullptr : blackScreen_.get(), blackScreenArea_.Left,
                            blackScreenArea_.Top, fill, 255};
    // Over the all-black screen of the set-up only the box changes, and over a black
    // background only the box and what was drawn: a large screen is not painted black
    // again.
    if (fill == 0 && host_.Frame().Level == 0)
        Show(frame, blackScreenArea_);
    else if (fill == 0 && ShowsSceneOverBlack()) {
        Show(frame, blackScreenArea_);
        host_.Repaint(DrawnArea());
    } else
        Show(frame);
    // Hidden now, the scene becomes the clean background again for the fade-in.
    RestoreClean();
}

}  // namespace quipix
