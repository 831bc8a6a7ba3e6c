#!/bin/sh
# Runs a 32-bit Windows program under Wine the way a test needs it: a 32-bit prefix of our own,
# the Qt and MinGW runtime DLLs on Wine's PATH, and Qt's log on standard error.
# Usage: wine-run.sh QT_PREFIX PROGRAM.exe [ARGS...]   (the toolchain's crossing emulator)
set -eu
qt_prefix=$1
shift

# A prefix of our own: the default ~/.wine may be 64-bit or hold another program's DLLs.
: "${WINEPREFIX:=${HOME}/.wine-tralvo-tests}"
export WINEPREFIX
export WINEARCH=win32
# Wine's fixme and err chatter would bury the test log.
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts when the prefix is made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine drops QT_* variables and turns WINEQT_* into QT_*. Without this, Qt Test writes its log
# through OutputDebugString, which nobody reads.
export WINEQT_FORCE_STDERR_LOGGING=1

# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
WINEPATH="$(tralvo_winpath "$qt_prefix/bin");$(tralvo_winpath /usr/lib/gcc/i686-w64-mingw32/12-posix);$(tralvo_winpath /usr/i686-w64-mingw32/lib)${WINEPATH:+;$WINEPATH}"
export WINEPATH

# Tests run one after another, but a first run may race with the script that made the prefix.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    # Debian's Wine does not find fonts-wine's Tahoma by itself; without it every text gets a
    # substitute with a line three times too tall.
    flock "$WINEPREFIX.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || {
        wineboot -i >/dev/null 2>&1 && wineserver -w
        cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    }'
fi
exec wine "$@"
