#!/usr/bin/env bash
# What the Windows build compiles and links the till's certificate (web/tillcertificate.cpp)
# against: OpenSSL 3.0's headers for i686-w64-mingw32 and an import library for the prefix's
# libcrypto-3.dll, which is the library that ships (the prefix holds the DLLs alone). The headers
# are Debian's (libssl-dev, OpenSSL 3.0, one ABI with the DLL's 3.0): all but configuration.h are
# the same for every target; that one is the build machine's, with what OpenSSL's "mingw" target
# sets instead (OPENSSL_SYS_MINGW32, 32-bit big-number words). No download: a mirror caught
# mid-sync cannot stop the build.
# Safe to run again: the headers are made again when Debian's change; the import library when
# the DLL is not the one it was made from.
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
"$here/../deps.sh" libssl-dev
machine=/usr/include/$(gcc -print-multiarch)/openssl/configuration.h
[ -f "$machine" ] && [ -f /usr/include/openssl/opensslv.h ] ||
    { say "no OpenSSL headers in /usr/include (libssl-dev)" >&2; exit 1; }
grep -q '^# *define OPENSSL_VERSION_STR "3\.0\.' /usr/include/openssl/opensslv.h ||
    { say "Debian's OpenSSL headers are not 3.0" >&2; exit 1; }
from=$(cat /usr/include/openssl/opensslv.h "$machine" | sha256sum | cut -d' ' -f1)
if [ "$(cat "$headers/.made-from" 2>/dev/null)" != "$from" ]; then
    rm -rf "$headers"
    mkdir -p "$headers"
    # The machine's own folder holds opensslconf.h (which includes the two below) beside it.
    cp /usr/include/openssl/*.h "$(dirname "$machine")"/*.h "$headers/"
    sed -e 's/^\(# define OPENSSL_CONFIGURED_API .*\)$/\1\n# ifndef OPENSSL_SYS_MINGW32\n#  define OPENSSL_SYS_MINGW32 1\n# endif/' \
        -e 's/^#  undef BN_LLONG$/#  define BN_LLONG/' \
        -e 's/^#  define SIXTY_FOUR_BIT_LONG$/#  undef SIXTY_FOUR_BIT_LONG/' \
        -e 's/^#  undef THIRTY_TWO_BIT$/#  define THIRTY_TWO_BIT/' "$machine" >"$headers/configuration.h"
    for line in '#  define OPENSSL_SYS_MINGW32 1' '#  define BN_LLONG' '#  undef SIXTY_FOUR_BIT_LONG' \
        '#  define THIRTY_TWO_BIT'; do
        grep -qxF "$line" "$headers/configuration.h" ||
            { say "$machine is not as expected: no \"$line\" could be made" >&2; exit 1; }
    done
    echo "$from" >"$headers/.made-from"
    version=$(sed -n 's/^# *define OPENSSL_VERSION_STR "\(.*\)"$/\1/p' "$headers/opensslv.h")
    say "OpenSSL $version's headers, configured for MinGW, are in $headers"
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
