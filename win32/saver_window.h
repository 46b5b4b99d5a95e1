// The saver window on Windows: full screen over one monitor, topmost, cursor hidden,
// ending on input; or the preview, a disabled child of the display settings' window.
// It hosts the animation engine and shows the engine's picture as the DIB it is.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win32/native.h"  // windows.h without the DT_* macros the canvas defines itself
#include "saver/engine.h"
#include "saver/scene_host.h"
#include "saver/closing_rules.h"

namespace quipix::win32 {

class TfrmFullScreen : public SceneHost {
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

    // Creates the window and sets the scene up (errors go to ShowError). False when
    // the window cannot be made, a preview's parent gone, say.
    bool Start();
    HWND Handle() const { return window_; }
    bool Closed() const { return closed_; }
    // Called once, when the window has closed.
    std::function<void()> OnClosed;
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
    int width_ = 0;
    int height_ = 0;
    platform::ScreenInfo screen_;
    bool closing_ = false;
    bool closed_ = false;
    bool systemStateChanged_ = false;
    // The shown picture's header and colour table, refilled before each paint.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } dib_{};
};

// The monitors' rectangles, the primary one first.
std::vector<RECT> MonitorRects();

// Runs the saver until it closes: full screen on every monitor, one scene each, when
// parent is 0 (input on any ends all); else a preview inside parent.
void RunSaverWindows(platform::WindowId parent);

}  // namespace quipix::win32
