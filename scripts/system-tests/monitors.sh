#!/usr/bin/env bash
# Full screen on two monitors (Xvfb with two screens of different sizes): one saver
# window per monitor, each with a scene of its own monitor's size, and a key or a
# button on either monitor ends both. On a screen scaled by 2 the scene still covers
# the whole screen at full resolution.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD_DIR:-build}
QUIPIX=$BUILD/qt/quipix
. scripts/lib/system-test.sh
[ -x "$QUIPIX" ] || { echo "monitors.sh: build $QUIPIX first"; exit 1; }
system_test_begin monitors Xvfb xdotool xwininfo import convert

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
  local top_left top_right middle bottom
  top_left=$(blue 4 4) && top_right=$(blue $(($2 - 5)) 4) && middle=$(blue 4 $(($3 / 2))) &&
    bottom=$(blue 4 $(($3 - 3))) || return 1
  SEEN="blue $top_left and $top_right at the top, $middle half-way down, $bottom at the bottom"
  near "$top_left" 128 && near "$top_right" 128 && near "$middle" 64 && [ "$bottom" -le 4 ]
}
start_saver() {
  "$QUIPIX" /s >"$WORK/saver.log" 2>&1 &
  SAVER_PID=$!
  track_pid "$SAVER_PID"
}
# saver_windows DISPLAY W H: the number of viewable windows of that size on it.
saver_windows() {
  xwininfo -display "$1" -root -children | awk '/^ +0x/ { print $1 }' | while read -r id; do
    xwininfo -display "$1" -id "$id" 2>/dev/null | tr -d ' ' | grep -c "Width:$2\|Height:$3\|IsViewable" || true
  done | grep -c '^3$' || true
}
one_window_each() {
  local first second
  first=$(saver_windows "$SCREEN0" 640 480) && second=$(saver_windows "$SCREEN1" 800 600) || return 1
  SEEN="$first and $second saver windows"
  [ "$first" = 1 ] && [ "$second" = 1 ]
}

# --- two monitors, two scenes; a key on the second ends both -----------------------
start_saver
check "a saver window on each monitor" wait_for 60 one_window_each
check "the first monitor's scene is 640x480" wait_for 60 covered "$SCREEN0" 640 480
check "the second monitor's scene is 800x600" wait_for 60 covered "$SCREEN1" 800 600
DISPLAY=$SCREEN1 xdotool key space
check "a key on the second monitor ends both" wait_for 30 gone "$SAVER_PID"

# --- a button on the second monitor ends both -------------------------------------
start_saver
settle 60 "a saver window on each monitor" one_window_each
DISPLAY=$SCREEN1 xdotool mousemove 400 300 click 1
check "a button on the second monitor ends both" wait_for 30 gone "$SAVER_PID"

# --- a key on the first monitor ends both ------------------------------------------
start_saver
settle 60 "a saver window on each monitor" one_window_each
DISPLAY=$SCREEN0 xdotool key space
check "a key on the first monitor ends both" wait_for 30 gone "$SAVER_PID"

# --- scaled by 2: the scene is in device pixels and fills the screen ---------------
QT_SCALE_FACTOR=2 start_saver
check "scaled by 2, the first monitor is covered at full resolution" wait_for 60 covered "$SCREEN0" 640 480
check "scaled by 2, the second monitor is covered at full resolution" wait_for 60 covered "$SCREEN1" 800 600
kill -TERM "$SAVER_PID"
check "SIGTERM ends the full-screen saver" wait_for 30 gone "$SAVER_PID"
status=0
wait "$SAVER_PID" || status=$?
check "SIGTERM ends it cleanly (exit code 0)" equals "$status" 0

summary monitors
