#!/usr/bin/env bash
# The network print port behind a real CUPS: starts cupsd (Debian's cups, in the foreground, no
# systemd needed) unless one runs already, adds a raw queue whose device is
# socket://127.0.0.1:PORT (Tralvo's --listen), prints a receipt with an image that holds kick
# bytes and a kick with "lp -o raw", and checks that the job reaches the receipt printer (a
# network printer, --printer=socket://127.0.0.1:PORT, that socat stands in for) byte for byte
# with one pulse, and that CUPS calls the job done. Then the other way round: Tralvo prints to a
# CUPS queue (--printer=queue:NAME) that is made only after it has started, whose device is such
# a network printer: a job sent to Tralvo arrives byte for byte as one CUPS job with one pulse, a
# paused queue holds the next until it is resumed, and --list-printers lists the queue. Stops
# what it started. Builds the default preset's program first.
# Usage: scripts/cups-check.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" cups cups-client cups-bsd socat
# shellcheck source=lib/logged.sh
source "$root/scripts/lib/logged.sh"
# shellcheck source=lib/virtual.sh
source "$root/scripts/lib/virtual.sh"
tralvo_check_name=cups-check
# shellcheck source=lib/checks.sh
source "$root/scripts/lib/checks.sh"

tralvo_logged build/cups-check-build.log cmake --preset default
tralvo_logged build/cups-check-build.log cmake --build --preset default --target tralvo cashbox_standin

queue=tralvo-check
out_queue=tralvo-check-out
tralvo_pid=
finish() {
    [ -z "$tralvo_pid" ] || kill -TERM "$tralvo_pid" 2>/dev/null || true
    lpadmin -x "$queue" 2>/dev/null || true
    lpadmin -x "$out_queue" 2>/dev/null || true
    tralvo_cleanup
}
trap finish EXIT

if tralvo_cups_running; then
    echo "cups-check: using the cupsd that runs already"
else
    tralvo_cupsd || { echo "cups-check: cupsd did not start" >&2; exit 1; }
fi

tralvo_comdir
ports=$TRALVO_PORTS
port=$((20000 + RANDOM % 20000))
printer_port=$((port + 1))
# The network printer: every connection's bytes, one after the other, in one file.
: >"$ports/printed"
socat -u "TCP-LISTEN:$printer_port,bind=127.0.0.1,reuseaddr,fork" \
    "OPEN:$ports/printed,wronly,append" 2>/dev/null &
tralvo_pids+=($!)
TRALVO_COMDIR=$ports LD_LIBRARY_PATH=$root/build/standin CASHBOX_STANDIN_LOG=$ports/pulses \
    QT_QPA_PLATFORM=offscreen "$root/build/bin/tralvo" "--listen=$port" \
    "--printer=socket://127.0.0.1:$printer_port" 1,0 2>"$ports/tralvo.err" &
tralvo_pid=$!
tralvo_wait_until 100 grep -q 'Network: Open Success' "$ports/tralvo.err" ||
    { echo "cups-check: tralvo did not listen" >&2; cat "$ports/tralvo.err" >&2; exit 1; }

# A receipt, a GS v 0 image (8 x 2 bytes) whose data holds both kinds of kick, and a kick.
{
    printf '\e@Coffee        2.40\nTotal          2.40\n\n'
    printf '\x1dv0\x00\x08\x00\x02\x00\ep\x00\x19\xfa\x10\x14\x01\x00\x05UUUUUU'
    printf '\e@\ep\x00\x19\xfa\x1dV\x01'
} >"$ports/job.bin"

print_job() {
    local out id
    lpadmin -p "$queue" -E -v "socket://127.0.0.1:$port" -m raw 2>/dev/null ||
        { echo "  lpadmin could not add the queue" >&2; return 1; }
    out=$(lp -d "$queue" -o raw "$ports/job.bin") || { echo "  lp failed" >&2; return 1; }
    id=$(sed -n 's/^request id is \([^ ]*\).*/\1/p' <<<"$out")
    echo "cups-check: $out"
    tralvo_wait_for "[ \$(stat -c %s '$ports/printed') -ge \$(stat -c %s '$ports/job.bin') ]" 200 ||
        { echo "  the printer got $(stat -c %s "$ports/printed") of $(stat -c %s "$ports/job.bin") bytes" >&2; return 1; }
    cmp "$ports/job.bin" "$ports/printed" >&2 || return 1
    tralvo_wait_until 200 tralvo_output_has "^$id " -- lpstat -W completed -o "$queue" ||
        { echo "  CUPS did not call $id done" >&2; lpstat -o >&2; return 1; }
    sleep 0.5
    [ "$(grep -c pulse "$ports/pulses" 2>/dev/null)" = 1 ] ||
        { echo "  $(grep -c pulse "$ports/pulses" 2>/dev/null) pulses, not 1" >&2; return 1; }
}
tralvo_check "a raw CUPS job through the network print port reaches the printer byte for byte, one pulse" \
    print_job || true

