#!/usr/bin/env bash
# Starting by itself on X11 (Xvfb, a private session bus): --idle 2 starts the saver
# after 2 s without input and again after the next idle period, input ends it; it
# serves org.freedesktop.ScreenSaver, whose inhibitions hold the saver off until they
# are un-inhibited or their caller leaves the bus; one watcher per session; with an
# xscreensaver daemon running it leaves idle to that and says so.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD_DIR:-build}
QUIPIX=$(realpath -m "$BUILD/qt/quipix")
INHIBITOR=$(realpath -m "$BUILD/tests/quipix-test-inhibitor")
. scripts/lib/system-test.sh
[ -x "$QUIPIX" ] && [ -x "$INHIBITOR" ] || { echo "idle.sh: build $QUIPIX and $INHIBITOR first"; exit 1; }
system_test_begin idle Xvfb dbus-daemon gdbus xdotool pgrep

start_xvfb -screen 0 640x480x24
start_session_bus
mkdir -p "$WORK/run" "$WORK/home/.config"
chmod 700 "$WORK/run"
export XDG_RUNTIME_DIR=$WORK/run HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config

"$QUIPIX" --idle 2 >"$WORK/idle.log" 2>&1 &
IDLE_PID=$!
track_pid "$IDLE_PID"
saver_child() { pgrep -P "$IDLE_PID" >/dev/null; }
no_saver() { ! saver_child; }
# The saver's window shows (a key before it would reach no saver).
saver_up() { saver_child && xdotool search --onlyvisible --pid "$(pgrep -P "$IDLE_PID")" >/dev/null 2>&1; }
screensaver() {
  gdbus call --session -d org.freedesktop.ScreenSaver -o /org/freedesktop/ScreenSaver \
    -m "org.freedesktop.ScreenSaver.$1" "${@:2}"
}
active() { [ "$(screensaver GetActive)" = "(true,)" ]; }
refused() { ! screensaver "$@" >/dev/null 2>&1; }
key() { xdotool key a; }
# start_player: a video player that inhibits the saver; COOKIE is its cookie and
# player its process (bash unsets PLAYER_PID as soon as the coprocess has ended).
start_player() {
  coproc PLAYER { exec "$INHIBITOR"; }
  player=$PLAYER_PID
  track_pid "$player"
  read -r _ COOKIE <&"${PLAYER[0]}" || COOKIE=0
}

check "--idle starts the saver after the idle time" wait_for 60 saver_up
check "org.freedesktop.ScreenSaver says it is active" active
key
check "a key ends it" wait_for 30 no_saver
check "the watcher goes on" kill -0 "$IDLE_PID"
check "it comes back after the next idle period" wait_for 60 saver_up
key
settle 30 "the saver's end" no_saver

second_rc=0
"$QUIPIX" --idle 2 >"$WORK/second.log" 2>&1 || second_rc=$?
check "a second watcher in the session leaves it to the first" grep -q "already runs" "$WORK/second.log"
check "and exits 0" equals "$second_rc" 0

# A video player's inhibition holds the saver off; un-inhibited, the saver comes.
start_player
check "an inhibition gets a cookie" test "$COOKIE" -gt 0
key
check "an inhibition holds the saver off" held_off
screensaver UnInhibit "$COOKIE" >/dev/null
check "once un-inhibited the saver comes" wait_for 60 saver_up
key
settle 30 "the saver's end" no_saver
check "a cookie already used is refused" refused UnInhibit "$COOKIE"

# The caller leaving the bus takes its inhibition with it.
kill "$player"
settle 30 "the first player's end" gone "$player"
start_player
key
check "a second inhibition holds it off" held_off
kill "$player"
check "once its caller has left the bus the saver comes" wait_for 60 saver_up
key
settle 30 "the saver's end" no_saver
kill "$IDLE_PID"
check "the watcher ends on SIGTERM" wait_for 30 gone "$IDLE_PID"

# xscreensaver's daemon owns idle where it runs (it refuses root: it runs as nobody).
AS_USER=()
[ "$(id -u)" -ne 0 ] || AS_USER=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
mkdir -p "$WORK/xss"
chmod 777 "$WORK/xss"
xss() { env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$WORK/xss" ${AS_USER[@]+"${AS_USER[@]}"} "$@"; }
xss xscreensaver -no-splash >"$WORK/xss.log" 2>&1 &
track_pid $!
xss_up() { xss xscreensaver-command -version >/dev/null 2>&1; }
wait_for 60 xss_up || { cat "$WORK/xss.log"; fail "the xscreensaver daemon did not start"; }
xss_rc=0
timeout 30 "$QUIPIX" --idle 2 >"$WORK/xss-idle.log" 2>&1 || xss_rc=$?
check "with xscreensaver running, --idle leaves idle to it and says so" grep -q xscreensaver "$WORK/xss-idle.log"
check "and exits 0" equals "$xss_rc" 0

summary idle
