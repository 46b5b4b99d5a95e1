// A compositor inside the test process, so that the Wayland saver windows run in a
// unit test: outputs side by side, one seat with a pointer and a keyboard,
// layer-shell surfaces on shared-memory buffers. It answers on a thread of its own
// (the client's connection waits for its replies); every call here is safe from the
// test's thread. No Wayland types: the client's and the server's headers do not mix.
#pragma once

#include <cstdint>
#include <memory>

namespace quipix::test {

class FakeCompositor {
public:
    // outputs of width x height logical pixels at scale 1, side by side from x = 0 with
    // gap pixels between them.
    FakeCompositor(int outputs, int width, int height, int gap);
    ~FakeCompositor();
    FakeCompositor(const FakeCompositor&) = delete;
    FakeCompositor& operator=(const FakeCompositor&) = delete;

    // The client's end of the connection, for $WAYLAND_SOCKET; once.
    int TakeClientSocket();
    // Where output i starts in the compositor's space.
    int OutputX(int output) const;

    // The pointer over the surface on output, at (x, y) of that surface: it enters
    // the surface when it was elsewhere, else it moves.
    void PointerAt(int output, double x, double y);
    void Button(bool pressed);
    void Key();
    // The colour (0x00BBGGRR) at (x, y) of the last buffer committed to the surface
    // on output; -1 when there is none.
    std::int64_t Pixel(int output, int x, int y) const;

    struct State;  // the server's, in fake_compositor.cpp

private:
    std::unique_ptr<State> state_;
};

}  // namespace quipix::test
