#!/usr/bin/env bash
# System test of Quipix.scr under Wine on a real X server (Xvfb): /s shows the
# background and then a joke; five small mouse moves leave it running and the seventh
# ends it at the latest; a key ends it; /p draws into a small window of another program, leaves the
# rest of the screen alone and ends when that window is destroyed; /a ends at once;
# the settings the saver saved are strings in the registry. On a screen of 144 dpi the
# saver still covers every physical pixel and its text is half as large again as at
# 96 dpi. A Quipix.scr copied alone into the system folder, with the source tree out
# of Wine's sight, opens a help topic that exists in the user's own folder.
# Screenshots go to build-windows/screenshots/. Needs scripts/build-windows.sh to
# have run. QUIPIX_WIN_BUILD overrides the build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
OUT="$(realpath -m "${QUIPIX_WIN_BUILD:-build-windows}")"
SCR="$OUT/Quipix.scr"
PARENT_EXE="$OUT/quipix-test-window.exe"
SHOTS="$OUT/screenshots"
SAVER_TITLE="Full Screen - Screen Saver Window "
. scripts/lib/system-test.sh
[ -f "$SCR" ] && [ -f "$PARENT_EXE" ] || { echo "build Quipix.scr first (scripts/build-windows.sh)"; exit 1; }
# ss tells whether the saver has read its input.
. scripts/lib/apt.sh
install_packages iproute2
system_test_begin windows Xvfb xdotool import convert compare ss
mkdir -p "$SHOTS"
start_xvfb -screen 0 1024x768x24

fresh_wine system
key='HKCU\Software\Kelvara\Quipix'
# The gradient background has many colours; the joke file changes after every joke.
wine reg add "$key\\Background" /v Type /t REG_SZ /d 1 /f >/dev/null
wine reg add "$key\\General" /v Change /t REG_SZ /d 1 /f >/dev/null
wine reg add "$key\\General" /v ChangeAfter /t REG_SZ /d 1 /f >/dev/null

colours() { convert "$1" -format '%k' info:; }
root_shot() { import -window root "$1"; }
alive() { kill -0 "$saver_pid" 2>/dev/null; }
ended() { ! alive; }
# exit_code_0: the ended saver's exit code was 0.
exit_code_0() {
  local status=0
  wait "$saver_pid" || status=$?
  SEEN="exit code $status"
  [ "$status" = 0 ]
}

start_saver() {
  wine "$SCR" "$@" >"$WORK/saver.log" 2>&1 &
  saver_pid=$!
  track_pid "$saver_pid"
}
saver_shown() { xdotool search --onlyvisible --name "$SAVER_TITLE" >/dev/null 2>&1; }
# start_full_screen WHAT: /s, once its window is on the screen.
start_full_screen() {
  xdotool mousemove 500 400
  start_saver /s
  need "$1" wait_for 60 saver_shown
}

# --- the front end's own tests that need real windows, which CTest runs without a display ---
# Wine waits up to two seconds for a window manager to withdraw each managed window it
# destroys, and Xvfb has none: the test program's windows stay unmanaged.
wine reg add 'HKCU\Software\Wine\AppDefaults\test_win32.exe\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
unit_status=0
wine "$OUT/tests/test_win32.exe" --gtest_filter='WindowHandleArguments.*:PreviewWindow.*:Win32/SaverWindowContract/*' \
  >"$WORK/unit.log" 2>&1 || unit_status=$?
[ "$unit_status" = 0 ] && ! grep -q SKIPPED "$WORK/unit.log" || cat "$WORK/unit.log"
check "test_win32 passes on the display" equals "$unit_status" 0
check "test_win32 skips none of its tests on the display" eval '! grep -q SKIPPED "$WORK/unit.log"'
check "the saver window contract runs" grep -q 'OK \] Win32/SaverWindowContract/' "$WORK/unit.log"

