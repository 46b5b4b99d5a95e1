#!/usr/bin/env bash
# The layout rule: the core folders include no toolkit. Qt, xcb and X11 headers stay
# in qt/ (and the tests and benchmarks under a qt/ folder), windows.h and the other
# Win32 headers in win32/ (and under a win32/ folder), Wayland's in wayland/.
set -euo pipefail
cd "$(dirname "$0")/.."
inc='^\s*#\s*include\s*[<"]'
bad=$( { git grep -n -E "$inc(Q[A-Za-z]+|Qt[A-Za-z]+/|X11/|xcb/)" -- '*.cpp' '*.h' ':!qt' ':!tests/qt' ':!bench/qt'
         git grep -n -i -E "$inc(windows|winuser|wingdi|commctrl|commdlg|shlobj|shellapi|uxtheme|winreg)\.h" -- '*.cpp' '*.h' '*.rc' ':!win32' ':!tests/win32' ':!bench/win32'
         git grep -n -E "$inc(wayland-[a-z-]+\.h)" -- '*.cpp' '*.h' ':!wayland' ':!tests/wayland'; } || true)
if [ -n "$bad" ]; then
  echo "check-layout: a toolkit header outside its front end's folder:"
  echo "$bad"
  exit 1
fi
# Message numbers get their names where they are raised.
bare=$(git grep -n -E 'GetPGLangStr\([0-9]' -- '*.cpp' '*.h' || true)
if [ -n "$bare" ]; then
  echo "check-layout: GetPGLangStr with a bare number (use its msg:: name):"
  echo "$bare" | head -n 20
  exit 1
fi
echo "check-layout: every toolkit stays in its front end's folder"
