// The compositor side of the Wayland tests, on libwayland-server: what the saver
// binds (wl_compositor, wl_shm, wl_output, wl_seat, zwlr_layer_shell_v1) and no more.
// A layer surface is configured to its output's size at its first commit; a committed
// buffer is copied at once and given back, and frame callbacks are done at the commit.
#include "wayland/fake_compositor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <wayland-server.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// The protocol names a parameter "namespace", a C++ keyword.
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-server-protocol.h"
#undef namespace

namespace quipix::test {

namespace {

constexpr std::uint32_t kLeftButton = 0x110;  // BTN_LEFT
constexpr std::uint32_t kShiftKey = 42;       // KEY_LEFTSHIFT

}  // namespace

struct FakeCompositor::State {
    struct Surface {
        State* state;
        wl_resource* resource;
        wl_resource* layer = nullptr;
        wl_resource* buffer = nullptr;  // attached, not yet committed
        std::vector<wl_resource*> frames;
        int output = -1;
        bool configured = false;
    };
    struct Output {
        State* state;
        int index;
        int x, width, height;
        Surface* surface = nullptr;
        std::vector<std::uint32_t> pixels;  // the last committed buffer, 0x00BBGGRR
        int pixelsWidth = 0;
    };

    std::mutex mutex;
    wl_display* display = wl_display_create();
    std::vector<Output> outputs;
    std::vector<wl_resource*> pointers, keyboards;
    Surface* pointerFocus = nullptr;
    int clientFd = -1;
    int stopFd = eventfd(0, EFD_CLOEXEC);
    std::thread thread;