# --- /s: the background, then a joke ---
start_full_screen "/s shows its window"
background_shown() {
  root_shot "$SHOTS/windows-background.png" || return 1
  local n
  n=$(colours "$SHOTS/windows-background.png")
  SEEN="$n colours"
  [ "$n" -ge 50 ]
}
check "the background shows (50 colours or more)" wait_for 60 background_shown
# The question slides up over the bare background.
joke_over_background() {
  root_shot "$WORK/now.png" || return 1
  local diff
  diff=$(convert "$SHOTS/windows-background.png" "$WORK/now.png" -compose difference -composite \
         -colorspace gray -threshold 0 -format '%[fx:int(mean*w*h)]' info:)
  SEEN="$diff pixels changed"
  [ "$diff" -gt 2000 ]
}
check "a joke appears over the background" wait_for 60 joke_over_background
# The picture of the joke, taken once it stands (the pause after the answer).
wait_still 60 "$SHOTS/windows-joke.png" root_shot || echo "note: the joke did not stand still$(_quipix_seen)"

# --- small mouse moves: five leave it running, the seventh ends it at the latest ---
# Wine merges a pointer move with the next when both wait unread: each move waits
# until the server has made it and the saver has read it. This Wine now and then hands
# the saver one move too many (the sixth move ending it, with exit code 0, in quiet
# runs too; the cause is not found), so the exact count, six tolerated and
# the seventh ending it, is checked by the front end's own tests through the messages
# Windows sends, and on X11, sway and KWin end to end. After the fifth the saver must
# go on drawing, which it would stop doing once it had decided to close.
for _ in 1 2 3 4 5; do
  move_pointer 3 0
  took_input "$saver_pid"
done
# tolerated SHOT: the saver goes on drawing and runs; else SEEN says whether it ended
# (its exit code is checked below) or stopped drawing.
tolerated() {
  goes_on_drawing 60 x_screen && alive && return 0
  local state=running
  alive || state=gone
  SEEN="$SEEN; the saver is $state; it said: $(tail -n 5 "$WORK/saver.log" | tr '\n' ' ')"
  root_shot "$SHOTS/$1.png" || true
  return 1
}
check "five mouse moves leave it running" tolerated windows-five-moves-failed
move_pointer 3 0
if tolerated windows-six-moves; then
  xdotool mousemove_relative 3 0
else
  echo "note: the sixth move ended it$(_quipix_seen)"
fi
check "the seventh mouse move ends it at the latest" wait_for 30 ended
check "it ends without an error" exit_code_0

# --- a key ends it ---
start_full_screen "/s shows its window again"
# Drawing, it is the window that takes the keys.
settle 60 "the saver's background" background_shown
xdotool key x
check "a key ends it" wait_for 30 ended

# --- /p inside another program's window, which goes after 20 seconds ---
# The picture before: taken once it stands, with the last saver's window gone.
wait_still 60 "$WORK/before-preview.png" root_shot || echo "note: the screen did not stand still$(_quipix_seen)"
wine "$PARENT_EXE" 20 40 40 320 240 >"$WORK/parent.log" 2>&1 &
parent_pid=$!
track_pid "$parent_pid"
need "the test window gives its handle" wait_for 60 test -s "$WORK/parent.log"
hwnd=$(head -n1 "$WORK/parent.log" | tr -d '\r')
start_saver /p "$hwnd"
# Until its parent goes the preview runs, and every picture of the screen taken
# meanwhile is the same as before outside the parent.
preview_ran=""
preview_ended=""
outside_changed=""
watch_preview() {
  if grep -q destroyed "$WORK/parent.log"; then return 0; fi
  alive || { preview_ended=1; return 0; }
  root_shot "$WORK/preview.png" || return 1
  grep -q destroyed "$WORK/parent.log" && return 0
  cp "$WORK/preview.png" "$SHOTS/windows-preview.png"
  preview_ran=1
  local crop a b
  for crop in 1024x300+0+400 600x768+424+0; do
    a=$(convert "$WORK/before-preview.png" -crop "$crop" +repage -format '%#' info:)
    b=$(convert "$WORK/preview.png" -crop "$crop" +repage -format '%#' info:)
    [ "$a" = "$b" ] || outside_changed="$crop"
  done
  return 1
}
wait_for 90 watch_preview || true
# A preview that ended before the loop saw its parent go must have ended with it: the
# test window says so right after destroying its window, not seconds later.
ran_while_parent_lived() {
  [ -n "$preview_ran" ] || { SEEN="it ended before a picture was taken"; return 1; }
  [ -z "$preview_ended" ] || wait_for 5 grep -q destroyed "$WORK/parent.log" ||
    { SEEN="it ended while its parent's window was there"; return 1; }
  grep -q destroyed "$WORK/parent.log" || { SEEN="its parent's window never went"; return 1; }
}
check "the preview runs while its parent lives" ran_while_parent_lived
check "the preview draws nothing outside its parent" equals "${outside_changed:-nothing changed}" "nothing changed"
if [ -n "$preview_ran" ]; then
  inside=$(convert "$SHOTS/windows-preview.png" -crop 320x240+40+40 +repage -format '%k' info:)
  if [ "$inside" -gt 1 ]; then
    echo "windows.sh: the preview shows $inside colours inside its parent"
  else
    # Wine 8 does not show a child window of another process; test_win32 checks the
    # preview's pixels inside a parent of its own process.
    echo "windows.sh: this Wine shows no child window of another process; its drawing is checked by test_win32"
  fi
