// The Wayland front end as the program entry sees it: no Wayland or toolkit types,
// so the entry can dispatch here whichever toolkit it is built with.
#pragma once

#include <functional>
#include <memory>
#include <string>

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

// The --idle watcher: runs `program /s` each time the seat has been idle for seconds
// (once per idle period), until it is ended. Returns the exit code: 1 when the
// compositor offers no idle notification.
int RunIdleWatcher(int seconds, const std::string& program);

}  // namespace quipix
