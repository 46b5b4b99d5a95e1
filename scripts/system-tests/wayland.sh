#!/usr/bin/env bash
# The saver on Wayland. Under a headless sway (layer-shell) with two outputs: /s
# covers both with the scene, no title bar and no gap, a joke on each; six pointer
# moves leave it running and the seventh ends it; a key ends it, and so does a
# button; an output made while it runs gets a scene of its own, and one taken away
# ends only its own (where sway can take a headless output away); --idle starts it after the idle time and again after the next
# idle period, and an idle inhibitor holds it off, as does a D-Bus inhibition (the
# watcher serves org.freedesktop.ScreenSaver there); the dialog opens as a Wayland
# window; /p without X exits at once.
# Under weston's headless backend (no layer-shell): one full-screen toplevel per
# output. Compositors refuse root, so they and the clients run as nobody, from an
# installed copy of the build in a folder of the test's own.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD_DIR:-build}
. scripts/lib/system-test.sh
. scripts/lib/apt.sh
install_packages sway grim wtype swayidle weston qt6-wayland imagemagick procps util-linux iproute2 jq dbus-daemon \
  libglib2.0-bin
POINTER_SRC=$BUILD/tests/quipix-test-pointer
[ -x "$BUILD/qt/quipix" ] && [ -x "$POINTER_SRC" ] || { echo "wayland.sh: build $BUILD/qt/quipix and $POINTER_SRC first"; exit 1; }
system_test_begin wayland setpriv ss
. scripts/lib/user-session.sh
user_session_begin

msg() { as_user swaymsg "$@" >/dev/null; }
# flushed: sway sends its clients what a command made (a pointer move, an output
# gone) when it has done the command; what it answers next comes after that.
flushed() { as_user swaymsg -t get_version >/dev/null; }
# key: one key press through a virtual keyboard of its own; the seat's keyboard is
# there from the start (below), so the saver has it before the key comes.
key() { as_user wtype a; }

# shot OUTPUT: a screenshot of one output into $WORK/shots/OUTPUT.png.
shot() { as_user grim -o "$1" "$WORK/shots/$1.png" 2>/dev/null; }
# output_picture OUTPUT: a fingerprint of what the output shows.
output_picture() { as_user grim -o "$1" -t ppm - 2>/dev/null | md5sum; }

# --- headless sway with two outputs -----------------------------------------
cat >"$WORK/sway.conf" <<'EOF'
output HEADLESS-1 mode 800x600 position 0 0
output HEADLESS-2 mode 640x480 position 800 0
output HEADLESS-3 mode 400x300 position 1440 0
EOF
USER_ENV="WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1"
start_user "$WORK/sway.log" sway -c "$WORK/sway.conf"
SWAY_PID=$LAST_PID
USER_ENV=""
wait_for 60 compgen -G "$WORK/run/sway-ipc.*.sock" >/dev/null || { cat "$WORK/sway.log"; fail "sway did not start"; }
SWAYSOCK=$(compgen -G "$WORK/run/sway-ipc.*.sock" | head -n1)
WL_DISPLAY=$(basename "$(compgen -G "$WORK/run/wayland-*[0-9]" | head -n1)")
msg create_output
# Without input devices the seat has no pointer: a virtual one gives it one, which
# swaymsg's cursor commands then move and click.
start_user "$WORK/pointer.log" "$WORK/prefix/bin/quipix-test-pointer"
wait_for 60 grep -q ready "$WORK/pointer.log" || { cat "$WORK/pointer.log"; fail "no virtual pointer"; }
# A keyboard likewise: a virtual one that waits (wtype's pause) for the whole test. A
# keyboard that came only with a key would reach a saver only if the saver took it
# in time for the key.
start_user "$WORK/keyboard.log" wtype -s 86400000 -m shift
keyboard_plugged() { as_user swaymsg -t get_inputs | grep -q '"type": "keyboard"'; }
wait_for 60 keyboard_plugged || { cat "$WORK/keyboard.log"; fail "no virtual keyboard"; }

both_covered() { scene_covers HEADLESS-1 && scene_covers HEADLESS-2; }
pointer_move() {
  msg seat - cursor move 3 2
  flushed
}
button() {
  msg seat - cursor press button1
  msg seat - cursor release button1
}
screen_picture() { output_picture HEADLESS-1; }

saver_checks HEADLESS-1 HEADLESS-2 "800x600 640x480"

start_saver /s
settle 60 "the scene on both outputs" both_covered
msg create_output
check "an output made while it runs gets a scene" wait_for 60 scene_covers HEADLESS-3
check "of that output's size" equals "$(size_of HEADLESS-3)" 400x300
# Taking an output away: sway 1.7 answers "disable" with success but keeps a headless
# output ("Failed to commit output"), so the check counts only where the output is
# really gone; the GNOME Shell and KWin tests take one away on every machine. Once the
# saver has read what sway said of the output's going, it must go on drawing on the
# others.
msg output HEADLESS-3 disable
flushed
active_outputs() { as_user swaymsg -r -t get_outputs | jq -r '.[] | select(.active) | .name'; }
if active_outputs | grep -qx HEADLESS-3; then
  echo "note: this sway keeps a disabled headless output; taking one away is tested under GNOME Shell and KWin"
else
  took_input "$SAVER_PID"
  check "an output taken away ends only its scene" goes_on
