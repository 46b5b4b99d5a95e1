// Globals, outputs and seats of the compositor connection, and the wait of the loop.
#include "wayland/display.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"
// The protocol names a parameter "namespace", a C++ keyword.
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-shell-client-protocol.h"

namespace quipix {

struct TWaylandDisplay::Seat {
    TWaylandDisplay* Owner = nullptr;
    wl_seat* Handle = nullptr;
    std::uint32_t Name = 0;
    wl_pointer* Pointer = nullptr;
    wl_keyboard* Keyboard = nullptr;
    wl_touch* Touch = nullptr;
    ~Seat() {
        if (Pointer) wl_pointer_destroy(Pointer);
        if (Keyboard) wl_keyboard_destroy(Keyboard);
        if (Touch) wl_touch_destroy(Touch);
        if (Handle) wl_seat_destroy(Handle);
    }
};

namespace {

template <class T>
T* Bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t offered,
        std::uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

// The compositor keeps an output's resource, even once its global has gone, until
// the client releases it (from version 3); destroying the proxy only forgets it.
void ReleaseOutput(wl_output* output) {
    if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(output);
    else
        wl_output_destroy(output);
}

TWaylandInput* InputOf(void* data) { return static_cast<TWaylandInput*>(data); }

const xdg_wm_base_listener kWmBaseListener = {
    .ping = [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const wl_output_listener kOutputListener = {
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t, std::int32_t,
           const char*, const char*, std::int32_t) {
            auto* o = static_cast<TWaylandOutput*>(data);
            o->X = x;
            o->Y = y;
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
            auto* o = static_cast<TWaylandOutput*>(data);
            if (flags & WL_OUTPUT_MODE_CURRENT) {
                o->ModeWidth = width;
                o->ModeHeight = height;
            }
        },
    .done =
        [](void* data, wl_output*) {
            auto* o = static_cast<TWaylandOutput*>(data);
            o->Done = true;
            if (o->Owner->OnOutputDone) o->Owner->OnOutputDone(*o);
        },
    .scale =
        [](void* data, wl_output*, std::int32_t factor) {
            static_cast<TWaylandOutput*>(data)->Scale = std::clamp(factor, 1, 8);
        },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const wl_pointer_listener kPointerListener = {
    .enter =
        [](void* data, wl_pointer* pointer, std::uint32_t serial, wl_surface* surface, wl_fixed_t x,
           wl_fixed_t y) {
            // No cursor over the saver.
            wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
            InputOf(data)->PointerAt(surface, wl_fixed_to_double(x), wl_fixed_to_double(y), true);
        },
    .leave = [](void*, wl_pointer*, std::uint32_t, wl_surface*) {},
    .motion =
        [](void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
            InputOf(data)->PointerAt(nullptr, wl_fixed_to_double(x), wl_fixed_to_double(y), false);
        },
    .button =
        [](void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
            if (state == WL_POINTER_BUTTON_STATE_PRESSED)
                InputOf(data)->Pressed();
            else
                InputOf(data)->Released();
        },
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
};

const wl_keyboard_listener kKeyboardListener = {
    .keymap = [](void*, wl_keyboard*, std::uint32_t, std::int32_t fd, std::uint32_t) { close(fd); },
    .enter = [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},
    .leave = [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},
    .key =
        [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
            // Keys already held when the saver appeared come with enter, not here.
            if (state == WL_KEYBOARD_KEY_STATE_PRESSED) InputOf(data)->Pressed();
        },
    .modifiers = [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                    std::uint32_t) {},
    .repeat_info = [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},
};

const wl_touch_listener kTouchListener = {
    // A touch is a button.
    .down = [](void* data, wl_touch*, std::uint32_t, std::uint32_t, wl_surface*, std::int32_t, wl_fixed_t,
               wl_fixed_t) { InputOf(data)->Pressed(); },
    .up = [](void*, wl_touch*, std::uint32_t, std::uint32_t, std::int32_t) {},
    .motion = [](void*, wl_touch*, std::uint32_t, std::int32_t, wl_fixed_t, wl_fixed_t) {},
    .frame = [](void*, wl_touch*) {},
    .cancel = [](void*, wl_touch*) {},
    .shape = [](void*, wl_touch*, std::int32_t, wl_fixed_t, wl_fixed_t) {},
    .orientation = [](void*, wl_touch*, std::int32_t, wl_fixed_t) {},
};

}  // namespace

TWaylandDisplay::TWaylandDisplay() = default;

TWaylandDisplay::~TWaylandDisplay() {
    if (!display_) return;
    seats_.clear();
    for (auto& o : Outputs) ReleaseOutput(o->Output);
    Outputs.clear();
    if (IdleNotifier) ext_idle_notifier_v1_destroy(IdleNotifier);
    if (KdeIdle) org_kde_kwin_idle_destroy(KdeIdle);
    if (LayerShell) zwlr_layer_shell_v1_destroy(LayerShell);
    if (WmBase) xdg_wm_base_destroy(WmBase);
    if (Shm) wl_shm_destroy(Shm);
    if (Compositor) wl_compositor_destroy(Compositor);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

bool TWaylandDisplay::Connect() {
    display_ = wl_display_connect(nullptr);
    if (!display_) return false;
    static const wl_registry_listener listener = {
        .global =
            [](void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
                static_cast<TWaylandDisplay*>(data)->Global(name, interface, version);
            },
        .global_remove = [](void* data, wl_registry*,
                            std::uint32_t name) { static_cast<TWaylandDisplay*>(data)->GlobalRemove(name); },
    };
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    // The globals, then what the bound outputs and seats say about themselves.
    return Roundtrip() && Roundtrip();
}

void TWaylandDisplay::Global(std::uint32_t name, const char* interface, std::uint32_t version) {
    const std::string_view i = interface;
    if (i == wl_compositor_interface.name && !Compositor) {
        CompositorVersion = std::min<std::uint32_t>(version, 4);
        Compositor = Bind<wl_compositor>(registry_, name, &wl_compositor_interface, version, 4);
    } else if (i == wl_shm_interface.name && !Shm) {
        Shm = Bind<wl_shm>(registry_, name, &wl_shm_interface, version, 1);
    } else if (i == zwlr_layer_shell_v1_interface.name && !LayerShell) {
        LayerShell = Bind<zwlr_layer_shell_v1>(registry_, name, &zwlr_layer_shell_v1_interface, version, 1);
    } else if (i == xdg_wm_base_interface.name && !WmBase) {
        WmBase = Bind<xdg_wm_base>(registry_, name, &xdg_wm_base_interface, version, 1);
        xdg_wm_base_add_listener(WmBase, &kWmBaseListener, this);
    } else if (i == ext_idle_notifier_v1_interface.name && !IdleNotifier) {
        IdleNotifier =
            Bind<ext_idle_notifier_v1>(registry_, name, &ext_idle_notifier_v1_interface, version, 1);
    } else if (i == org_kde_kwin_idle_interface.name && !KdeIdle) {
        KdeIdle = Bind<org_kde_kwin_idle>(registry_, name, &org_kde_kwin_idle_interface, version, 1);
    } else if (i == wl_output_interface.name) {
        AddOutput(name, version);
    } else if (i == wl_seat_interface.name) {
        AddSeat(name, version);
    }
}

void TWaylandDisplay::AddOutput(std::uint32_t name, std::uint32_t version) {
    // Version 2 brings the scale and done events.
    if (version < 2) return;
    auto o = std::make_unique<TWaylandOutput>();
    o->Owner = this;
    o->Name = name;
    o->Output = Bind<wl_output>(registry_, name, &wl_output_interface, version, 4);
    wl_output_add_listener(o->Output, &kOutputListener, o.get());
    Outputs.push_back(std::move(o));
}

void TWaylandDisplay::AddSeat(std::uint32_t name, std::uint32_t version) {
    auto s = std::make_unique<Seat>();
    s->Owner = this;
    s->Name = name;
    s->Handle = Bind<wl_seat>(registry_, name, &wl_seat_interface, version, 5);
    static const wl_seat_listener listener = {
        .capabilities =
            [](void* data, wl_seat*, std::uint32_t caps) {
                static_cast<Seat*>(data)->Owner->SeatCapabilities(*static_cast<Seat*>(data), caps);
            },
        .name = [](void*, wl_seat*, const char*) {},
    };
    wl_seat_add_listener(s->Handle, &listener, s.get());
    Seats.push_back(s->Handle);
    seats_.push_back(std::move(s));
}

void TWaylandDisplay::SeatCapabilities(Seat& seat, std::uint32_t caps) {
    if (!Input) return;
    const bool pointer = caps & WL_SEAT_CAPABILITY_POINTER;
    const bool keyboard = caps & WL_SEAT_CAPABILITY_KEYBOARD;
    const bool touch = caps & WL_SEAT_CAPABILITY_TOUCH;
    if (pointer && !seat.Pointer) {
        seat.Pointer = wl_seat_get_pointer(seat.Handle);
        wl_pointer_add_listener(seat.Pointer, &kPointerListener, Input);
    } else if (!pointer && seat.Pointer) {
        wl_pointer_destroy(seat.Pointer);
        seat.Pointer = nullptr;
    }
    if (keyboard && !seat.Keyboard) {
        seat.Keyboard = wl_seat_get_keyboard(seat.Handle);
        wl_keyboard_add_listener(seat.Keyboard, &kKeyboardListener, Input);
    } else if (!keyboard && seat.Keyboard) {
        wl_keyboard_destroy(seat.Keyboard);
        seat.Keyboard = nullptr;
    }
    if (touch && !seat.Touch) {
        seat.Touch = wl_seat_get_touch(seat.Handle);
        wl_touch_add_listener(seat.Touch, &kTouchListener, Input);
    } else if (!touch && seat.Touch) {
        wl_touch_destroy(seat.Touch);
        seat.Touch = nullptr;
    }
}

void TWaylandDisplay::GlobalRemove(std::uint32_t name) {
    for (auto it = Outputs.begin(); it != Outputs.end(); ++it) {
        if ((*it)->Name != name) continue;
        if (OnOutputRemoved) OnOutputRemoved(**it);
        ReleaseOutput((*it)->Output);
        Outputs.erase(it);
        return;
    }
    for (auto it = seats_.begin(); it != seats_.end(); ++it) {
        if ((*it)->Name != name) continue;
        std::erase(Seats, (*it)->Handle);
        seats_.erase(it);
        return;
    }
}

bool TWaylandDisplay::Wait(pollfd* extra, int count, int timeoutMs) {
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) return false;
    // A full socket buffer takes a while to drain: wait until it can take more.
    while (wl_display_flush(display_) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd out = {wl_display_get_fd(display_), POLLOUT, 0};
        poll(&out, 1, -1);
    }
    // Kept from call to call: the loop comes here a hundred times a second, and
    // allocates nothing once the list has grown to the number of outputs.
    std::vector<pollfd>& fds = pollFds_;
    fds.assign(1, {wl_display_get_fd(display_), POLLIN, 0});
    fds.insert(fds.end(), extra, extra + std::max(count, 0));
    int ready;
    do ready = poll(fds.data(), nfds_t(fds.size()), timeoutMs);
    while (ready < 0 && errno == EINTR);
    for (int i = 0; i < count; ++i) extra[i].revents = fds[std::size_t(i) + 1].revents;
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        if (wl_display_read_events(display_) < 0) return false;
    } else {
        wl_display_cancel_read(display_);
        if (fds[0].revents & (POLLERR | POLLHUP)) return false;
    }
    return wl_display_dispatch_pending(display_) >= 0;
}

}  // namespace quipix
