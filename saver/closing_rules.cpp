#include "saver/closing_rules.h"

namespace quipix {

bool TClosingRules::MouseMoved(int x, int y) {
    const bool moved = havePosition_ && (x != x_ || y != y_);
    PointerAt(x, y);
    return moved && CountMouseEvent();
}

bool TClosingRules::CountMouseEvent() {
    if (mouseCountdown_ <= 0) return true;
    --mouseCountdown_;
    return false;
}

bool TClosingRules::RequestClose(platform::WindowId saverWindow) {
    // Systems without a password scheme answer at once.
    if (VerifyPassword(saverWindow)) return true;
    Restart();
    return false;
}

}  // namespace quipix
