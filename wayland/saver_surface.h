// One output's saver surface: a layer-shell overlay over the whole output where the
// compositor offers layer-shell, else a toplevel made full screen on that output. It
// hosts the output's scene at the output's size and integer scale and commits only
// the rows the scene changed, into whichever of its two buffers the compositor has
// given back.
#pragma once

#include <wayland-client.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "saver/engine.h"
#include "saver/saver_run.h"
#include "saver/scene_host.h"
#include "wayland/display.h"
#include "wayland/frame_damage.h"
#include "wayland/shm_buffer.h"

struct zwlr_layer_surface_v1;
struct xdg_surface;
struct xdg_toplevel;

namespace quipix {

class TextEngine;

// What every saver surface of one run shares.
struct TWaylandSaverContext {
    TWaylandDisplay& Display;
    TSaverRun& Run;
    // A text engine for fonts at dpi; engines are shared between outputs of one scale.
    std::function<std::shared_ptr<TextEngine>(double dpi)> MakeTextEngine;
    EngineServices Services;
    std::map<int, std::shared_ptr<TextEngine>> TextEngines;  // by output scale

    std::shared_ptr<TextEngine> TextEngineFor(int scale);
    // Input asked to end the saver: the closing rules decide, and all windows close.
    void RequestClose();
};

class TWaylandSaverWindow : public SaverWindow, public SceneHost {
public:
    TWaylandSaverWindow(TWaylandSaverContext& context, TWaylandOutput& output);
    ~TWaylandSaverWindow() override;
    TWaylandSaverWindow(const TWaylandSaverWindow&) = delete;
    TWaylandSaverWindow& operator=(const TWaylandSaverWindow&) = delete;

    // SaverWindow: Start makes the surface; its scene is set up once the compositor
    // has said how large it is.
    bool Start() override;
    void StopAndClose() override;
    bool Closed() const override { return closed_; }

    // SceneHost
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    int ScreenWidth() const override { return width_; }
    int ScreenHeight() const override { return height_; }
    int ColorDepth() const override { return 24; }
    bool IsPreview() const override { return false; }
    void StartTimer(int intervalMs) override;

    // The error of a failed scene set-up; to stderr unless replaced (tests).
    std::function<void(const std::string&)> ShowError;
    TSaverEngine* Engine() const { return engine_.get(); }

    // The loop's side. The timer, while it ticks or sleeps through the ticks that
    // only wait, is a file descriptor that is readable once it has fired.
    bool TimerActive() const { return timerOn_ && !closed_; }
    int TimerFd() const { return timer_; }
    void TimerFired();
    // One engine step, then the sleep through the engine's pause when it begins.
    void Tick();
    // A frame, when something changed and a buffer is free.
    void Render();

    TWaylandOutput* Output() const { return output_; }
    wl_surface* Surface() const { return surface_; }
    // The output changed (its scale, say): the scene is built again when its size did.
    void OutputChanged();
    // The compositor took the surface away (its output is going): the window is to
    // leave the run without ending the others.
    bool Gone() const { return gone_; }
    // Drops the surface without telling the run; the window then leaves it.
    void Detach();

protected:
    // SceneHost: the next frame paints the area from the engine's picture.
    void FrameChanged(const TRect& area) override;

private:
    void Configure(int width, int height);
    void Build(int width, int height, int scale);
    void Paint(int buffer, const DamageRect& area);
    void UseOwnTextEngine();
    void DestroySurface();
    bool Ticking() const { return ticking_ && !closed_; }
    // Fires every ms, or (repeat false) once after ms; 0 stops it.
    void SetTimer(int ms, bool repeat);
    void StopTimers();

    TWaylandSaverContext& context_;
    TWaylandOutput* output_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    wl_callback* frame_ = nullptr;
    int configuredWidth_ = 0, configuredHeight_ = 0;  // logical, from the last configure
    int width_ = 0, height_ = 0, scale_ = 1;          // the scene's, in buffer pixels
    bool built_ = false;
    bool ticking_ = false;
    int timer_ = -1;
    bool timerOn_ = false;
    int interval_ = 10;
    bool asleep_ = false;
    TIdleSleep idleSleep_;  // the ticks the timer sleeps through while asleep_
    bool closed_ = false;
    bool gone_ = false;
    TShmBuffers buffers_;
    TFrameDamage damage_;
    std::unique_ptr<TSaverEngine> engine_;
    std::shared_ptr<TextEngine> textEngine_;
};

// The saver run on a compositor: a window for each output, made as outputs come and
// taken out as they go, and the seats' input through the run's closing rules. Made
// before display connects, so that its seats report to the run from the start.
class TWaylandSaverRun : public TWaylandInput {
public:
    TWaylandSaverRun(TWaylandDisplay& display,
                     std::function<std::shared_ptr<TextEngine>(double dpi)> makeTextEngine,
                     EngineServices services);
    ~TWaylandSaverRun() override;
    TWaylandSaverRun(const TWaylandSaverRun&) = delete;
    TWaylandSaverRun& operator=(const TWaylandSaverRun&) = delete;

    TSaverRun& Run() { return run_; }
    TWaylandSaverWindow& Window(std::size_t i) { return static_cast<TWaylandSaverWindow&>(run_.Window(i)); }
    // A window on every output described so far, started; false when none could be.
    bool Start();
    // One turn of the loop: waits up to timeoutMs (-1: no limit) for the compositor
    // or a window's timer, lets the windows whose timers fired tick, drops the
    // surfaces the compositor took away, and sends the frames that changed. False
    // once the run is over or the compositor has gone.
    bool Turn(int timeoutMs);

    // TWaylandInput
    void PointerAt(wl_surface* surface, double sx, double sy, bool entered) override;
    void Pressed() override;
    void Released() override;

private:
    TWaylandSaverWindow* WindowOn(const TWaylandOutput& output);
    void AddWindow(TWaylandOutput& output);
    void OutputDone(TWaylandOutput& output);
    void OutputRemoved(TWaylandOutput& output);
    void TimersFired();
    void DropGoneWindows();

    TWaylandDisplay& display_;
    TSaverRun run_;
    TWaylandSaverContext context_;
    wl_surface* pointerSurface_ = nullptr;  // the surface the pointer last entered
    std::vector<pollfd> timers_;            // the loop's, kept from turn to turn
};

}  // namespace quipix
