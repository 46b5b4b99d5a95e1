// The compositor's idle notice as an idle source of the --idle watcher:
// ext-idle-notify-v1, or KDE's org_kde_kwin_idle (which sway 1.7 offers). The
// compositor's idle inhibitors (a video player's) hold the notice back by themselves.
#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"
#include "wayland/display.h"
#include "wayland/wayland_saver.h"

namespace quipix {

struct WaylandIdleSource::State {
    TWaylandDisplay Display;
    ext_idle_notification_v1* Notification = nullptr;
    org_kde_kwin_idle_timeout* KdeTimeout = nullptr;
};

std::unique_ptr<WaylandIdleSource> WaylandIdleSource::Connect() {
    std::unique_ptr<WaylandIdleSource> source(new WaylandIdleSource);
    TWaylandDisplay& display = source->state_->Display;
    if (!display.Connect() || (!display.IdleNotifier && !display.KdeIdle) || display.Seats.empty()) return nullptr;
    return source;
}

WaylandIdleSource::WaylandIdleSource() : state_(std::make_unique<State>()) {}

WaylandIdleSource::~WaylandIdleSource() {
    if (state_->Notification) ext_idle_notification_v1_destroy(state_->Notification);
    if (state_->KdeTimeout) org_kde_kwin_idle_timeout_release(state_->KdeTimeout);
}

void WaylandIdleSource::Watch(int ms, IdleListener& listener) {
    TWaylandDisplay& display = state_->Display;
    if (display.IdleNotifier) {
        static const ext_idle_notification_v1_listener events = {
            .idled = [](void* data, ext_idle_notification_v1*) { static_cast<IdleListener*>(data)->Idle(); },
            .resumed = [](void* data, ext_idle_notification_v1*) { static_cast<IdleListener*>(data)->Active(); },
        };
        state_->Notification =
            ext_idle_notifier_v1_get_idle_notification(display.IdleNotifier, std::uint32_t(ms), display.Seats[0]);
        ext_idle_notification_v1_add_listener(state_->Notification, &events, &listener);
    } else {
        static const org_kde_kwin_idle_timeout_listener events = {
            .idle = [](void* data, org_kde_kwin_idle_timeout*) { static_cast<IdleListener*>(data)->Idle(); },
            .resumed = [](void* data, org_kde_kwin_idle_timeout*) { static_cast<IdleListener*>(data)->Active(); },
        };
        state_->KdeTimeout = org_kde_kwin_idle_get_idle_timeout(display.KdeIdle, display.Seats[0], std::uint32_t(ms));
        org_kde_kwin_idle_timeout_add_listener(state_->KdeTimeout, &events, &listener);
    }
    wl_display_flush(display.Display());
}

int WaylandIdleSource::Fd() const { return wl_display_get_fd(state_->Display.Display()); }

bool WaylandIdleSource::Dispatch() {
    TWaylandDisplay& display = state_->Display;
    return display.Alive() && display.Wait(nullptr, 0, 0) && display.Alive();
}

bool WaylandCompositorAnswers() { return TWaylandDisplay().Connect(); }

}  // namespace quipix
