#!/usr/bin/env bash
# Installs the build into a scratch prefix and runs the installed program from
# there: every installed file is in place (the help topics and manual pages in every
# language too), --help and --version answer, and a recording plays a joke from the
# prefix's own joke folder (no display needed).
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${BUILD_DIR:-build}
. scripts/lib/system-test.sh
[ -f "$BUILD/cmake_install.cmake" ] || { echo "install.sh: configure and build $BUILD first"; exit 1; }
system_test_begin install cmake identify
PREFIX="$WORK/prefix"

cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" 2>&1 ||
  { cat "$WORK/install.log"; fail "cmake --install"; }
for f in bin/quipix bin/quipix-picture share/applications/quipix.desktop \
  share/icons/hicolor/scalable/apps/quipix.svg share/man/man6/quipix.6 share/man/man1/quipix-picture.1 \
  share/xscreensaver/config/quipix.xml share/quipix/help; do
  check "installs $f" test -e "$PREFIX/$f"
done
check "installs the help topics of every language" diff -r help "$PREFIX/share/quipix/help"
# The manual pages of every language of po/man/, each whole: a catalogue that lacks a
# paragraph of the English pages (or has it fuzzy) would leave it English.
man_pages_translated() {
  local po language
  for po in po/man/*.po; do
    language=$(basename "$po" .po)
    [ -s "$PREFIX/share/man/$language/man6/quipix.6" ] && [ -s "$PREFIX/share/man/$language/man1/quipix-picture.1" ] ||
      { SEEN="no $language pages"; return 1; }
  done
}
check "installs the manual pages of every language" man_pages_translated
man_catalogues_complete() {
  mkdir -p "$WORK/po4a"
  po4a --no-update --keep 100 --destdir "$WORK/po4a" po/man/po4a.cfg >"$WORK/po4a.log" 2>&1 || return 1
  SEEN=$(grep -i discard "$WORK/po4a.log")
  [ -z "$SEEN" ]
}
check "every manual page catalogue translates every paragraph" man_catalogues_complete
german_page_renders() {  # as man shows it, without a warning from groff
  local text
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$PREFIX/share/man/de/man6/quipix.6" 2>"$WORK/man.log") &&
    [ ! -s "$WORK/man.log" ] && grep -q '^BESCHREIBUNG' <<<"$text" || { SEEN=$(head -3 "$WORK/man.log"); return 1; }
}
check "the German manual page renders" german_page_renders
jokes_installed() { compgen -G "$PREFIX/share/quipix/jokes/*.txt" >/dev/null; }
check "installs the bundled jokes" jokes_installed
check "the menu entry opens the settings dialog" grep -qx 'Exec=quipix' "$PREFIX/share/applications/quipix.desktop"
check "the module description runs quipix --root" grep -q '<command arg="--root"/>' \
  "$PREFIX/share/xscreensaver/config/quipix.xml"

QUIPIX="$PREFIX/bin/quipix"
check "--version prints the version" \
  equals "$("$QUIPIX" --version)" "Quipix $(sed -n 's/^project(Quipix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
help_lists_options() {
  local text
  text=$("$QUIPIX" --help) || return 1
  for word in /s /c "/p WINDOW" --root --window-id --record; do
    grep -qF -- "$word" <<<"$text" || return 1
  done
}
check "--help lists the protocol and the options" help_lists_options

# The prefix's joke folder holds one file that no other folder has; a first run with
# no settings picks a bundled file at random and stores its name.
JOKES="$PREFIX/share/quipix/jokes"
all=$(find "$JOKES" -name '*.txt' | sort)
first=${all%%$'\n'*}
mv "$first" "$WORK/only-installed.txt"
rm -f "$JOKES"/*.txt
mv "$WORK/only-installed.txt" "$JOKES/only-installed.txt"
export XDG_CONFIG_HOME="$WORK/config"
(cd "$WORK" && env -u DISPLAY "$QUIPIX" --record "$WORK/joke.gif" --size 160x90 --every 10) \
  >"$WORK/record.log" 2>&1 || { echo "the recording failed:"; cat "$WORK/record.log"; }
recorded() { [ -s "$WORK/joke.gif" ] && identify "$WORK/joke.gif[0]" | grep -q 'GIF 160x90'; }
check "the installed program records a joke" recorded
check "the joke comes from the prefix's joke folder" \
  grep -q '"JokeFile"="only-installed.txt"' "$XDG_CONFIG_HOME/Kelvara/Quipix.reg"

summary install
