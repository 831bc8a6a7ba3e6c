#!/usr/bin/env bash
# The visible window under a real (virtual) X server: it shows at its size, one press of Request
# goes round the virtual cable and pulses the drawer once, and SIGTERM ends it with status 0.
# Usage: visible_window.sh <tralvo> <stand-in folder> [screenshot folder]
set -euo pipefail
tralvo=$1
standin=$2
shots=${3:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/lib/virtual.sh
source "$here/../../scripts/lib/virtual.sh"
trap tralvo_cleanup EXIT
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

tralvo_comdir
ports=$TRALVO_PORTS
tralvo_socat_pair "$ports" 9 8
tralvo_xvfb
TRALVO_COMDIR=$ports LD_LIBRARY_PATH=$standin CASHBOX_STANDIN_LOG=$ports/pulses \
    "$tralvo" 0,0 2>"$ports/stderr" &
pid=$!
tralvo_pids+=("$pid")

# All of xdotool's output, then its first line: "| head -n 1" could kill it with SIGPIPE.
wids=$(timeout 20 xdotool search --sync --onlyvisible --name '^TRALVO is Not COM$') ||
    fail "the window did not appear"
wid=${wids%%$'\n'*}
size=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = "215x218" ] || fail "window is $size, expected 215x218"
[ -n "$shots" ] && import -window "$wid" "$shots/window.png"

# Request sits at 1665,2700 twips, 1395 x 495: its middle is pixel 157,196.
xdotool mousemove --window "$wid" 157 196 click 1
tralvo_wait_for "[ -s '$ports/pulses' ]" 100 || fail "no pulse after Request"
sleep 0.5
pulses=$(grep -c 'pulse' "$ports/pulses")
[ "$pulses" -eq 1 ] || fail "$pulses pulses after one Request"
grep -q '"53a" "5" "538" "6" -> 0' "$ports/pulses" || fail "wrong profile: $(cat "$ports/pulses")"
[ -n "$shots" ] && import -window "$wid" "$shots/request.png"

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
echo "visible window: shown at $size, one Request gave one pulse, SIGTERM gave status 0"
