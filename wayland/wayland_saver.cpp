// The Wayland saver run: one surface per output, the closing rules over every seat,
// and one poll loop on the display's socket and a 10 ms timerfd that is armed only
// while a scene ticks, and fires once for the pause while every scene only waits.
#include "wayland/wayland_saver.h"

#include <sys/timerfd.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "wayland/display.h"
#include "wayland/saver_surface.h"

namespace quipix {

bool WaylandSaverWanted(const char* waylandDisplay, const char* qtPlatform) {
    if (!waylandDisplay || !*waylandDisplay) return false;
    // QT_QPA_PLATFORM=xcb is the way to keep the X11 saver inside a Wayland session.
    return !(qtPlatform && std::strncmp(qtPlatform, "xcb", 3) == 0);
}

namespace {

// Pointer positions in the compositor's space, in 1/256 of a logical pixel (the
// protocol's own precision), so that every real move counts, however small.
int Fixed(double v) { return int(std::lround(std::clamp(v, -8.0e6, 8.0e6) * 256.0)); }

class SaverInput : public TWaylandInput {
public:
    explicit SaverInput(TWaylandSaverContext*& context) : context_(context) {}
    void PointerAt(wl_surface* surface, double sx, double sy, bool entered) override {
        if (!context_) return;
        if (entered) surface_ = surface;
        int ox = 0, oy = 0;
        for (std::size_t i = 0; i < context_->Run.Count(); ++i) {
            auto& w = static_cast<TWaylandSaverWindow&>(context_->Run.Window(i));
            if (w.Surface() == surface_ && w.Output()) {
                ox = w.Output()->X;
                oy = w.Output()->Y;
            }
        }
        const int x = Fixed(ox + sx), y = Fixed(oy + sy);
        // Where the pointer first shows itself is where it was: no move.
        if (!havePosition_) {
            havePosition_ = true;
            context_->Run.Rules().PointerAt(x, y);
            return;
        }
        if (context_->Run.Rules().MouseMoved(x, y)) context_->RequestClose();
    }
    void Pressed() override {
        if (context_) context_->RequestClose();
    }
    void Released() override {
        if (context_ && context_->Run.Rules().MouseReleased()) context_->RequestClose();
    }

private:
    TWaylandSaverContext*& context_;
    wl_surface* surface_ = nullptr;
    bool havePosition_ = false;
};

TWaylandSaverWindow& WindowAt(TSaverRun& run, std::size_t i) {
    return static_cast<TWaylandSaverWindow&>(run.Window(i));
}

constexpr int kTickMs = kFullScreenTickMs;  // a Wayland scene is never the small preview

// Off, a tick every 10 ms, or (idleTicks > 0) once after that many ticks' time.
void SetTimer(int fd, bool on, int idleTicks = 0) {
    itimerspec when{};
    if (idleTicks > 0) {
        const long long ns = (long long)idleTicks * kTickMs * 1'000'000;
        when.it_value.tv_sec = time_t(ns / 1'000'000'000);
        when.it_value.tv_nsec = long(ns % 1'000'000'000);
    } else if (on) {
        when.it_interval.tv_nsec = when.it_value.tv_nsec = kTickMs * 1'000'000;
    }
    timerfd_settime(fd, 0, &when, nullptr);
}

long long NowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1'000'000;
}

}  // namespace

WaylandRunResult RunWaylandSaver(const std::function<std::shared_ptr<TextEngine>(double)>& makeTextEngine,
                                 const EngineServices& services) {
    TWaylandSaverContext* context = nullptr;
    SaverInput input(context);
    TWaylandDisplay display;
    display.Input = &input;
    if (!display.Connect()) return WaylandRunResult::NoCompositor;
    if (!display.Compositor || !display.Shm || (!display.LayerShell && !display.WmBase))
        return WaylandRunResult::NoCompositor;
#if defined(__GLIBC__)
    // Full-screen pictures come and go with the fade states: each mapped on its own,
    // they go back to the system when freed instead of staying in the heap.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif

    TSaverRun run;
    TWaylandSaverContext ctx{display, run, makeTextEngine, services, {}, false};
    context = &ctx;
    auto addWindow = [&](TWaylandOutput& output) {
        run.Add(std::make_unique<TWaylandSaverWindow>(ctx, output));
    };
    auto windowOf = [&](const TWaylandOutput& output) -> TWaylandSaverWindow* {
        for (std::size_t i = 0; i < run.Count(); ++i)
            if (WindowAt(run, i).Output() == &output) return &WindowAt(run, i);
        return nullptr;
    };
    // Outputs that come later get a scene of their own; one that goes ends its scene.
    display.OnOutputDone = [&](TWaylandOutput& output) {
        if (run.Ending()) return;
        if (TWaylandSaverWindow* w = windowOf(output))
            w->OutputChanged();
        else
            addWindow(output);
    };
    display.OnOutputRemoved = [&](TWaylandOutput& output) {
        if (TWaylandSaverWindow* w = windowOf(output)) {
            w->Detach();
            run.Remove(*w);
        }
    };
    for (auto& o : display.Outputs)
        if (o->Done) addWindow(*o);
    if (!run.Start()) return WaylandRunResult::Done;

    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    bool timerOn = false;
    // While every scene only waits (the pause after the answer), one wake-up ends the
    // sleep and the ticks slept through go back to the engines.
    int asleepTicks = 0;
    long long asleepSince = 0;
    auto wake = [&](int ticks) {
        for (std::size_t i = 0; i < run.Count(); ++i) WindowAt(run, i).SkipIdleTicks(ticks);
        asleepTicks = 0;
        timerOn = false;
    };
    while (!ctx.Quit && display.Alive()) {
        bool ticking = false;
        int idle = INT_MAX;
        for (std::size_t i = 0; i < run.Count(); ++i) {
            TWaylandSaverWindow& w = WindowAt(run, i);
            if (!w.Ticking()) continue;
            ticking = true;
            idle = std::min(idle, w.IdleTicks());
        }
        if (!ticking) idle = 0;
        // A scene that came meanwhile (a new output) needs its ticks: the sleep ends.
        if (asleepTicks > 0 && idle == 0)
            wake(int(std::min<long long>(asleepTicks, (NowMs() - asleepSince) / kTickMs)));
        if (asleepTicks == 0 && idle > 0) {
            asleepTicks = std::min(idle, 3600 * 1000 / kTickMs);
            asleepSince = NowMs();
            SetTimer(timer, true, asleepTicks);
            timerOn = true;
        } else if (asleepTicks == 0 && ticking != timerOn) {
            // Nothing ticks (a failed set-up): no wake-ups until input comes.
            SetTimer(timer, timerOn = ticking);
        }
        pollfd fds[1] = {{timer, POLLIN, 0}};
        if (!display.Wait(fds, 1, -1)) break;
        if (fds[0].revents & POLLIN) {
            std::uint64_t expirations = 0;
            // Ticks that the loop missed are not made up: the next simply follows.
            if (read(timer, &expirations, sizeof expirations) == sizeof expirations) {
                if (asleepTicks > 0)
                    wake(asleepTicks);
                else
                    for (std::size_t i = 0; i < run.Count() && !ctx.Quit; ++i) WindowAt(run, i).Tick();
            }
        }
        // A surface the compositor took away leaves the run; the others go on.
        for (std::size_t i = 0; i < run.Count();) {
            TWaylandSaverWindow& w = WindowAt(run, i);
            if (w.Gone() && !ctx.Quit) {
                w.Detach();
                run.Remove(w);
            } else {
                ++i;
            }
        }
        for (std::size_t i = 0; i < run.Count() && !ctx.Quit; ++i) WindowAt(run, i).Render();
    }
    close(timer);
    context = nullptr;
    display.OnOutputDone = nullptr;
    display.OnOutputRemoved = nullptr;
    return WaylandRunResult::Done;
}

}  // namespace quipix
