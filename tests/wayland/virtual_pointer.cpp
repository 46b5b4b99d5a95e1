// quipix-test-pointer: input for the Wayland system tests on headless compositors,
// which have no input devices of their own.
// - wlroots compositors (sway): plugs a virtual pointer into the seat and keeps it
//   there until it is ended, so that `swaymsg seat - cursor ...` can move it.
// - KWin: takes commands on standard input through its fake input, one per line,
//   each answered "ok" once KWin has handled it:
//     move DX DY     the pointer moved by DX, DY
//     button         the left button pressed and released
//     key            the key A pressed and released
#include <poll.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "fake-input-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

constexpr std::uint32_t kLeftButton = 0x110;  // BTN_LEFT
constexpr std::uint32_t kKeyA = 30;           // KEY_A

zwlr_virtual_pointer_manager_v1* gManager = nullptr;
org_kde_kwin_fake_input* gFakeInput = nullptr;

void Global(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        gManager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        gFakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}

void GlobalRemove(void*, wl_registry*, std::uint32_t) {}

int RunFakeInput(wl_display* display) {
    org_kde_kwin_fake_input_authenticate(gFakeInput, "Quipix system test", "input for the saver under test");
    wl_display_roundtrip(display);
    std::puts("ready");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "move") {
            double dx = 0, dy = 0;
            words >> dx >> dy;
            org_kde_kwin_fake_input_pointer_motion(gFakeInput, wl_fixed_from_double(dx),
                                                   wl_fixed_from_double(dy));
        } else if (command == "button") {
            org_kde_kwin_fake_input_button(gFakeInput, kLeftButton, WL_POINTER_BUTTON_STATE_PRESSED);
            org_kde_kwin_fake_input_button(gFakeInput, kLeftButton, WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (command == "key") {
            org_kde_kwin_fake_input_keyboard_key(gFakeInput, kKeyA, WL_KEYBOARD_KEY_STATE_PRESSED);
            org_kde_kwin_fake_input_keyboard_key(gFakeInput, kKeyA, WL_KEYBOARD_KEY_STATE_RELEASED);
        } else {
            std::puts("error: unknown command");
            std::fflush(stdout);
            continue;
        }
        const bool handled = wl_display_roundtrip(display) >= 0;
        std::puts(handled ? "ok" : "error: the compositor is gone");
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "quipix-test-pointer: no compositor\n");
        return 1;
    }
    static const wl_registry_listener listener = {Global, GlobalRemove};
    wl_registry_add_listener(wl_display_get_registry(display), &listener, nullptr);
    wl_display_roundtrip(display);
    if (gFakeInput) return RunFakeInput(display);
    if (!gManager) {
        std::fprintf(stderr, "quipix-test-pointer: the compositor has no virtual pointers\n");
        return 1;
    }
    zwlr_virtual_pointer_manager_v1_create_virtual_pointer(gManager, nullptr);
    wl_display_roundtrip(display);
    std::puts("ready");
    std::fflush(stdout);
    while (wl_display_dispatch(display) >= 0) {}
    return 0;
}
