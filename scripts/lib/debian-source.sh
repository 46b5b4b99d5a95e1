# Debian source packages through a private apt state (sourced, or run as
#   bash debian-source.sh STATE-DIR SOURCE-DIR SOURCE-PACKAGE [BINARY-PACKAGE]
# ). fetch_source SRC BIN unpacks the source package SRC into $source_dir, at the
# upstream release of the installed binary package BIN where the mirror has it; the
# machine's apt configuration is never touched: the sources list, lists and cache
# live in $source_apt_dir. A source already unpacked there is kept. Needs dpkg-dev
# (dpkg-source) and debian-archive-keyring; the caller sets both folders.
source_apt_updated=""

source_apt_opts() {
  local d=$source_apt_dir
  printf '%s\n' -o "Dir::Etc::SourceList=$d/sources.list" -o Dir::Etc::SourceParts=/dev/null \
    -o "Dir::State::Lists=$d/lists" -o "Dir::Cache=$d" \
    -o "Dir::Etc::Preferences=$d/preferences" -o "Dir::Etc::PreferencesParts=$d/preferences.d" \
    -o Debug::NoLocking=1 -o APT::Sandbox::User=root -qq
}

fetch_source() {  # source package, binary package whose installed version to match
  local src=$1 bin=${2:-} want dir opts
  dir=$(ls -d "$source_dir/$src"-*/ 2>/dev/null | head -n1 || true)
  [ -n "$dir" ] && return 0
  mkdir -p "$source_apt_dir/lists/partial" "$source_apt_dir/archives/partial" \
    "$source_apt_dir/preferences.d" "$source_dir"
  mapfile -t opts < <(source_apt_opts)
  if [ -z "$source_apt_updated" ]; then
    local mirror keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    : > "$source_apt_dir/sources.list"
    for mirror in "debian bookworm" "debian bookworm-updates" "debian-security bookworm-security"; do
      set -- $mirror
      echo "deb-src [signed-by=$keyring] http://deb.debian.org/$1 $2 main" >> "$source_apt_dir/sources.list"
    done
    apt-get "${opts[@]}" update
    source_apt_updated=1
  fi
  # The version of the installed binary package; the mirror may only hold later
  # revisions of the same upstream release (security fixes), which do as well.
  want=""
  [ -z "$bin" ] || want=$(dpkg-query -W -f='${Version}' "$bin" 2>/dev/null || true)
  local versions=("$want")
  mapfile -t -O 1 versions < <(apt-cache "${opts[@]}" showsrc "$src" | sed -n 's/^Version: //p' | sort -rV)
  for v in "${versions[@]}"; do
    [ -n "$v" ] || continue
    [ -z "$want" ] || [ "${v%%-*}" = "${want%%-*}" ] || continue
    (cd "$source_dir" && apt-get "${opts[@]}" source "$src=$v" >/dev/null 2>&1) && {
      echo "Fetched the source of $src $v"
      return 0
    }
  done
  echo "cannot fetch the source of $src" >&2
  return 1
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  source_apt_dir=$1 source_dir=$2
  shift 2
  fetch_source "$@"
fi