    std::uint32_t Serial() { return wl_display_next_serial(display); }
    void Serve();
    void Commit(Surface& s);
    void Flush() { wl_display_flush_clients(display); }
};

namespace {

using State = FakeCompositor::State;
using Surface = State::Surface;

Surface& SurfaceOf(wl_resource* r) { return *static_cast<Surface*>(wl_resource_get_user_data(r)); }

void DestroyResource(wl_client*, wl_resource* r) { wl_resource_destroy(r); }

// A resource of a list that leaves the list when it goes.
wl_resource* Listed(wl_client* client, const wl_interface* interface, int version, std::uint32_t id,
                    const void* implementation, std::vector<wl_resource*>& list) {
    wl_resource* r = wl_resource_create(client, interface, version, id);
    wl_resource_set_implementation(r, implementation, &list, [](wl_resource* gone) {
        std::erase(*static_cast<std::vector<wl_resource*>*>(wl_resource_get_user_data(gone)), gone);
    });
    list.push_back(r);
    return r;
}

const struct wl_surface_interface kSurface = {
    .destroy = DestroyResource,
    .attach = [](wl_client*, wl_resource* r, wl_resource* buffer, std::int32_t,
                 std::int32_t) { SurfaceOf(r).buffer = buffer; },
    .damage = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {},
    .frame =
        [](wl_client* client, wl_resource* r, std::uint32_t id) {
            SurfaceOf(r).frames.push_back(wl_resource_create(client, &wl_callback_interface, 1, id));
        },
    .set_opaque_region = [](wl_client*, wl_resource*, wl_resource*) {},
    .set_input_region = [](wl_client*, wl_resource*, wl_resource*) {},
    .commit = [](wl_client*, wl_resource* r) { SurfaceOf(r).state->Commit(SurfaceOf(r)); },
    .set_buffer_transform = [](wl_client*, wl_resource*, std::int32_t) {},
    .set_buffer_scale = [](wl_client*, wl_resource*, std::int32_t) {},
    .damage_buffer = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {},
    .offset = [](wl_client*, wl_resource*, std::int32_t, std::int32_t) {},
};

void SurfaceGone(wl_resource* r) {
    Surface* s = &SurfaceOf(r);
    if (s->layer) wl_resource_set_user_data(s->layer, nullptr);
    for (State::Output& o : s->state->outputs)
        if (o.surface == s) o.surface = nullptr;
    if (s->state->pointerFocus == s) s->state->pointerFocus = nullptr;
    delete s;
}

const struct wl_compositor_interface kCompositor = {
    .create_surface =
        [](wl_client* client, wl_resource* r, std::uint32_t id) {
            auto* s =
                new Surface{static_cast<State*>(wl_resource_get_user_data(r)),
                            wl_resource_create(client, &wl_surface_interface, wl_resource_get_version(r), id),
                            nullptr,
                            nullptr,
                            {},
                            -1,
                            false};
            wl_resource_set_implementation(s->resource, &kSurface, s, SurfaceGone);
        },
    .create_region = [](wl_client*, wl_resource*, std::uint32_t) {},
};

const struct zwlr_layer_surface_v1_interface kLayerSurface = {
    .set_size = [](wl_client*, wl_resource*, std::uint32_t, std::uint32_t) {},
    .set_anchor = [](wl_client*, wl_resource*, std::uint32_t) {},
    .set_exclusive_zone = [](wl_client*, wl_resource*, std::int32_t) {},
    .set_margin = [](wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {},
    .set_keyboard_interactivity = [](wl_client*, wl_resource*, std::uint32_t) {},
    .get_popup = [](wl_client*, wl_resource*, wl_resource*) {},
    .ack_configure = [](wl_client*, wl_resource*, std::uint32_t) {},
    .destroy = DestroyResource,
    .set_layer = [](wl_client*, wl_resource*, std::uint32_t) {},
};

const struct zwlr_layer_shell_v1_interface kLayerShell = {
    .get_layer_surface =
        [](wl_client* client, wl_resource* r, std::uint32_t id, wl_resource* surface, wl_resource* output,
           std::uint32_t, const char*) {
            Surface& s = SurfaceOf(surface);
            s.output = static_cast<State::Output*>(wl_resource_get_user_data(output))->index;
            s.state->outputs[std::size_t(s.output)].surface = &s;
            s.layer =
                wl_resource_create(client, &zwlr_layer_surface_v1_interface, wl_resource_get_version(r), id);
            wl_resource_set_implementation(s.layer, &kLayerSurface, &s, [](wl_resource* layer) {
                if (void* s = wl_resource_get_user_data(layer)) static_cast<Surface*>(s)->layer = nullptr;
            });
        },
    .destroy = DestroyResource,
};

const struct wl_pointer_interface kPointer = {
    .set_cursor = [](wl_client*, wl_resource*, std::uint32_t, wl_resource*, std::int32_t, std::int32_t) {},
    .release = DestroyResource,
};

const struct wl_keyboard_interface kKeyboard = {.release = DestroyResource};

const struct wl_seat_interface kSeat = {
    .get_pointer =
        [](wl_client* client, wl_resource* r, std::uint32_t id) {
            auto* state = static_cast<State*>(wl_resource_get_user_data(r));
            Listed(client, &wl_pointer_interface, wl_resource_get_version(r), id, &kPointer, state->pointers);
        },
    .get_keyboard =
        [](wl_client* client, wl_resource* r, std::uint32_t id) {
            auto* state = static_cast<State*>(wl_resource_get_user_data(r));
            Listed(client, &wl_keyboard_interface, wl_resource_get_version(r), id, &kKeyboard,
                   state->keyboards);
        },
    .get_touch = [](wl_client*, wl_resource*, std::uint32_t) {},
    .release = DestroyResource,
};

const struct wl_output_interface kOutput = {.release = DestroyResource};

}  // namespace

void State::Serve() {
    pollfd fds[2] = {{wl_event_loop_get_fd(wl_display_get_event_loop(display)), POLLIN, 0},
                     {stopFd, POLLIN, 0}};
    for (;;) {
        poll(fds, 2, -1);
        if (fds[1].revents) return;
        std::lock_guard lock(mutex);
        wl_event_loop_dispatch(wl_display_get_event_loop(display), 0);
        Flush();
    }
}

void State::Commit(Surface& s) {
    if (s.layer && !s.configured && s.output >= 0) {
        s.configured = true;
        const Output& o = outputs[std::size_t(s.output)];
        zwlr_layer_surface_v1_send_configure(s.layer, Serial(), std::uint32_t(o.width),
                                             std::uint32_t(o.height));
    }
    if (wl_shm_buffer* shm = s.buffer ? wl_shm_buffer_get(s.buffer) : nullptr; shm && s.output >= 0) {
        Output& o = outputs[std::size_t(s.output)];
        const int w = wl_shm_buffer_get_width(shm), h = wl_shm_buffer_get_height(shm);
        const int stride = wl_shm_buffer_get_stride(shm);
        o.pixels.assign(std::size_t(w) * std::size_t(h), 0);
        o.pixelsWidth = w;
        wl_shm_buffer_begin_access(shm);
        const auto* data = static_cast<const std::uint8_t*>(wl_shm_buffer_get_data(shm));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // XRGB8888 in memory: blue, green, red, unused.
                const std::uint8_t* p = data + std::size_t(y) * std::size_t(stride) + std::size_t(x) * 4;
                o.pixels[std::size_t(y) * std::size_t(w) + std::size_t(x)] =
                    std::uint32_t(p[2]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[0]) << 16;
            }
        wl_shm_buffer_end_access(shm);
        wl_buffer_send_release(s.buffer);
    }
    s.buffer = nullptr;
    for (wl_resource* f : s.frames) {
        wl_callback_send_done(f, 0);
        wl_resource_destroy(f);
    }
    s.frames.clear();
}

FakeCompositor::FakeCompositor(int outputs, int width, int height, int gap)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.outputs.reserve(std::size_t(outputs));  // the globals hold on to their outputs
    for (int i = 0; i < outputs; ++i)
        s.outputs.push_back({&s, i, i * (width + gap), width, height, nullptr, {}, 0});
    wl_display_init_shm(s.display);
    wl_global_create(s.display, &wl_compositor_interface, 4, &s,
                     [](wl_client* c, void* data, std::uint32_t v, std::uint32_t id) {
                         wl_resource_set_implementation(
                             wl_resource_create(c, &wl_compositor_interface, int(v), id), &kCompositor, data,
                             nullptr);
                     });
    wl_global_create(s.display, &zwlr_layer_shell_v1_interface, 1, &s,
                     [](wl_client* c, void* data, std::uint32_t v, std::uint32_t id) {
                         wl_resource_set_implementation(
                             wl_resource_create(c, &zwlr_layer_shell_v1_interface, int(v), id), &kLayerShell,
                             data, nullptr);
                     });
    wl_global_create(s.display, &wl_seat_interface, 5, &s,
                     [](wl_client* c, void* data, std::uint32_t v, std::uint32_t id) {
                         wl_resource* seat = wl_resource_create(c, &wl_seat_interface, int(v), id);
                         wl_resource_set_implementation(seat, &kSeat, data, nullptr);
                         wl_seat_send_capabilities(seat,
                                                   WL_SEAT_CAPABILITY_POINTER | WL_SEAT_CAPABILITY_KEYBOARD);
                     });
    for (State::Output& output : s.outputs)
        wl_global_create(s.display, &wl_output_interface, 3, &output,
                         [](wl_client* c, void* data, std::uint32_t v, std::uint32_t id) {
                             wl_resource* r = wl_resource_create(c, &wl_output_interface, int(v), id);
                             wl_resource_set_implementation(r, &kOutput, data, nullptr);
                             const auto& o = *static_cast<const State::Output*>(data);
                             wl_output_send_geometry(r, o.x, 0, 0, 0, WL_OUTPUT_SUBPIXEL_UNKNOWN, "fake",
                                                     "fake", WL_OUTPUT_TRANSFORM_NORMAL);
                             wl_output_send_mode(r, WL_OUTPUT_MODE_CURRENT, o.width, o.height, 60000);
                             wl_output_send_scale(r, 1);
                             wl_output_send_done(r);
                         });
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
    wl_client_create(s.display, fds[0]);
    s.clientFd = fds[1];
    s.thread = std::thread([&s] { s.Serve(); });
}

