#!/usr/bin/env bash
# The 32-bit Windows program, cross-built from this tree with MinGW and proven under Wine.
# Installs what is missing, unpacks the Qt 5.15 prefix for i686-w64-mingw32, adds OpenSSL's
# headers and a libcrypto import library (fetch-openssl-headers.sh), builds Tralvo and its tests
# (the CMake preset windows), gathers what ships into build-windows/deploy, builds the Wine-only
# serial library into build-windows/wine-testing and the installer
# build-windows/tralvo-<version>-win32-setup.exe, then runs the unit tests, the end-to-end and
# healing checks (e2e.sh, heal.sh), the installer's checks (installer-check.sh) and a short soak
# (soak.sh) under Wine. On a kernel that runs no 32-bit programs it stops after the installer,
# with exit code 77. Safe to run again.
#
# Usage: scripts/windows/windows.sh [--screenshots]
#   --screenshots   also write the window under Wine at 100 % and 150 % into docs/
# Inputs, from TRALVO_WINDOWS_INPUTS (default: ../shared/windows beside this project):
#   qt5-i686-5.15.8-mingw12-posix-openssl3.tar.xz  the ready Qt prefix (OpenSSL 3 linked into
#                                               Qt Network, the JPEG image plugin); Tralvo links
#                                               its libcrypto-3.dll too (the https certificate),
#                                               so without it the step stops: a prefix built
#                                               from Debian's qtbase source (build-qt5.sh) has
#                                               no OpenSSL
#   qtserialport-everywhere-src-5.15.8.tar.xz   Qt Serial Port's source (or TRALVO_QTSERIALPORT_SRC)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$root/build-windows
inputs=${TRALVO_WINDOWS_INPUTS:-$root/../shared/windows}
qt_tarball=$inputs/qt5-i686-5.15.8-mingw12-posix-openssl3.tar.xz
serial_source=${TRALVO_QTSERIALPORT_SRC:-$inputs/qtserialport-everywhere-src-5.15.8.tar.xz}
prefix=$out/qt5-i686
shots=
case "${1:-}" in
--screenshots) shots=$root/docs ;;
'') ;;
*)
    sed -n '12,13p' "${BASH_SOURCE[0]}" >&2
    exit 2
    ;;
esac

# shellcheck source=../lib/logged.sh
source "$root/scripts/lib/logged.sh"
# shellcheck source=../lib/virtual.sh
source "$root/scripts/lib/virtual.sh" # for tralvo_output_has
say() { echo "windows: $*"; }
mkdir -p "$out"

# Wine's 32-bit half comes from the i386 architecture, which needs its own package lists.
if ! tralvo_output_has -x i386 -- dpkg --print-foreign-architectures; then
    dpkg --add-architecture i386
    unset TRALVO_APT_UPDATED
fi
"$root/scripts/deps.sh" g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64-i686 \
    wine wine32:i386 wine64 fonts-wine nsis libxml2-utils xvfb xauth xdotool x11-utils imagemagick \
    socat patch icoutils librsvg2-bin iproute2 cups cups-client libcups2:i386 curl openssl

# The Qt prefix: unpacked once (checked against SHA256SUMS), or built where no tarball is given.
# The marker holds what it came from, so a prefix from an earlier tarball (one without Qt
# Network) is unpacked afresh.
origin=built
if [ -f "$qt_tarball" ]; then
    origin=$(sha256sum "$qt_tarball" | cut -d' ' -f1)
elif [ ! -f "$prefix/bin/libcrypto-3.dll" ]; then
    say "no $qt_tarball: Tralvo links the libcrypto-3.dll that comes with it, and a prefix" \
        "built here from Debian's qtbase source has no OpenSSL" >&2
    exit 1
fi
if [ "$(cat "$prefix/.ready" 2>/dev/null)" != "$origin" ]; then
    rm -rf "$prefix"
    if [ -f "$qt_tarball" ]; then
        say "unpacking $(basename "$qt_tarball")"
        if [ -f "$inputs/SHA256SUMS" ]; then
            (cd "$inputs" && grep " $(basename "$qt_tarball")\$" SHA256SUMS | sha256sum -c --quiet) ||
                { say "the checksum of $qt_tarball does not match SHA256SUMS" >&2; exit 1; }
        fi
        tar -xf "$qt_tarball" -C "$out"
    else
        say "no $qt_tarball: building the Qt prefix from Debian's source (about 20 minutes)"
        "$root/scripts/windows/build-qt5.sh" "$prefix" "$serial_source"
    fi
    echo "$origin" >"$prefix/.ready"
