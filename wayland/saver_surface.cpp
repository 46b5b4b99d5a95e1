// The saver surface of one output and the frames it commits.
#include "wayland/saver_surface.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "saver/scene_frame.h"
#include "imaging/text_engine.h"
// The protocol names a parameter "namespace", a C++ keyword.
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-shell-client-protocol.h"

namespace quipix {

std::shared_ptr<TextEngine> TWaylandSaverContext::TextEngineFor(int scale) {
    auto& engine = TextEngines[scale];
    // Fonts at the output's device pixels per inch, so text on a scaled output is
    // as sharp as its pixels and as large as on an unscaled one.
    if (!engine && MakeTextEngine) engine = MakeTextEngine(96.0 * scale);
    return engine;
}

void TWaylandSaverContext::RequestClose() {
    if (Run.Ending()) return;
    // Systems without a password scheme answer at once.
    if (!Run.Rules().RequestClose(0)) return;
    for (std::size_t i = 0; i < Run.Count(); ++i)
        if (!Run.Window(i).Closed()) {
            Run.Window(i).StopAndClose();
            return;
        }
}

TWaylandSaverWindow::TWaylandSaverWindow(TWaylandSaverContext& context, TWaylandOutput& output)
    : ShowError([](const std::string& message) { std::cerr << "quipix: " << message << "\n"; }),
      context_(context),
      output_(&output),
      timer_(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)) {
    buffers_.OnRelease = [this](int i) { damage_.Released(i); };
}

TWaylandSaverWindow::~TWaylandSaverWindow() {
    OnClosed = nullptr;
    StopTimers();
    engine_.reset();
    DestroySurface();
    if (timer_ >= 0) close(timer_);
}

