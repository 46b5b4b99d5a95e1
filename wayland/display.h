// The connection to the compositor: the globals the saver and the idle watcher bind,
// one record per output (created and destroyed with its global), the seats' input
// devices, and one wait of the poll loop with libwayland's prepare-read protocol.
#pragma once

#include <poll.h>
#include <wayland-client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct zwlr_layer_shell_v1;
struct xdg_wm_base;
struct ext_idle_notifier_v1;
struct org_kde_kwin_idle;

namespace quipix {

class TWaylandDisplay;

struct TWaylandOutput {
    TWaylandDisplay* Owner = nullptr;
    wl_output* Output = nullptr;
    std::uint32_t Name = 0;             // the registry's name of the global
    int X = 0, Y = 0;                   // position in the compositor's (logical) space
    int ModeWidth = 0, ModeHeight = 0;  // current mode, in device pixels
    int Scale = 1;
    bool Done = false;  // the first description is complete
};

// What the seats report to the saver, in the order the rules need it.
class TWaylandInput {
public:
    virtual ~TWaylandInput() = default;
    // The pointer entered surface, or moved on it, to surface-local (sx, sy).
    virtual void PointerAt(wl_surface* surface, double sx, double sy, bool entered) = 0;
    // A key, a pointer button or a touch went down.
    virtual void Pressed() = 0;
    // A pointer button came up.
    virtual void Released() = 0;
};

class TWaylandDisplay {
public:
    TWaylandDisplay();
    ~TWaylandDisplay();
    TWaylandDisplay(const TWaylandDisplay&) = delete;
    TWaylandDisplay& operator=(const TWaylandDisplay&) = delete;

    // Connects to $WAYLAND_DISPLAY and reads the globals and the outputs'
    // descriptions; false when no compositor answers.
    bool Connect();
    wl_display* Display() const { return display_; }
    // False once the connection has failed (the compositor went away).
    bool Alive() const { return display_ && wl_display_get_error(display_) == 0; }

    // Dispatches what is queued, sends what is pending, and waits up to timeoutMs
    // (-1: no limit) for the compositor or one of extra; then reads and dispatches the
    // compositor's events. False when the connection failed.
    bool Wait(pollfd* extra, int count, int timeoutMs);
    bool Roundtrip() { return wl_display_roundtrip(display_) >= 0; }

    wl_compositor* Compositor = nullptr;
    std::uint32_t CompositorVersion = 0;
    wl_shm* Shm = nullptr;
    zwlr_layer_shell_v1* LayerShell = nullptr;
    xdg_wm_base* WmBase = nullptr;
    ext_idle_notifier_v1* IdleNotifier = nullptr;
    org_kde_kwin_idle* KdeIdle = nullptr;
    std::vector<wl_seat*> Seats;
    std::vector<std::unique_ptr<TWaylandOutput>> Outputs;

    // An output's description is complete (after its first done and every later one).
    std::function<void(TWaylandOutput&)> OnOutputDone;
    // An output is going away; its record is destroyed afterwards.
    std::function<void(TWaylandOutput&)> OnOutputRemoved;
    // Set before Connect, the seats' pointers, keyboards and touch screens report to it.
    TWaylandInput* Input = nullptr;

private:
    struct Seat;
    void Global(std::uint32_t name, const char* interface, std::uint32_t version);
    void GlobalRemove(std::uint32_t name);
    void AddOutput(std::uint32_t name, std::uint32_t version);
    void AddSeat(std::uint32_t name, std::uint32_t version);
    void SeatCapabilities(Seat& seat, std::uint32_t caps);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    std::vector<std::unique_ptr<Seat>> seats_;
    std::vector<pollfd> pollFds_;  // Wait's, the compositor's first
};

}  // namespace quipix
