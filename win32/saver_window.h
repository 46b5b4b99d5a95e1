// The saver window on Windows: full screen over one monitor, topmost, cursor hidden,
// ending on input; or the preview, a disabled child of the display settings' window.
// It hosts the animation engine and shows the engine's picture as the DIB it is.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win32/native.h"  // windows.h without the DT_* macros the canvas defines itself
#include "saver/closing_rules.h"
#include "saver/engine.h"
#include "saver/saver_run.h"
#include "saver/scene_host.h"
#include "win32/dib.h"

namespace quipix::win32 {

class TfrmFullScreen : public SceneHost, public SaverWindow {
public:
    // Full screen over monitor; input goes through rules, which the windows of one
    // run share.
    TfrmFullScreen(const RECT& monitor, TClosingRules& rules,
                   EngineServices services = DefaultEngineServices());
    // A preview inside parent.
    TfrmFullScreen(HWND parent, TClosingRules& rules, EngineServices services = DefaultEngineServices());
    ~TfrmFullScreen() override;
    TfrmFullScreen(const TfrmFullScreen&) = delete;
    TfrmFullScreen& operator=(const TfrmFullScreen&) = delete;

    // SaverWindow. Start creates the window and sets the scene up (errors go to
    // ShowError); false when the window cannot be made, a preview's parent gone, say.
    bool Start() override;
    bool Closed() const override { return closed_; }
    HWND Handle() const { return window_; }
    // Ticking, or asleep through ticks that only wait.
    bool TimerActive() const { return timer1_ != 0 || idleTimer_ != 0; }
    TSaverEngine* Engine() const { return engine_.get(); }
    // The DPI its text is laid out at: its monitor's.
    int Dpi() const { return dpi_; }
    // The error box of a failed scene set-up; replaceable for tests.
    std::function<void(const std::string&)> ShowError;

    // SceneHost
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    int ScreenWidth() const override { return screen_.Width; }
    int ScreenHeight() const override { return screen_.Height; }
    int ColorDepth() const override { return screen_.ColorDepth; }
    bool IsPreview() const override { return parent_ != nullptr; }
    void StartTimer(int intervalMs) override;
    void StopAndClose() override;
    void ShowPicture(const TPixelGraphic* picture) override;
    TPixelGraphic* ShownPicture() override { return shown_.get(); }
    void ShowBlack(int width, int height) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT Dispatch(UINT message, WPARAM w, LPARAM l);
    void FormCreate();
    void FormClose();
    void Timer1Timer();
    void StopTimers();
    // The engine's pause: no ticks until it is over.
    void SleepThroughIdleTicks();
    void IdleTicksOver();
    void RequestClose();
    void Paint();
    void WatchShownPicture();
    bool AcceptsInput() const { return parent_ == nullptr; }

    HWND parent_ = nullptr;
    RECT monitor_{};
    TClosingRules& rules_;
    EngineServices services_;
    std::unique_ptr<TSaverEngine> engine_;
    std::unique_ptr<TPixelGraphic> shown_;
    HWND window_ = nullptr;
    UINT_PTR timer1_ = 0;
    UINT_PTR idleTimer_ = 0;
    int interval_ = 10;
    TIdleSleep idleSleep_;  // the ticks idleTimer_ sleeps through
    int width_ = 0;
    int height_ = 0;
    int dpi_ = 96;
    platform::ScreenInfo screen_;
    bool closing_ = false;
    bool closed_ = false;
    bool systemStateChanged_ = false;
    // The shown picture's header and colour table, refilled before each paint.
    DibHeader dib_;
};

// The monitors' rectangles, the primary one first.
std::vector<RECT> MonitorRects();

// A full-screen run, not yet started: one window over each monitor rectangle, the
// rules starting from where the cursor is. The windows close together; ended runs
// once the last has closed.
std::unique_ptr<TSaverRun> MakeScreenRun(const std::vector<RECT>& monitors, const EngineServices& services,
                                         std::function<void()> ended);
// A run of one preview inside parent.
std::unique_ptr<TSaverRun> MakePreviewRun(HWND parent, const EngineServices& services,
                                          std::function<void()> ended);

// Runs the saver until it closes: full screen on every monitor, one scene each, when
// parent is 0 (input on any ends all); else a preview inside parent.
void RunSaverWindows(platform::WindowId parent);

}  // namespace quipix::win32
