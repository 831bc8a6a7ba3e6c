#!/usr/bin/env bash
# Builds Qt5SerialPort.dll 5.15.8 with qserialport-wine.patch, for the tests under Wine only: it
# receives under Wine, where the stock library receives nothing. Never shipped.
# Usage: build-wine-serialport.sh <qt prefix> <qtserialport source tarball> <output dll>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=${1:?usage: build-wine-serialport.sh <qt prefix> <source tarball> <output dll>}
tarball=${2:?usage: build-wine-serialport.sh <qt prefix> <source tarball> <output dll>}
output=${3:?usage: build-wine-serialport.sh <qt prefix> <source tarball> <output dll>}
[ -x "$prefix/bin/qmake" ] || { echo "build-wine-serialport: no qmake in $prefix/bin" >&2; exit 2; }
[ -f "$tarball" ] || { echo "build-wine-serialport: no source tarball at $tarball" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tralvo-serialport.XXXXXX")
trap 'rm -rf "$work"' EXIT

tar -xf "$tarball" -C "$work"
src=$work/qtserialport-5.15.8
patch -s -d "$src" -p1 --forward <"$here/qserialport-wine.patch"
# qmake runs syncqt (which makes the module's forwarding headers) only in a git checkout.
mkdir "$src/.git"
mkdir "$work/build"
cd "$work/build"
"$prefix/bin/qmake" "$src" >build.log 2>&1 && make -j2 >>build.log 2>&1 ||
    { tail -n 40 build.log >&2; exit 1; }
mkdir -p "$(dirname "$output")"
# Stripped, like the prefix's own libraries.
i686-w64-mingw32-strip --strip-unneeded -o "$output" bin/Qt5SerialPort.dll
