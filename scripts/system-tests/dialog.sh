#!/usr/bin/env bash
# System test of the configuration dialog on a real X server: opens it with /c on a
# fresh settings store, photographs each of its six pages into
# build/screenshots/dialog-<n>.png, closes it with Esc (nothing may be saved), then
# opens it again and confirms with Enter (every setting must be saved). Scaled by
# QT_SCALE_FACTOR=1.5 the dialog is 801 x 432 pixels (dialog-scaled-<n>.png).
# QUIPIX_BIN and QUIPIX_SCREENSHOTS override the program and the picture folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
BIN="${QUIPIX_BIN:-build/qt/quipix}"
SHOTS="${QUIPIX_SCREENSHOTS:-build/screenshots}"
TITLE="Kelvara Jokes Screen Saver Configuration"
mkdir -p "$SHOTS"

work="$(mktemp -d)"
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number itself and tells it through a file descriptor.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export XDG_CONFIG_HOME="$work/config"
export QT_QPA_PLATFORM=xcb
store="$XDG_CONFIG_HOME/Kelvara/Quipix.reg"

start_dialog() {
  "$BIN" /c >"$work/app.log" 2>&1 &
  app_pid=$!
  win="$(timeout 20 xdotool search --sync --name "$TITLE" | head -n1)" || {
    echo "the dialog did not open"; cat "$work/app.log"; exit 1; }
  sleep 1
  xdotool windowfocus --sync "$win" 2>/dev/null || true
}

wait_for_exit() {
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$app_pid" 2>/dev/null; then echo "the dialog did not close"; exit 1; fi
  wait "$app_pid" || { echo "the program ended with an error"; cat "$work/app.log"; exit 1; }
  app_pid=""
}

# Run 1: every page, then Esc.
start_dialog
for n in 1 2 3 4 5 6; do
  import -window "$win" "$SHOTS/dialog-$n.png"
  [ "$n" -lt 6 ] && xdotool key --clearmodifiers ctrl+Tab && sleep 0.5
done
xdotool key Escape
wait_for_exit
if [ -f "$store" ] && grep -qi '"Speed"' "$store"; then
  echo "Esc saved settings"; cat "$store"; exit 1
fi

# Run 2: Enter presses OK, which saves all 27 values.
start_dialog
xdotool key Return
wait_for_exit
count="$(grep -c '^"' "$store" || true)"
if [ "$count" -ne 27 ]; then echo "OK saved $count values, not 27"; cat "$store"; exit 1; fi

# Run 3: a FIFO as the background picture neither keeps the dialog from showing
# (so the setting can be mended) nor keeps SIGTERM from ending it.
mkfifo "$work/picture.fifo"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\Background]\n"Type"="2"\n"Bitmap"="%s"\n' \
  "$work/picture.fifo" >"$store"
start_dialog
kill -TERM "$app_pid"
wait_for_exit

# Run 4: at a scale of 1.5 everything grows with the dialog.
QT_SCALE_FACTOR=1.5 start_dialog
eval "$(xdotool getwindowgeometry --shell "$win")"
if [ "$WIDTH" != 801 ] || [ "$HEIGHT" != 432 ]; then echo "scaled dialog ${WIDTH}x${HEIGHT}, not 801x432"; exit 1; fi
for n in 1 2 3 4 5 6; do
  import -window "$win" "$SHOTS/dialog-scaled-$n.png"
  [ "$n" -lt 6 ] && xdotool key --clearmodifiers ctrl+Tab && sleep 0.5
done
xdotool key Escape
wait_for_exit

for n in 1 2 3 4 5 6; do
  [ -s "$SHOTS/dialog-$n.png" ] || { echo "screenshot $n missing"; exit 1; }
  [ -s "$SHOTS/dialog-scaled-$n.png" ] || { echo "scaled screenshot $n missing"; exit 1; }
done
echo "dialog system test passed; screenshots in $SHOTS"