# Tralvo's printer is a CUPS queue. It starts before the queue exists: "Open Failed", then the
# retry finds the queue. Each job sent to Tralvo is one CUPS job.
kill -TERM "$tralvo_pid" 2>/dev/null && wait "$tralvo_pid" 2>/dev/null
tralvo_pid=
: >"$ports/printed"
: >"$ports/pulses"
TRALVO_COMDIR=$ports LD_LIBRARY_PATH=$root/build/standin CASHBOX_STANDIN_LOG=$ports/pulses \
    QT_QPA_PLATFORM=offscreen "$root/build/bin/tralvo" "--listen=$port" \
    "--printer=queue:$out_queue" 1,0 2>"$ports/tralvo.err" &
tralvo_pid=$!
completed() { lpstat -W completed -o "$out_queue" 2>/dev/null | grep -c "^$out_queue-" || true; }
# Sends a file to Tralvo as one job; Tralvo's own status answer (no printer answers) comes back.
send_job() {
    local answer
    answer=$(timeout 10 socat -t 3 - "TCP:127.0.0.1:$port,shut-none" <"$1" | od -An -tx1 | tr -d ' \n')
    [ "$answer" = 12 ] || { echo "  status answer '$answer', not 12" >&2; return 1; }
}
{ printf '\x10\x04\x01'; cat "$ports/job.bin"; } >"$ports/queue-job.bin"

queue_job() {
    tralvo_wait_until 100 grep -q "Printer: no print queue \"$out_queue\"" "$ports/tralvo.err" ||
        { echo "  no reason for the missing queue in the log" >&2; cat "$ports/tralvo.err" >&2; return 1; }
    lpadmin -p "$out_queue" -E -v "socket://127.0.0.1:$printer_port" -m raw 2>/dev/null ||
        { echo "  lpadmin could not add $out_queue" >&2; return 1; }
    tralvo_wait_until 50 grep -q 'Printer: Open Success' "$ports/tralvo.err" ||
        { echo "  the retry did not find the queue" >&2; cat "$ports/tralvo.err" >&2; return 1; }
    send_job "$ports/queue-job.bin" || return 1
    tralvo_wait_for "[ \$(stat -c %s '$ports/printed') -ge \$(stat -c %s '$ports/queue-job.bin') ]" 200 ||
        { echo "  the printer got $(stat -c %s "$ports/printed") bytes" >&2; return 1; }
    cmp "$ports/queue-job.bin" "$ports/printed" >&2 || return 1
    tralvo_wait_until 100 eval '[ "$(completed)" = 1 ]' || { echo "  $(completed) CUPS jobs, not 1" >&2; return 1; }
    [ "$(grep -c pulse "$ports/pulses" 2>/dev/null)" = 1 ] ||
        { echo "  $(grep -c pulse "$ports/pulses" 2>/dev/null) pulses, not 1" >&2; return 1; }
}
tralvo_check "a job sent to Tralvo reaches a CUPS queue made after the start as one job, byte for byte, one pulse" \
    queue_job || true

paused_queue() {
    local sent=$ports/queue-job.bin
    : >"$ports/printed"
    cupsdisable "$out_queue" || return 1
    send_job "$sent" || { cupsenable "$out_queue"; return 1; }
    sleep 2
    [ ! -s "$ports/printed" ] || { echo "  the paused queue printed" >&2; cupsenable "$out_queue"; return 1; }
    cupsenable "$out_queue" || return 1
    tralvo_wait_for "[ \$(stat -c %s '$ports/printed') -ge \$(stat -c %s '$sent') ]" 200 ||
        { echo "  the printer got $(stat -c %s "$ports/printed") bytes after the resume" >&2; return 1; }
    cmp "$sent" "$ports/printed" >&2 || return 1
    tralvo_wait_until 100 eval '[ "$(completed)" = 2 ]' || { echo "  $(completed) CUPS jobs, not 2" >&2; return 1; }
}
tralvo_check "a paused CUPS queue holds the job until it is resumed, then it arrives whole" \
    paused_queue || true

list_printers() {
    local listed
    listed=$(QT_QPA_PLATFORM=offscreen "$root/build/bin/tralvo" --list-printers) || return 1
    echo "cups-check: --list-printers: $(grep "^$out_queue" <<<"$listed")"
    grep -qxF "$out_queue	socket://127.0.0.1:$printer_port	idle" <<<"$listed" ||
        { echo "  $out_queue is not listed with its device and state:" >&2; echo "$listed" >&2; return 1; }
}
tralvo_check "--list-printers lists the queue with its device and state" list_printers || true
tralvo_check_summary
