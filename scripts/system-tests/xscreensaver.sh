#!/usr/bin/env bash
# Quipix as an xscreensaver module under a real X server (Xvfb): Debian's
# xscreensaver daemon, run as an unprivileged user, starts it with --root when it
# blanks, the scene shows in the daemon's window, and deactivating ends it. Started
# by hand with --window-id it draws into a given window, follows its size, exits
# cleanly on SIGTERM and when the window is destroyed. QUIPIX_PROGRAM names an
# installed program to test instead of the built one (test-deb.sh gives the package's
# /usr/libexec/xscreensaver/quipix).
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD_DIR:-build}
QUIPIX=${QUIPIX_PROGRAM:-$(realpath -m "$BUILD/qt/quipix")}
TESTWIN=$BUILD/tests/quipix-test-window
. scripts/lib/system-test.sh
[ -x "$QUIPIX" ] && [ -x "$TESTWIN" ] || { echo "xscreensaver.sh: build $QUIPIX and $TESTWIN first"; exit 1; }
system_test_begin xscreensaver Xvfb xscreensaver xscreensaver-command xwininfo xdotool import convert pgrep

# xscreensaver refuses to run modules as root: as root, the daemon and its commands
# run as nobody; as anyone else, as that user.
AS_USER=()
if [ "$(id -u)" -eq 0 ]; then
  AS_USER=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

# -ac: the unprivileged daemon connects without an authority file.
start_xvfb -ac -screen 0 800x600x24

# The daemon's user may not reach the build tree (a checkout under /root, say), so
# it runs a copy laid out as installed, which finds its jokes beside it.
MODULE_BIN=$QUIPIX
if [ -z "${QUIPIX_PROGRAM:-}" ]; then
  mkdir -p "$WORK/module/bin" "$WORK/module/share/quipix"
  cp "$QUIPIX" "$WORK/module/bin/quipix"
  cp -r jokes help "$WORK/module/share/quipix/"
  MODULE_BIN="$WORK/module/bin/quipix"
fi

# The daemon's home: its settings name only quipix, and quipix's own settings give
# a navy-to-black gradient with red text.
HOME_DIR="$WORK/home"
mkdir -p "$HOME_DIR/.config/Kelvara"
chmod -R a+rX "$WORK"
REG='REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\Background]\r\n"Type"="1"\r\n'
printf "$REG" >"$HOME_DIR/.config/Kelvara/Quipix.reg"
cat >"$HOME_DIR/.xscreensaver" <<EOF
timeout: 0:30:00
cycle: 0:00:00
lock: False
fade: False
unfade: False
splash: False
dpmsEnabled: False
mode: one
selected: 0
programs: $MODULE_BIN --root \\n
EOF
[ "$(id -u)" -ne 0 ] || chown -R nobody:nogroup "$HOME_DIR"
as_daemon_user() {
  env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$HOME_DIR" \
    XDG_CONFIG_HOME="$HOME_DIR/.config" ${AS_USER[@]+"${AS_USER[@]}"} "$@"
}

shot() { import -window root "$WORK/shot.png" 2>/dev/null; }
pixel() {  # pixel CHANNEL X Y: one byte of a screen pixel from the last shot
  convert "$WORK/shot.png" -format "%[fx:int(255*p{$2,$3}.$1+0.5)]" info:
}
# The gradient's navy top and a red question over it.
background_shown() {
  shot || return 1
  local red blue
  red=$(pixel r 5 5) && blue=$(pixel b 5 5) || return 1
  SEEN="red $red, blue $blue at 5,5"
  [ "$red" = 0 ] && [ "$blue" -ge 120 ]
}
joke_shown() { shot && joke_in "$WORK/shot.png"; }
module_pid() { pgrep -n -x -u "$(as_daemon_user id -u)" quipix || true; }
module_running() {
  SEEN="the daemon's log ends: $(tail -n 4 "$HOME_DIR/daemon.log" 2>/dev/null | tr '\n' ' ')"
  [ -n "$(module_pid)" ]
}