fi

# http-parser has no MinGW build in Debian: its one C file comes from Debian's source package.
http_parser=$out/http-parser
"$root/scripts/windows/fetch-http-parser.sh" "$http_parser"
# The till's certificate is made with the prefix's libcrypto-3.dll, which comes without headers
# or an import library.
openssl=$out/openssl
"$root/scripts/windows/fetch-openssl-headers.sh" "$openssl" "$prefix/bin/libcrypto-3.dll"

say "building Tralvo and its tests (log: $out/build.log)"
cd "$root"
rm -f "$out/build.log"
tralvo_logged "$out/build.log" cmake --preset windows \
    -DTRALVO_HTTP_PARSER_SOURCE_DIR="$http_parser" -DTRALVO_OPENSSL_ROOT="$openssl"
tralvo_logged "$out/build.log" cmake --build --preset windows
exe=$out/build/bin/tralvo.exe
standin=$out/build/standin/CashBox.dll

# What the program carries: its manifest (elevation, common controls 6) and version 1.0.0.0.
resources=$(i686-w64-mingw32-objdump -s -j .rsrc "$exe" | cut -c 46- | tr -d '\n')
for text in 'level="requireAdministrator"' 'Microsoft.Windows.Common-Controls'; do
    grep -qF "$text" <<<"$resources" || { say "tralvo.exe's manifest lacks $text" >&2; exit 1; }
done
tralvo_output_has -x '1.0.0.0' -- strings -e l "$exe" &&
    tralvo_output_has -x 'Tralvo' -- strings -e l "$exe" ||
    { say "tralvo.exe has no version resource for Tralvo 1.0.0.0" >&2; exit 1; }
# Its icon is the committed one (wrestool rebuilds the .ico, padded), and that is what
# packaging/windows/make-icon.sh makes from packaging/tralvo.svg today.
ico=$root/packaging/windows/tralvo.ico
"$root/packaging/windows/make-icon.sh" "$out/tralvo.ico"
cmp -s "$ico" "$out/tralvo.ico" ||
    { say "$ico is not what make-icon.sh makes from tralvo.svg: run it and commit the icon" >&2; exit 1; }
wrestool -x -t 14 "$exe" >"$out/tralvo-exe.ico" &&
    cmp -s -n "$(stat -c %s "$ico")" "$out/tralvo-exe.ico" "$ico" ||
    { say "tralvo.exe does not carry the icon $ico" >&2; exit 1; }
# The stand-in exports exactly the vendor's name.
exports=$(i686-w64-mingw32-objdump -p "$standin" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    tail -n +2 | grep -o '\] .*' | cut -c 3-)
[ "$exports" = "_CashBoxNormalGPIO@16" ] ||
    { say "CashBox.dll exports '$exports', not just _CashBoxNormalGPIO@16" >&2; exit 1; }
say "tralvo.exe carries its manifest, version and icon; the stand-in exports _CashBoxNormalGPIO@16 only"
# The till's certificate is signed by the libcrypto-3.dll that ships beside Qt Network, imported
# by name, not by a copy linked in.
crypto_imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n '/DLL Name: libcrypto-3\.dll/,/^$/p')
grep -qw 'X509_sign' <<<"$crypto_imports" ||
    { say "tralvo.exe does not take X509_sign from libcrypto-3.dll" >&2; exit 1; }
say "tralvo.exe imports OpenSSL's certificate functions from libcrypto-3.dll"

# What ships: the program, the Qt libraries and plugins it uses, the MinGW runtime. No stand-in.
deploy=$out/deploy
rm -rf "$deploy"
mkdir -p "$deploy/platforms" "$deploy/styles" "$deploy/imageformats"
cp "$exe" "$deploy/"
for module in Core Gui Widgets SerialPort Network; do
    cp "$prefix/bin/Qt5$module.dll" "$deploy/"
done
cp "$prefix/plugins/platforms/qwindows.dll" "$deploy/platforms/"
cp "$prefix/plugins/styles/qwindowsvistastyle.dll" "$deploy/styles/"
# Qt Network has OpenSSL linked in, and a receipt picture from the web door is a JPEG.
if [ -f "$prefix/bin/libssl-3.dll" ]; then
    cp "$prefix/bin/libssl-3.dll" "$prefix/bin/libcrypto-3.dll" "$deploy/"
    cp "$prefix/plugins/imageformats/qjpeg.dll" "$deploy/imageformats/"
