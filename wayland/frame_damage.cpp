// The two-buffer bookkeeping of a Wayland saver surface.
#include "wayland/frame_damage.h"

#include <algorithm>

namespace quipix {

void DamageRect::Unite(const DamageRect& other) {
    if (other.Empty()) return;
    if (Empty()) {
        *this = other;
        return;
    }
    Left = std::min(Left, other.Left);
    Top = std::min(Top, other.Top);
    Right = std::max(Right, other.Right);
    Bottom = std::max(Bottom, other.Bottom);
}

void TFrameDamage::Reset(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    pending_ = {0, 0, width_, height_};
    for (int b = 0; b < kBuffers; ++b) {
        missing_[b] = pending_;
        held_[b] = false;
    }
}

void TFrameDamage::Add(DamageRect area) {
    area.Left = std::max(area.Left, 0);
    area.Top = std::max(area.Top, 0);
    area.Right = std::min(area.Right, width_);
    area.Bottom = std::min(area.Bottom, height_);
    if (area.Empty()) return;
    pending_.Unite(area);
    for (auto& m : missing_) m.Unite(area);
}

int TFrameDamage::FreeBuffer() const {
    int best = -1;
    for (int b = 0; b < kBuffers; ++b)
        if (!held_[b] && (best < 0 || missing_[b].Area() < missing_[best].Area())) best = b;
    return best;
}

void TFrameDamage::Committed(int buffer) {
    missing_[buffer] = {};
    pending_ = {};
    held_[buffer] = true;
}

}  // namespace quipix
