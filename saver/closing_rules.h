// When input ends a full-screen saver, for every front end: any key or button at
// once, pointer moves and releases only from the seventh on; where the system has a
// screen-saver password it must accept first, and a refusal tolerates six events
// again. The windows of one run (one per monitor) share one set of rules, so the
// count is the run's, whichever monitor the pointer crosses.
#pragma once

#include <functional>

#include "platform/platform.h"

namespace quipix {

class TClosingRules {
public:
    // Mouse-move and mouse-up events still ignored before a close request.
    int MouseCountdown() const { return mouseCountdown_; }
    // Where the pointer is when the saver starts: staying there is no move. Until it
    // is known (a system that cannot tell, a compositor that tells a client only once
    // the pointer is over one of its surfaces), the first position reported is taken
    // as where the pointer rests.
    void PointerAt(int x, int y) {
        havePosition_ = true;
        x_ = x;
        y_ = y;
    }
    // A move to (x, y) in screen coordinates; true when it asks to close. A "move" to
    // where the pointer already is (Windows reports one whenever a window appears or
    // the cursor changes; a compositor may repeat a position) is not counted: the
    // pointer has not moved. Every real move counts, however small.
    bool MouseMoved(int x, int y);
    // A button released; true when it asks to close.
    bool MouseReleased() { return CountMouseEvent(); }
    // The close request itself (a key, a button, or a counted event that asked):
    // true when the saver is to close now. Where the system has a password scheme
    // (Windows 95/98 with the password on) its dialog must accept, over saverWindow;
    // a refusal keeps the saver and starts the count afresh.
    bool RequestClose(platform::WindowId saverWindow);
    // Six events are tolerated again.
    void Restart() { mouseCountdown_ = kTolerated; }

    // The password check of RequestClose: the system's own unless replaced (tests).
    std::function<bool(platform::WindowId)> VerifyPassword = platform::VerifyScreenSavePassword;

private:
    static constexpr int kTolerated = 6;
    bool CountMouseEvent();

    int mouseCountdown_ = kTolerated;
    bool havePosition_ = false;
    int x_ = 0, y_ = 0;
};

}  // namespace quipix
