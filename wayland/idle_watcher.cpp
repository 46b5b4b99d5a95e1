// The --idle watcher: asks the compositor to say when the seat has been idle for the
// given time (ext-idle-notify-v1, or KDE's org_kde_kwin_idle, which sway 1.7 offers),
// and starts the saver as a child process then; the compositor's idle inhibitors (a
// video player's) hold the notice back by themselves. One saver per idle period: the
// next starts only after input has ended the idleness and it has come again.
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iostream>

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"
#include "wayland/display.h"
#include "wayland/wayland_saver.h"

extern char** environ;

namespace quipix {

namespace {

struct IdleState {
    std::string Program;
    pid_t Child = 0;
    int ChildFd = -1;  // a pidfd: readable once the child has ended

    void Idled() {
        if (Child > 0) return;  // the saver of this idle period still runs
        char* argv[] = {const_cast<char*>(Program.c_str()), const_cast<char*>("/s"), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, Program.c_str(), nullptr, nullptr, argv, environ) != 0) {
            std::cerr << "quipix: cannot start " << Program << "\n";
            return;
        }
        Child = pid;
        ChildFd = int(syscall(SYS_pidfd_open, pid, 0));
    }
    // Collects the saver once it has ended; true when it has.
    bool Reap() {
        if (Child <= 0) return false;
        int status = 0;
        if (waitpid(Child, &status, WNOHANG) != Child) return false;
        Child = 0;
        if (ChildFd >= 0) close(ChildFd);
        ChildFd = -1;
        return true;
    }
};

}  // namespace

int RunIdleWatcher(int seconds, const std::string& program) {
    TWaylandDisplay display;
    if (!display.Connect()) {
        std::cerr << "quipix: --idle needs a Wayland compositor ($WAYLAND_DISPLAY)\n";
        return 1;
    }
    if ((!display.IdleNotifier && !display.KdeIdle) || display.Seats.empty()) {
        std::cerr << "quipix: the compositor offers no idle notification (ext-idle-notify-v1 or "
                     "org_kde_kwin_idle); use its own idle settings or swayidle\n";
        return 1;
    }
    IdleState state{program};
    const std::uint32_t timeoutMs = std::uint32_t(seconds) * 1000u;
    ext_idle_notification_v1* notification = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout = nullptr;
    if (display.IdleNotifier) {
        static const ext_idle_notification_v1_listener listener = {
            .idled = [](void* data, ext_idle_notification_v1*) { static_cast<IdleState*>(data)->Idled(); },
            .resumed = [](void*, ext_idle_notification_v1*) {},
        };
        notification =
            ext_idle_notifier_v1_get_idle_notification(display.IdleNotifier, timeoutMs, display.Seats[0]);
        ext_idle_notification_v1_add_listener(notification, &listener, &state);
    } else {
        static const org_kde_kwin_idle_timeout_listener listener = {
            .idle = [](void* data, org_kde_kwin_idle_timeout*) { static_cast<IdleState*>(data)->Idled(); },
            .resumed = [](void*, org_kde_kwin_idle_timeout*) {},
        };
        kdeTimeout = org_kde_kwin_idle_get_idle_timeout(display.KdeIdle, display.Seats[0], timeoutMs);
        org_kde_kwin_idle_timeout_add_listener(kdeTimeout, &listener, &state);
    }
    // The loop sleeps until the compositor speaks or the saver ends; without a pidfd
    // (an old kernel) it looks for the saver's end once a second while one runs.
    while (display.Alive()) {
        pollfd fds[1] = {{state.ChildFd, POLLIN, 0}};
        const int count = state.ChildFd >= 0 ? 1 : 0;
        const int timeout = state.Child > 0 && state.ChildFd < 0 ? 1000 : -1;
        if (!display.Wait(fds, count, timeout)) break;
        state.Reap();
    }
    if (notification) ext_idle_notification_v1_destroy(notification);
    if (kdeTimeout) org_kde_kwin_idle_timeout_release(kdeTimeout);
    // The compositor has gone, and with it the session: a running saver ends too.
    if (state.Child > 0) waitpid(state.Child, nullptr, 0);
    return 0;
}

}  // namespace quipix
