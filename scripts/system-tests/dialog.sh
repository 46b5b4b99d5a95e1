#!/usr/bin/env bash
# System test of the configuration dialog on a real X server: opens it with /c on a
# fresh settings store, photographs each of its six pages into
# build/screenshots/dialog-<n>.png, closes it with Esc (nothing may be saved), then
# opens it again and confirms with Enter (every setting must be saved). Scaled by
# QT_SCALE_FACTOR=1.5 the dialog is 801 x 432 pixels (dialog-scaled-<n>.png).
# QUIPIX_BIN and QUIPIX_SCREENSHOTS override the program and the picture folder. In
# another language (LANG=de_DE.UTF-8, say) the dialog is looked for under its
# translated caption, which must differ from the English one, and the pictures are
# dialog-<language>-<n>.png.
set -euo pipefail
cd "$(dirname "$0")/../.."
BIN="${QUIPIX_BIN:-build/qt/quipix}"
SHOTS="${QUIPIX_SCREENSHOTS:-build/screenshots}"
. scripts/lib/system-test.sh
[ -x "$BIN" ] || { echo "dialog.sh: build $BIN first"; exit 1; }
system_test_begin dialog Xvfb xdotool import compare
dialog_language build/locale  # TITLE, SHOT_LANGUAGE
mkdir -p "$SHOTS"

start_xvfb -screen 0 1024x768x24
export XDG_CONFIG_HOME="$WORK/config"
export QT_QPA_PLATFORM=xcb
store="$XDG_CONFIG_HOME/Kelvara/Quipix.reg"

shown() {
  win=$(xdotool search --onlyvisible --name "$TITLE" 2>/dev/null | head -n1)
  [ -n "$win" ]
}
focused() {
  local now
  now=$(xdotool getwindowfocus 2>/dev/null) || return 1
  SEEN="the focus on window $now, the dialog is $win"
  [ "$now" = "$win" ]
}
shot() { import -window "$win" "$1"; }
# start_dialog WHAT: opens the dialog and waits until it has the keyboard focus;
# keys then go to it.
start_dialog() {
  "$BIN" /c >"$WORK/app.log" 2>&1 &
  app_pid=$!
  track_pid "$app_pid"
  need "$1" wait_for 60 shown
  xdotool windowfocus "$win" 2>/dev/null || true
  need "$1: it has the keyboard focus" wait_for 60 focused
}
# closes_cleanly: the program ends, with exit code 0.
closes_cleanly() {
  local status=0
  wait_for 30 eval '! kill -0 "$app_pid" 2>/dev/null' || { SEEN="still open"; return 1; }
  wait "$app_pid" || status=$?
  SEEN="exit code $status; it said: $(head -c 300 "$WORK/app.log")"
  [ "$status" = 0 ]
}
# photograph PREFIX: each of the six pages, Ctrl+Tab turning from one to the next;
# each picture is taken once the page has turned and finished drawing.
photograph() {
  local n
  wait_still 60 "$SHOTS/$1-1.png" shot || echo "note: page 1 did not stand still$(_quipix_seen)"
  for n in 2 3 4 5 6; do
    xdotool key --clearmodifiers ctrl+Tab
    UNLIKE="$SHOTS/$1-$((n - 1)).png" check "$1: Ctrl+Tab turns to page $n" wait_still 60 "$SHOTS/$1-$n.png" shot
  done
}

# Run 1: every page, then Esc.
start_dialog "the dialog opens"
photograph "dialog$SHOT_LANGUAGE"
xdotool key Escape
check "Esc closes it" closes_cleanly
nothing_saved() { [ ! -f "$store" ] || ! grep -qi '"Speed"' "$store" || { SEEN=$(cat "$store"); return 1; }; }
check "Esc saves nothing" nothing_saved

# Run 2: Enter presses OK, which saves all 27 values.
start_dialog "the dialog opens again"
xdotool key Return
check "Enter closes it" closes_cleanly
check "OK saves the 27 values" equals "$(grep -c '^"' "$store" || true)" 27

# Run 3: a FIFO as the background picture neither keeps the dialog from showing
# (so the setting can be mended) nor keeps SIGTERM from ending it.
mkfifo "$WORK/picture.fifo"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\Background]\n"Type"="2"\n"Bitmap"="%s"\n' \
  "$WORK/picture.fifo" >"$store"
start_dialog "a FIFO as the background picture does not keep the dialog from showing"
kill -TERM "$app_pid"
check "SIGTERM ends it" closes_cleanly

# Run 4: at a scale of 1.5 everything grows with the dialog.
QT_SCALE_FACTOR=1.5 start_dialog "the dialog opens scaled by 1.5"
eval "$(xdotool getwindowgeometry --shell "$win")"
check "scaled by 1.5 it is 801 x 432" equals "${WIDTH}x${HEIGHT}" 801x432
photograph "dialog$SHOT_LANGUAGE-scaled"
xdotool key Escape
check "scaled, Esc closes it" closes_cleanly

all_photographed() {
  local n
  for n in 1 2 3 4 5 6; do
    [ -s "$SHOTS/dialog$SHOT_LANGUAGE-$n.png" ] || { SEEN="no dialog$SHOT_LANGUAGE-$n.png"; return 1; }
    [ -s "$SHOTS/dialog$SHOT_LANGUAGE-scaled-$n.png" ] || { SEEN="no dialog$SHOT_LANGUAGE-scaled-$n.png"; return 1; }
  done
}
check "every page photographed, in $SHOTS" all_photographed
summary dialog