bool TWaylandSaverWindow::Start() {
    TWaylandDisplay& d = context_.Display;
    surface_ = wl_compositor_create_surface(d.Compositor);
    if (!surface_) return false;
    if (d.LayerShell) {
        static const zwlr_layer_surface_v1_listener listener = {
            .configure =
                [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t w,
                   std::uint32_t h) {
                    zwlr_layer_surface_v1_ack_configure(layer, serial);
                    static_cast<TWaylandSaverWindow*>(data)->Configure(
                        int(std::min<std::uint32_t>(w, 65535)), int(std::min<std::uint32_t>(h, 65535)));
                },
            .closed = [](void* data,
                         zwlr_layer_surface_v1*) { static_cast<TWaylandSaverWindow*>(data)->gone_ = true; },
        };
        layer_ = zwlr_layer_shell_v1_get_layer_surface(d.LayerShell, surface_, output_->Output,
                                                       ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "quipix");
        zwlr_layer_surface_v1_add_listener(layer_, &listener, this);
        // Over the whole output, panels included, with every key.
        zwlr_layer_surface_v1_set_anchor(
            layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                        ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(layer_, 1);
    } else {
        static const xdg_surface_listener surfaceListener = {
            .configure =
                [](void* data, xdg_surface* surface, std::uint32_t serial) {
                    xdg_surface_ack_configure(surface, serial);
                    auto* self = static_cast<TWaylandSaverWindow*>(data);
                    self->Configure(self->configuredWidth_, self->configuredHeight_);
                },
        };
        static const xdg_toplevel_listener toplevelListener = {
            .configure =
                [](void* data, xdg_toplevel*, std::int32_t w, std::int32_t h, wl_array*) {
                    // Applied with the surface's configure that follows.
                    auto* self = static_cast<TWaylandSaverWindow*>(data);
                    self->configuredWidth_ = std::clamp(w, 0, 65535);
                    self->configuredHeight_ = std::clamp(h, 0, 65535);
                },
            // The compositor's close (a key binding, say) is the user's wish to end.
            .close = [](void* data,
                        xdg_toplevel*) { static_cast<TWaylandSaverWindow*>(data)->context_.RequestClose(); },
            .configure_bounds = [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},
            .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
        };
        xdgSurface_ = xdg_wm_base_get_xdg_surface(d.WmBase, surface_);
        xdg_surface_add_listener(xdgSurface_, &surfaceListener, this);
        toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
        xdg_toplevel_add_listener(toplevel_, &toplevelListener, this);
        xdg_toplevel_set_title(toplevel_, kSaverWindowTitle);
        xdg_toplevel_set_app_id(toplevel_, "quipix");
        xdg_toplevel_set_fullscreen(toplevel_, output_->Output);
    }
    // The first commit carries no buffer: it asks for the size.
    wl_surface_commit(surface_);
    return true;
}

void TWaylandSaverWindow::Configure(int width, int height) {
    if (closed_) return;
    configuredWidth_ = width;
    configuredHeight_ = height;
    const int scale = context_.Display.CompositorVersion >= 3 ? output_->Scale : 1;
    // A compositor that leaves the size to the client gets the output's.
    if (width <= 0 || height <= 0) {
        width = output_->ModeWidth / scale;
        height = output_->ModeHeight / scale;
    }
    if (width <= 0 || height <= 0) return;
    if (built_ && width * scale == width_ && height * scale == height_ && scale == scale_) return;
    Build(width * scale, height * scale, scale);
}

void TWaylandSaverWindow::OutputChanged() {
    if (built_ && !closed_) Configure(configuredWidth_, configuredHeight_);
}

void TWaylandSaverWindow::Build(int width, int height, int scale) {
    StopTimers();
    engine_.reset();
    Show(TSceneFrame{});  // nothing of the engine let go
    if (frame_) wl_callback_destroy(frame_);
    frame_ = nullptr;
    if (!buffers_.Create(context_.Display.Shm, width, height)) {
        std::cerr << "quipix: no memory for a " << width << " x " << height << " frame\n";
        StopAndClose();
        return;
    }
    width_ = width;
    height_ = height;
    scale_ = scale;
    built_ = true;
    damage_.Reset(width, height);
    // Black at once (the new buffers are zero), before the scene's set-up.
    if (context_.Display.CompositorVersion >= 3) wl_surface_set_buffer_scale(surface_, scale);
    wl_surface_attach(surface_, buffers_.Buffer(0), 0, 0);
    wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(surface_);
    damage_.Committed(0);
    wl_display_flush(context_.Display.Display());

    textEngine_ = context_.TextEngineFor(scale);
    UseOwnTextEngine();
    engine_ = std::make_unique<TSaverEngine>(*this, context_.Services);
    engine_->SetUpScene(ShowError);
}

void TWaylandSaverWindow::UseOwnTextEngine() {
    // Outputs of different scales share the process-wide engine slot.
    if (textEngine_ && CurrentTextEngine() != textEngine_.get()) SetTextEngine(textEngine_);
}

void TWaylandSaverWindow::StartTimer(int intervalMs) {
    interval_ = std::max(1, intervalMs);
    ticking_ = true;
    SetTimer(interval_, true);
}

void TWaylandSaverWindow::SetTimer(int ms, bool repeat) {
    itimerspec when{};
    when.it_value.tv_sec = time_t(ms / 1000);
    when.it_value.tv_nsec = long(ms % 1000) * 1'000'000;
    if (repeat) when.it_interval = when.it_value;
    timerfd_settime(timer_, 0, &when, nullptr);
    timerOn_ = ms > 0;
}

void TWaylandSaverWindow::StopTimers() {
    ticking_ = false;
    asleep_ = false;
    idleSleep_.Cancel();
    SetTimer(0, false);
}

void TWaylandSaverWindow::TimerFired() {
    std::uint64_t expirations = 0;
    // Ticks that the loop missed are not made up: the next simply follows.
    if (read(timer_, &expirations, sizeof expirations) != sizeof expirations || !Ticking() || !engine_)
        return;
    if (!asleep_) {
        Tick();
        return;
    }
    const int ms = idleSleep_.End(*engine_, interval_);
    asleep_ = ms > 0;
    SetTimer(asleep_ ? ms : interval_, !asleep_);
}

void TWaylandSaverWindow::Tick() {
    if (!Ticking() || !engine_) return;
    UseOwnTextEngine();
    engine_->Timer1Timer();
    // The engine's pause: one wake-up at its end instead of a tick every interval.
    if (!Ticking() || asleep_ || engine_->IdleTicks() == 0) return;
    if (const int ms = idleSleep_.Begin(*engine_, interval_)) {
        asleep_ = true;
        SetTimer(ms, false);
    }
}

void TWaylandSaverWindow::FrameChanged(const TRect& area) {
    if (!EmptyRect(area)) damage_.Add({area.Left, area.Top, area.Right, area.Bottom});
}

void TWaylandSaverWindow::Render() {
    if (closed_ || !built_ || frame_ || !damage_.Pending()) return;
    const int b = damage_.FreeBuffer();
    if (b < 0) return;  // its release brings the next frame
    Paint(b, damage_.Missing(b));
    static const wl_callback_listener frameListener = {
        .done =
            [](void* data, wl_callback* callback, std::uint32_t) {
                auto* self = static_cast<TWaylandSaverWindow*>(data);
                wl_callback_destroy(callback);
                self->frame_ = nullptr;
            },
    };
    const DamageRect& p = damage_.PendingArea();
    wl_surface_attach(surface_, buffers_.Buffer(b), 0, 0);
    if (context_.Display.CompositorVersion >= 4) {
        wl_surface_damage_buffer(surface_, p.Left, p.Top, p.Width(), p.Height());
    } else {
        // Surface coordinates, widened to whole logical pixels.
        const int s = scale_;
        wl_surface_damage(surface_, p.Left / s, p.Top / s, (p.Right + s - 1) / s - p.Left / s,
                          (p.Bottom + s - 1) / s - p.Top / s);
    }
    // The next frame waits until the compositor has shown this one.
    frame_ = wl_surface_frame(surface_);
    wl_callback_add_listener(frame_, &frameListener, this);
    wl_surface_commit(surface_);
    damage_.Committed(b);
}

void TWaylandSaverWindow::Paint(int buffer, const DamageRect& area) {
    if (area.Empty()) return;
    const std::size_t stride = buffers_.Stride();
    // Straight from the engine's picture: only the rows the buffer misses are converted.
    ConvertFrameRows(Frame(), {area.Left, area.Top, area.Right, area.Bottom},
                     buffers_.Pixels(buffer) + std::size_t(area.Top) * stride + std::size_t(area.Left) * 4,
                     stride);
}

void TWaylandSaverWindow::StopAndClose() {
    if (closed_) return;
    closed_ = true;
    StopTimers();
    if (engine_) engine_->FreeScene();
    DestroySurface();
    wl_display_flush(context_.Display.Display());
    if (OnClosed) OnClosed();
}

void TWaylandSaverWindow::Detach() {
    closed_ = true;
    StopTimers();
    DestroySurface();
}

void TWaylandSaverWindow::DestroySurface() {
    if (frame_) wl_callback_destroy(frame_);
    frame_ = nullptr;
    if (layer_) zwlr_layer_surface_v1_destroy(layer_);
    layer_ = nullptr;
    if (toplevel_) xdg_toplevel_destroy(toplevel_);
    toplevel_ = nullptr;
    if (xdgSurface_) xdg_surface_destroy(xdgSurface_);
    xdgSurface_ = nullptr;
    if (surface_) wl_surface_destroy(surface_);
    surface_ = nullptr;
    buffers_.Destroy();
    built_ = false;
}

}  // namespace quipix