fi
check "the others go on" wait_for 60 scene_covers HEADLESS-1
key
check "and all end together" exited "$SAVER_PID" 30

# --- the idle watcher -----------------------------------------------------------
watcher_checks
kill "$IDLE_PID"
check "the watcher ends on SIGTERM" exited "$IDLE_PID" 30

# --- the dialog and the preview -------------------------------------------------
start_user "$WORK/dialog.log" "$QUIPIX"
DIALOG_PID=$LAST_PID
dialog_mapped() { as_user swaymsg -t get_tree | grep -q '"app_id": "quipix"'; }
check "the settings dialog opens as a Wayland window" wait_for 60 dialog_mapped
# An idle inhibitor (sway's, on the dialog's window, as a video player's would be)
# holds the watcher off; once it has gone, the saver comes.
msg "[app_id=quipix] inhibit_idle open"
USER_ENV="WAYLAND_DEBUG=1"
start_user "$WORK/idle2.log" "$QUIPIX" --idle 2
USER_ENV=""
IDLE_PID=$LAST_PID
# Nothing comes of an inhibited idleness, so time is what this check is made of:
# from the moment the watcher asked for its 2 s notice, an uninhibited compositor
# gives it within those 2 s; held off, the saver stays away for three times that.
asked_for_notice() { grep -Eq 'get_idle_(timeout|notification)\(' "$WORK/idle2.log"; }
settle 60 "the watcher's request for its idle notice" asked_for_notice
check "an idle inhibitor holds the watcher off" held_off
kill "$DIALOG_PID"
settle 30 "the dialog's end" gone "$DIALOG_PID"
check "once it has gone the saver comes" wait_for 60 saver_child
end_saver
kill "$IDLE_PID"
settle 30 "the watcher's end" gone "$IDLE_PID"

# sway serves no org.freedesktop.ScreenSaver: the watcher does, on the session bus,
# and a video player's inhibition there holds it off until the player un-inhibits or
# leaves the bus.
start_session_bus
USER_ENV="DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS"
start_user "$WORK/idle3.log" "$QUIPIX" --idle 2
IDLE_PID=$LAST_PID
serving() { screensaver GetActive >/dev/null 2>&1; }
check "the watcher serves org.freedesktop.ScreenSaver" wait_for 60 serving
settle 60 "the first saver" saver_child
end_saver
start_player 1
key
check "a D-Bus inhibition holds the watcher off" held_off
screensaver UnInhibit "$COOKIE" >/dev/null
check "once un-inhibited the saver comes" wait_for 60 saver_child
end_saver
kill "$PLAYER_PID"
start_player 2
key
check "another inhibition holds it off" held_off
kill "$PLAYER_PID"
check "once its caller has left the bus the saver comes" wait_for 60 saver_child
end_saver
kill "$IDLE_PID"
settle 30 "the watcher's end" gone "$IDLE_PID"
USER_ENV=""
preview_rc=0
timeout 30 env -u DISPLAY WAYLAND_DISPLAY="$WL_DISPLAY" XDG_RUNTIME_DIR="$WORK/run" "$QUIPIX" /p 1234 || preview_rc=$?
check "/p without an X display exits 0 at once" test "$preview_rc" = 0

kill "$SWAY_PID"
settle 30 "sway's end" gone "$SWAY_PID"

# --- weston, headless, without layer-shell ---------------------------------------
start_user "$WORK/weston.log" weston --backend=headless-backend.so --use-pixman --width=640 --height=480 \
  --socket=wayland-weston --no-config --idle-time=0
WESTON_PID=$LAST_PID
wait_for 60 test -S "$WORK/run/wayland-weston" || { cat "$WORK/weston.log"; fail "weston did not start"; }
WL_DISPLAY=wayland-weston
USER_ENV="WAYLAND_DEBUG=1"
start_saver /s
USER_ENV=""
fullscreen_asked() { grep -q 'xdg_toplevel@[0-9]*\.set_fullscreen(wl_output@' "$WORK/saver.log"; }
check "weston: a toplevel asked full screen on the output" wait_for 60 fullscreen_asked
outputs=$(grep -c 'wl_registry@[0-9]*\.bind([0-9]*, "wl_output"' "$WORK/saver.log" || true)
toplevels=$(grep -c 'xdg_toplevel@[0-9]*\.set_fullscreen(wl_output@' "$WORK/saver.log" || true)
check "weston: one toplevel per output ($toplevels for $outputs)" equals "$toplevels" "$outputs"
check "weston: no layer-shell there" bash -c "! grep -q zwlr_layer_shell '$WORK/saver.log'"
buffer_of_output_size() { grep -q 'wl_shm_pool@[0-9]*\.create_buffer(new id wl_buffer@[0-9]*, [0-9]*, 640, 480' "$WORK/saver.log"; }
check "weston: frames of the output's size" wait_for 60 buffer_of_output_size
committed() { [ "$(grep -c 'wl_surface@[0-9]*\.commit()' "$WORK/saver.log")" -ge 3 ]; }
check "weston: the scene is committed" wait_for 60 committed
check "weston: still running" alive "$SAVER_PID"
kill "$SAVER_PID"
settle 30 "the saver's end" gone "$SAVER_PID"
kill "$WESTON_PID"

summary wayland