fi
wait "$parent_pid" || true
check "the test window was destroyed" grep -q destroyed "$WORK/parent.log"
check "the preview ends with its parent" wait_for 30 ended

# --- /a ends at once (no password change on this system) ---
start_saver /a "$hwnd"
check "/a ends" wait_for 60 ended
check "/a ends without an error" exit_code_0

# --- the saved settings are strings ---
wine reg query "$key\\General" | tr -d '\r' >"$WORK/general.txt"
check "a joke file was saved" grep -q 'JokeFile *REG_SZ *[^ ]' "$WORK/general.txt"
only_strings() { ! grep -E 'REG_' "$WORK/general.txt" | grep -v 'REG_SZ' || { SEEN=$(cat "$WORK/general.txt"); return 1; }; }
check "every saved value is a string (REG_SZ)" only_strings

# --- 96 and 144 dpi: the same joke, drawn at the screen's DPI over the whole screen ---
wine reg add "$key\\General" /v Directory /t REG_SZ /d 'C:\dpi' /f >/dev/null
wine reg add "$key\\General" /v JokeFile /t REG_SZ /d one.txt /f >/dev/null
wine reg add "$key\\General" /v Change /t REG_SZ /d 0 /f >/dev/null
wine reg add "$key\\General" /v Pause /t REG_SZ /d 60 /f >/dev/null
wine reg add "$key\\Background" /v Type /t REG_SZ /d 0 /f >/dev/null
mkdir -p "$WINEPREFIX/drive_c/dpi"
printf '[Header]\r\nFormat=SINGLE\r\nDescription=Why?\r\n\r\n[Data]\r\nBecause it is.\r\n' \
  >"$WINEPREFIX/drive_c/dpi/one.txt"
# A picture with text on the black background.
text_shot() { root_shot "$1" && [ "$(colours "$1")" -gt 1 ]; }
heights=()
for dpi in 96 144; do
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  wineserver -k 2>/dev/null || true  # the DPI is read when Wine starts
  wineserver -w
  start_full_screen "at $dpi dpi /s shows its window"
  geometry=$(xdotool getwindowgeometry "$(xdotool search --onlyvisible --name "$SAVER_TITLE" | head -n1)" |
    sed -n 's/ *Geometry: //p')
  check "at $dpi dpi the saver covers the screen's 1024x768 pixels" equals "$geometry" 1024x768
  # The height of the drawn text once the joke stands (its answer's pause of 60 s):
  # the same picture for five shots in a row, where a sliding text moves every tick.
  STILL_TIMES=5 check "at $dpi dpi the joke comes to a stand" wait_still 90 "$WORK/dpi.png" text_shot
  cp "$WORK/dpi.png" "$SHOTS/windows-dpi-$dpi.png"
  heights+=("$(convert "$WORK/dpi.png" -trim -format '%h' info:)")
  xdotool key x
  check "a key ends it at $dpi dpi" wait_for 30 ended
