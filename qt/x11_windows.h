// The saver's dealings with X11 windows that are not its own: the connection Qt
// holds, the foreign parent of a preview or an xscreensaver module (its size, its
// screen's root, a watcher for its resize and its end), and the black curtain that
// covers the screen while the toolkit starts. Without an X server (the offscreen
// platform of the tests) each answers as the nearest platform service would, or
// does nothing.
#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

#include "platform/platform.h"

struct xcb_connection_t;

namespace quipix {

// Qt's own X connection; null on any other platform.
xcb_connection_t* X11Connection();

// The root window of the screen that holds window; 0 without an X server.
platform::WindowId RootOf(platform::WindowId window);

// The size of a foreign window: Qt reads a foreign window's geometry as 0 x 0, so the
// server is asked. False when the window does not exist.
bool NativeWindowSize(platform::WindowId window, int& width, int& height);

// Follows the foreign parent window (a preview's or a module's): Qt neither reports a
// foreign window's resize nor quits when it is destroyed, so the structure events are
// selected here, added to whatever this connection already selects there (the root
// window's property changes, say). The callbacks run inside Qt's event dispatch.
class PreviewParentWatcher : public QAbstractNativeEventFilter {
public:
    PreviewParentWatcher(platform::WindowId parent, std::function<void(int, int)> resized,
                         std::function<void()> destroyed);
    ~PreviewParentWatcher() override;
    PreviewParentWatcher(const PreviewParentWatcher&) = delete;
    PreviewParentWatcher& operator=(const PreviewParentWatcher&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override;

private:
    std::uint32_t parent_;
    std::function<void(int, int)> resized_;
    std::function<void()> destroyed_;
    bool installed_ = false;
};

// Covers every monitor with a plain black window of its own X connection, before the
// toolkit starts, so that the screen goes black at once; the run takes it down once
// its windows show. Nothing happens without an X server.
void RaiseBlackCurtain();
void LowerBlackCurtain();
// The size of the X screen the curtain covers; false while none is up.
bool CurtainSize(int& width, int& height);

}  // namespace quipix
