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
# In another language (LANG=de_DE.UTF-8, which Wine makes the user's UI language) the
# window is looked for under its translated caption, which must differ from the
# English one, and the pictures are windows-dialog-<language>-*.png.
set -euo pipefail
cd "$(dirname "$0")/../.."
OUT="$(realpath -m "${QUIPIX_WIN_BUILD:-build-windows}")"
SCR="$OUT/Quipix.scr"
SHOTS="$OUT/screenshots"
. scripts/lib/system-test.sh
[ -f "$SCR" ] || { echo "build Quipix.scr first (scripts/build-windows.sh)"; exit 1; }
system_test_begin windows-dialog Xvfb xdotool import convert identify compare
dialog_language "$OUT/locale"  # TITLE, SHOT_LANGUAGE
mkdir -p "$SHOTS"
start_xvfb -screen 0 1024x768x24

fresh_wine "dialog$SHOT_LANGUAGE"
key='HKCU\Software\Kelvara\Quipix'

window=""
shown() {
  window=$(xdotool search --onlyvisible --name "^$TITLE\$" 2>/dev/null | head -n1)
  [ -n "$window" ]
}
# Without a window manager the window is its client area.
geometry() { eval "$(xdotool getwindowgeometry --shell "$window")"; }
shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"; }
# open_dialog WHAT: /c, once its window has finished drawing (its fonts listed, its
# previews drawn) and has the keyboard focus.
open_dialog() {
  wine "$SCR" /c >"$WORK/dialog.log" 2>&1 &
  dialog_pid=$!
  track_pid "$dialog_pid"
  need "$1" wait_for 60 shown
  geometry
  wait_still 60 "$WORK/opened.png" shot || echo "note: the dialog did not stand still$(_quipix_seen)"
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
  settle 60 "the keyboard focus on the dialog" focused
}
focused() {
  local now
  now=$(xdotool getwindowfocus 2>/dev/null) || return 1
  SEEN="the focus on window $now, the dialog is $window"
  [ "$now" = "$window" ]
}
closed() { ! kill -0 "$dialog_pid" 2>/dev/null; }
# The size of the area of colour $2 in the right half of a dialog screenshot $1,
# where the background preview is (the solid colour's button is in the left half).
colour_area() {
  local w h
  read -r w h < <(identify -format '%w %h\n' "$1")
  convert "$1" -crop "$((w / 2))x${h}+$((w / 2))+0" +repage -fill white +opaque "$2" -trim \
    -format '%wx%h' info:
}
# turn_pages PREFIX: a picture of each of the six pages, Ctrl+Tab turning from one to
# the next; each is taken once the page has turned and finished drawing.
pages=(jokes background questions answers speed about)
turn_pages() {
  local i file previous
  for i in "${!pages[@]}"; do
    file="$SHOTS/$1-$((i + 1))-${pages[$i]}.png"
    if [ "$i" -eq 0 ]; then
      cp "$WORK/opened.png" "$file"
    else
      xdotool key ctrl+Tab
      UNLIKE=$previous check "Ctrl+Tab turns to the page ${pages[$i]}" wait_still 60 "$file" shot
    fi
    previous=$file
  done
}

open_dialog "/c opens a window captioned \"$TITLE\""
check "its client area is 534 x 288" equals "${WIDTH}x${HEIGHT}" 534x288
turn_pages "windows-dialog$SHOT_LANGUAGE"

xdotool key Escape
check "Escape closes the dialog" wait_for 30 closed
check "Escape writes no settings" eval "! wine reg query '$key\\General' >/dev/null 2>&1"

# A stored face in another case selects the system's family in the font box, which
# OK saves under the family's own name.
wine reg add "$key\\Question" /v Face /t REG_SZ /d "liberation sans" /f >/dev/null
# The page "Background": "Degraded" sits 16, 64 on the page, the preview at 271, 22;
# the page begins about 4, 24 inside the window.
open_dialog "/c opens the dialog again"
xdotool key ctrl+Tab
UNLIKE="$WORK/opened.png" check "Ctrl+Tab turns to the page background" wait_still 60 "$WORK/background.png" shot
preview="275x20+290+80"  # a strip of the preview, clear of any text
preview_shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -crop "$preview" "$1"; }
# The solid colour's drop-down: its tenth entry is red, and the preview follows.
import -window root "$WORK/before-drop-down.png"
xdotool mousemove $((X + 4 + 186)) $((Y + 24 + 32)) click 1
# The list drops down over the screen below the button.
UNLIKE="$WORK/before-drop-down.png" wait_still 60 "$SHOTS/windows-dialog-colour-drop-down.png" \
  import -window root || echo "note: no drop-down list showed$(_quipix_seen)"
