#!/usr/bin/env bash
# Full screen on two monitors (Xvfb with two screens of different sizes): one saver
# window per monitor, each with a scene of its own monitor's size, and a key or a
# button on either monitor ends both. On a screen scaled by 2 the scene still covers
# the whole screen at full resolution.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD_DIR:-build}
QUIPIX=$BUILD/qt/quipix
for tool in Xvfb xdotool xwininfo import convert; do
  command -v "$tool" >/dev/null || { echo "monitors.sh: $tool is missing"; exit 1; }
done
[ -x "$QUIPIX" ] || { echo "monitors.sh: build $QUIPIX first"; exit 1; }

WORK=$(mktemp -d)
. scripts/lib/system-test.sh
XVFB_PID=""
SAVER_PID=""
cleanup() {
  for p in $SAVER_PID $XVFB_PID; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

start_xvfb -screen 0 640x480x24 -screen 1 800x600x24

SCREEN0="$DISPLAY.0"
SCREEN1="$DISPLAY.1"
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME/Kelvara"
# A navy-to-black gradient that fades in place, so the background stays on screen:
# its shade at half height tells how tall the scene is.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\Background]\r\n"Type"="1"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General]\r\n"Fade Mode"="1"\r\n' \
  >"$XDG_CONFIG_HOME/Kelvara/Quipix.reg"

shot() { import -display "$1" -window root "$WORK/shot.png" 2>/dev/null; }
blue() { convert "$WORK/shot.png" -format "%[fx:int(255*p{$1,$2}.b+0.5)]" info:; }
near() { [ "$1" -ge $(($2 - 4)) ] && [ "$1" -le $(($2 + 4)) ]; }
# covered DISPLAY W H: the gradient fills W x H, navy at the top corners, half navy
# half-way down and nearly black at the bottom.
covered() {
  shot "$1" || return 1
  near "$(blue 4 4)" 128 && near "$(blue $(($2 - 5)) 4)" 128 && near "$(blue 4 $(($3 / 2)))" 64 &&
    [ "$(blue 4 $(($3 - 3)))" -le 4 ]
}
gone() { ! kill -0 "$1" 2>/dev/null; }
start_saver() {
  "$QUIPIX" /s >"$WORK/saver.log" 2>&1 &
  SAVER_PID=$!
}
# saver_windows DISPLAY W H: the number of viewable windows of that size on it.
saver_windows() {
  xwininfo -display "$1" -root -children | awk '/^ +0x/ { print $1 }' | while read -r id; do
    xwininfo -display "$1" -id "$id" | tr -d ' ' | grep -c "Width:$2\|Height:$3\|IsViewable" || true
  done | grep -c '^3$' || true
}
one_window_each() {
  [ "$(saver_windows "$SCREEN0" 640 480)" = 1 ] && [ "$(saver_windows "$SCREEN1" 800 600)" = 1 ]
}

# --- two monitors, two scenes; a key on the second ends both -----------------------
start_saver
check "a saver window on each monitor" wait_for 20 one_window_each
check "the first monitor's scene is 640x480" wait_for 20 covered "$SCREEN0" 640 480
check "the second monitor's scene is 800x600" wait_for 20 covered "$SCREEN1" 800 600
DISPLAY=$SCREEN1 xdotool key space
check "a key on the second monitor ends both" wait_for 10 gone "$SAVER_PID"
SAVER_PID=""

# --- a button on the second monitor ends both -------------------------------------
start_saver
wait_for 20 one_window_each || true
DISPLAY=$SCREEN1 xdotool mousemove 400 300 click 1
check "a button on the second monitor ends both" wait_for 10 gone "$SAVER_PID"
SAVER_PID=""

# --- a key on the first monitor ends both ------------------------------------------
start_saver
wait_for 20 one_window_each || true
DISPLAY=$SCREEN0 xdotool key space
check "a key on the first monitor ends both" wait_for 10 gone "$SAVER_PID"
SAVER_PID=""

# --- scaled by 2: the scene is in device pixels and fills the screen ---------------
QT_SCALE_FACTOR=2 "$QUIPIX" /s >"$WORK/saver.log" 2>&1 &
SAVER_PID=$!
check "scaled by 2, the first monitor is covered at full resolution" wait_for 20 covered "$SCREEN0" 640 480
check "scaled by 2, the second monitor is covered at full resolution" wait_for 20 covered "$SCREEN1" 800 600
kill -TERM "$SAVER_PID"
check "SIGTERM ends the full-screen saver" wait_for 10 gone "$SAVER_PID"
status=0
wait "$SAVER_PID" || status=$?
check "SIGTERM ends it cleanly (exit code 0)" test "$status" = 0
SAVER_PID=""

summary monitors
