#!/usr/bin/env bash
# The saver under KWin, headless, with two virtual outputs: /s covers both with the
# scene, edge to edge, a joke on each; six pointer moves leave it running and the
# seventh ends it; a key ends it, and so does a button; an output taken away ends
# only its scene, and one given back gets a scene again; --idle 2 starts it after 2 s
# through KWin's idle notice. (A bare KWin forwards org.freedesktop.ScreenSaver
# inhibitions to Plasma's power management, which is not running here: they are
# tested under sway and GNOME Shell.)
# KWin runs as nobody on a session bus of the test's own, painting through OpenGL
# (llvmpipe), which its screenshot service needs. Input comes through its fake input
# (tests/wayland/virtual_pointer.cpp), screenshots through KWin's screenshot service
# (tests/qt/desktop_session.cpp), and outputs go and come back through its output
# management (tests/wayland/output_switch.cpp); the test switches off KWin's
# permission checks for all three.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD_DIR:-build}
. scripts/lib/system-test.sh
. scripts/lib/apt.sh
install_packages kwin-wayland plasma-wayland-protocols dbus-daemon imagemagick procps util-linux iproute2
SESSION_SRC=$BUILD/tests/quipix-test-session
POINTER_SRC=$BUILD/tests/quipix-test-pointer
OUTPUTS_SRC=$BUILD/tests/quipix-test-outputs
[ -x "$BUILD/qt/quipix" ] && [ -x "$SESSION_SRC" ] && [ -x "$POINTER_SRC" ] && [ -x "$OUTPUTS_SRC" ] ||
  { echo "kwin.sh: build $BUILD/qt/quipix, $SESSION_SRC, $POINTER_SRC and $OUTPUTS_SRC first"; exit 1; }
system_test_begin kwin setpriv gdbus dbus-daemon kwin_wayland ss
. scripts/lib/user-session.sh
user_session_begin
# Debian's kwin_wayland carries a file capability, which a program started by an
# unprivileged user is refused; a copy carries none.
cp "$(command -v kwin_wayland)" "$WORK/prefix/bin/"

# --- the bus and KWin -----------------------------------------------------------
start_session_buses
USER_ENV+=" KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 XDG_SESSION_TYPE=wayland"
start_user "$WORK/kwin.log" "$WORK/prefix/bin/kwin_wayland" --virtual --output-count 2 --width 800 --height 600 \
  --socket wayland-kwin
KWIN_PID=$LAST_PID
kwin_up() {
  as_user gdbus introspect --session --dest org.kde.KWin --object-path /org/kde/KWin/ScreenShot2 >/dev/null 2>&1
}
wait_for 120 kwin_up || { tail -n 30 "$WORK/kwin.log"; fail "KWin did not start"; }
WL_DISPLAY=wayland-kwin
start_commanded session "$WORK/prefix/bin/quipix-test-session" kwin
start_commanded input "$WORK/prefix/bin/quipix-test-pointer"
start_commanded outputs "$WORK/prefix/bin/quipix-test-outputs"
shot() { tell session shot "$WORK/shots/$1.png" "$1"; }
screen_picture() { shot Virtual-0 && shot Virtual-1 && cat "$WORK/shots/Virtual-0.png" "$WORK/shots/Virtual-1.png" | md5sum; }
both_covered() { scene_covers Virtual-0 && scene_covers Virtual-1; }
pointer_move() { tell input move 3 2; }
key() { tell input key; }
button() { tell input button; }

# --- the saver --------------------------------------------------------------------
saver_checks Virtual-0 Virtual-1 "800x600 800x600"

# Virtual-1 taken away and given back. That KWin has taken it away, the clients'
# outputs say, and a screenshot of it is refused.
take_away() { tell outputs disable Virtual-1; }
give_back() { tell outputs enable Virtual-1; }
offered() { SEEN=$(tell outputs outputs "$@" 2>&1); }
taken_away() { offered Virtual-0 && ! shot Virtual-1 2>/dev/null; }
given_back() { offered Virtual-0 Virtual-1; }
output_checks Virtual-0

# --- starting by itself: KWin's idle notice ----------------------------------------
watcher_checks
kill "$IDLE_PID"
check "the watcher ends on SIGTERM" exited "$IDLE_PID" 30

check "KWin is still running" alive "$KWIN_PID"
summary kwin
