#!/usr/bin/env bash
# System test of QuipixSetup.exe under Wine, in a Wine of its own made afresh:
# a silent install puts every file and registry value in its place and makes Quipix the
# screen saver; the installed Quipix.scr /s shows a bundled joke on a real X server
# (Xvfb); the silent uninstall removes what was installed and nothing else. A second
# round installs with /NOSAVER into another folder over a saver the user chose, and
# uninstalls through the registered QuietUninstallString: the user's saver stays. The
# installer is a 32-bit program holding both builds: on 64-bit Windows the 64-bit
# saver goes to the native System32 (not SysWOW64), on 32-bit Windows (a 32-bit Wine)
# the 32-bit one to its System32. The uninstaller's copy of itself in the temporary
# folder goes at the next start of Windows (wineboot -r).
# Needs scripts/build-windows.sh to have run; QUIPIX_WIN_BUILD and QUIPIX_WIN32_BUILD
# override the build folders.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/system-test.sh
# Every round runs the installer, and nothing else can put the saver in place: a
# 32-bit program, which the 64-bit Wine hands to the 32-bit one.
host_runs_32bit || skip_stage "the installer QuipixSetup.exe is a 32-bit program, and $NO_32BIT_REASON"
wine32_installed || skip_stage "the installer QuipixSetup.exe is a 32-bit program, and $NO_WINE32_REASON"
[ -z "${QUIPIX_SKIP_WINDOWS:-}" ] || skip_stage "QUIPIX_SKIP_WINDOWS is set"
OUT="$(realpath -m "${QUIPIX_WIN_BUILD:-build-windows}")"
OUT32="$(realpath -m "${QUIPIX_WIN32_BUILD:-build-windows-i686}")"
SETUP="$OUT/QuipixSetup.exe"
[ -f "$SETUP" ] || { echo "installer.sh: build QuipixSetup.exe first (scripts/build-windows.sh)"; exit 1; }
system_test_begin installer Xvfb import convert
# Wine's desktop process, started by the first Wine program, keeps the display it
# found: all of them see the X server.
start_xvfb -screen 0 800x600x24
fresh_wine installer
C="$WINEPREFIX/drive_c"
SAVER="$C/windows/system32/Quipix.scr"
DATA="$C/Program Files/Quipix"
LINK="$C/ProgramData/Microsoft/Windows/Start Menu/Programs/Quipix Settings.lnk"
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quipix'
DESKTOP='HKCU\Control Panel\Desktop'
SETTINGS='HKCU\Software\Kelvara\Quipix'

# The loader of the prefix's architecture (wine-env.sh) hands the 32-bit installer to
# Wine's 32-bit side; reg and winepath run on the prefix's own side, so the registry
# and System32 are the ones that the saver of that architecture sees.
run() { wine "$@" >>"$WORK/wine.log" 2>&1 || true; wineserver -w; }
# value KEY NAME: the data of one registry value, nothing when it is absent.
value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v n="$2" 'tolower($1) == tolower(n) { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
has_value() { equals "$(value "$1" "$2")" "$3"; }
no_value() { equals "$(value "$1" "$2")" ""; }
has_key() { wine reg query "$1" >/dev/null 2>&1; }
no_key() { ! has_key "$1"; }
# The files of the Wine drive, less the temporary folders the uninstaller runs from.
files() { (cd "$C" && find . -type f | grep -viE '/temp/' | sort); }
same_data_files() {  # FOLDER: every help topic and joke file, as in the tree
  local f
  for f in help/*.html help/*/*.html jokes/*.txt jokes/*/*.txt; do cmp -s "$f" "$1/$f" || return 1; done
}
points_at_saver() {
  SEEN="SCRNSAVE.EXE=$(value "$DESKTOP" SCRNSAVE.EXE)"
  [ "$(wine winepath -u "$(value "$DESKTOP" SCRNSAVE.EXE)" 2>/dev/null)" -ef "$SAVER" ]
}

# --- silent install ---
files >"$WORK/before.txt"
run "$SETUP" /S
check "the 64-bit Quipix.scr is in the system folder" cmp -s "$OUT/Quipix.scr" "$SAVER"
check "and not in SysWOW64" test ! -e "$C/windows/syswow64/Quipix.scr"
check "the help topics and jokes are in Program Files\\Quipix" same_data_files "$DATA"
check "the uninstaller is beside them" test -f "$DATA/Uninstall.exe"
check "the Start menu has \"Quipix Settings\"" test -f "$LINK"
link_runs_settings() {  # the link's strings are UTF-16
  local text; text=$(tr -d '\0' <"$LINK")
  grep -qa 'system32\\Quipix.scr' <<<"$text" && grep -qa '/c' <<<"$text"
}
check "the shortcut runs Quipix.scr /c" link_runs_settings
while IFS='|' read -r name data; do
  check "Apps & features: $name" has_value "$UNINSTALL" "$name" "$data"
