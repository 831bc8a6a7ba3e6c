#!/usr/bin/env bash
# Sets up, builds and starts Tralvo on a built-in virtual null-modem pair (COM9 joined to COM8)
# with the stand-in drawer library. Safe to run again.
#   scripts/start.sh            visible window ("0,0")
#   scripts/start.sh 0,1        any "hide,profile" argument text
# With no display it runs under a virtual X server and says how to drive it. Ctrl-C ends it
# and everything it started: Tralvo first, then the port pair and the X server it was using.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/deps.sh"
# shellcheck source=lib/logged.sh
source "$root/scripts/lib/logged.sh"
cd "$root"
rm -f build/start-build.log
tralvo_logged build/start-build.log cmake --preset default
tralvo_logged build/start-build.log cmake --build --preset default --target tralvo cashbox_standin
# shellcheck source=lib/virtual.sh
source "$root/scripts/lib/virtual.sh"
tralvo_pid=
# Tralvo ends first, with its ports and display still there (their loss would be the last thing
# it says), and only then the helpers. They run in sessions of their own (see virtual.sh), so the
# terminal's Ctrl-C reaches Tralvo and this script alone; a second Ctrl-C cuts no step short.
# shellcheck disable=SC2317 # run by the EXIT trap
finish() {
    trap '' INT TERM HUP
    if [ -n "$tralvo_pid" ]; then
        kill -TERM "$tralvo_pid" 2>/dev/null || true
        tralvo_wait_for "! kill -0 $tralvo_pid 2>/dev/null" 100 || {
            echo "Tralvo did not end within 10 s of SIGTERM: killing it" >&2
            kill -KILL "$tralvo_pid" 2>/dev/null || true
        }
        wait "$tralvo_pid" 2>/dev/null || true
    fi
    tralvo_cleanup
}
trap finish EXIT
trap 'exit 130' INT TERM HUP

tralvo_comdir
ports=$TRALVO_PORTS
tralvo_socat_pair "$ports" 9 8
export TRALVO_COMDIR=$ports
export LD_LIBRARY_PATH=$root/build/standin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
export CASHBOX_STANDIN_LOG=$ports/pulses
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=$ports/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
fi

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    tralvo_xvfb
    echo "No display here: Tralvo runs under a virtual X server on $DISPLAY."
    echo "  press Request:   DISPLAY=$DISPLAY xdotool search --sync --name 'TRALVO is Not COM' mousemove --window %1 157 196 click 1"
    echo "  see the window:  DISPLAY=$DISPLAY import -window root /tmp/tralvo.png"
fi
echo "Ports: COM9 (Device) = $ports/com9, joined to COM8 (Test) = $ports/com8"
echo "Send a drawer command as a POS application would:  printf '\\033p' > $ports/com8"
echo "Each drawer pulse is reported on a 'cashbox-standin: pulse' line. Ctrl-C ends Tralvo."
# In the background, so that a signal to this script alone runs finish at once rather than after
# Tralvo has ended by itself; Tralvo takes SIGINT itself, so Ctrl-C still reaches it.
"$root/build/bin/tralvo" "${1:-0,0}" &
tralvo_pid=$!
status=0
wait "$tralvo_pid" || status=$?
tralvo_pid=
exit "$status"
