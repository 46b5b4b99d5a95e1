#!/usr/bin/env bash
# The message catalogues are complete: po/quipix.pot holds every text the sources
# mark, and each po/<language>.po translates every one of them, none fuzzy, none
# empty, and compiles with msgfmt's checks (the same %s in every translation).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash po/update-pot.sh "$work/quipix.pot" 2>/dev/null
status=0
if ! msgcmp --use-untranslated po/quipix.pot "$work/quipix.pot" 2>"$work/pot.log" ||
   ! msgcmp --use-untranslated "$work/quipix.pot" po/quipix.pot 2>>"$work/pot.log"; then
  echo "check-catalogues: po/quipix.pot is not the sources' texts (run po/update-pot.sh and msgmerge):"
  head -n 20 "$work/pot.log"
  status=1
fi
for language in $(grep -v '^#' po/LINGUAS); do
  po=po/$language.po
  if ! msgfmt --check --statistics -o /dev/null "$po" 2>"$work/stats.log"; then
    echo "check-catalogues: $po does not compile:"
    cat "$work/stats.log"
    status=1
    continue
  fi
  stats=$(cat "$work/stats.log")
  # msgcmp counts a fuzzy or untranslated entry as missing.
  missing=$(msgcmp "$po" "$work/quipix.pot" 2>&1 | grep -c 'this message' || true)
  echo "$language: $stats"
  if [[ $stats == *fuzzy* || $stats == *untranslated* || $missing -ne 0 ]]; then
    echo "check-catalogues: $po has fuzzy, untranslated or missing messages"
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "check-catalogues: every catalogue translates every text"
exit "$status"