FakeCompositor::~FakeCompositor() {
    State& s = *state_;
    const std::uint64_t one = 1;
    if (write(s.stopFd, &one, sizeof one) == sizeof one) s.thread.join();
    wl_display_destroy_clients(s.display);
    wl_display_destroy(s.display);
    close(s.stopFd);
    if (s.clientFd >= 0) close(s.clientFd);
}

int FakeCompositor::TakeClientSocket() { return std::exchange(state_->clientFd, -1); }

int FakeCompositor::OutputX(int output) const { return state_->outputs[std::size_t(output)].x; }

void FakeCompositor::PointerAt(int output, double x, double y) {
    State& s = *state_;
    std::lock_guard lock(s.mutex);
    Surface* to = s.outputs[std::size_t(output)].surface;
    if (!to) return;
    for (wl_resource* p : s.pointers) {
        if (to != s.pointerFocus) {
            if (s.pointerFocus) wl_pointer_send_leave(p, s.Serial(), s.pointerFocus->resource);
            wl_pointer_send_enter(p, s.Serial(), to->resource, wl_fixed_from_double(x),
                                  wl_fixed_from_double(y));
        } else {
            wl_pointer_send_motion(p, 0, wl_fixed_from_double(x), wl_fixed_from_double(y));
        }
        if (wl_resource_get_version(p) >= 5) wl_pointer_send_frame(p);
    }
    s.pointerFocus = to;
    s.Flush();
}

void FakeCompositor::Button(bool pressed) {
    State& s = *state_;
    std::lock_guard lock(s.mutex);
    for (wl_resource* p : s.pointers) {
        wl_pointer_send_button(p, s.Serial(), 0, kLeftButton,
                               pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        if (wl_resource_get_version(p) >= 5) wl_pointer_send_frame(p);
    }
    s.Flush();
}

void FakeCompositor::Key() {
    State& s = *state_;
    std::lock_guard lock(s.mutex);
    for (wl_resource* k : s.keyboards)
        wl_keyboard_send_key(k, s.Serial(), 0, kShiftKey, WL_KEYBOARD_KEY_STATE_PRESSED);
    s.Flush();
}

std::int64_t FakeCompositor::Pixel(int output, int x, int y) const {
    State& s = *state_;
    std::lock_guard lock(s.mutex);
    const State::Output& o = s.outputs[std::size_t(output)];
    const std::size_t i = std::size_t(y) * std::size_t(o.pixelsWidth) + std::size_t(x);
    return i < o.pixels.size() ? std::int64_t(o.pixels[i]) : -1;
}

}  // namespace quipix::test
