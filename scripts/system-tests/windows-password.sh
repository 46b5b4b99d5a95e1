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
if [ -n "${QUIPIX_SKIP_WINDOWS:-}" ]; then echo "windows-password.sh: Windows skipped"; exit 0; fi
OUT="$(realpath -m "${QUIPIX_WIN32_BUILD:-build-windows-i686}")"
SCR="$OUT/Quipix.scr"
HOOKS="$OUT/quipix-test-password.dll"
PARENT_EXE="$OUT/quipix-test-window.exe"
SAVER_TITLE="Full Screen - Screen Saver Window "
for f in "$SCR" "$HOOKS" "$PARENT_EXE"; do
  [ -f "$f" ] || { echo "windows-password.sh: build the 32-bit program first (scripts/build-windows.sh)"; exit 1; }
done

WORK="$(mktemp -d)"
. scripts/lib/system-test.sh
XVFB_PID=""
saver_pid=""
parent_pid=""
SYSTEM=""
cleanup() {
  for p in "$saver_pid" "$parent_pid"; do [ -n "$p" ] && kill "$p" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  # Wine's own MPR.DLL back in its place.
  [ -f "$WORK/mpr.dll" ] && cp "$WORK/mpr.dll" "$SYSTEM/mpr.dll"
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
start_xvfb -screen 0 800x600x24

# A 32-bit Wine of this test's own: its system folder gets our libraries.
export QUIPIX_WINE_ARCH=win32
export WINEPREFIX="$OUT/wineprefix-password"
rm -rf "$WINEPREFIX"
. scripts/lib/wine-env.sh
SYSTEM="$WINEPREFIX/drive_c/windows/system32"
LOG="$WINEPREFIX/drive_c/quipix-password.log"
cp "$SYSTEM/mpr.dll" "$WORK/mpr.dll"
cp "$HOOKS" "$SYSTEM/PASSWORD.CPL"
cp "$HOOKS" "$SYSTEM/mpr.dll"
# Wine's programs keep its built-in MPR.DLL; the saver is told to take the one on disk.
wine reg add 'HKCU\Software\Wine\AppDefaults\Quipix.scr\DllOverrides' /v mpr /t REG_SZ /d native /f >/dev/null
wine reg add 'HKCU\Control Panel\Desktop' /v ScreenSaveUsePassword /t REG_DWORD /d 1 /f >/dev/null
wine reg add 'HKCU\Software\Wine\AppDefaults\quipix-test-window.exe\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null

alive() { kill -0 "$saver_pid" 2>/dev/null; }
ended() { ! alive; }
calls() { [ -f "$LOG" ] && grep -c "^$1" "$LOG" || echo 0; }
start_saver() {
  xdotool mousemove 400 300
  wine "$SCR" /s >"$WORK/saver.log" 2>&1 &
  saver_pid=$!
  wait_for 30 xdotool search --name "^$SAVER_TITLE\$" >/dev/null 2>&1 || { echo "FAIL: no saver window"; exit 1; }
  sleep 2
}
move() { xdotool mousemove_relative 3 0; sleep 0.4; }
version() { wine reg add 'HKCU\Software\Wine\AppDefaults\Quipix.scr' /v Version /t REG_SZ /d "$1" /f >/dev/null; }

# --- Windows 98 ---
version win98
start_saver
xdotool key x
wait_for 10 test "$(calls VerifyScreenSavePwd)" -ge 1 || true
check "a key asks for the password" test "$(calls VerifyScreenSavePwd)" -eq 1
check "the password dialog's owner is the saver window" grep -q '^VerifyScreenSavePwd [0-9]* window refused$' "$LOG"
sleep 1
check "a refused password keeps the saver" alive
for _ in 1 2 3 4 5 6; do move; done
sleep 0.5
check "six mouse moves after the refusal leave it running" alive
check "... and ask nothing" test "$(calls VerifyScreenSavePwd)" -eq 1
move
wait_for 10 ended || true
check "the seventh asks again" test "$(calls VerifyScreenSavePwd)" -eq 2
check "the accepted password closes the saver" ended
check "... which accepted it" grep -q '^VerifyScreenSavePwd [0-9]* window accepted$' "$LOG"

# --- /a: the password change goes to MPR.DLL ---
wine "$PARENT_EXE" 10 20 20 200 150 >"$WORK/parent.log" 2>&1 &
parent_pid=$!
wait_for 30 test -s "$WORK/parent.log" || true
hwnd=$(head -n1 "$WORK/parent.log" | tr -d '\r')
wine "$SCR" /a "$hwnd" >"$WORK/change.log" 2>&1 &
saver_pid=$!
wait_for 30 ended || true
check "/a ends" ended
check "/a calls PwdChangePasswordA(\"SCRSAVE\", $hwnd, 0, 0)" grep -qx "PwdChangePasswordA SCRSAVE $hwnd 0 0" "$LOG"
kill "$parent_pid" 2>/dev/null || true
parent_pid=""

# --- an NT version: nothing is asked ---
wineserver -k 2>/dev/null || true
wineserver -w
version win10
before=$(calls VerifyScreenSavePwd)
start_saver
xdotool key x
wait_for 10 ended || true
check "on Windows 10 a key closes the saver" ended
check "... and PASSWORD.CPL is never called" test "$(calls VerifyScreenSavePwd)" -eq "$before"
saver_pid=""

summary windows-password