done
# 144 / 96 = 1.5, give or take the fonts' rounding.
half_as_large_again() {
  SEEN="${heights[0]} pixels high at 96 dpi and ${heights[1]} at 144"
  [ $((heights[1] * 100)) -ge $((heights[0] * 135)) ] && [ $((heights[1] * 100)) -le $((heights[0] * 165)) ]
}
check "the text at 144 dpi is half as high again as at 96 dpi" half_as_large_again
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null
wineserver -k 2>/dev/null || true
wineserver -w

# --- Help from a Quipix.scr copied alone into the system folder ---
# The shell opens a topic with a command that writes down what it was asked to open;
# Wine's drive Z: (the build machine's files, the source tree with them) goes.
C="$WINEPREFIX/drive_c"
cp "$SCR" "$C/windows/system32/Quipix.scr"
wine reg add 'HKLM\Software\Classes\.html' /ve /d htmlfile /f >/dev/null
wine reg add 'HKLM\Software\Classes\htmlfile\shell\open\command' /ve \
  /d 'C:\windows\system32\cmd.exe /c echo %1>C:\help-opened.txt' /f >/dev/null
wineserver -w
rm -f "$WINEPREFIX/dosdevices/z:"
tree_out_of_sight() {
  local d
  for d in "$WINEPREFIX"/dosdevices/*; do
    case "$PWD/" in "$(realpath -m "$d")/"*) SEEN="the tree through $(basename "$d")"; return 1 ;; esac
  done
}
need "Wine no longer sees the source tree" tree_out_of_sight
# Started by its Windows path as the Screen Saver Settings would, through the loader
# of the prefix's own architecture (a 32-bit one would look in SysWOW64).
(cd "$C" && wine 'C:\windows\system32\Quipix.scr' /c) >"$WORK/help.log" 2>&1 &
saver_pid=$!
track_pid "$saver_pid"
dialog_shown() {
  dialog=$(xdotool search --onlyvisible --name "^Kelvara Jokes Screen Saver Configuration\$" 2>/dev/null | head -n1)
  [ -n "$dialog" ]
}
need "the copied Quipix.scr opens its dialog" wait_for 60 dialog_shown
dialog_shot() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
}
# Its fonts listed and its previews drawn, the dialog stands still.
wait_still 60 "$WORK/dialog.png" dialog_shot || echo "note: the dialog did not stand still$(_quipix_seen)"
xdotool windowactivate --sync "$dialog" 2>/dev/null || xdotool windowfocus "$dialog"
has_focus() {
  local now
  now=$(xdotool getwindowfocus 2>/dev/null) || return 1
  SEEN="the focus on window $now, the dialog is $dialog"
  [ "$now" = "$dialog" ]
}
settle 60 "the keyboard focus on the dialog" has_focus
xdotool key F1
check "F1 opens a help topic" wait_for 60 test -s "$C/help-opened.txt"
opened=$(tr -d '\r"' <"$C/help-opened.txt" 2>/dev/null | sed 's/ *$//' || true)
in_users_folder() {
  SEEN="$opened"
  case "$opened" in
    'C:\users\'*'\AppData\Local\Kelvara\Quipix\help\'*.html) ;;
    *) return 1 ;;
  esac
}
check "the topic is in the user's own folder" in_users_folder
topic="$C/$(printf '%s' "${opened#C:\\}" | tr '\\' /)"
check "the topic F1 opened is the bundled one" cmp -s "help/${opened##*\\}" "$topic"
# The topic's command took the keyboard focus, which Wine does not give back to the
# dialog without a window manager: "Cancel" (88, 256, 75 x 25) is clicked instead.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + 125)) $((Y + 268)) click 1
check "Cancel closes the dialog" wait_for 30 ended

summary windows
