// The X server's idle time (the MIT-SCREEN-SAVER extension) as an idle source of the
// --idle watcher, read when the idle time can first have been reached and then each
// second until input comes. A video player that resets the server's screen saver
// (as most do on X11) holds it off that way.
#pragma once

#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/idle_policy.h"

struct xcb_connection_t;

namespace quipix {

class X11IdleSource : public IdleSource {
public:
    // Null when no X server answers ($DISPLAY) or it lacks the extension (`why` then
    // says so).
    static std::unique_ptr<X11IdleSource> Connect(std::string& why);
    // True when an xscreensaver daemon runs on the X server at $DISPLAY.
    static bool XScreensaverRuns();
    ~X11IdleSource() override;
    void Watch(int ms, IdleListener& listener) override;
    // The server went away.
    std::function<void()> Gone;

private:
    X11IdleSource() = default;
    void Poll();

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    int ms_ = 0;
    IdleListener* listener_ = nullptr;
    bool idle_ = false;
    std::uint32_t lastIdleMs_ = 0;
    QTimer timer_;
};

}  // namespace quipix