done <<'EOF'
DisplayName|Quipix
DisplayVersion|2.1
Publisher|Kelvara
DisplayIcon|C:\windows\system32\Quipix.scr,0
InstallLocation|C:\Program Files\Quipix
UninstallString|"C:\Program Files\Quipix\Uninstall.exe"
QuietUninstallString|"C:\Program Files\Quipix\Uninstall.exe" /S
NoModify|0x1
NoRepair|0x1
EOF
size_is_installed_size() {  # in KB, at least the saver and its data
  local kb; kb=$(( $(value "$UNINSTALL" EstimatedSize) ))
  local least=$(( ($(stat -c %s "$SAVER") + $(cat help/*.html help/*/*.html jokes/*.txt | wc -c)) / 1024 ))
  SEEN="$kb KB for $least KB of files"
  [ "$kb" -ge "$least" ] && [ "$kb" -le $((least * 2 + 64)) ]
}
check "Apps & features: EstimatedSize" size_is_installed_size
check "SCRNSAVE.EXE names the installed Quipix.scr" points_at_saver
check "ScreenSaveActive is 1" has_value "$DESKTOP" ScreenSaveActive 1

# --- the installed saver shows a bundled joke ---
wine "$SAVER" /s >"$WORK/saver.log" 2>&1 &
saver_pid=$!
track_pid "$saver_pid"
mkdir -p "$OUT/screenshots"
SHOT="$OUT/screenshots/installed-saver.png"
# The default background is plain black: every other colour is the joke's text, which
# comes and goes with the fades.
colours=0
shows_text() {
  import -window root "$SHOT" 2>/dev/null || return 1
  colours=$(convert "$SHOT" -format '%k' info:)
  [ "$colours" -ge 8 ]
}
wait_for 60 shows_text || true
check "the installed saver runs" kill -0 "$saver_pid"
check "the installed saver draws a joke ($colours colours)" test "$colours" -ge 8
wineserver -k || true
wineserver -w
bundled_joke_file() {  # named within the bundled folder, Directory being empty
  local file; file=$(value "$SETTINGS\\General" JokeFile)
  [ -n "$file" ] && [ -f "jokes/$file" ]
}
check "the joke comes from a bundled joke file" bundled_joke_file

# --- silent uninstall ---
echo "A joke of the user's own" >"$DATA/jokes/mine.txt"
run "$DATA/Uninstall.exe" /S
check "Quipix.scr is gone" test ! -e "$SAVER"
check "the Start menu entry is gone" test ! -e "$LINK"
check "the help topics are gone" test ! -e "$DATA/help"
check "the uninstaller is gone" test ! -e "$DATA/Uninstall.exe"
check "the user's own joke file stays" test -f "$DATA/jokes/mine.txt"
check "the Apps & features entry is gone" no_key "$UNINSTALL"
check "SCRNSAVE.EXE, which named Quipix, is gone" no_value "$DESKTOP" SCRNSAVE.EXE
check "ScreenSaveActive stays" has_value "$DESKTOP" ScreenSaveActive 1
check "the user's settings stay" has_key "$SETTINGS\\General"
# Besides the user's file, nothing: the installed saver read the installed jokes and
# wrote no copy of its own.
files | grep -vx './Program Files/Quipix/jokes/mine.txt' >"$WORK/after.txt"
check "no other file came or went" diff "$WORK/before.txt" "$WORK/after.txt"
# Windows cannot delete a running program: the copy is due to go at the next start.
# Wine can, and the copy goes at once.
nsis_copies() { find "$C" -ipath '*/temp/~nsu*' | grep -q .; }
no_nsis_copies() { ! nsis_copies; }
due_at_start() {
  wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
    2>/dev/null | grep -qi '~nsu'
}
if nsis_copies; then
  check "the uninstaller's copy in the temporary folder is due to go at the next start" due_at_start
  wineboot -r >/dev/null 2>&1 || true
  wineserver -w
fi
check "no copy of the uninstaller stays in the temporary folder" no_nsis_copies

# --- /NOSAVER into another folder, over the user's own saver ---
rm -rf "$DATA"
wine reg add "$DESKTOP" /v SCRNSAVE.EXE /t REG_SZ /d 'C:\windows\system32\other.scr' /f >/dev/null
wine reg add "$DESKTOP" /v ScreenSaveActive /t REG_SZ /d 0 /f >/dev/null
run "$SETUP" /S /NOSAVER '/D=C:\QuipixData'
check "/D= puts the data where it says" same_data_files "$C/QuipixData"
check "InstallLocation follows /D=" has_value "$UNINSTALL" InstallLocation 'C:\QuipixData'
check "/NOSAVER leaves SCRNSAVE.EXE alone" has_value "$DESKTOP" SCRNSAVE.EXE 'C:\windows\system32\other.scr'
check "/NOSAVER leaves ScreenSaveActive alone" has_value "$DESKTOP" ScreenSaveActive 0
quiet=$(value "$UNINSTALL" QuietUninstallString)
uninstaller=${quiet#\"}
uninstaller=${uninstaller%%\"*}
run "$uninstaller" ${quiet##*\"}
check "QuietUninstallString removes the other folder" test ! -e "$C/QuipixData"
check "QuietUninstallString removes Quipix.scr" test ! -e "$SAVER"
check "the user's saver stays the screen saver" has_value "$DESKTOP" SCRNSAVE.EXE 'C:\windows\system32\other.scr'

# --- 32-bit Windows: the 32-bit saver into its System32 ---
wineserver -k 2>/dev/null || true
wineserver -w
export QUIPIX_WINE_ARCH=win32
fresh_wine installer32
C="$WINEPREFIX/drive_c"
SAVER="$C/windows/system32/Quipix.scr"
run "$SETUP" /S /NOSAVER
check "32-bit Windows: the 32-bit Quipix.scr is in the system folder" cmp -s "$OUT32/Quipix.scr" "$SAVER"
check "32-bit Windows: the data folder is registered" has_value "$UNINSTALL" InstallLocation 'C:\Program Files\Quipix'
run "$C/Program Files/Quipix/Uninstall.exe" /S
check "32-bit Windows: the uninstaller removes Quipix.scr" test ! -e "$SAVER"
check "32-bit Windows: and the data folder" test ! -e "$C/Program Files/Quipix"

summary installer
