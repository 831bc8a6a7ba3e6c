#!/usr/bin/env bash
# Makes the Windows application icon from packaging/tralvo.svg: 16, 24, 32 and 48 pixels as
# bitmaps (which every Windows version reads), 256 as PNG (Vista onwards, large icons).
# Usage: packaging/windows/make-icon.sh [OUTPUT.ico]   (default: packaging/windows/tralvo.ico)
# Needs rsvg-convert (librsvg2-bin) and icotool (icoutils). scripts/windows/windows.sh runs it
# into its build folder and checks that the committed icon is still what it makes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:-$here/tralvo.ico}
work=$(mktemp -d "${TMPDIR:-/tmp}/tralvo-icon.XXXXXX")
trap 'rm -rf "$work"' EXIT
for size in 16 24 32 48 256; do
    rsvg-convert -w "$size" -h "$size" -o "$work/$size.png" "$here/../tralvo.svg"
done
icotool -c -o "$out" "$work/16.png" "$work/24.png" "$work/32.png" "$work/48.png" \
    -r "$work/256.png"
