#!/usr/bin/env bash
# A short soak of the hidden Windows program under Wine, by the soak driver (tests/soak/soak.cpp)
# from the Linux end of the COM pair: gapped commands mixed with noise chunks, bursts, failing
# library calls, a flood of 2 MiB, then the peer vanishing and a plain taskkill. The program has
# the Wine-only serial library and the stand-in put next to it, and a virtual X server stands in
# for the desktop (taskkill needs it).
# Usage: soak.sh <deploy folder> <Wine Qt5SerialPort.dll> <stand-in CashBox.dll> <work folder>
#                [commands (default 1000)]
# Needs WINEPREFIX (a 32-bit prefix) in the environment.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
deploy=${1:?usage: soak.sh <deploy> <serial dll> <stand-in dll> <work> [commands]}
wine_serial=${2:?}
standin=${3:?}
work=${4:?}
commands=${5:-1000}
: "${WINEPREFIX:?soak.sh needs WINEPREFIX}"
export WINEARCH=win32 WINEDEBUG=-all

# shellcheck source=../lib/virtual.sh
source "$here/../lib/virtual.sh"
# shellcheck source=lib.sh
source "$here/lib.sh"
cleanup() {
    rm -f "$WINEPREFIX/dosdevices/com9"
    wineserver -k 2>/dev/null
    tralvo_cleanup
}
trap cleanup EXIT
trap 'exit 130' INT TERM

rm -rf "$work"
mkdir -p "$work/ports"
work=$(cd "$work" && pwd) # the dosdevices link below needs a full path
app=$work/app
cp -r "$deploy" "$app"
cp "$wine_serial" "$standin" "$app/"
c++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -Werror -o "$work/soak" "$here/../../tests/soak/soak.cpp" ||
    exit 1
wineserver -k 2>/dev/null
wineserver -p 120 2>"$work/wineserver.log" # it dumps its state when a port's peer goes
tralvo_xvfb || exit 1
# The driver makes its socat pair in ports/; COM9 is the pair's com9 end.
ln -sfn "$work/ports/com9" "$WINEPREFIX/dosdevices/com9"

# The driver starts the program as it starts the Linux one, with Linux paths for the stand-in's
# files; this names them as Wine does, and exec keeps the process that the driver watches.
cat >"$work/tralvo" <<EOF
#!/usr/bin/env bash
source '$here/lib.sh'
export DISPLAY='$DISPLAY'
# The log lines on standard error too, where the driver reads the states (Wine hands QT_x on).
export WINEQT_FORCE_STDERR_LOGGING=1
export CASHBOX_STANDIN_LOG=\$(tralvo_winpath "\$CASHBOX_STANDIN_LOG")
export CASHBOX_STANDIN_RESULT_FILE=\$(tralvo_winpath "\$CASHBOX_STANDIN_RESULT_FILE")
exec wine '$app/tralvo.exe' "\$@"
EOF
# Windows has no SIGTERM: the orderly end is a plain taskkill (WM_CLOSE).
printf '#!/bin/sh\nDISPLAY=%s exec wine taskkill /IM tralvo.exe >/dev/null 2>&1\n' "$DISPLAY" \
    >"$work/stop"
chmod +x "$work/tralvo" "$work/stop"

timeout --kill-after=10 900 "$work/soak" --tralvo "$work/tralvo" --standin-dir "$app" \
    --workdir "$work/ports" --commands "$commands" --bursts 5 --gap-ms 30 \
    --flood-bytes $((2 * 1048576)) --stop-command "$work/stop"
