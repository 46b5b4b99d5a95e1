# Sourced first by every script of the suite: a failing command never ends a run
# silently. The last lines name the script, the line and the command that failed.
set -E
trap '_quipix_status=$?; echo "error: ${BASH_SOURCE[0]:-$0}:$LINENO: \"$BASH_COMMAND\" failed with status $_quipix_status" >&2' ERR
