# Shared by the set-up scripts (sourced): install_packages PACKAGE... installs with
# apt-get those that are missing; when everything is there it only checks.
#
# A package mirror in the middle of a sync answers an index with the wrong size, and
# one unreachable index fails the whole `apt-get update`. So the update is tried a few
# times; when it keeps failing, the lists already on the machine are used, with a
# warning, and only a package that cannot be had from them ends the run, by name.
# Lists updated (or tried) in the last half hour are used as they are: one test run
# installs in several steps and updates once.
# The test suite runs two lanes at once, so one installation waits for the other's
# (apt-get's own lock on the lists would fail the second update instead).
APT_UPDATE_STAMP=/var/lib/apt/lists/.quipix-update
install_packages() {
  local missing
  missing=$(missing_packages "$@")
  [ -n "$missing" ] || return 0
  local lock status=0
  exec {lock}>"${TMPDIR:-/tmp}/quipix-apt-$(id -u).lock"
  flock "$lock"
  _install_packages "$@" || status=$?
  exec {lock}>&-
  return "$status"
}

# missing_packages PACKAGE...: those of them that are not installed.
missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

_install_packages() {
  local p missing=()
  mapfile -t missing < <(missing_packages "$@")
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing: ${missing[*]}"
  local sudo="" try
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  local apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3 -o DPkg::Lock::Timeout=600)
  if [ -z "$(find "$APT_UPDATE_STAMP" -mmin -30 2>/dev/null)" ]; then
    for try in 1 2 3; do
      "${apt[@]}" update -qq && break
      if [ "$try" -eq 3 ]; then
        echo "warning: apt-get update failed three times; installing from the package lists already here" >&2
      else
        sleep $((try * 5))
      fi
    done
    $sudo touch "$APT_UPDATE_STAMP"
  fi
  if ! "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"; then
    # Which of them cannot be had: a package that is not in the lists, or whose
    # dependencies cannot be met from them (a half-synced index, say).
    local unavailable=()
    for p in "${missing[@]}"; do
      "${apt[@]}" install -s -qq --no-install-recommends "$p" >/dev/null 2>&1 || unavailable+=("$p")
    done
    echo "error: cannot install ${unavailable[*]:-${missing[*]}} from the package lists of this machine" >&2
    return 1
  fi
}
