#!/usr/bin/env bash
# Builds the Debian package of Quipix into build-deb/ (quipix_<version>_amd64.deb and
# its debug symbols, quipix-dbgsym_<version>_amd64.deb) with dpkg-buildpackage on a
# copy of the source tree, so that the tree itself stays clean, then tests it with
# scripts/test-deb.sh (QUIPIX_DEB_NO_TEST=1 builds only). The package's version is the
# project version: the build stops when debian/changelog or the AppStream releases
# say otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/errtrap.sh
. scripts/lib/ccache.sh
root=$PWD
out=$root/build-deb
. scripts/lib/apt.sh

# The build dependencies as debian/control lists them (the first of alternatives,
# without versions; debhelper-compat is debhelper's), and what dpkg-buildpackage
# itself needs.
build_depends() {
  awk '/^Build-Depends:/ { on = 1; sub(/^Build-Depends:/, ""); print; next }
       on && /^[ \t]/ { print; next } { on = 0 }' debian/control |
    tr ',' '\n' | sed -e 's/|.*//' -e 's/[[(].*//' -e 's/[[:space:]]//g' -e 's/^debhelper-compat$/debhelper/' |
    grep -v '^$'
}
mapfile -t deps < <(build_depends)
install_packages build-essential dpkg-dev "${deps[@]}"

version=$(sed -n 's/^project(Quipix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
changelog_version=$(dpkg-parsechangelog -S Version)
release_version=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' dist/example.kelvara.quipix.metainfo.xml | head -1)
[ -n "$version" ] || { echo "build-deb.sh: no project version in CMakeLists.txt"; exit 1; }
if [ "$changelog_version" != "$version" ] || [ "$release_version" != "$version" ]; then
  echo "build-deb.sh: the project version is $version, but debian/changelog says" \
    "'$changelog_version' and the newest AppStream release '$release_version'"
  exit 1
fi

# The copy holds what git would commit now: tracked and new files, no build output.
# It sits at the same place every time, so that ccache finds the objects of the last
# package build, and goes once the package is built (dpkg-buildpackage writes the
# package beside it, into build-deb/).
src=$out/src/quipix-$version
rm -rf "$out"
mkdir -p "$src"
status_before=$(git status --porcelain)
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do
    if [ -e "$f" ] || [ -L "$f" ]; then printf '%s\0' "$f"; fi
  done |
  tar --null -T - -cf - | tar -C "$src" -xf -

# The layer-shell protocol file from Debian's wlroots source package, as the Linux
# build takes it (the same cache), handed to the package build, which fetches nothing.
install_packages debian-archive-keyring
bash scripts/lib/debian-source.sh "$root/build/debian-sources/apt" "$root/build/debian-sources/src" wlroots libwlroots10
mkdir -p "$src/debian/protocols"
cp "$(ls "$root"/build/debian-sources/src/wlroots-*/protocol/wlr-layer-shell-unstable-v1.xml | head -n1)" "$src/debian/protocols/"

echo "== Debian package quipix $version"
start=$SECONDS
# ccache through its compiler links; debhelper gives the build a HOME of its own, so
# ccache is told where its cache and settings are.
with_ccache=()
if command -v ccache >/dev/null && [ -d /usr/lib/ccache ]; then
  with_ccache=(PATH="/usr/lib/ccache:$PATH" CCACHE_DIR="$(ccache -k cache_dir)"
    CCACHE_BASEDIR="$(ccache -k base_dir)" CCACHE_MAXSIZE="$(ccache -k max_size)")
fi
if ! (cd "$src" && env ${with_ccache[@]+"${with_ccache[@]}"} DEB_BUILD_OPTIONS="parallel=2 ${DEB_BUILD_OPTIONS:-}" \
  dpkg-buildpackage -us -uc -b) >"$out/build.log" 2>&1; then
  tail -n 60 "$out/build.log"
  echo "build-deb.sh: dpkg-buildpackage failed (whole log: $out/build.log)"
  exit 1
fi
mv "$out/src/"*.deb "$out/src/"*.buildinfo "$out/src/"*.changes "$out/"
rm -rf "$out/src"
[ "$(git status --porcelain)" = "$status_before" ] || { echo "build-deb.sh: the build changed the source tree"; exit 1; }
for f in "quipix_${version}_amd64.deb" "quipix-dbgsym_${version}_amd64.deb"; do
  [ -s "$out/$f" ] || { echo "build-deb.sh: $f was not built"; exit 1; }
done
echo "built build-deb/quipix_${version}_amd64.deb and its -dbgsym in $((SECONDS - start)) s"

[ -n "${QUIPIX_DEB_NO_TEST:-}" ] || bash scripts/test-deb.sh "$out/quipix_${version}_amd64.deb"
