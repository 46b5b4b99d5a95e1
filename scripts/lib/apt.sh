# Shared by the set-up scripts (sourced): install_packages PACKAGE... installs with
# apt-get those that are missing; when everything is there it only checks.
#
# A package mirror in the middle of a sync answers an index with the wrong size, and
# one unreachable index fails the whole `apt-get update`. So the update is tried a few
# times; when it keeps failing, the lists already on the machine are used, with a
# warning, and only a package that cannot be had from them ends the run, by name.
install_packages() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing: ${missing[*]}"
  local sudo="" try
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  local apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3)
  for try in 1 2 3; do
    "${apt[@]}" update -qq && break
    if [ "$try" -eq 3 ]; then
      echo "warning: apt-get update failed three times; installing from the package lists already here" >&2
    else
      sleep $((try * 10))
    fi
  done
  if ! "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"; then
    local unavailable=()
    for p in "${missing[@]}"; do
      apt-cache show "$p" >/dev/null 2>&1 || unavailable+=("$p")
    done
    if [ ${#unavailable[@]} -gt 0 ]; then
      echo "error: these packages cannot be had from the package lists: ${unavailable[*]}" >&2
    else
      echo "error: apt-get could not install: ${missing[*]}" >&2
    fi
    return 1
  fi
}
