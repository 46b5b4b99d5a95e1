// The saver window: full screen over one monitor, a preview inside a foreign window,
// or an xscreensaver module drawing into the window it is given. It hosts the
// animation engine; full screen, its input goes to the closing rules of its run.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "saver/closing_rules.h"
#include "saver/engine.h"
#include "saver/saver_run.h"
#include "saver/scene_host.h"

namespace quipix {

class SceneView;
class TextEngine;
class PreviewParentWatcher;
class DirectWindowPainter;
}  // namespace quipix
class QScreen;
class QWindow;
namespace quipix {

// Where a saver window goes.
enum class SaverPlacement {
    Screen,   // full screen on one monitor, above everything, ends on input
    Preview,  // the protocol's preview inside a foreign window: 100 ms ticks, no input
    Module,   // an xscreensaver module inside a foreign window: 10 ms ticks, no input
};

struct SaverTarget {
    SaverPlacement placement = SaverPlacement::Screen;
    // Preview and Module: the foreign window; a Module's 0 is the root window.
    platform::WindowId window = 0;
    // Screen: the monitor; null is the primary one.
    QScreen* screen = nullptr;
    // Screen: take the focus and the keyboard and pointer grabs. Only one window of
    // the process can hold them.
    bool grabInput = true;
};

// The runs of the saver window (qt/saver_run.cpp). A QApplication must exist.
//
// Creates the saver windows and runs the event loop until they close. parent 0 runs
// full screen on every monitor, one scene each, and input on any of them ends all;
// otherwise the window is a preview inside parent.
void RunSaverWindow(platform::WindowId parent);
// The run RunSaverWindow plays, not yet started: one window per monitor (the primary
// first, the only one that takes the input grabs) when parent is 0, else one preview
// inside parent. The windows close together; ended runs once the last has closed.
std::unique_ptr<TSaverRun> MakeSaverWindows(platform::WindowId parent,
                                            const EngineServices& services = DefaultEngineServices(),
                                            std::function<void()> ended = {});
// A full-screen run of one window per screen, in this order: the first takes the
// input grabs, and the rules start from where the pointer is.
std::unique_ptr<TSaverRun> MakeScreenRun(const std::vector<QScreen*>& screens, const EngineServices& services,
                                         std::function<void()> ended);
// Runs as an xscreensaver module inside window (0: the root window) until SIGTERM,
// or until the window is destroyed.
void RunModuleWindow(platform::WindowId window);

class TfrmFullScreen : public QWidget, public SceneHost, public SaverWindow {
    Q_OBJECT
public:
    // A window of a run: full-screen input goes through rules, which the windows of
    // the run share.
    TfrmFullScreen(const SaverTarget& target, TClosingRules& rules,
                   EngineServices services = DefaultEngineServices());
    // A window on its own, with rules of its own. parent 0: full screen; otherwise a
    // preview inside that native window.
    explicit TfrmFullScreen(const SaverTarget& target, EngineServices services = DefaultEngineServices());
    explicit TfrmFullScreen(platform::WindowId parent, EngineServices services = DefaultEngineServices());
    ~TfrmFullScreen() override;

    // SaverWindow. Start sizes the window and sets the scene up (errors go to the
    // error box), then shows it; false when a preview's parent window does not exist.
    bool Start() override;
    bool Closed() const override { return closing_; }

    // The error box of a failed scene set-up; replaceable for tests.
    std::function<void(const std::string&)> ShowError;

    int MouseCountdown() const { return rules_.MouseCountdown(); }
    // Ticking, or asleep through ticks that only wait.
    bool TimerActive() const { return timer1_.isActive() || idleTimer_.isActive(); }
    int TimerInterval() const { return timer1_.interval(); }
    TSaverEngine& Engine() { return *engine_; }
    // The widget that shows the scene over the whole client area.
    QWidget* Image() const;
    // The frame as a repaint shows it (device pixels), converted afresh; for tests.
    QImage DisplayImage() const;
    // True when the frame goes to the X window through shared memory.
    bool SharesMemory() const;
    SaverPlacement Placement() const { return target_.placement; }
    // Device pixels per logical pixel of the window; the scene is in device pixels.
    double PixelRatio() const { return pixelRatio_; }
    // The shortest time between two repaints: one display frame. 0 repaints at once.
    void SetFrameInterval(int milliseconds);
    int FrameInterval() const { return frameIntervalMs_; }

    // SceneHost
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    int ScreenWidth() const override { return screen_.Width; }
    int ScreenHeight() const override { return screen_.Height; }
    int ColorDepth() const override { return screen_.ColorDepth; }
    bool IsPreview() const override { return target_.placement == SaverPlacement::Preview; }
    void StartTimer(int intervalMs) override;
    void StopAndClose() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    // The image control's mouse input is the window's own.
    bool eventFilter(QObject* watched, QEvent* event) override;
    QPaintEngine* paintEngine() const override;
    // SceneHost: the view paints the area from the engine's picture.
    void FrameChanged(const TRect& area) override;

private:
    void FormCreate();
    void FormClose();
    void Timer1Timer();
    // The engine's pause: no ticks until it is over.
    void SleepThroughIdleTicks();
    void IdleTicksOver();
    void RequestClose();
    // A pointer move to global (logical) position, or a button release: counted by
    // the run's rules.
    void PointerMoved(const QPointF& global);
    void PointerReleased();
    // The sizes and window flags of the placements, before the window shows.
    void PlaceOnScreen(QScreen* qscreen);
    bool PlaceInForeignWindow();
    // One picture pixel per window pixel: the scene can go straight to the X window.
    void PaintDirectlyWhereItCan();
    void GrabInput();
    // The foreign parent changed size: the scene is built again at the new size.
    void ParentResized(int width, int height);
    bool AcceptsInput() const { return target_.placement == SaverPlacement::Screen; }
    bool EmbedInForeignWindow();
    void SetLogicalSize();
    void UseOwnTextEngine();
    void FlushFrame();
    // True when an update request comes within a display frame of the last repaint:
    // it is held, and the frame timer repaints later.
    bool HoldForFrame();
    // The scene painted straight to the screen changed: paint it at the next frame.
    void FrameDue();

    SaverTarget target_;
    platform::WindowId parent_ = 0;  // the foreign window, once known
    TClosingRules ownRules_;         // a window on its own
    TClosingRules& rules_;
    EngineServices services_;
    std::unique_ptr<TSaverEngine> engine_;
    SceneView* image_ = nullptr;
    QTimer timer1_;
    QTimer idleTimer_;  // single-shot, for the ticks the engine says only wait
    TIdleSleep idleSleep_;
    bool inTick_ = false;
    bool framePending_ = false;  // painted straight to the screen: a tick changed the scene
    int width_ = 0;
    int height_ = 0;
    platform::ScreenInfo screen_;
    bool closing_ = false;
    int grabTries_ = 0;
    std::unique_ptr<PreviewParentWatcher> watcher_;
    QWindow* foreign_ = nullptr;  // the foreign parent, as Qt knows it
    double pixelRatio_ = 1;
    std::shared_ptr<TextEngine> textEngine_;  // points at this window's screen DPI
    // Repaints wait for the next display frame; ticks go on meanwhile.
    int frameIntervalMs_ = 0;
    QElapsedTimer sinceFlush_;
    QTimer frameTimer_;
    // Set when the scene goes straight to the X window, bypassing the backing store.
    std::unique_ptr<DirectWindowPainter> direct_;
    std::unique_ptr<QAbstractNativeEventFilter> exposeWatcher_;
};

}  // namespace quipix
