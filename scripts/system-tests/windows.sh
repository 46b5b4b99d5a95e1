#!/usr/bin/env bash
# System test of Quipix.scr under Wine on a real X server (Xvfb): /s shows the
# background and then a joke; six small mouse moves leave it running and the seventh
# ends it; a key ends it; /p draws into a small window of another program, leaves the
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
[ -f "$SCR" ] && [ -f "$PARENT_EXE" ] || { echo "build Quipix.scr first (scripts/build-windows.sh)"; exit 1; }
mkdir -p "$SHOTS"

work="$(mktemp -d)"
xvfb_pid=""
saver_pid=""
parent_pid=""
cleanup() {
  for p in "$saver_pid" "$parent_pid"; do [ -n "$p" ] && kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "windows.sh: $*"; exit 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
export DISPLAY=":$(head -n1 "$work/display")"

# A Wine of this run's own, so that the registry starts empty.
export WINEPREFIX="$OUT/wineprefix-system"
rm -rf "$WINEPREFIX"
. scripts/lib/wine-env.sh
key='HKCU\Software\Kelvara\Quipix'
# The gradient background has many colours; the joke file changes after every joke.
wine reg add "$key\\Background" /v Type /t REG_SZ /d 1 /f >/dev/null
wine reg add "$key\\General" /v Change /t REG_SZ /d 1 /f >/dev/null
wine reg add "$key\\General" /v ChangeAfter /t REG_SZ /d 1 /f >/dev/null

colours() { convert "$1" -format '%k' info:; }
alive() { kill -0 "$1" 2>/dev/null; }
# Waits up to $2 tenths of a second for process $1 to end.
ended_within() {
  for _ in $(seq "$2"); do alive "$1" || return 0; sleep 0.1; done
  ! alive "$1"
}

start_saver() {
  wine "$SCR" "$@" >"$work/saver.log" 2>&1 &
  saver_pid=$!
}
start_full_screen() {
  xdotool mousemove 500 400
  start_saver /s
  timeout 30 xdotool search --sync --name "$SAVER_TITLE" >/dev/null || fail "no saver window"
}

# --- the front end's own tests that need real windows, which CTest runs without a display ---
# Wine waits up to two seconds for a window manager to withdraw each managed window it
# destroys, and Xvfb has none: the test program's windows stay unmanaged.
wine reg add 'HKCU\Software\Wine\AppDefaults\test_win32.exe\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null
wine "$OUT/tests/test_win32.exe" --gtest_filter='WindowHandleArguments.*:PreviewWindow.*:Win32/SaverWindowContract/*' \
  >"$work/unit.log" 2>&1 ||
  { cat "$work/unit.log"; fail "test_win32 failed on the display"; }
grep -q SKIPPED "$work/unit.log" && { cat "$work/unit.log"; fail "test_win32 skipped tests on the display"; }
grep -q 'OK \] Win32/SaverWindowContract/' "$work/unit.log" ||
  { cat "$work/unit.log"; fail "the saver window contract did not run"; }

# --- /s: the background, then a joke ---
start_full_screen
sleep 3
import -window root "$SHOTS/windows-background.png"
n=$(colours "$SHOTS/windows-background.png")
[ "$n" -ge 50 ] || fail "the background shows $n colours"
joke=""
for _ in $(seq 40); do
  sleep 0.5
  import -window root "$work/now.png"
  # The question slides up over the bare background.
  diff=$(convert "$SHOTS/windows-background.png" "$work/now.png" -compose difference -composite \
         -colorspace gray -threshold 0 -format '%[fx:int(mean*w*h)]' info:)
  if [ "$diff" -gt 2000 ]; then joke=1; break; fi
done
[ -n "$joke" ] || fail "no joke appeared over the background"
sleep 2
import -window root "$SHOTS/windows-joke.png"

# --- six small mouse moves leave it running, the seventh ends it ---
for _ in 1 2 3 4 5 6; do xdotool mousemove_relative 3 0; sleep 0.5; done
sleep 1
alive "$saver_pid" || fail "six mouse moves ended the saver"
xdotool mousemove_relative 3 0
ended_within "$saver_pid" 50 || fail "the seventh mouse move did not end the saver"
wait "$saver_pid" || fail "the saver ended with an error"

# --- a key ends it ---
start_full_screen
sleep 2
xdotool key x
ended_within "$saver_pid" 50 || fail "a key did not end the saver"

# --- /p inside another program's window, which goes after 8 seconds ---
import -window root "$work/before-preview.png"
wine "$PARENT_EXE" 8 40 40 320 240 >"$work/parent.log" 2>&1 &
parent_pid=$!
for _ in $(seq 100); do [ -s "$work/parent.log" ] && break; sleep 0.1; done
hwnd=$(head -n1 "$work/parent.log" | tr -d '\r')
[ -n "$hwnd" ] || fail "the test window gave no handle"
start_saver /p "$hwnd"
sleep 4
alive "$saver_pid" || fail "the preview did not run"
import -window root "$SHOTS/windows-preview.png"
# Nothing outside the parent changes.
for crop in 1024x300+0+400 600x768+424+0; do
  a=$(convert "$work/before-preview.png" -crop "$crop" +repage -format '%#' info:)
  b=$(convert "$SHOTS/windows-preview.png" -crop "$crop" +repage -format '%#' info:)
  [ "$a" = "$b" ] || fail "the preview drew outside its parent ($crop)"
done
inside=$(convert "$SHOTS/windows-preview.png" -crop 320x240+40+40 +repage -format '%k' info:)
if [ "$inside" -gt 1 ]; then
  echo "windows.sh: the preview shows $inside colours inside its parent"
else
  # Wine 8 does not show a child window of another process on screen; test_win32
  # checks the preview's pixels inside a parent of its own process.
  echo "windows.sh: this Wine shows no child window of another process; its drawing is checked by test_win32"
fi
wait "$parent_pid" || true
parent_pid=""
grep -q destroyed "$work/parent.log" || fail "the test window was not destroyed"
ended_within "$saver_pid" 50 || fail "the preview outlived its parent"

# --- /a ends at once (no password change on this system) ---
start_saver /a "$hwnd"
ended_within "$saver_pid" 150 || fail "/a did not end"
wait "$saver_pid" || fail "/a ended with an error"
saver_pid=""

# --- the saved settings are strings ---
wine reg query "$key\\General" | tr -d '\r' >"$work/general.txt"
grep -q 'JokeFile *REG_SZ *[^ ]' "$work/general.txt" || { cat "$work/general.txt"; fail "no joke file was saved"; }
if grep -E 'REG_' "$work/general.txt" | grep -vq 'REG_SZ'; then
  cat "$work/general.txt"; fail "a saved value is not REG_SZ"
fi
# --- 96 and 144 dpi: the same joke, drawn at the screen's DPI over the whole screen ---
wine reg add "$key\\General" /v Directory /t REG_SZ /d 'C:\dpi' /f >/dev/null
wine reg add "$key\\General" /v JokeFile /t REG_SZ /d one.txt /f >/dev/null
wine reg add "$key\\General" /v Change /t REG_SZ /d 0 /f >/dev/null
wine reg add "$key\\General" /v Pause /t REG_SZ /d 60 /f >/dev/null
wine reg add "$key\\Background" /v Type /t REG_SZ /d 0 /f >/dev/null
mkdir -p "$WINEPREFIX/drive_c/dpi"
printf '[Header]\r\nFormat=SINGLE\r\nDescription=Why?\r\n\r\n[Data]\r\nBecause it is.\r\n' \
  >"$WINEPREFIX/drive_c/dpi/one.txt"
# Prints the height of the drawn text once the picture stands still (the answer's pause).
text_height() {
  local previous="" now
  for _ in $(seq 60); do
    sleep 0.5
    import -window root "$work/dpi.png"
    now=$(convert "$work/dpi.png" -format '%#' info:)
    if [ "$now" = "$previous" ] && [ "$(colours "$work/dpi.png")" -gt 1 ]; then
      convert "$work/dpi.png" -trim -format '%h' info:
      return 0
    fi
    previous=$now
  done
  return 1
}
heights=()
for dpi in 96 144; do
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  wineserver -k 2>/dev/null || true  # the DPI is read when Wine starts
  wineserver -w
  start_full_screen
  geometry=$(xdotool getwindowgeometry "$(xdotool search --name "$SAVER_TITLE" | head -n1)" | sed -n 's/ *Geometry: //p')
  [ "$geometry" = 1024x768 ] || fail "at $dpi dpi the saver covers $geometry, not the screen's 1024x768 pixels"
  h=$(text_height) || fail "at $dpi dpi the joke never stood still"
  cp "$work/dpi.png" "$SHOTS/windows-dpi-$dpi.png"
  heights+=("$h")
  xdotool key x
  ended_within "$saver_pid" 50 || fail "a key did not end the saver at $dpi dpi"
done
# 144 / 96 = 1.5, give or take the fonts' rounding.
[ $((heights[1] * 100)) -ge $((heights[0] * 135)) ] && [ $((heights[1] * 100)) -le $((heights[0] * 165)) ] ||
  fail "the text is ${heights[0]} pixels high at 96 dpi and ${heights[1]} at 144"
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
for d in "$WINEPREFIX"/dosdevices/*; do
  case "$PWD/" in "$(realpath -m "$d")/"*) fail "Wine still sees the source tree through $(basename "$d")" ;; esac
done
# Started by its Windows path as the Screen Saver Settings would, through Wine's 64-bit
# loader: the 32-bit one (Debian's wine with wine32 installed) would look in SysWOW64.
(cd "$C" && exec /usr/lib/wine/wine64 'C:\windows\system32\Quipix.scr' /c) >"$work/help.log" 2>&1 &
saver_pid=$!
dialog=$(timeout 30 xdotool search --sync --name "^Kelvara Jokes Screen Saver Configuration\$" | head -n1) ||
  { cat "$work/help.log"; fail "the copied Quipix.scr opened no dialog"; }
sleep 1.5
xdotool windowactivate --sync "$dialog" 2>/dev/null || xdotool windowfocus --sync "$dialog"
xdotool key F1
for _ in $(seq 100); do [ -s "$C/help-opened.txt" ] && break; sleep 0.1; done
[ -s "$C/help-opened.txt" ] || fail "F1 opened nothing"
opened=$(tr -d '\r"' <"$C/help-opened.txt" | sed 's/ *$//')
case "$opened" in
  'C:\users\'*'\AppData\Local\Kelvara\Quipix\help\'*.html) ;;
  *) fail "F1 opened \"$opened\", not a help topic in the user's folder" ;;
esac
topic="$C/$(printf '%s' "${opened#C:\\}" | tr '\\' /)"
cmp -s "help/${opened##*\\}" "$topic" || fail "the topic F1 opened ($opened) is not the bundled one"
# The topic's command took the keyboard focus, which Wine does not give back to the
# dialog without a window manager: "Cancel" (88, 256, 75 x 25) is clicked instead.
eval "$(xdotool getwindowgeometry --shell "$dialog")"
xdotool mousemove $((X + 125)) $((Y + 268)) click 1
ended_within "$saver_pid" 50 || fail "Cancel did not close the dialog"
saver_pid=""
echo "windows.sh: all checks passed"
