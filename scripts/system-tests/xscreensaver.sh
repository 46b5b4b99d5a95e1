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
for tool in Xvfb xscreensaver xscreensaver-command xwininfo xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "xscreensaver.sh: $tool is missing"; exit 1; }
done
[ -x "$QUIPIX" ] && [ -x "$TESTWIN" ] || { echo "xscreensaver.sh: build $QUIPIX and $TESTWIN first"; exit 1; }

WORK=$(mktemp -d)
. scripts/lib/system-test.sh
XVFB_PID=""
DAEMON_PID=""
MODULE_PID=""
WIN_PID=""
cleanup() {
  for p in $MODULE_PID $DAEMON_PID $WIN_PID $XVFB_PID; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

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
background_shown() { shot && [ "$(pixel r 5 5)" = 0 ] && [ "$(pixel b 5 5)" -ge 120 ]; }
joke_shown() {
  shot || return 1
  local share
  share=$(convert "$WORK/shot.png" -channel R -separate -threshold 60% -format "%[fx:mean]" info:)
  awk -v s="$share" 'BEGIN { exit !(s > 0.0005) }'
}
gone() { ! kill -0 "$1" 2>/dev/null; }
module_pid() { pgrep -n -x -u "$(as_daemon_user id -u)" quipix || true; }
module_running() { [ -n "$(module_pid)" ]; }

# --- the daemon starts quipix --root in its own window ----------------------------
as_daemon_user xscreensaver --no-splash --verbose --log "$HOME_DIR/daemon.log" >"$WORK/daemon.out" 2>&1 &
DAEMON_PID=$!
activate() { as_daemon_user xscreensaver-command -activate >/dev/null 2>&1; }
check "the daemon takes the activate command" wait_for 20 activate
check "the daemon starts the module" wait_for 20 module_running
MODULE=$(module_pid)
check "the module draws the background in the daemon's window" wait_for 20 background_shown
check "a joke appears" wait_for 20 joke_shown
# The daemon's log names the window it gave the module; the module's window is a
# child of it, as large as it.
SAVER_WINDOW=$(sed -n 's/.*forked ".*quipix --root" in pid [0-9]* on window \(0x[0-9a-fA-F]*\).*/\1/p' \
  "$HOME_DIR/daemon.log" | tail -1)
child_covers_window() {
  [ -n "$SAVER_WINDOW" ] || return 1
  local children child info
  children=$(xwininfo -id "$SAVER_WINDOW" -children) || return 1
  child=$(awk '/^ +0x/ { print $1; exit }' <<<"$children")
  [ -n "$child" ] || return 1
  info=$(xwininfo -id "$child") || return 1
  grep -q 'Width: 800' <<<"$info" && grep -q 'Height: 600' <<<"$info" && grep -q 'IsViewable' <<<"$info"
}
check "the module draws in a child of the daemon's window" child_covers_window
as_daemon_user xscreensaver-command -deactivate >/dev/null 2>&1 || true
check "deactivating ends the module" wait_for 10 gone "$MODULE"
kill "$DAEMON_PID" 2>/dev/null || true
wait "$DAEMON_PID" 2>/dev/null || true
DAEMON_PID=""

# --- --window-id: a window of our own --------------------------------------------
export XDG_CONFIG_HOME="$HOME_DIR/.config"
start_window() {
  rm -f "$WORK/win.in" "$WORK/win.out"
  mkfifo "$WORK/win.in"
  "$TESTWIN" 240 180 <"$WORK/win.in" >"$WORK/win.out" 2>&1 &
  WIN_PID=$!
  exec 4>"$WORK/win.in"
  has_window_id() { [ -s "$WORK/win.out" ]; }
  wait_for 10 has_window_id || { echo "FAIL: test window did not start"; exit 1; }
  WID=$(head -1 "$WORK/win.out")
}
end_window() {
  echo "quit" >&4 || true
  exec 4>&-
  wait "$WIN_PID" 2>/dev/null || true
  WIN_PID=""
}
# The test window is grey (128, 128, 128) until the module draws its gradient.
drawn_at() { shot && [ "$(pixel r "$1" "$2")" = 0 ] && [ "$(pixel b "$1" "$2")" -gt 0 ]; }

start_window
HEX=$(printf '0x%x' "$WID")
# XSCREENSAVER_WINDOW names the root window; the explicit id wins over it.
XSCREENSAVER_WINDOW=$(xwininfo -root | awk '/Window id:/ { print $4 }') \
  "$QUIPIX" --root --window-id "$HEX" >"$WORK/module.log" 2>&1 &
MODULE_PID=$!
check "--window-id draws inside the given window" wait_for 20 drawn_at 5 5
check "--window-id stays inside the window" test "$(pixel b 300 5)" = 0
echo "resize 360 200" >&4
check "--window-id follows the window's new size" wait_for 20 drawn_at 340 190
kill -TERM "$MODULE_PID"
check "SIGTERM ends it promptly" wait_for 5 gone "$MODULE_PID"
status=0
wait "$MODULE_PID" || status=$?
check "SIGTERM ends it cleanly (exit code 0)" test "$status" = 0
MODULE_PID=""
end_window

start_window
"$QUIPIX" -window-id "$WID" >"$WORK/module.log" 2>&1 &
MODULE_PID=$!
check "-window-id with a decimal id draws" wait_for 20 drawn_at 5 5
end_window
check "destroying the window ends it" wait_for 10 gone "$MODULE_PID"
status=0
wait "$MODULE_PID" || status=$?
check "it ends cleanly when the window goes (exit code 0)" test "$status" = 0
MODULE_PID=""

summary xscreensaver