# --- the daemon starts quipix --root in its own window ----------------------------
as_daemon_user xscreensaver --no-splash --verbose --log "$HOME_DIR/daemon.log" >"$WORK/daemon.out" 2>&1 &
DAEMON_PID=$!
track_pid "$DAEMON_PID"
# xscreensaver-command gives up waiting for the daemon's answer after 10 s, and a
# busy daemon takes the command later and then answers a second one that it is
# active already. So a command is sent again only after 20 s without effect, and
# what is waited for is what it does: the daemon's state on the root window.
command_said() { tail -n 3 "$WORK/command.log" 2>/dev/null | tr '\n' ' '; }
blanked() {
  local status
  status=$(as_daemon_user xscreensaver-command -time 2>&1) || true
  SEEN="$status; the command said: $(command_said)"
  grep -q ': screen blanked since' <<<"$status"
}
sent_at=""
# send_until CONDITION COMMAND: sends `xscreensaver-command COMMAND` until CONDITION holds.
send_until() {
  "$1" && return 0
  if [ -z "$sent_at" ] || [ $((SECONDS - sent_at)) -ge 20 ]; then
    sent_at=$SECONDS
    as_daemon_user xscreensaver-command "$2" >>"$WORK/command.log" 2>&1 || true
  fi
  return 1
}
daemon_up() { as_daemon_user xscreensaver-command -version >/dev/null 2>&1; }
settle 60 "the daemon's window" daemon_up
check "the daemon takes the activate command" wait_for 120 send_until blanked -activate
check "the daemon starts the module" wait_for 60 module_running
MODULE=$(module_pid)
check "the module draws the background in the daemon's window" wait_for 60 background_shown
check "a joke appears" wait_for 60 joke_shown
# The daemon's log names the window it gave the module; the module's window is a
# child of it, as large as it.
child_covers_window() {
  local window children child info
  window=$(sed -n 's/.*forked ".*quipix --root" in pid [0-9]* on window \(0x[0-9a-fA-F]*\).*/\1/p' \
    "$HOME_DIR/daemon.log" | tail -1)
  SEEN="no window named in the daemon's log"
  [ -n "$window" ] || return 1
  SEEN="no child of the daemon's window $window"
  children=$(xwininfo -id "$window" -children) || return 1
  child=$(awk '/^ +0x/ { print $1; exit }' <<<"$children")
  [ -n "$child" ] || return 1
  info=$(xwininfo -id "$child") || return 1
  SEEN="its child $child: $(grep -E 'Width|Height|Map State' <<<"$info" | tr -s ' \n' ' ')"
  grep -q 'Width: 800' <<<"$info" && grep -q 'Height: 600' <<<"$info" && grep -q 'IsViewable' <<<"$info"
}
check "the module draws in a child of the daemon's window" wait_for 60 child_covers_window
module_gone() { SEEN="the command said: $(command_said)"; [ -n "$MODULE" ] && gone "$MODULE"; }
sent_at=""
check "deactivating ends the module" wait_for 120 send_until module_gone -deactivate
stop "$DAEMON_PID"

# --- --window-id: a window of our own --------------------------------------------
export XDG_CONFIG_HOME="$HOME_DIR/.config"
# The test window is grey (128, 128, 128) until the module draws its gradient.
drawn_at() {
  shot || return 1
  local red blue
  red=$(pixel r "$1" "$2") && blue=$(pixel b "$1" "$2") || return 1
  SEEN="red $red, blue $blue at $1,$2"
  [ "$red" = 0 ] && [ "$blue" -gt 0 ]
}

start_test_window
HEX=$(printf '0x%x' "$WID")
# XSCREENSAVER_WINDOW names the root window; the explicit id wins over it.
XSCREENSAVER_WINDOW=$(xwininfo -root | awk '/Window id:/ { print $4 }') \
  "$QUIPIX" --root --window-id "$HEX" >"$WORK/module.log" 2>&1 &
MODULE_PID=$!
track_pid "$MODULE_PID"
check "--window-id draws inside the given window" wait_for 60 drawn_at 5 5
check "--window-id stays inside the window" equals "$(pixel b 300 5)" 0
echo "resize 360 200" >&4
check "--window-id follows the window's new size" wait_for 60 drawn_at 340 190
kill -TERM "$MODULE_PID"
check "SIGTERM ends it promptly" wait_for 30 gone "$MODULE_PID"
status=0
wait "$MODULE_PID" || status=$?
check "SIGTERM ends it cleanly (exit code 0)" equals "$status" 0
end_test_window

start_test_window
"$QUIPIX" -window-id "$WID" >"$WORK/module.log" 2>&1 &
MODULE_PID=$!
track_pid "$MODULE_PID"
check "-window-id with a decimal id draws" wait_for 60 drawn_at 5 5
end_test_window
check "destroying the window ends it" wait_for 30 gone "$MODULE_PID"
status=0
wait "$MODULE_PID" || status=$?
check "it ends cleanly when the window goes (exit code 0)" equals "$status" 0

summary xscreensaver
