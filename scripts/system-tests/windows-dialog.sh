#!/usr/bin/env bash
# System test of the configuration dialog of Quipix.scr under Wine on Xvfb: /c opens
# a 534 x 288 window captioned "Kelvara Jokes Screen Saver Configuration"; Ctrl+Tab
# turns the six pages (screenshots build-windows/screenshots/windows-dialog-*.png);
# Escape closes it and writes nothing to the registry; choosing "Degraded" redraws
# the background preview, and so does red from the solid colour's drop-down, over
# the whole 229 x 173 preview; the font box finds a stored face whatever its case;
# Enter saves every persisted value as a string. At 144 dpi (Wine's LogPixels) the
# dialog is 801 x 432 and its preview 343 x 260 pixels (screenshots
# windows-dialog-144dpi-*.png).
# Needs scripts/build-windows.sh to have run. QUIPIX_WIN_BUILD overrides the build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
OUT="$(realpath -m "${QUIPIX_WIN_BUILD:-build-windows}")"
SCR="$OUT/Quipix.scr"
SHOTS="$OUT/screenshots"
TITLE="Kelvara Jokes Screen Saver Configuration"
[ -f "$SCR" ] || { echo "build Quipix.scr first (scripts/build-windows.sh)"; exit 1; }
mkdir -p "$SHOTS"

