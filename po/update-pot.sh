#!/usr/bin/env bash
# Extracts the program's texts into po/quipix.pot (or the file given): every Tr(),
# TrFormat() and N_() of the core and the front ends. Then msgmerge brings each
# <language>.po up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-po/quipix.pot}
git ls-files -- 'app/*.cpp' 'common/*.cpp' 'common/*.h' 'config/*.cpp' 'config/*.h' 'imaging/*.cpp' \
    'platform/*.cpp' 'saver/*.cpp' 'qt/*.cpp' 'win32/*.cpp' |
  xgettext --files-from=- --language=C++ --from-code=UTF-8 --keyword=Tr --keyword=TrFormat --keyword=N_ \
    --package-name=Quipix --msgid-bugs-address=quipix@kelvara.example --add-comments=TRANSLATORS: \
    --sort-by-file --output="$out"
