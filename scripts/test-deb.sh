#!/usr/bin/env bash
# Tests the Debian package that build-deb.sh made (the .deb given, or the one in
# build-deb/): lintian finds nothing to warn about; installed on this machine, its
# AppStream and desktop files validate, quipix from /usr/bin and from xscreensaver's
# module folder finds the bundled jokes, Debian's xscreensaver runs the module and it
# draws (system-tests/xscreensaver.sh on the installed program), the manual pages
# render; purged, it leaves no file behind in /usr or /etc and a user's settings as
# they were. Whatever the test installed is removed again, also when a check fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
deb=$(realpath "${1:-$(ls build-deb/quipix_*_amd64.deb 2>/dev/null | head -1)}")
[ -f "$deb" ] || { echo "test-deb.sh: no package; run scripts/build-deb.sh first"; exit 1; }
. scripts/lib/apt.sh
install_packages lintian appstream desktop-file-utils man-db xscreensaver xvfb imagemagick x11-utils \
  xdotool procps
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
apt_get() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@"; }

. scripts/lib/system-test.sh
system_test_begin package
added=()  # the packages this test installed, for the clean-up
purge_added() {
  local installed=() p
  for p in ${added[@]+"${added[@]}"}; do
    # Installed, or left half-installed by a failed step.
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -qv 'not-installed$' && installed+=("$p")
  done
  [ ${#installed[@]} -eq 0 ] || apt_get purge "${installed[@]}" >"$WORK/cleanup.log" 2>&1 ||
    { echo "test-deb.sh: could not purge ${installed[*]}"; cat "$WORK/cleanup.log"; }
}
at_exit purge_added

version=$(dpkg-deb -f "$deb" Version)

# --- the package itself -----------------------------------------------------------
lint() {
  lintian --fail-on error,warning --info --display-info --pedantic "$deb" >"$WORK/lintian.log" 2>&1
}
lint_status=0
lint || lint_status=$?
sed 's/^/  lintian: /' "$WORK/lintian.log"
check "lintian reports no error or warning" equals "$lint_status" 0

# --- installed ----------------------------------------------------------------------
if dpkg-query -W -f='${Status}' quipix 2>/dev/null | grep -q 'install ok installed'; then
  echo "test-deb.sh: quipix is installed on this machine already; purge it first"
  exit 1
fi
snapshot() { find /usr /etc -xdev -not -type d 2>/dev/null | sort; }
snapshot >"$WORK/files-before"
dpkg-query -W -f='${Package}\n' | sort >"$WORK/packages-before"
added=(quipix)
apt_get install --no-install-recommends "$deb" >"$WORK/install.log" 2>&1 ||
  { echo "FAIL: apt-get install"; cat "$WORK/install.log"; exit 1; }
dpkg-query -W -f='${Package}\n' | sort >"$WORK/packages-after"
mapfile -t -O 1 added < <(comm -13 "$WORK/packages-before" "$WORK/packages-after" | { grep -vx quipix || true; })
[ ${#added[@]} -eq 1 ] || echo "  installing quipix also installed: ${added[*]:1}"
snapshot >"$WORK/files-installed"

for f in /usr/bin/quipix /usr/bin/quipix-picture /usr/share/quipix/help/1000.html /usr/share/quipix/help/de/1000.html \
  /usr/share/applications/quipix.desktop /usr/share/icons/hicolor/scalable/apps/quipix.svg \
  /usr/share/xscreensaver/config/quipix.xml /usr/share/applications/screensavers/quipix.desktop \
  /usr/share/metainfo/example.kelvara.quipix.metainfo.xml \
  /usr/share/man/man6/quipix.6.gz /usr/share/man/man1/quipix-picture.1.gz /usr/share/man/de/man6/quipix.6.gz; do
  check "installs $f" test -f "$f"
done
check "xscreensaver's module is the program" equals "$(readlink -f /usr/libexec/xscreensaver/quipix)" /usr/bin/quipix
check "--version prints the package's version" equals "$(/usr/bin/quipix --version)" "Quipix $version"

validate_metainfo() {
  appstreamcli validate --no-net /usr/share/metainfo/example.kelvara.quipix.metainfo.xml >"$WORK/appstream.log" 2>&1 ||
    { cat "$WORK/appstream.log"; return 1; }
}
check "appstreamcli validates the AppStream metadata" validate_metainfo
validate_desktop() {  # hints pass, as for Debian's own screen savers; warnings fail
  desktop-file-validate "$1" >"$WORK/desktop.log" 2>&1 && ! grep -Eq 'error:|warning:' "$WORK/desktop.log" ||
    { cat "$WORK/desktop.log"; return 1; }
}
check "the menu entry validates" validate_desktop /usr/share/applications/quipix.desktop
check "the screen saver entry validates" validate_desktop /usr/share/applications/screensavers/quipix.desktop

# A first run in an empty home picks one of the bundled joke files and stores its
# name. The program falls back to the tree it was built from when it finds no data
# beside itself; build-deb.sh removes that tree, so a found joke file is the
# installed one.
jokes_found() {  # PROGRAM HOME
  local home=$2 file
  mkdir -p "$home"
  (cd "$home" && env -u DISPLAY -u XDG_CONFIG_HOME HOME="$home" "$1" --record "$home/joke.gif" \
    --size 160x90 --every 10) >"$home/record.log" 2>&1 || { cat "$home/record.log"; return 1; }
  [ -s "$home/joke.gif" ] || return 1
  file=$(sed -n 's/^"JokeFile"="\(.*\)"\r\{0,1\}$/\1/p' "$home/.config/Kelvara/Quipix.reg")
  [ -n "$file" ] && [ -f "/usr/share/quipix/jokes/$file" ]
}
check "the program's build tree is gone" test ! -e "$root/build-deb/src"
check "quipix --record from /usr/bin plays a bundled joke" jokes_found /usr/bin/quipix "$WORK/home"
check "the module in /usr/libexec/xscreensaver finds them too" \
  jokes_found /usr/libexec/xscreensaver/quipix "$WORK/module-home"

man_renders() {  # PAGE TEXT: the page renders without a complaint and says TEXT
  MANWIDTH=80 man --warnings -P cat "$1" >"$WORK/man.out" 2>"$WORK/man.err" || return 1
  [ ! -s "$WORK/man.err" ] || { cat "$WORK/man.err"; return 1; }
  grep -qF -- "$2" "$WORK/man.out"
}
check "man quipix renders" man_renders quipix "quipix - a screen saver that tells jokes"
check "man quipix-picture renders" man_renders quipix-picture "quipix-picture info file"

# Every wait of that test polls for what it waits for, with deadlines that a loaded
# machine meets too.
echo "  -- xscreensaver with the installed module"
xscreensaver_status=0
QUIPIX_PROGRAM=/usr/libexec/xscreensaver/quipix bash scripts/system-tests/xscreensaver.sh |
  sed 's/^/  /' || xscreensaver_status=$?
check "xscreensaver runs /usr/libexec/xscreensaver/quipix and it draws" equals "$xscreensaver_status" 0

# --- purged -------------------------------------------------------------------------
settings=$WORK/home/.config/Kelvara/Quipix.reg
settings_sum=$(sha256sum "$settings")
apt_get purge "${added[@]}" >"$WORK/purge.log" 2>&1 || { echo "FAIL: apt-get purge"; cat "$WORK/purge.log"; }
snapshot >"$WORK/files-after"
purged() {
  local status
  status=$(dpkg-query -W -f='${Status}' quipix 2>/dev/null || true)
  [ -z "$status" ] || [[ $status == *not-installed ]]
}
check "apt-get purge removes the package" purged
# Every file that came with the package, or that its installation made, is gone.
comm -13 "$WORK/files-before" "$WORK/files-installed" | comm -12 - "$WORK/files-after" >"$WORK/left"
nothing_left() { [ ! -s "$WORK/left" ] || { sed 's/^/  left behind: /' "$WORK/left"; return 1; }; }
check "purging leaves no file in /usr or /etc" nothing_left
check "purging leaves the user's settings as they were" test "$(sha256sum "$settings")" = "$settings_sum"

summary package