WORK="$(mktemp -d)"
. scripts/lib/system-test.sh
XVFB_PID=""
dialog_pid=""
cleanup() {
  [ -n "$dialog_pid" ] && kill "$dialog_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "windows-dialog.sh: $*"; exit 1; }
start_xvfb -screen 0 1024x768x24

# A fresh Wine: the registry holds none of our settings.
export WINEPREFIX="$OUT/wineprefix-dialog"
rm -rf "$WINEPREFIX"
. scripts/lib/wine-env.sh
key='HKCU\Software\Kelvara\Quipix'

window=""
open_dialog() {
  wine "$SCR" /c >"$WORK/dialog.log" 2>&1 &
  dialog_pid=$!
  wait_for 30 xdotool search --name "^$TITLE\$" >/dev/null 2>&1 || fail "/c opened no window captioned \"$TITLE\""
  window=$(xdotool search --name "^$TITLE\$" | head -n1)
  sleep 1.5  # the fonts are listed and the previews drawn
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
}
closed() { ! kill -0 "$dialog_pid" 2>/dev/null; }
# The size of the area of colour $2 in the right half of a dialog screenshot $1,
# where the background preview is (the solid colour's button is in the left half).
colour_area() {
  local w h
  read -r w h < <(identify -format '%w %h' "$1")
  convert "$1" -crop "$((w / 2))x${h}+$((w / 2))+0" +repage -fill white +opaque "$2" -trim \
    -format '%wx%h' info:
}
# Without a window manager the window is its client area.
geometry() { eval "$(xdotool getwindowgeometry --shell "$window")"; }
shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"; }

open_dialog
geometry
[ "$WIDTH" = 534 ] && [ "$HEIGHT" = 288 ] || fail "client area ${WIDTH}x${HEIGHT}, not 534x288"
pages=(jokes background questions answers speed about)
previous=""
for i in "${!pages[@]}"; do
  file="$SHOTS/windows-dialog-$((i + 1))-${pages[$i]}.png"
  shot "$file"
  if [ -n "$previous" ] && [ "$(compare -metric AE "$previous" "$file" null: 2>&1 || true)" = 0 ]; then
    fail "Ctrl+Tab did not turn to the page ${pages[$i]}"
  fi
  previous="$file"
  xdotool key ctrl+Tab
  sleep 0.5
done

xdotool key Escape
wait_for 10 closed || fail "Escape did not close the dialog"
if wine reg query "$key\\General" >/dev/null 2>&1; then fail "Escape wrote settings"; fi

# A stored face in another case selects the system's family in the font box, which
# OK saves under the family's own name.
wine reg add "$key\\Question" /v Face /t REG_SZ /d "liberation sans" /f >/dev/null
# The page "Background": "Degraded" sits 16, 64 on the page, the preview at 271, 22;
# the page begins about 4, 24 inside the window.
open_dialog
geometry
xdotool key ctrl+Tab
sleep 0.5
preview="275x20+290+80"  # a strip of the preview, clear of any text
# The solid colour's drop-down: its tenth entry is red, and the preview follows.
xdotool mousemove $((X + 4 + 186)) $((Y + 24 + 32)) click 1
sleep 1
import -window root "$SHOTS/windows-dialog-colour-drop-down.png"
xdotool key --delay 50 Down Down Down Down Down Down Down Down Down Down Return
sleep 1
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -crop "$preview" "$WORK/solid.png"
[ "$(convert "$WORK/solid.png" -format '%[hex:p{10,10}]' info:)" = FF0000 ] ||
  fail "the drop-down's Red did not turn the background preview red"
shot "$WORK/red.png"
area=$(colour_area "$WORK/red.png" '#FF0000')
[ "$area" = 229x173 ] || fail "the red preview is $area, not 229x173"
xdotool mousemove $((X + 26)) $((Y + 96)) click 1
sleep 1
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -crop "$preview" "$WORK/degraded.png"
[ "$(convert "$WORK/degraded.png" -format '%k' info:)" -gt "$(convert "$WORK/solid.png" -format '%k' info:)" ] ||
  fail "choosing Degraded did not redraw the background preview as a gradient"

xdotool key Return
wait_for 10 closed || fail "Enter did not close the dialog"
wine reg query "$key" /s >"$WORK/saved.txt" 2>&1 || fail "Enter saved nothing"
for value in Directory JokeFile Speed "Fade Mode" Change ChangeAfter Bitmap Type "Solid Color" "From Color" \
             "To Color" Tiled Face Size Color 3D Bold Italic; do
  grep -Eq "^ +$value +REG_SZ" "$WORK/saved.txt" || { cat "$WORK/saved.txt"; fail "value \"$value\" not saved as REG_SZ"; }
done
[ "$(grep -c 'REG_SZ' "$WORK/saved.txt")" -ge 26 ] || { cat "$WORK/saved.txt"; fail "not every value saved"; }
tr -d '\r' <"$WORK/saved.txt" | grep -A20 'Background$' | grep -Eq '^ +Type +REG_SZ +1$' ||
  fail "the chosen background type was not saved"
tr -d '\r' <"$WORK/saved.txt" | grep -A20 'Background$' | grep -Eq '^ +Solid Color +REG_SZ +255$' ||
  fail "the colour picked from the drop-down was not saved"
tr -d '\r' <"$WORK/saved.txt" | grep -A20 'Question$' | grep -Eq '^ +Face +REG_SZ +Liberation Sans$' ||
  { cat "$WORK/saved.txt"; fail "the font box did not hold the stored face"; }

# At 144 dpi everything scales by 1.5. Wine reads the DPI when it starts.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
wine reg add "$key\\Background" /v Type /t REG_SZ /d 0 /f >/dev/null
wine reg add "$key\\Background" /v "Solid Color" /t REG_SZ /d 8388608 /f >/dev/null  # navy
wineserver -k 2>/dev/null || true
wineserver -w
open_dialog
geometry
[ "$WIDTH" = 801 ] && [ "$HEIGHT" = 432 ] || fail "client area at 144 dpi ${WIDTH}x${HEIGHT}, not 801x432"
for i in "${!pages[@]}"; do
  shot "$SHOTS/windows-dialog-144dpi-$((i + 1))-${pages[$i]}.png"
  xdotool key ctrl+Tab
  sleep 0.5
done
area=$(colour_area "$SHOTS/windows-dialog-144dpi-2-background.png" '#000080')
[ "$area" = 343x260 ] || fail "the preview at 144 dpi is $area, not 343x260"
xdotool key Escape
wait_for 10 closed || fail "Escape did not close the dialog at 144 dpi"
echo "windows-dialog.sh: passed"
