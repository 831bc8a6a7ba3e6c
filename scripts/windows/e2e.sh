#!/usr/bin/env bash
# The deployed Windows program end to end under Wine, with the Wine-only serial library and the
# stand-in drawer library put next to it: COM9 and COM8 are joined by a socat pair through the
# Wine prefix's dosdevices, and a virtual X server stands in for the desktop (Wine creates even a
# hidden window's native window only with one, and taskkill needs that window).
# Usage: e2e.sh <deploy folder> <Wine Qt5SerialPort.dll> <stand-in CashBox.dll> <work folder>
#               [screenshot folder]
# Needs WINEPREFIX (a 32-bit prefix) in the environment. Prints one line per check.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
deploy=${1:?usage: e2e.sh <deploy> <serial dll> <stand-in dll> <work> [shots]}
wine_serial=${2:?}
standin=${3:?}
work=${4:?}
shots=${5:-}
: "${WINEPREFIX:?e2e.sh needs WINEPREFIX}"
export WINEARCH=win32 WINEDEBUG=-all

# shellcheck source=../lib/virtual.sh
source "$here/../lib/virtual.sh"
# shellcheck source=lib.sh
source "$here/lib.sh"
tralvo_check_name="windows e2e"
# shellcheck source=../lib/checks.sh
source "$here/../lib/checks.sh"
tralvo_pid=
cleanup() {
    [ -n "$tralvo_pid" ] && kill -KILL "$tralvo_pid" 2>/dev/null
    rm -f "$WINEPREFIX/dosdevices/com9" "$WINEPREFIX/dosdevices/com8" "$WINEPREFIX/dosdevices/com3"
    set_dpi 96
    lpadmin -x "$wine_queue" 2>/dev/null
    wineserver -k 2>/dev/null
    tralvo_cleanup
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The display scale, as Windows' LogPixels: the registry lives in the running wineserver, so the
# next program started reads the new value.
set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

# The program as an integrator would set it up, with the two test-only libraries next to it.
app=$work/app
rm -rf "$work"
mkdir -p "$work"
cp -r "$deploy" "$app"
cp "$wine_serial" "$standin" "$app/"
pulses=$work/pulses
: >"$pulses"
export CASHBOX_STANDIN_LOG
CASHBOX_STANDIN_LOG=$(tralvo_winpath "$pulses")
log=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Tralvo/tralvo.log

# A wineserver that outlives each run; when a port's peer goes, it dumps its state to its stderr.
wineserver -k 2>/dev/null
wineserver -p 120 2>"$work/wineserver.log"
tralvo_xvfb || exit 1
tralvo_wine_com_pair || exit 1
ports=$TRALVO_PORTS
kick=$'\e'p$'\x00\x19\xfa'

log_mark=0
mark_log() { log_mark=$(stat -c %s "$log" 2>/dev/null || echo 0); }
log_since() { tail -c +$((log_mark + 1)) "$log" 2>/dev/null; }
count_pulses() { grep -c 'pulse' "$pulses"; }
start_tralvo() {
    mark_log
    wine "$app/tralvo.exe" "$@" >"$work/tralvo.out" 2>&1 &
    tralvo_pid=$!
}
# Waits for the program to log that the Device port is open.
# Whether the log since the mark has a line that grep -q finds with these options and pattern.
log_has() { tralvo_output_has "$@" -- log_since; }
wait_open() { tralvo_wait_until 300 log_has 'Device: Open Success'; }
# Ends it the way Windows asks a program to close (no /F): WM_CLOSE to its top-level windows.
end_with_taskkill() {
    local status=0
    wine taskkill /IM tralvo.exe >"$work/taskkill.out" 2>&1
    if ! tralvo_wait_for "! kill -0 $tralvo_pid 2>/dev/null" 150; then
        echo "  tralvo.exe did not end on taskkill" >&2
        return 1
    fi
    wait "$tralvo_pid" || status=$?
    tralvo_pid=
    [ "$status" -eq 0 ] || { echo "  tralvo.exe exited with status $status" >&2; return 1; }
}
show_log() { echo "  log since start:" >&2; log_since | sed 's/^/    /' >&2; }

# Hidden, with each profile: one pulse with its four texts; a plain taskkill ends it in order.
hidden_pulses() {
    local arguments=$1 texts=$2 before
    before=$(count_pulses)
    start_tralvo "$arguments"
    wait_open || { echo "  the Device port did not open" >&2; show_log; return 1; }
    printf '%s' "$kick" >"$ports/com8"
    tralvo_wait_for "[ \$(count_pulses) -gt $before ]" 100 || { echo "  no pulse" >&2; show_log; return 1; }
    sleep 0.5
    [ "$(count_pulses)" -eq $((before + 1)) ] || { echo "  $(($(count_pulses) - before)) pulses" >&2; return 1; }
    tralvo_output_has -F "$texts" -- tail -n 1 "$pulses" ||
        { echo "  wrong texts: $(tail -n 1 "$pulses")" >&2; return 1; }
    end_with_taskkill || return 1
    log_has 'tralvo: Device: Receive Success' && log_has 'tralvo: shut down' ||
        { echo "  the log lacks the pulse or the shutdown" >&2; show_log; return 1; }
}
tralvo_check 'hidden "1,0" pulses once with profile 0, logs it, ends on taskkill' \
    hidden_pulses 1,0 '"53a" "5" "538" "6" -> 0'
tralvo_check 'hidden "1,1" pulses once with profile 1, logs it, ends on taskkill' \
    hidden_pulses 1,1 '"50d" "6" "501" "5" -> 0'

# Log-off or shut-down: Windows sends WM_QUERYENDSESSION and WM_ENDSESSION; the ports close.
end_of_session() {
    local status=0
    start_tralvo 1,0
    wait_open || { show_log; return 1; }
    wine wineboot --end-session >/dev/null 2>&1
    tralvo_wait_for "! kill -0 $tralvo_pid 2>/dev/null" 150 || { echo "  still running" >&2; return 1; }
    wait "$tralvo_pid" || status=$?
    tralvo_pid=
    [ "$status" -eq 0 ] && log_has 'tralvo: shut down' ||
        { echo "  exit status $status" >&2; show_log; return 1; }
}
tralvo_check 'the end of the session shuts a hidden instance down in order' end_of_session

# Bytes that waited in the Device port before the start move no drawer.
waiting_bytes() {
    local before
    printf '%s' "$kick" >"$ports/com8"
    sleep 0.3
    before=$(count_pulses)
    start_tralvo 1,0
    wait_open || { show_log; return 1; }
    sleep 1
    [ "$(count_pulses)" -eq "$before" ] || { echo "  a pulse from bytes sent before the start" >&2; return 1; }
    printf '%s' "$kick" >"$ports/com8"
    tralvo_wait_for "[ \$(count_pulses) -gt $before ]" 100 || { echo "  no pulse afterwards" >&2; return 1; }
    end_with_taskkill
}
tralvo_check 'bytes waiting before the start give no pulse' waiting_bytes

# Shown: the window at the display's scale, and one Request goes round the cable to the drawer.
shown() {
    local dpi=$1 size=$2 shot=$3 wid got x y before
    set_dpi "$dpi"
    before=$(count_pulses)
    start_tralvo 0,0
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^TRALVO is Not COM$' | head -n 1)
    # Start-up, which opens the Device port, has run before the window shows.
    [ -n "$wid" ] || { echo "  the window did not appear" >&2; return 1; }
    got=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
    [ "$got" = "$size" ] || { echo "  the window is $got, expected $size" >&2; return 1; }
    [ -n "$shots" ] && import -window "$wid" "$shots/$shot"
    # Request's middle, 157,196 at 100 %, scaled like the window.
    x=$((157 * dpi / 96))
    y=$((196 * dpi / 96))
    xdotool mousemove --window "$wid" "$x" "$y" click 1
    tralvo_wait_for "[ \$(count_pulses) -gt $before ]" 100 || { echo "  no pulse after Request" >&2; return 1; }
    sleep 0.5
    [ "$(count_pulses)" -eq $((before + 1)) ] || { echo "  $(($(count_pulses) - before)) pulses" >&2; return 1; }
    end_with_taskkill
}
tralvo_check 'shown at 100 %: 215x218, one Request gives one pulse' shown 96 215x218 windows-window.png
tralvo_check 'shown at 150 %: 323x327 (1.5 times), one Request gives one pulse' \
    shown 144 323x327 windows-window-150.png
set_dpi 96

# In the printer line: a job sent to COM9 reaches a printer on COM3 (a second pair, read at its
# far end com4) byte for byte, and its kick pulses once; the raster image's kick bytes do not.
printer_line() {
    local before job=$work/job.bin got=$work/printer.bin
    tralvo_socat_pair "$ports" 3 4 || return 1
    ln -sfn "$ports/com3" "$WINEPREFIX/dosdevices/com3"
    cat "$ports/com4" >"$got" &
    tralvo_pids+=($!)
    {
        printf '\e@Coffee        2.40\n'
        # GS v 0, 5 bytes wide and 2 rows high, its data both kicks.
        printf '\x1dv0\x00\x05\x00\x02\x00\ep\x00\x19\xfa\x10\x14\x01\x00\x05'
        printf '\e@\ep\x00\x19\xfa\x1dV\x01'
    } >"$job"
    before=$(count_pulses)
    start_tralvo --printer=COM3 1,0
    wait_open || { show_log; return 1; }
    tralvo_wait_until 100 log_has 'Printer: Open Success' || { show_log; return 1; }
    cat "$job" >"$ports/com8"
    tralvo_wait_for "[ \$(stat -c %s '$got') -ge \$(stat -c %s '$job') ]" 100 ||
        { echo "  the printer got $(stat -c %s "$got") of $(stat -c %s "$job") bytes" >&2; return 1; }
    sleep 0.5
    cmp "$job" "$got" >&2 || return 1
    [ "$(count_pulses)" -eq $((before + 1)) ] || { echo "  $(($(count_pulses) - before)) pulses" >&2; return 1; }
    end_with_taskkill
}
tralvo_check 'a job through COM9 reaches the printer on COM3 byte for byte, one pulse' printer_line

# The network print port: a job from Linux over TCP to the Windows program on 127.0.0.1 pulses
# once, and a status request gets Tralvo's own answer (no printer behind it).
network_job() {
    local before port=19100 answer
    before=$(count_pulses)
    start_tralvo --listen=127.0.0.1:$port 1,0
    tralvo_wait_until 300 log_has 'Network: Open Success' || { show_log; return 1; }
    answer=$(printf 'Total 2.40\n\x10\x04\x01\ep\x00\x19\xfa' |
        timeout 10 socat -t 2 - TCP:127.0.0.1:$port,shut-none | od -An -tx1 | tr -d ' \n')
    [ "$answer" = 12 ] || { echo "  status answer '$answer', not 12" >&2; show_log; return 1; }
    tralvo_wait_for "[ \$(count_pulses) -gt $before ]" 100 || { echo "  no pulse" >&2; show_log; return 1; }
    sleep 0.5
    [ "$(count_pulses)" -eq $((before + 1)) ] || { echo "  $(($(count_pulses) - before)) pulses" >&2; return 1; }
    end_with_taskkill
}
tralvo_check 'a network job on 127.0.0.1 pulses once and gets the status answer' network_job

# The web door over TLS, with a certificate and key made here: curl, trusting that certificate
# alone, gets an ePOS pulse answered success="true", and the drawer pulses once. (The till's own
# certificate is left out: its folder's access list is Windows' business, not Wine's.)
# https_pulse_answered PORT CERT BEFORE: the door on PORT answers curl, which trusts CERT alone,
# and the drawer has pulsed once since BEFORE pulses.
https_pulse_answered() {
    local reply
    tralvo_wait_until 300 log_has 'Web: Open Success' || { show_log; return 1; }
    reply=$(CURL_CA_BUNDLE=$2 tralvo_epos_pulse \
        "https://127.0.0.1:$1/cgi-bin/epos/service.cgi?devid=local_printer&timeout=10000" 20) ||
        { echo "  no answer over TLS: ${reply:-}" >&2; show_log; return 1; }
    [ "${reply##*$'\n'}" = 200 ] && grep -q 'success="true"' <<<"$reply" ||
        { echo "  reply: $reply" >&2; show_log; return 1; }
    tralvo_wait_for "[ \$(count_pulses) -gt $3 ]" 100 || { echo "  no pulse" >&2; show_log; return 1; }
    sleep 0.5
    [ "$(count_pulses)" -eq $(($3 + 1)) ] || { echo "  $(($(count_pulses) - $3)) pulses" >&2; return 1; }
}
# Ends the program whatever it answered, so that the next check starts alone.
https_pulse() {
    local port before cert=$work/https-certificate.pem key=$work/https-key.pem status=0
    port=$(tralvo_free_tcp_port 19140) || return 1
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 -subj /CN=localhost \
        -addext subjectAltName=IP:127.0.0.1 -keyout "$key" -out "$cert" 2>"$work/openssl.err" ||
        { echo "  openssl could not make the pair:" >&2; cat "$work/openssl.err" >&2; return 1; }
    before=$(count_pulses)
    start_tralvo "--https=127.0.0.1:$port" \
        "--https-certificate=$(tralvo_winpath "$cert"),$(tralvo_winpath "$key")" 1,0
    https_pulse_answered "$port" "$cert" "$before" || status=1
    end_with_taskkill || status=1
    return "$status"
}
tralvo_check 'an ePOS pulse over https (curl trusting only the given certificate) pulses once, success="true"' \
    https_pulse

# A print queue: Wine's spooler lists the queues of a CUPS scheduler as Windows printers (with
# the 32-bit libcups), reading them when a program starts, so the queue is made first. Its device
# is a network printer that socat stands in for. A job over TCP goes into the queue as a RAW
# document and reaches the device byte for byte, with one pulse and Tralvo's own status answer.
wine_queue=tralvo-wine-check
queue_printer() {
    local before port sink_port answer listed sink=$work/queue-printed job=$work/queue-job
    tralvo_cupsd || { echo "  cupsd did not start" >&2; return 1; }
    port=$(tralvo_free_tcp_port 19130) && sink_port=$(tralvo_free_tcp_port $((port + 1))) || return 1
    : >"$sink"
    socat -u "TCP-LISTEN:$sink_port,bind=127.0.0.1,reuseaddr,fork" "OPEN:$sink,wronly,append" &
    tralvo_pids+=($!)
    lpadmin -p "$wine_queue" -E -v "socket://127.0.0.1:$sink_port" -m raw 2>/dev/null ||
        { echo "  lpadmin could not add $wine_queue" >&2; return 1; }
    listed=$(wine "$app/tralvo.exe" --list-printers 2>/dev/null | tr -d '\r')
    echo "windows e2e: --list-printers: $(grep "^$wine_queue" <<<"$listed")"
    grep -q "^$wine_queue	" <<<"$listed" ||
        { echo "  --list-printers does not list $wine_queue:" >&2; echo "$listed" >&2; return 1; }
    { printf '\x10\x04\x01\e@Coffee 2.40\n\x1dv0\x00\x02\x00\x02\x00\ep\x00\x19\xfa\n'; printf '\ep\x00\x19\xfa'; } >"$job"
    before=$(count_pulses)
    start_tralvo --listen=127.0.0.1:"$port" --printer=queue:"$wine_queue" 1,0
    tralvo_wait_until 300 log_has 'Printer: Open Success' || { show_log; return 1; }
    tralvo_wait_until 100 log_has 'Network: Open Success' || { show_log; return 1; }
    answer=$(timeout 10 socat -t 2 - "TCP:127.0.0.1:$port,shut-none" <"$job" | od -An -tx1 | tr -d ' \n')
    [ "$answer" = 12 ] || { echo "  status answer '$answer', not 12" >&2; show_log; return 1; }
    tralvo_wait_for "[ \$(stat -c %s '$sink') -ge \$(stat -c %s '$job') ]" 150 ||
        { echo "  the queue's device got $(stat -c %s "$sink") of $(stat -c %s "$job") bytes" >&2; show_log; return 1; }
    cmp "$job" "$sink" >&2 || return 1
    [ "$(count_pulses)" -eq $((before + 1)) ] || { echo "  $(($(count_pulses) - before)) pulses" >&2; return 1; }
    end_with_taskkill
}
tralvo_check 'a job to --printer=queue:NAME reaches a CUPS queue through Wine'"'"'s spooler byte for byte' \
    queue_printer

# The Network group, shown with either profile and at 150 %, and the Web group in its place: the
# window grows by one group; the group's State row and its bottom edge, cut from a screenshot, are
# pixel for pixel the Device group's (both read "State" and "Open Success", with the same distance
# to the frame's foot), so it is drawn whole where it belongs; its Address row has text in both
# columns, none of it at the value's right edge, where a cut-off text would end; and Request,
# moved below it, still works.
# Coordinates are pixels at 100 % (twips / 15), scaled like the window to $shot_dpi.
shot=$work/listener-group.png
shot_dpi=96
px() { echo $(($1 * shot_dpi / 96)); }
# The checksum of the screenshot's pixels across its whole width, from $1 down, $2 high.
band() { convert "$shot" -crop "0x$(px "$2")+0+$(px "$1")" +repage rgb:- | md5sum; }
# Whether the box $1x$2+$3+$4 of the screenshot holds a pixel darker than mid-grey.
ink() {
    [ "$(convert "$shot" -crop "$(px "$1")x$(px "$2")+$(px "$3")+$(px "$4")" +repage \
        -colorspace Gray -format '%[fx:minima<0.5]' info:)" = 1 ]
}
# shellcheck disable=SC2317 # called through tralvo_wait_until
listener_group_drawn() {
    import -window "$1" "$shot" &&
        # Device: frame top 6, State row at +58, foot at +79; the listener's: 180, +38, +59. From
        # 4 above the State row to 3 below the foot, the two are alike.
        [ "$(band 60 28)" = "$(band 214 28)" ] &&
        ink 81 20 9 194 && ink 100 20 98 194 && ! ink 8 20 198 194
}
# What listener_group sees of the window once it has started the program.
listener_group_seen() {
    local size=$1 before=$2 wids wid got
    wids=$(timeout 30 xdotool search --sync --onlyvisible --name '^TRALVO is Not COM$')
    wid=${wids%%$'\n'*}
    [ -n "$wid" ] || { echo "  the window did not appear" >&2; return 1; }
    got=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
    [ "$got" = "$size" ] || { echo "  the window is $got, expected $size" >&2; return 1; }
    # Painting may follow the window's mapping by a moment.
    tralvo_wait_until 50 listener_group_drawn "$wid" ||
        { echo "  the listener's group is not drawn whole; last screenshot: $shot" >&2; return 1; }
    # Request's middle, one group lower than without the listener's group.
    xdotool mousemove --window "$wid" "$(px 157)" "$(px 261)" click 1
    tralvo_wait_for "[ \$(count_pulses) -gt $before ]" 100 || { echo "  no pulse after Request" >&2; return 1; }
    sleep 0.5
    [ "$(count_pulses)" -eq $((before + 1)) ] || { echo "  $(($(count_pulses) - before)) pulses" >&2; return 1; }
}
# listener_group SWITCH ARGUMENTS DPI SIZE: the program with --SWITCH=127.0.0.1:PORT. Ends the
# program whatever it showed, so that the next check starts alone.
listener_group() {
    local switch=$1 arguments=$2 size=$4 port before status=0
    shot_dpi=$3
    port=$(tralvo_free_tcp_port 19110) || return 1
    set_dpi "$shot_dpi"
    before=$(count_pulses)
    start_tralvo "--$switch=127.0.0.1:$port" "$arguments"
    listener_group_seen "$size" "$before" || status=1
    end_with_taskkill || status=1
    return "$status"
}
tralvo_check 'with --listen, "0,0": the Network group is shown whole, 215x283, Request below it' \
    listener_group listen 0,0 96 215x283
tralvo_check 'with --listen, "0,1": the same' listener_group listen 0,1 96 215x283
tralvo_check 'with --listen, "0,1" at 150 %: the same, 323x425' listener_group listen 0,1 144 323x425
tralvo_check 'with --http, "0,1": the Web group is shown the same, 215x283' listener_group http 0,1 96 215x283
set_dpi 96

# shellcheck source=heal.sh
source "$here/heal.sh"

tralvo_check_summary
