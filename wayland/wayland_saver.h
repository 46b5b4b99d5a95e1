// The Wayland front end as the program entry sees it: no Wayland or toolkit types,
// so the entry can dispatch here whichever toolkit it is built with.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/idle_policy.h"
#include "saver/engine.h"

namespace quipix {

class TextEngine;

// True when the saver is to run on a Wayland compositor: waylandDisplay
// ($WAYLAND_DISPLAY) is set, and qtPlatform ($QT_QPA_PLATFORM) does not ask for X11.
bool WaylandSaverWanted(const char* waylandDisplay, const char* qtPlatform);

enum class WaylandRunResult {
    Done,          // the saver ran (or there was no output to run on) and has ended
    NoCompositor,  // no compositor answered, or it offers no shell: use X11 instead
};

// Runs the saver on every output until input ends it. makeTextEngine gives a text
// engine for fonts at a DPI; it is first called once the screens have gone black.
WaylandRunResult RunWaylandSaver(const std::function<std::shared_ptr<TextEngine>(double dpi)>& makeTextEngine,
                                 const EngineServices& services = DefaultEngineServices());

// True when a compositor answers at $WAYLAND_DISPLAY.
bool WaylandCompositorAnswers();

// The compositor's idle notice, for the --idle watcher, on the watcher's own loop:
// when Fd() is readable, Dispatch().
class WaylandIdleSource : public IdleSource {
public:
    // Null when no compositor answers or it offers no idle notice.
    static std::unique_ptr<WaylandIdleSource> Connect();
    ~WaylandIdleSource() override;
    void Watch(int ms, IdleListener& listener) override;
    int Fd() const;
    // Reads and dispatches what the compositor sent; false once it has gone.
    bool Dispatch();

private:
    WaylandIdleSource();
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quipix
