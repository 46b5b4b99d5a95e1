// The saver window: full screen over every other window, or a preview inside a
// foreign parent window. It hosts the animation engine and decides when to close.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "saver/engine.h"
#include "saver/scene_host.h"

namespace quipix {

class TPGImage;
class PreviewParentWatcher;
}  // namespace quipix
class QWindow;
namespace quipix {

// Creates the saver window and runs the event loop until it closes. A
// QApplication must exist. parent 0 runs full screen; otherwise the window is a
// preview inside parent.
void RunSaverWindow(platform::WindowId parent);

class TfrmFullScreen : public QWidget, public SceneHost {
    Q_OBJECT
public:
    // parent 0: full screen; otherwise a preview inside that native window.
    explicit TfrmFullScreen(platform::WindowId parent,
                            EngineServices services = DefaultEngineServices());
    ~TfrmFullScreen() override;

    // Sizes the window and sets the scene up (errors go to the error box), then shows
    // it. False when a preview's parent window does not exist.
    bool Start();

    // The error box of a failed scene set-up; replaceable for tests.
    std::function<void(const std::string&)> ShowError;

    int MouseCountdown() const { return mouseCountdown_; }
    bool TimerActive() const { return timer1_.isActive(); }
    TSaverEngine& Engine() { return *engine_; }
    TPGImage* Image() const { return image_; }

    // SceneHost
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    int ScreenWidth() const override { return screen_.Width; }
    int ScreenHeight() const override { return screen_.Height; }
    int ColorDepth() const override { return screen_.ColorDepth; }
    bool IsPreview() const override { return parent_ != 0; }
    void StartTimer(int intervalMs) override;
    void StopAndClose() override;
    void ShowPicture(const TPixelGraphic* picture) override;
    TPixelGraphic* ShownPicture() override;

signals:
    // The window has closed; the run's event loop ends on it.
    void closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void Timer1Timer();
    void RequestClose();
    void CountMouseEvent();
    void GrabInput();
    // The preview's parent changed size: the scene is built again at the new size.
    void ParentResized(int width, int height);

    platform::WindowId parent_;
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
    QWindow* foreign_ = nullptr;  // the preview's parent, as Qt knows it
};

}  // namespace quipix
