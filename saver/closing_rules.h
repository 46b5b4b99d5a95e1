// When input ends the saver: any key or button at once, mouse moves and releases
// only from the seventh on. Kept apart from the window so that the count can be
// checked without a screen.
#pragma once

namespace quipix {

class TClosingRules {
public:
    // Mouse-move and mouse-up events still ignored before a close request.
    int MouseCountdown() const { return mouseCountdown_; }
    // A move to (x, y) in screen coordinates; true when it asks to close. Windows
    // also reports a "move" to where the pointer already is whenever a window
    // appears or the cursor changes; the pointer has not moved then, so it is not
    // counted, as the X server never reports it.
    bool MouseMoved(int x, int y);
    // Where the pointer is when the saver starts: staying there is no move.
    void PointerAt(int x, int y) {
        havePosition_ = true;
        x_ = x;
        y_ = y;
    }
    // A button released; true when it asks to close.
    bool MouseReleased() { return CountMouseEvent(); }
    // The password was refused: six events are tolerated again.
    void Restart() { mouseCountdown_ = 6; }

private:
    bool CountMouseEvent();

    int mouseCountdown_ = 6;
    bool havePosition_ = false;
    int x_ = 0, y_ = 0;
};

}  // namespace quipix
