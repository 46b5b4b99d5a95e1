#!/usr/bin/env bash
# The saver under GNOME Shell, headless, with two virtual monitors: /s covers both
# with the scene, edge to edge, a joke on each; pointer moves end it within eight; a
# key ends it, and so does a button; a monitor taken away ends only its scene, and
# one given back gets a scene again. --idle 2 starts it after
# 2 s through Mutter's idle monitor, and a video player's D-Bus inhibition holds it
# off until the player leaves the bus.
# GNOME Shell runs as nobody on a session bus of the test's own without service
# activation, and an empty system bus of its own (without one it dies in its login
# manager code). Input comes through Mutter's remote desktop and screenshots through
# the Shell, both over one connection of tests/qt/desktop_session.cpp.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD_DIR:-build}
. scripts/lib/system-test.sh
. scripts/lib/apt.sh
install_packages gnome-shell dbus-daemon qt6-wayland imagemagick procps util-linux iproute2
SESSION_SRC=$BUILD/tests/quipix-test-session
[ -x "$BUILD/qt/quipix" ] && [ -x "$SESSION_SRC" ] || { echo "gnome.sh: build $BUILD/qt/quipix and $SESSION_SRC first"; exit 1; }
system_test_begin gnome setpriv gdbus dbus-daemon gnome-shell ss
. scripts/lib/user-session.sh
user_session_begin

# --- the buses and the Shell ------------------------------------------------------
start_session_buses
USER_ENV+=" GSETTINGS_BACKEND=memory XDG_SESSION_TYPE=wayland"
start_user "$WORK/shell.log" gnome-shell --headless --wayland --no-x11 \
  --virtual-monitor 800x600 --virtual-monitor 640x480
SHELL_PID=$LAST_PID
shell_up() {
  as_user gdbus introspect --session --dest org.gnome.Shell.Screenshot \
    --object-path /org/gnome/Shell/Screenshot >/dev/null 2>&1
}
wait_for 120 shell_up || { tail -n 30 "$WORK/shell.log"; fail "GNOME Shell did not start"; }
WL_DISPLAY=wayland-0

start_commanded session "$WORK/prefix/bin/quipix-test-session" gnome
ask() { tell session "$@"; }
key() { ask key 65307; }  # Escape
pointer_move() { ask move 3 2; }
button() { ask button; }
# The Shell's screenshot covers both monitors side by side (Meta-0 at 0,0; Meta-1 at
# 800,0); shot cuts out one of them.
shot() {
  ask shot "$WORK/shots/stage.png" || return 1
  case "$1" in
    Meta-0) convert "$WORK/shots/stage.png" -crop 800x600+0+0 +repage "$WORK/shots/$1.png" ;;
    Meta-1) convert "$WORK/shots/stage.png" -crop 640x480+800+0 +repage "$WORK/shots/$1.png" ;;
  esac
}
screen_picture() { ask shot "$WORK/shots/stage.png" && md5sum <"$WORK/shots/stage.png"; }
both_covered() { scene_covers Meta-0 && scene_covers Meta-1; }
# Mutter makes the remote pointer and keyboard on their first use (a first key may
# be lost to that), and the Shell starts in its overview, over which a new window
# would not be shown full screen: Escape until the Shell says it has left it, and
# a move, before any saver runs.
overview_left() {
  key || return 1
  SEEN=$(as_user gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Get org.gnome.Shell OverviewActive 2>&1)
  [ "$SEEN" = "(<false>,)" ]
}
wait_for 60 overview_left || fail "the Shell stays in its overview$(_quipix_seen)"
ask move 20 20

# --- the saver ----------------------------------------------------------------------
# Mutter's events for its remote pointer's moves vary with its load: one move may
# reach the saver as two events, or the first as the pointer's entry only. The
# exact count is checked under sway, KWin, X11 and Windows.
saver_checks Meta-0 Meta-1 "800x600 640x480" within

# Monitors taken away and given back, through Mutter's display configuration (a
# temporary one, as the display settings' "Keep changes?" makes): the scene of the
# monitor taken away ends and the other goes on; the monitor given back gets a
# scene of its own again.
display_config() {
  as_user gdbus call --session --dest org.gnome.Mutter.DisplayConfig --object-path /org/gnome/Mutter/DisplayConfig \
    --method "org.gnome.Mutter.DisplayConfig.$1" "${@:2}"
}
# monitors LOGICAL-MONITORS: applies them as the temporary configuration.
monitors() {
  local serial
  serial=$(display_config GetCurrentState | sed -n 's/^(uint32 \([0-9]*\),.*/\1/p')
  display_config ApplyMonitorsConfig "$serial" 1 "$1" "@a{sv} {}" >/dev/null
}
stage_width() { ask shot "$WORK/shots/stage.png" && [ "$(identify -format %w "$WORK/shots/stage.png")" = "$1" ]; }
take_away() { monitors "[(0, 0, 1.0, uint32 0, true, [('Meta-0', '800x600@60.000', @a{sv} {})])]"; }
taken_away() { stage_width 800; }
give_back() {
  monitors "[(0, 0, 1.0, uint32 0, true, [('Meta-0', '800x600@60.000', @a{sv} {})]),
             (800, 0, 1.0, uint32 0, false, [('Meta-1', '640x480@60.000', @a{sv} {})])]"
}
given_back() { stage_width 1440; }
output_checks Meta-0

# --- starting by itself: Mutter's idle monitor ---------------------------------------
watcher_checks
# Nobody else serves org.freedesktop.ScreenSaver in a bare GNOME Shell: the watcher
# does, and a video player's inhibition there holds it off until the player leaves.
start_player 1
key
check "a video player's inhibition holds the saver off" held_off
kill "$PLAYER_PID"
check "once the player has left the bus the saver comes" wait_for 60 saver_child
end_saver
kill "$IDLE_PID"
check "the watcher ends on SIGTERM" exited "$IDLE_PID" 30

check "GNOME Shell is still running" alive "$SHELL_PID"
summary gnome
