#!/usr/bin/env bash
# The saver under a real X server (Xvfb): full screen it shows the background and
# then a joke, tolerates six mouse moves and ends on the seventh, ends at once on a
# key, with its frames through shared memory or without; as a preview it draws
# inside a foreign window, follows its size and exits when that window is destroyed.
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD_DIR:-build}
QUIPIX=$BUILD/qt/quipix
TESTWIN=$BUILD/tests/quipix-test-window
. scripts/lib/system-test.sh
[ -x "$QUIPIX" ] && [ -x "$TESTWIN" ] || { echo "saver.sh: build $QUIPIX and $TESTWIN first"; exit 1; }
# ss tells whether the saver has read its input.
. scripts/lib/apt.sh
install_packages iproute2
system_test_begin saver Xvfb xdotool import convert ss

start_xvfb -screen 0 1280x720x24

export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME/Kelvara"
# A navy-to-black gradient, so the background is told apart from a black screen.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\Background]\r\n"Type"="1"\r\n' \
  >"$XDG_CONFIG_HOME/Kelvara/Quipix.reg"

shot() { import -window root "$WORK/shot.png" 2>/dev/null; }
# blue_at X Y: the blue byte of a screen pixel.
blue_at() { shot && convert "$WORK/shot.png" -format "%[fx:int(255*p{$1,$2}.b+0.5)]" info:; }
red_at() { shot && convert "$WORK/shot.png" -format "%[fx:int(255*p{$1,$2}.r+0.5)]" info:; }
background_shown() {
  local blue
  blue=$(blue_at 0 0) || return 1
  SEEN="blue $blue in the top left corner"
  [ "$blue" = 128 ]
}
joke_shown() { shot && joke_in "$WORK/shot.png"; }
alive() { kill -0 "$1" 2>/dev/null; }
exited() { wait_for "$2" gone "$1"; }

start_saver() {
  "$QUIPIX" "$@" >"$WORK/saver.log" 2>&1 &
  SAVER_PID=$!
  track_pid "$SAVER_PID"
}

# --- full screen: background, joke, mouse tolerance -----------------------------
start_saver /s
check "background appears" wait_for 60 background_shown
check "a joke appears over it" wait_for 60 joke_shown
# Each move waits until the server has made it and the saver has read it, so that
# every one reaches the saver on its own; after the sixth the saver must go on
# drawing, which it would stop doing once it had decided to close.
for i in 1 2 3 4 5 6; do
  move_pointer 2 2
  took_input "$SAVER_PID"
done
six_moves_tolerated() { goes_on_drawing 60 x_screen && alive "$SAVER_PID"; }
check "six mouse moves leave it running" six_moves_tolerated
xdotool mousemove_relative -- 2 2
check "the seventh move ends it" exited "$SAVER_PID" 30

# --- full screen: a key ends it at once ----------------------------------------
start_saver /s
settle 60 "the background" background_shown
check "saver running before the key" alive "$SAVER_PID"
xdotool key space
check "a key ends it" exited "$SAVER_PID" 30

# --- frames through shared memory (MIT-SHM), and through the socket -------------
# The frames' shared segment shows in the saver's memory map; Xvfb has the extension,
# and QUIPIX_NO_MIT_SHM makes the saver send its frames with PutImage instead.
shares_memory() { grep -q SYSV "/proc/$SAVER_PID/maps"; }
for way in shared socket; do
  if [ "$way" = socket ]; then export QUIPIX_NO_MIT_SHM=1; fi
  start_saver /s
  check "$way: background appears" wait_for 60 background_shown
  check "$way: a joke appears over it" wait_for 60 joke_shown
  if [ "$way" = shared ]; then
    check "$way: the frames go through a shared segment" shares_memory
  else
    check "$way: no shared segment" eval '! shares_memory'
  fi
  xdotool key space
  check "$way: a key ends it" exited "$SAVER_PID" 30
  unset QUIPIX_NO_MIT_SHM
done

# --- preview inside a foreign window --------------------------------------------
start_test_window
# The test window is grey (128, 128, 128) until the preview draws its gradient.
drawn_at() {
  local red blue
  red=$(red_at "$1" "$2") && blue=$(convert "$WORK/shot.png" -format "%[fx:int(255*p{$1,$2}.b+0.5)]" info:) ||
    return 1
  SEEN="red $red, blue $blue at $1,$2"
  [ "$red" = 0 ] && [ "$blue" -gt 0 ]
}
start_saver /p "$WID"
check "the preview draws inside its parent" wait_for 60 drawn_at 5 5
check "the preview stays inside the parent" equals "$(blue_at 300 5)" 0
echo "resize 360 200" >&4
check "the preview follows the parent's new size" wait_for 60 drawn_at 340 5
echo "quit" >&4
exec 4>&-
check "the preview exits with its parent" exited "$SAVER_PID" 30
wait "$WIN_PID" 2>/dev/null || true

# --- termination signals end it at once, in every state -------------------------
store="$XDG_CONFIG_HOME/Kelvara/Quipix.reg"
cp "$store" "$WORK/gradient.reg"
window_shown() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
# ends_on SIGNAL: the signal ends the saver with exit code 0.
ends_on() {
  kill -"$1" "$SAVER_PID"
  local status=0
  exited "$SAVER_PID" 30 || return 1
  wait "$SAVER_PID" || status=$?
  SEEN="exit code $status"
  [ "$status" = 0 ]
}
# A number where a string belongs: the start-up error box stays open.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General]\n"Speed"=dword:00000005\n' >"$store"
for signal in TERM INT HUP; do
  start_saver /s
  settle 60 "the error box" window_shown '^quipix'
  check "SIG$signal ends it while the error box is open" ends_on "$signal"
done
# A FIFO as the background picture: opening it must not wait for a writer. Qt's
# own chatter (no XDG_RUNTIME_DIR here) stays off the terminal.
mkfifo "$WORK/picture.fifo"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\Background]\n"Type"="2"\n"Bitmap"="%s"\n' \
  "$WORK/picture.fifo" >"$store"
(unset XDG_RUNTIME_DIR; exec "$QUIPIX" /s >"$WORK/saver.log" 2>&1) &
SAVER_PID=$!
track_pid "$SAVER_PID"
check "a FIFO background does not keep the window from showing" \
  wait_for 60 window_shown '^Full Screen - Screen Saver Window'
check "SIGTERM ends it with a FIFO background" ends_on TERM
check "nothing printed on the terminal" test ! -s "$WORK/saver.log"
cp "$WORK/gradient.reg" "$store"

summary saver
