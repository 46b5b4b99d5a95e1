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
    bool Quit = false;                                       // every window has closed

    std::shared_ptr<TextEngine> TextEngineFor(int scale);
    // Input asked to end the saver: the closing rules decide, and all windows close.
    void RequestClose();
};

class TWaylandSaverWindow : public SaverWindow, public SceneHost {
public:
    TWaylandSaverWindow(TWaylandSaverContext& context, TWaylandOutput& output);
    ~TWaylandSaverWindow() override;

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
    void StopTimer() { ticking_ = false; }

    // The loop's side: one engine step, and a frame when something changed.
    bool Ticking() const { return ticking_ && !closed_; }
    void Tick();
    // The coming ticks that only wait, and those of them slept through.
    int IdleTicks() const { return Ticking() && engine_ ? engine_->IdleTicks() : 0; }
    void SkipIdleTicks(int ticks);
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
    bool closed_ = false;
    bool gone_ = false;
    TShmBuffers buffers_;
    TFrameDamage damage_;
    std::unique_ptr<TSaverEngine> engine_;
    std::shared_ptr<TextEngine> textEngine_;
};

}  // namespace quipix