xdotool key --delay 50 Down Down Down Down Down Down Down Down Down Down Return
preview_red() {
  preview_shot "$WORK/solid.png" || return 1
  SEEN="#$(convert "$WORK/solid.png" -format '%[hex:p{10,10}]' info:)"
  [ "$SEEN" = "#FF0000" ]
}
check "the drop-down's Red turns the background preview red" wait_for 60 preview_red
shot "$WORK/red.png"
check "the red preview is 229 x 173" equals "$(colour_area "$WORK/red.png" '#FF0000')" 229x173
xdotool mousemove $((X + 26)) $((Y + 96)) click 1
solid_colours=$(convert "$WORK/solid.png" -format '%k' info:)
preview_gradient() {
  preview_shot "$WORK/degraded.png" || return 1
  SEEN="$(convert "$WORK/degraded.png" -format '%k' info:) colours in the preview, $solid_colours before"
  [ "${SEEN%% *}" -gt "$solid_colours" ]
}
check "choosing Degraded redraws the background preview as a gradient" wait_for 60 preview_gradient

xdotool key Return
check "Enter closes the dialog" wait_for 30 closed
check "Enter saves settings" eval 'wine reg query "$key" /s >"$WORK/saved.txt" 2>&1'
saved() {  # NAME TYPE-AND-DATA-PATTERN [KEY]: one saved value, as `reg query` prints it
  local section=${3:-}
  if [ -n "$section" ]; then
    tr -d '\r' <"$WORK/saved.txt" | grep -A20 "$section\$" | grep -Eq "^ +$1 +$2" || return 1
  else
    grep -Eq "^ +$1 +$2" "$WORK/saved.txt" || return 1
  fi
}
every_value_a_string() {
  local value
  for value in Directory JokeFile Speed "Fade Mode" Change ChangeAfter Bitmap Type "Solid Color" "From Color" \
               "To Color" Tiled Face Size Color 3D Bold Italic; do
    saved "$value" REG_SZ || { SEEN="\"$value\" not saved as REG_SZ in: $(cat "$WORK/saved.txt")"; return 1; }
  done
}
check "Enter saves each value as a string (REG_SZ)" every_value_a_string
check "Enter saves every value" at_least "$(grep -c 'REG_SZ' "$WORK/saved.txt" || true)" 26
check "the chosen background type is saved" saved Type 'REG_SZ +1$' Background
check "the colour picked from the drop-down is saved" saved "Solid Color" 'REG_SZ +255$' Background
face_saved() { saved Face 'REG_SZ +Liberation Sans$' Question || { SEEN=$(cat "$WORK/saved.txt"); return 1; }; }
check "the font box holds the stored face" face_saved

# At 144 dpi everything scales by 1.5. Wine reads the DPI when it starts.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
wine reg add "$key\\Background" /v Type /t REG_SZ /d 0 /f >/dev/null
wine reg add "$key\\Background" /v "Solid Color" /t REG_SZ /d 8388608 /f >/dev/null  # navy
wineserver -k 2>/dev/null || true
wineserver -w
open_dialog "at 144 dpi /c opens the dialog"
check "at 144 dpi its client area is 801 x 432" equals "${WIDTH}x${HEIGHT}" 801x432
turn_pages "windows-dialog$SHOT_LANGUAGE-144dpi"
check "at 144 dpi the preview is 343 x 260" \
  equals "$(colour_area "$SHOTS/windows-dialog$SHOT_LANGUAGE-144dpi-2-background.png" '#000080')" 343x260
xdotool key Escape
check "at 144 dpi Escape closes the dialog" wait_for 30 closed

summary windows-dialog
