#!/usr/bin/env bash
# What the Windows build compiles and links the till's certificate (web/tillcertificate.cpp)
# against: OpenSSL 3.0's headers, configured for i686-w64-mingw32 as the Qt prefix's OpenSSL was
# (mingw shared no-asm no-tests), from Debian's openssl source package (Debian's patches
# applied), and an import library for the prefix's libcrypto-3.dll, which is the library that
# ships. The prefix holds the DLLs alone. Both must be OpenSSL 3.0, one ABI.
# Safe to run again: headers once there are kept; the import library is made again when the DLL
# is not the one it was made from.
# Usage: scripts/windows/fetch-openssl-headers.sh <folder> <libcrypto-3.dll>
#   leaves <folder>/include/openssl/*.h and <folder>/lib/libcrypto.dll.a (TRALVO_OPENSSL_ROOT)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dest=${1:?usage: fetch-openssl-headers.sh <folder> <libcrypto-3.dll>}
dll=${2:?usage: fetch-openssl-headers.sh <folder> <libcrypto-3.dll>}
say() { echo "fetch-openssl-headers: $*"; }
[ -f "$dll" ] || { say "no $dll" >&2; exit 1; }
dll=$(cd "$(dirname "$dll")" && pwd)/$(basename "$dll")
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)

# "OpenSSL 3.0.22 25 Aug 2026", the version text inside the DLL: its major and minor.
texts=$(strings -n 8 "$dll" | sed -n 's/^OpenSSL \(3\.[0-9]*\)\.[0-9]* .*/\1/p')
[ "${texts%%$'\n'*}" = 3.0 ] || { say "$dll is not OpenSSL 3.0" >&2; exit 1; }

headers=$dest/include/openssl
if [ ! -f "$headers/configuration.h" ] || [ ! -f "$headers/opensslv.h" ]; then
    # shellcheck source=../lib/debsrc.sh
    source "$here/../lib/debsrc.sh"
    tralvo_deb_src openssl
    "$here/../deps.sh" dpkg-dev perl make
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/tralvo-openssl.XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
    cd "$scratch"
    say "fetching Debian's openssl source"
    apt-get source -q openssl >source.log 2>&1 || { tail -20 source.log >&2; exit 1; }
    source_dir=$(find "$scratch" -maxdepth 1 -type d -name 'openssl-*' -print -quit)
    [ -n "$source_dir" ] && [ -f "$source_dir/Configure" ] ||
        { say "apt-get source unpacked no openssl source" >&2; exit 1; }
    grep -q '^MAJOR=3$' "$source_dir/VERSION.dat" &&
        grep -q '^MINOR=0$' "$source_dir/VERSION.dat" ||
        { say "$source_dir is not OpenSSL 3.0" >&2; exit 1; }
    # Only the generated headers are needed (opensslv.h, configuration.h for the target, ...).
    (cd "$source_dir" &&
        ./Configure mingw shared no-asm no-tests --cross-compile-prefix=i686-w64-mingw32- &&
        make build_generated) >configure.log 2>&1 || { tail -20 configure.log >&2; exit 1; }
    grep -q '^#  define OPENSSL_SYS_MINGW32 1$' "$source_dir/include/openssl/configuration.h" ||
        { say "the configured headers are not for MinGW" >&2; exit 1; }
    rm -rf "$headers"
    mkdir -p "$headers"
    cp "$source_dir"/include/openssl/*.h "$headers/"
    version=$(sed -n 's/^# *define OPENSSL_VERSION_STR "\(.*\)"$/\1/p' "$headers/opensslv.h")
    say "OpenSSL $version's headers are in $headers"
fi

# The import library names libcrypto-3.dll, whose exports it lists (gendef reads them).
lib=$dest/lib
made_from=$(sha256sum "$dll" | cut -d' ' -f1)
if [ "$(cat "$lib/.made-from" 2>/dev/null)" != "$made_from" ]; then
    rm -rf "$lib"
    mkdir -p "$lib"
    (cd "$lib" && gendef - "$dll" >libcrypto-3.def 2>gendef.log) ||
        { cat "$lib/gendef.log" >&2; exit 1; }
    grep -qx 'X509_new' "$lib/libcrypto-3.def" || { say "gendef found no exports in $dll" >&2; exit 1; }
    i686-w64-mingw32-dlltool -d "$lib/libcrypto-3.def" -D libcrypto-3.dll -l "$lib/libcrypto.dll.a"
    echo "$made_from" >"$lib/.made-from"
    say "the import library for $(basename "$dll") is $lib/libcrypto.dll.a"
fi
