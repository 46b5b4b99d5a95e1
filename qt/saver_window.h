// The saver window: full screen over one monitor, a preview inside a foreign window,
// or an xscreensaver module drawing into the window it is given. It hosts the
// animation engine and decides when to close.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "saver/engine.h"
#include "saver/scene_host.h"

namespace quipix {

class TPGImage;
class TfrmFullScreen;
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

// Covers every monitor with a plain black window of its own X connection, before the
// toolkit starts, so that the screen goes black at once; RunSaverWindow takes it down
// once its windows show. Nothing happens without an X server.
void RaiseBlackCurtain();

// Creates the saver windows and runs the event loop until they close. A QApplication
// must exist. parent 0 runs full screen on every monitor, one scene each, and input
// on any of them ends all; otherwise the window is a preview inside parent.
void RunSaverWindow(platform::WindowId parent);
// The windows RunSaverWindow runs: one per monitor (the primary first, the only one
// that takes the input grabs) when parent is 0, else one preview inside parent.
std::vector<std::unique_ptr<TfrmFullScreen>> MakeSaverWindows(
    platform::WindowId parent, const EngineServices& services = DefaultEngineServices());
// Makes the windows end together: when one closes, the others close too.
void CloseTogether(const std::vector<std::unique_ptr<TfrmFullScreen>>& forms);
// Runs as an xscreensaver module inside window (0: the root window) until SIGTERM,
// or until the window is destroyed.
void RunModuleWindow(platform::WindowId window);

class TfrmFullScreen : public QWidget, public SceneHost {
    Q_OBJECT
public:
    // parent 0: full screen; otherwise a preview inside that native window.
    explicit TfrmFullScreen(platform::WindowId parent, EngineServices services = DefaultEngineServices());
    explicit TfrmFullScreen(const SaverTarget& target, EngineServices services = DefaultEngineServices());
    ~TfrmFullScreen() override;

    // Sizes the window and sets the scene up (errors go to the error box), then shows
    // it. False when a preview's parent window does not exist.
    bool Start();

    // The error box of a failed scene set-up; replaceable for tests.
    std::function<void(const std::string&)> ShowError;

    int MouseCountdown() const { return mouseCountdown_; }
    bool TimerActive() const { return timer1_.isActive(); }
    int TimerInterval() const { return timer1_.interval(); }
    TSaverEngine& Engine() { return *engine_; }
    TPGImage* Image() const { return image_; }
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
    void ShowPicture(const TPixelGraphic* picture) override;
    TPixelGraphic* ShownPicture() override;
    void ShowBlack(int width, int height) override;

signals:
    // The window has closed; the run's event loop ends on it.
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    QPaintEngine* paintEngine() const override;

private:
    void FormCreate();
    void FormClose();
    void Timer1Timer();
    void RequestClose();
    void CountMouseEvent();
    void GrabInput();
    // The foreign parent changed size: the scene is built again at the new size.
    void ParentResized(int width, int height);
    bool AcceptsInput() const { return target_.placement == SaverPlacement::Screen; }
    bool EmbedInForeignWindow();
    void SetLogicalSize();
    void UseOwnTextEngine();
    void WatchShownPicture();
    void FlushFrame();
    // True when an update request comes within a display frame of the last repaint:
    // it is held, and the frame timer repaints later.
    bool HoldForFrame();
    // The scene painted straight to the screen changed: paint it at the next frame.
    void FrameDue();

    SaverTarget target_;
    platform::WindowId parent_ = 0;  // the foreign window, once known
    EngineServices services_;
    std::unique_ptr<TSaverEngine> engine_;
    TPGImage* image_ = nullptr;
    QTimer timer1_;
    int mouseCountdown_ = 6;
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
