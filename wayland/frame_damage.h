// What each of a surface's two frame buffers lacks of the picture on screen, and
// what changed since the last commit. The compositor may still read a buffer it was
// given until it releases it, so a frame goes into the other buffer, which first
// catches up on every change made since it was last committed. No Wayland in here.
#pragma once

namespace quipix {

struct DamageRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;  // right and bottom exclusive
    bool Empty() const { return Right <= Left || Bottom <= Top; }
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    long long Area() const { return Empty() ? 0 : (long long)Width() * Height(); }
    // The smallest rectangle that holds both.
    void Unite(const DamageRect& other);
};

class TFrameDamage {
public:
    static constexpr int kBuffers = 2;

    // New buffers of a new size: both lack everything, everything is to commit, and
    // the compositor holds neither.
    void Reset(int width, int height);
    // The picture changed in area (clipped to the buffers).
    void Add(DamageRect area);
    // Something changed since the last commit.
    bool Pending() const { return !pending_.Empty(); }
    // What changed since the last commit: the damage the next commit reports.
    const DamageRect& PendingArea() const { return pending_; }
    // The buffer to draw the next frame into: one the compositor does not hold, the
    // one with the least to catch up when both are free; -1 when both are held.
    int FreeBuffer() const;
    // What buffer lacks of the picture.
    const DamageRect& Missing(int buffer) const { return missing_[buffer]; }
    // buffer was brought up to date and committed: it lacks nothing, nothing is
    // pending, and the compositor holds it until Released.
    void Committed(int buffer);
    void Released(int buffer) { held_[buffer] = false; }
    bool Held(int buffer) const { return held_[buffer]; }

private:
    int width_ = 0, height_ = 0;
    DamageRect pending_;
    DamageRect missing_[kBuffers];
    bool held_[kBuffers] = {};
};

}  // namespace quipix
