// The Wayland saver run: one surface per output, the closing rules over every seat,
// and one poll loop on the display's socket and the windows' timers.
#include "wayland/wayland_saver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

}  // namespace

TWaylandSaverRun::TWaylandSaverRun(TWaylandDisplay& display,
                                   std::function<std::shared_ptr<TextEngine>(double)> makeTextEngine,
                                   EngineServices services)
    : display_(display), context_{display, run_, std::move(makeTextEngine), std::move(services), {}} {
    display_.Input = this;
    display_.OnOutputDone = [this](TWaylandOutput& output) { OutputDone(output); };
    display_.OnOutputRemoved = [this](TWaylandOutput& output) { OutputRemoved(output); };
}

TWaylandSaverRun::~TWaylandSaverRun() {
    display_.OnOutputDone = nullptr;
    display_.OnOutputRemoved = nullptr;
}

TWaylandSaverWindow* TWaylandSaverRun::WindowOn(const TWaylandOutput& output) {
    for (std::size_t i = 0; i < run_.Count(); ++i)
        if (Window(i).Output() == &output) return &Window(i);
    return nullptr;
}

void TWaylandSaverRun::AddWindow(TWaylandOutput& output) {
    run_.Add(std::make_unique<TWaylandSaverWindow>(context_, output));
}

// Outputs that come later get a scene of their own; one that goes ends its scene.
void TWaylandSaverRun::OutputDone(TWaylandOutput& output) {
    if (run_.Ending()) return;
    if (TWaylandSaverWindow* w = WindowOn(output))
        w->OutputChanged();
    else
        AddWindow(output);
}

void TWaylandSaverRun::OutputRemoved(TWaylandOutput& output) {
    if (TWaylandSaverWindow* w = WindowOn(output)) {
        w->Detach();
        run_.Remove(*w);
    }
}

bool TWaylandSaverRun::Start() {
    for (auto& o : display_.Outputs)
        if (o->Done && !WindowOn(*o)) AddWindow(*o);
    return run_.Start();
}

void TWaylandSaverRun::PointerAt(wl_surface* surface, double sx, double sy, bool entered) {
    if (entered) pointerSurface_ = surface;
    int ox = 0, oy = 0;
    for (std::size_t i = 0; i < run_.Count(); ++i) {
        const TWaylandSaverWindow& w = Window(i);
        if (w.Surface() == pointerSurface_ && w.Output()) {
            ox = w.Output()->X;
            oy = w.Output()->Y;
        }
    }
    if (run_.Rules().MouseMoved(Fixed(ox + sx), Fixed(oy + sy))) context_.RequestClose();
}

void TWaylandSaverRun::Pressed() { context_.RequestClose(); }

void TWaylandSaverRun::Released() {
    if (run_.Rules().MouseReleased()) context_.RequestClose();
}

bool TWaylandSaverRun::Turn(int timeoutMs) {
    if (run_.Over() || !display_.Alive()) return false;
    timers_.clear();
    for (std::size_t i = 0; i < run_.Count(); ++i)
        if (Window(i).TimerActive()) timers_.push_back({Window(i).TimerFd(), POLLIN, 0});
    if (!display_.Wait(timers_.data(), int(timers_.size()), timeoutMs)) return false;
    TimersFired();
    DropGoneWindows();
    for (std::size_t i = 0; i < run_.Count() && !run_.Over(); ++i) Window(i).Render();
    return !run_.Over() && display_.Alive();
}

void TWaylandSaverRun::TimersFired() {
    // By descriptor: the compositor's events may have taken windows out meanwhile.
    for (const pollfd& timer : timers_)
        if (timer.revents & POLLIN)
            for (std::size_t i = 0; i < run_.Count() && !run_.Over(); ++i)
                if (Window(i).TimerFd() == timer.fd) Window(i).TimerFired();
}

// A surface the compositor took away leaves the run; the others go on.
void TWaylandSaverRun::DropGoneWindows() {
    for (std::size_t i = 0; i < run_.Count() && !run_.Over();) {
        TWaylandSaverWindow& w = Window(i);
        if (w.Gone()) {
            w.Detach();
            run_.Remove(w);
        } else {
            ++i;
        }
    }
}

namespace {

// A compositor the saver can run on: surfaces, shared-memory buffers, and a shell
// that puts a surface over a whole output.
bool CanShowSaver(const TWaylandDisplay& display) {
    return display.Compositor && display.Shm && (display.LayerShell || display.WmBase);
}

}  // namespace

WaylandRunResult RunWaylandSaver(const std::function<std::shared_ptr<TextEngine>(double)>& makeTextEngine,
                                 const EngineServices& services) {
    TWaylandDisplay display;
    TWaylandSaverRun saver(display, makeTextEngine, services);
    if (!display.Connect() || !CanShowSaver(display)) return WaylandRunResult::NoCompositor;
    TuneAllocatorForPictures();
    if (!saver.Start()) return WaylandRunResult::Done;
    while (saver.Turn(-1)) {}
    return WaylandRunResult::Done;
}

}  // namespace quipix