fi
for dll in /usr/lib/gcc/i686-w64-mingw32/12-posix/libgcc_s_dw2-1.dll \
    /usr/lib/gcc/i686-w64-mingw32/12-posix/libstdc++-6.dll \
    /usr/i686-w64-mingw32/lib/libwinpthread-1.dll; do
    cp "$dll" "$deploy/"
done
# Qt's libraries come stripped; ours and MinGW's runtime (20 MB of symbols in libstdc++) not.
i686-w64-mingw32-strip --strip-unneeded "$deploy/tralvo.exe" "$deploy"/lib*.dll
if tralvo_output_has . -- find "$deploy" -iname 'CashBox.dll' -o -iname '*.a'; then
    say "the deploy folder holds a drawer library or an import library" >&2
    exit 1
fi

# For the Wine tests only: a serial library that receives under Wine.
wine_serial=$out/wine-testing/Qt5SerialPort.dll
if [ ! -f "$wine_serial" ] || [ "$root/scripts/windows/qserialport-wine.patch" -nt "$wine_serial" ]; then
    say "building the Wine-only Qt5SerialPort.dll"
    "$root/scripts/windows/build-wine-serialport.sh" "$prefix" "$serial_source" "$wine_serial"
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/build/CMakeCache.txt")
setup=$out/tralvo-$version-win32-setup.exe
say "building the installer $(basename "$setup") (log: $out/makensis.log)"
rm -f "$setup" "$out/makensis.log"
with_openssl=()
[ -f "$deploy/libssl-3.dll" ] && with_openssl=(-DWITH_OPENSSL)
tralvo_logged "$out/makensis.log" makensis -V2 -DVERSION="$version" -DDEPLOY_DIR="$deploy" \
    -DOUTFILE="$setup" "${with_openssl[@]}" "$root/packaging/windows/tralvo.nsi"

# Wine's 32-bit loader needs a kernel that runs 32-bit programs; some machines' kernels are built
# without it (execve answers "Exec format error"). There the program, its deploy folder and its
# installer are built and checked above, and nothing can run under Wine.
if ! wine_version=$(/usr/lib/wine/wine --version 2>&1) &&
    grep -q 'Exec format error' <<<"$wine_version"; then
    say "this machine's kernel does not run 32-bit programs ($wine_version): tralvo.exe," \
        "the deploy folder and $(basename "$setup") are built; nothing ran under Wine, and the" \
        "deploy folder's imports were not checked against Wine's system DLLs" >&2
    exit 77 # scripts/lib/checks.sh counts it as not run here, not as passed
fi

# A 32-bit Wine prefix of our own, made (with the fonts it needs) the way the tests' wrapper
# makes one.
export WINEPREFIX=$out/wineprefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "making the Wine prefix $WINEPREFIX"
    "$root/scripts/windows/wine-run.sh" "$prefix" cmd /c exit
fi

# Every DLL that the deployed files import is either deployed or one of Windows' own.
system32=$WINEPREFIX/drive_c/windows/system32
missing=0
while IFS= read -r file; do
    while IFS= read -r dll; do
        if ! tralvo_output_has . -- find "$deploy" -maxdepth 1 -iname "$dll" &&
            ! tralvo_output_has . -- find "$system32" -maxdepth 1 -iname "$dll"; then
            say "$(basename "$file") needs $dll, which is neither deployed nor part of Windows" >&2
            missing=$((missing + 1))
        fi
    done < <(i686-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$deploy" -iname '*.exe' -o -iname '*.dll')
[ "$missing" -eq 0 ] || exit 1
say "deploy folder: $deploy ($(du -sh "$deploy" | cut -f1)), every import resolved"

# The checks run whatever the others found.
status=0
say "unit tests under Wine"
ctest --preset windows || status=1
say "end to end under Wine"
"$root/scripts/windows/e2e.sh" "$deploy" "$wine_serial" "$standin" "$out/e2e" $shots || status=1
say "the installer under Wine"
"$root/scripts/windows/installer-check.sh" "$setup" "$deploy" "$wine_serial" "$standin" \
    "$out/installer-check" || status=1
say "a short soak under Wine"
"$root/scripts/windows/soak.sh" "$deploy" "$wine_serial" "$standin" "$out/soak" || status=1
exit "$status"
