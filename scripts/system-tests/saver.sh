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
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "saver.sh: $tool is missing"; exit 1; }
done
[ -x "$QUIPIX" ] && [ -x "$TESTWIN" ] || { echo "saver.sh: build $QUIPIX and $TESTWIN first"; exit 1; }

WORK=$(mktemp -d)
. scripts/lib/system-test.sh
XVFB_PID=""
SAVER_PID=""
WIN_PID=""
cleanup() {
  for p in $SAVER_PID $WIN_PID $XVFB_PID; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

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
background_shown() { [ "$(blue_at 0 0)" = 128 ]; }
# The gradient has no red at all; the question is drawn in red.
joke_shown() {
  shot || return 1
  local share
  share=$(convert "$WORK/shot.png" -channel R -separate -threshold 60% -format "%[fx:mean]" info:)
  awk -v s="$share" 'BEGIN { exit !(s > 0.0005) }'
}
alive() { kill -0 "$1" 2>/dev/null; }
gone() { ! kill -0 "$1" 2>/dev/null; }
exited() { wait_for "$2" gone "$1"; }

start_saver() {
  "$QUIPIX" "$@" >"$WORK/saver.log" 2>&1 &
  SAVER_PID=$!
}

# --- full screen: background, joke, mouse tolerance -----------------------------
start_saver /s
check "background appears" wait_for 20 background_shown
check "a joke appears over it" wait_for 20 joke_shown
for i in 1 2 3 4 5 6; do
  xdotool mousemove_relative -- 2 2
  sleep 0.3  # no observable condition: give the event time to arrive
done
check "six mouse moves leave it running" alive "$SAVER_PID"
xdotool mousemove_relative -- 2 2
check "the seventh move ends it" exited "$SAVER_PID" 10
SAVER_PID=""

# --- full screen: a key ends it at once ----------------------------------------
start_saver /s
wait_for 20 background_shown || true
check "saver running before the key" alive "$SAVER_PID"
xdotool key space
check "a key ends it" exited "$SAVER_PID" 5
SAVER_PID=""

# --- frames through shared memory (MIT-SHM), and through the socket -------------
# The frames' shared segment shows in the saver's memory map; Xvfb has the extension,
# and QUIPIX_NO_MIT_SHM makes the saver send its frames with PutImage instead.
shares_memory() { grep -q SYSV "/proc/$SAVER_PID/maps"; }
for way in shared socket; do
  if [ "$way" = socket ]; then export QUIPIX_NO_MIT_SHM=1; fi
  start_saver /s
  check "$way: background appears" wait_for 20 background_shown
  check "$way: a joke appears over it" wait_for 20 joke_shown
  if [ "$way" = shared ]; then
    check "$way: the frames go through a shared segment" shares_memory
  else
    check "$way: no shared segment" eval '! shares_memory'
  fi
  xdotool key space
  check "$way: a key ends it" exited "$SAVER_PID" 5
  SAVER_PID=""
  unset QUIPIX_NO_MIT_SHM
done

# --- preview inside a foreign window --------------------------------------------
mkfifo "$WORK/win.in"
"$TESTWIN" 240 180 <"$WORK/win.in" >"$WORK/win.out" 2>&1 &
WIN_PID=$!
exec 4>"$WORK/win.in"
has_window_id() { [ -s "$WORK/win.out" ]; }
wait_for 10 has_window_id || { echo "FAIL: test window did not start"; exit 1; }
WID=$(head -1 "$WORK/win.out")
# The test window is grey (128, 128, 128) until the preview draws its gradient.
preview_drawn() { [ "$(red_at 5 5)" = 0 ] && [ "$(blue_at 5 5)" -gt 0 ]; }
start_saver /p "$WID"
check "the preview draws inside its parent" wait_for 20 preview_drawn
check "the preview stays inside the parent" test "$(blue_at 300 5)" = 0
echo "resize 360 200" >&4
preview_grown() { [ "$(red_at 340 5)" = 0 ] && [ "$(blue_at 340 5)" -gt 0 ]; }
check "the preview follows the parent's new size" wait_for 20 preview_grown
echo "quit" >&4
exec 4>&-
check "the preview exits with its parent" exited "$SAVER_PID" 10
SAVER_PID=""
wait "$WIN_PID" 2>/dev/null || true
WIN_PID=""

# --- termination signals end it at once, in every state -------------------------
store="$XDG_CONFIG_HOME/Kelvara/Quipix.reg"
cp "$store" "$WORK/gradient.reg"
window_shown() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
# ends_on SIGNAL: the signal ends the saver within 5 s with exit code 0.
ends_on() {
  kill -"$1" "$SAVER_PID"
  local status=0
  exited "$SAVER_PID" 5 || return 1
  wait "$SAVER_PID" || status=$?
  SAVER_PID=""
  [ "$status" = 0 ]
}
# A number where a string belongs: the start-up error box stays open.
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General]\n"Speed"=dword:00000005\n' >"$store"
for signal in TERM INT HUP; do
  start_saver /s
  wait_for 20 window_shown '^quipix' || true
  check "SIG$signal ends it while the error box is open" ends_on "$signal"
done
# A FIFO as the background picture: opening it must not wait for a writer. Qt's
# own chatter (no XDG_RUNTIME_DIR here) stays off the terminal.
mkfifo "$WORK/picture.fifo"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\Background]\n"Type"="2"\n"Bitmap"="%s"\n' \
  "$WORK/picture.fifo" >"$store"
(unset XDG_RUNTIME_DIR; exec "$QUIPIX" /s >"$WORK/saver.log" 2>&1) &
SAVER_PID=$!
check "a FIFO background does not keep the window from showing" \
  wait_for 20 window_shown '^Full Screen - Screen Saver Window'
check "SIGTERM ends it with a FIFO background" ends_on TERM
check "nothing printed on the terminal" test ! -s "$WORK/saver.log"
cp "$WORK/gradient.reg" "$store"

summary saver
