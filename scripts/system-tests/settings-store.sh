#!/usr/bin/env bash
# System test of the settings file as users keep it, through the program itself:
# `quipix --record`, which needs no display, loads the settings and, on a first run
# (no joke file chosen yet), saves the bundled joke file it picks. A file that exists
# but cannot be read (another user's, mode 600, in the folder of the user who runs
# the program; one over 4 MiB) is left exactly as it was; a linked file is saved
# through its link, which stays a link; a file without write permission is not
# replaced; on a full disk (a small tmpfs) the file stays whole and no temporary file
# is left, and a recording that fails there says why and leaves neither a partial
# GIF nor any frame. Runs as root, as the CI does: it mounts the tmpfs and runs the
# program as nobody.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib/host.sh
. scripts/lib/system-test.sh
BUILD=${BUILD_DIR:-build}
QUIPIX=$(realpath -m "$BUILD/qt/quipix")
[ -x "$QUIPIX" ] || { echo "settings-store.sh: build $QUIPIX first"; exit 1; }
[ "$(id -u)" = 0 ] || skip_stage "needs root, to mount a small file system and to run the program as another user"

WORK=$(mktemp -d)
FULL="$WORK/full"
cleanup() {
  mountpoint -q "$FULL" 2>/dev/null && umount "$FULL"
  rm -rf "$WORK"
}
trap cleanup EXIT
chmod 755 "$WORK"

# A user's settings: Speed 7 and no joke file yet, so that every run below saves.
settings() {
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General]\n"Speed"="7"\n'
}
# home NAME OWNER: a fresh home of OWNER with an empty settings folder; prints the
# settings file's path.
home() {
  mkdir -p "$WORK/$1/config/Kelvara"
  chown -R "$2" "$WORK/$1"
  echo "$WORK/$1/config/Kelvara/Quipix.reg"
}
# record HOME USER [ARGS...]: one recording as USER with the settings under HOME;
# its messages in $WORK/said.
record() {
  local home=$1 user=$2
  shift 2
  local as=()
  [ "$user" = root ] || as=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups)
  (cd "$home" && "${as[@]}" env -u DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" \
    "$QUIPIX" --record "${@:-$home/joke.gif}" --size 64x48 --ticks 100) >"$WORK/said" 2>&1
}
# What identifies a file as it is: its bytes, owner, mode and inode.
identity() { echo "$(sha256sum <"$1") $(stat -c '%U %a %i' "$1")"; }
saved_joke_file() { grep -q '"JokeFile"="[^"]' "$1"; }
unchanged() { [ "$(identity "$1")" = "$2" ]; }

# The run saves: a file its user may read and write gets the joke file it picked and
# keeps the user's value.
file=$(home readable nobody)
settings >"$file"
chown nobody "$file"
record "$WORK/readable" nobody || true
check "a first run saves the joke file it picked" saved_joke_file "$file"
check "and keeps the user's values" grep -q '"Speed"="7"' "$file"

# left_alone NAME USER MODE PADDING CHECK: the settings, with PADDING bytes of
# comment after them, in a file of MODE in the home NAME, which a run as USER must
# leave exactly as it was.
left_alone() {
  local file before
  file=$(home "$1" "$2")
  { settings; head -c "$4" /dev/zero | tr '\0' ';'; echo; } >"$file"
  chmod "$3" "$file"
  before=$(identity "$file")
  record "$WORK/$1" "$2" || true
  check "$5" unchanged "$file" "$before"
}
# Another user's file in the folder of the user who runs the program.
left_alone others nobody 600 0 "a file its user cannot read is not replaced"
left_alone large root 644 5000000 "a file over 4 MiB is neither read nor written"
left_alone readonly root 444 0 "a file without write permission is not replaced, even by root"

# A link into a folder of dotfiles.
file=$(home linked root)
mkdir -p "$WORK/linked/dotfiles"
settings >"$WORK/linked/dotfiles/Quipix.reg"
ln -s ../../dotfiles/Quipix.reg "$file"
record "$WORK/linked" root || true
check "a linked file stays a link" test -L "$file"
check "and its target takes the save" saved_joke_file "$WORK/linked/dotfiles/Quipix.reg"
no_temporary() { [ -z "$(find "$1" -name '*.tmp')" ]; }
check "and no temporary file is left beside either" no_temporary "$WORK/linked"

# A full disk: the settings folder and the recordings on a tmpfs that a filler has
# taken to its last byte.
full_disk() {
  local file before status
  mkdir -p "$FULL/config/Kelvara"
  file="$FULL/config/Kelvara/Quipix.reg"
  settings >"$file"
  dd if=/dev/zero of="$FULL/filler" bs=4k 2>/dev/null || true
  before=$(identity "$file")
  record "$FULL" root "$WORK/elsewhere.gif" || true
  check "on a full disk the settings file stays whole" unchanged "$file" "$before"
  check "and no temporary file is left" no_temporary "$FULL"
  status=0
  record "$FULL" root "$FULL/joke.gif" || status=$?
  check "a recording on a full disk fails" test "$status" = 1
  check "and says where and why" said_why "$FULL/joke.gif"
  check "and leaves no partial GIF" test ! -e "$FULL/joke.gif"
  status=0
  record "$FULL" root "$FULL/frames" || status=$?
  check "a recording of frames on a full disk fails" test "$status" = 1
  check "and leaves no frames" test ! -e "$FULL/frames"
}
said_why() { grep -qx "quipix: Cannot write $1: No space left on device" "$WORK/said" || { cat "$WORK/said"; false; }; }
mkdir -p "$FULL"
if mount -t tmpfs -o size=64k tmpfs "$FULL"; then
  full_disk
else
  echo "SKIP: the full disk, as no tmpfs can be mounted here"
fi

summary settings-store
