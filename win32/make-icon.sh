#!/usr/bin/env bash
# Makes win32/quipix.ico from dist/quipix.svg: 16, 32 and 48 pixels as 32-bit bitmaps
# for the small views, and 256 pixels PNG-compressed for Explorer's large views, as
# Windows 10/11 expect. Run by hand after the drawing changes (Debian's librsvg2-bin
# and imagemagick); the icon is kept in the tree so that a build needs neither.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 16 32 48 256; do
  rsvg-convert -w "$size" -h "$size" dist/quipix.svg -o "$work/$size.png"
done
# ImageMagick writes entries of 256 pixels as PNG and smaller ones as bitmaps.
convert "$work/16.png" "$work/32.png" "$work/48.png" "$work/256.png" win32/quipix.ico
identify win32/quipix.ico
