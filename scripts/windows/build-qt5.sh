#!/usr/bin/env bash
# Builds the Qt 5.15 prefix for i686-w64-mingw32 that the Windows build needs, when no ready
# prefix is at hand: qtbase from Debian's own source package (Debian's patches applied) and Qt
# Serial Port from its source tarball, both with Debian's MinGW (posix threads). About 20 minutes
# on 2 cores, with 1.2 GB of scratch space.
# Usage: scripts/windows/build-qt5.sh <prefix> <qtserialport-everywhere-src-5.15.8.tar.xz>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=${1:?usage: build-qt5.sh <prefix> <qtserialport source tarball>}
serial_tarball=${2:?usage: build-qt5.sh <prefix> <qtserialport source tarball>}
[ -f "$serial_tarball" ] || { echo "build-qt5.sh: no Qt Serial Port source at $serial_tarball" >&2; exit 2; }
prefix=$(mkdir -p "$prefix" && cd "$prefix" && pwd)
serial_tarball=$(cd "$(dirname "$serial_tarball")" && pwd)/$(basename "$serial_tarball")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tralvo-qt5.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# apt-get source needs source entries beside the binary ones.
# shellcheck source=../lib/debsrc.sh
source "$here/../lib/debsrc.sh"
tralvo_deb_src qtbase-opensource-src
"$here/../deps.sh" dpkg-dev perl python3 make g++-mingw-w64-i686-posix

cd "$scratch"
echo "build-qt5: fetching Debian's qtbase source"
apt-get source -q qtbase-opensource-src >source.log 2>&1 || { tail -20 source.log >&2; exit 1; }
qtbase=$(find "$scratch" -maxdepth 1 -type d -name 'qtbase-opensource-src-*' -print -quit)
[ -n "$qtbase" ] || { echo "build-qt5: apt-get source unpacked no qtbase folder" >&2; exit 1; }

mkdir build-qtbase
cd build-qtbase
echo "build-qt5: configuring qtbase (about 3 minutes)"
# -no-feature-tabletevent: Debian's dfsg tarball drops src/3rdparty/wintab, which tablet support
# includes. -qt-freetype: the offscreen platform plugin is built only with FreeType. Qt Network
# (for the network print port) without OpenSSL: the print port speaks plain TCP.
"$qtbase/configure" -xplatform win32-g++ -device-option CROSS_COMPILE=i686-w64-mingw32- \
    -prefix "$prefix" -opensource -confirm-license -release -shared -strip \
    -nomake examples -nomake tests \
    -no-opengl -no-angle -no-vulkan -no-direct2d -no-dbus -no-icu \
    -no-openssl -no-feature-sql -no-feature-xml -no-feature-concurrent \
    -no-feature-printer -no-feature-tabletevent -no-harfbuzz -no-gif -no-ico -no-libjpeg \
    -qt-zlib -qt-pcre -qt-libpng -qt-freetype -qt-doubleconversion \
    >configure.log 2>&1 || { tail -40 configure.log >&2; exit 1; }
echo "build-qt5: building qtbase (about 15 minutes)"
make -j2 >make.log 2>&1 || { tail -40 make.log >&2; exit 1; }
make install >install.log 2>&1 || { tail -40 install.log >&2; exit 1; }

cd "$scratch"
echo "build-qt5: building Qt Serial Port"
tar -xf "$serial_tarball"
serial=$scratch/qtserialport-5.15.8
# qmake runs syncqt (which makes the module's forwarding headers) only in a git checkout.
mkdir -p "$serial/.git"
mkdir build-serial
cd build-serial
{ "$prefix/bin/qmake" "$serial" && make -j2 && make install; } >serial.log 2>&1 ||
    { tail -40 serial.log >&2; exit 1; }
# -strip leaves the host's qmake with its debugging symbols (28 MB instead of 3.5 MB).
strip "$prefix/bin/qmake"
echo "build-qt5: Qt 5.15 for i686-w64-mingw32 is in $prefix"
