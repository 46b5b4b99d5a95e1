#!/usr/bin/env bash
# System test of the Windows 95/98 screen-saver password under a 32-bit Wine on Xvfb,
# with the 32-bit Quipix.scr (only a 32-bit Windows can be 95/98). PASSWORD.CPL and
# MPR.DLL are our own stand-ins (quipix-test-password.dll), which log every call:
# with "ScreenSaveUsePassword" on and Wine reporting Windows 98, a key asks for the
# password over the saver; the refusal keeps it running, and six mouse moves after it
# leave it so while the seventh asks again, and the acceptance closes it. Reporting
# an NT version, the same key closes the saver and nothing is asked. /a <window> hands
# "SCRSAVE", that window and two zeros to MPR.DLL's PwdChangePasswordA.
# Needs scripts/build-windows.sh to have run; QUIPIX_WIN32_BUILD overrides the build
# folder of the 32-bit program.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/system-test.sh
# A 32-bit Wine, which needs a host that executes 32-bit programs.
require_wine32
[ -z "${QUIPIX_SKIP_WINDOWS:-}" ] || skip_stage "QUIPIX_SKIP_WINDOWS is set"
OUT="$(realpath -m "${QUIPIX_WIN32_BUILD:-build-windows-i686}")"
SCR="$OUT/Quipix.scr"
HOOKS="$OUT/quipix-test-password.dll"
PARENT_EXE="$OUT/quipix-test-window.exe"
SAVER_TITLE="Full Screen - Screen Saver Window "
for f in "$SCR" "$HOOKS" "$PARENT_EXE"; do
  [ -f "$f" ] || { echo "windows-password.sh: build the 32-bit program first (scripts/build-windows.sh)"; exit 1; }
done
# ss tells whether the saver has read its input.
. scripts/lib/apt.sh
install_packages iproute2
system_test_begin windows-password Xvfb xdotool import ss
start_xvfb -screen 0 800x600x24

# A 32-bit Wine of this test's own: its system folder gets our libraries.
export QUIPIX_WINE_ARCH=win32
fresh_wine password
SYSTEM="$WINEPREFIX/drive_c/windows/system32"
LOG="$WINEPREFIX/drive_c/quipix-password.log"
cp "$SYSTEM/mpr.dll" "$WORK/mpr.dll"
# Wine's own MPR.DLL back in its place.
at_exit 'cp "$WORK/mpr.dll" "$SYSTEM/mpr.dll"'
cp "$HOOKS" "$SYSTEM/PASSWORD.CPL"
cp "$HOOKS" "$SYSTEM/mpr.dll"
# Wine's programs keep its built-in MPR.DLL; the saver is told to take the one on disk.
wine reg add 'HKCU\Software\Wine\AppDefaults\Quipix.scr\DllOverrides' /v mpr /t REG_SZ /d native /f >/dev/null
wine reg add 'HKCU\Control Panel\Desktop' /v ScreenSaveUsePassword /t REG_DWORD /d 1 /f >/dev/null
wine reg add 'HKCU\Software\Wine\AppDefaults\quipix-test-window.exe\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null

alive() { kill -0 "$saver_pid" 2>/dev/null; }
ended() { ! alive; }
# calls NAME: how many calls of NAME the stand-ins logged.
calls() {
  local n
  n=$(grep -c "^$1" "$LOG" 2>/dev/null) || true
  echo "${n:-0}"
}
calls_at_least() { SEEN="$(calls "$1") calls"; [ "${SEEN%% *}" -ge "$2" ]; }
saver_shown() { xdotool search --onlyvisible --name "^$SAVER_TITLE\$" >/dev/null 2>&1; }
# start_saver WHAT: /s, once its window shows and it draws (its message loop runs:
# keys and moves reach it).
start_saver() {
  xdotool mousemove 400 300
  wine "$SCR" /s >"$WORK/saver.log" 2>&1 &
  saver_pid=$!
  track_pid "$saver_pid"
  need "$1" wait_for 60 saver_shown
  goes_on_drawing 60 x_screen || echo "note: the saver did not draw$(_quipix_seen)"
}
# move: a pointer move, once the server has made it and the saver has read it; Wine
# merges a move with the next when both wait unread.
move() {
  move_pointer 3 0
  took_input "$saver_pid"
}
# goes_on: the saver still runs and draws, which it would not once it had decided to
# close (its timers stop): the input before was taken and changed nothing.
goes_on() { goes_on_drawing 60 x_screen && alive; }
version() { wine reg add 'HKCU\Software\Wine\AppDefaults\Quipix.scr' /v Version /t REG_SZ /d "$1" /f >/dev/null; }

# --- Windows 98 ---
version win98
start_saver "Windows 98: the saver window shows"
xdotool key x
settle 30 "a password question" calls_at_least VerifyScreenSavePwd 1
check "a key asks for the password" equals "$(calls VerifyScreenSavePwd)" 1
check "the password dialog's owner is the saver window" grep -q '^VerifyScreenSavePwd [0-9]* window refused$' "$LOG"
check "a refused password keeps the saver" goes_on
for _ in 1 2 3 4 5 6; do move; done
check "six mouse moves after the refusal leave it running" goes_on
check "... and ask nothing" equals "$(calls VerifyScreenSavePwd)" 1
xdotool mousemove_relative 3 0
check "the seventh asks again" wait_for 30 calls_at_least VerifyScreenSavePwd 2
check "... once" equals "$(calls VerifyScreenSavePwd)" 2
check "the accepted password closes the saver" wait_for 30 ended
check "... which accepted it" grep -q '^VerifyScreenSavePwd [0-9]* window accepted$' "$LOG"

# --- /a: the password change goes to MPR.DLL ---
wine "$PARENT_EXE" 60 20 20 200 150 >"$WORK/parent.log" 2>&1 &
parent_pid=$!
track_pid "$parent_pid"
need "the test window gives its handle" wait_for 60 test -s "$WORK/parent.log"
hwnd=$(head -n1 "$WORK/parent.log" | tr -d '\r')
wine "$SCR" /a "$hwnd" >"$WORK/change.log" 2>&1 &
saver_pid=$!
track_pid "$saver_pid"
check "/a ends" wait_for 60 ended
check "/a calls PwdChangePasswordA(\"SCRSAVE\", $hwnd, 0, 0)" grep -qx "PwdChangePasswordA SCRSAVE $hwnd 0 0" "$LOG"
stop "$parent_pid"

# --- an NT version: nothing is asked ---
wineserver -k 2>/dev/null || true
wineserver -w
version win10
before=$(calls VerifyScreenSavePwd)
start_saver "Windows 10: the saver window shows"
xdotool key x
check "on Windows 10 a key closes the saver" wait_for 30 ended
check "... and PASSWORD.CPL is never called" equals "$(calls VerifyScreenSavePwd)" "$before"

summary windows-password
