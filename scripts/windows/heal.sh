# shellcheck shell=bash disable=SC2154 # sourced by e2e.sh, which sets ports, kick, pulses, app, work
# The Windows program heals as on a till: a Device port that appears late or is re-plugged, a
# command cut by the transport, and a reason in tralvo.log for every failure. Sourced by e2e.sh
# after its own checks, with its program folder, ports, log and helpers.

# socat's end of the COM pair goes (as a USB adapter pulled) and comes back on the same path.
pair_pid() { pgrep -f "^socat pty,raw,echo=0,link=$ports/com9 " | head -n 1; }
pull_pair() {
    local pid
    pid=$(pair_pid)
    [ -n "$pid" ] && kill "$pid" && tralvo_wait_for "[ ! -e '$ports/com9' ]" 50
}
plug_pair() { tralvo_socat_pair "$ports" 9 8; }
# Each case begins with the pair in place and no Tralvo left over from a failed case.
fresh() {
    [ -n "$tralvo_pid" ] && kill -KILL "$tralvo_pid" 2>/dev/null && wait "$tralvo_pid" 2>/dev/null
    tralvo_pid=
    [ -e "$ports/com9" ] || plug_pair
}
# CPU time (user and system, in clock ticks) of a process, from /proc.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/${1:?}/stat" 2>/dev/null; }
# The wineserver of this prefix: its working folder is named after the prefix's device and inode.
prefix_server() {
    local p folder
    folder=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    for p in $(pgrep wineserver); do
        [ "$(basename "$(readlink "/proc/$p/cwd")")" = "$folder" ] && echo "$p" && return
    done
}
lines_since() { log_since | grep -cF "$1"; }

# COM9 appears 2.5 s after a hidden start: the failure is told once, with its reason, and the
# port is taken within about a second of appearing.
late_port() {
    local before took
    fresh
    pull_pair || return 1
    before=$(count_pulses)
    start_tralvo 1,0
    tralvo_wait_until 300 log_has 'Device: Open Failed' || { show_log; return 1; }
    sleep 2.5
    plug_pair || return 1
    took=$(date +%s%N)
    tralvo_wait_until 50 log_has 'Device: the port is open again' ||
        { echo "  COM9 not taken within 5 s" >&2; show_log; return 1; }
    echo "  taken $((($(date +%s%N) - took) / 1000000)) ms after it appeared"
    printf '%s' "$kick" >"$ports/com8"
    tralvo_wait_for "[ \$(count_pulses) -gt $before ]" 100 || { echo "  no pulse" >&2; return 1; }
    [ "$(lines_since 'Device: cannot open COM9: ')" = 1 ] &&
        [ "$(lines_since 'trying the port again')" = 1 ] &&
        [ "$(lines_since 'Device: the port is open again')" = 1 ] ||
        { echo "  the log does not tell the failure, its reason and the recovery once each" >&2; show_log; return 1; }
    end_with_taskkill
}
tralvo_check 'COM9 appearing 2.5 s after a hidden start is taken, and a command pulses' late_port

# Pulled and plugged again five times: taken each time, no command lost, no CPU while gone.
replug() {
    local before round pid t0 used server t0s
    fresh
    before=$(count_pulses)
    start_tralvo 1,1
    wait_open || { show_log; return 1; }
    pid=$tralvo_pid
    grep -qa 'tralvo.exe' "/proc/$pid/cmdline" || { echo "  $pid is not tralvo.exe" >&2; return 1; }
    for round in 1 2 3 4 5; do
        pull_pair || return 1
        tralvo_wait_for "[ \$(lines_since 'Device: port lost: ') -ge $round ]" 50 ||
            { echo "  round $round: the loss was not seen" >&2; show_log; return 1; }
        if [ "$round" = 1 ]; then
            server=$(prefix_server)
            t0=$(cpu_ticks "$pid") t0s=$(cpu_ticks "$server")
            # One attempt a second may be charged a tick each on a loaded machine, and a few come
            # from elsewhere; a busy loop would take about 600.
            sleep 6
            used=$(($(cpu_ticks "$pid") - t0))
            echo "  while the port is gone: tralvo.exe $used, wineserver $(($(cpu_ticks "$server") - t0s)) CPU ticks in 6 s (at most 12)"
            [ "$t0" -gt 0 ] && [ "$used" -le 12 ] || { echo "  busy while the port is gone" >&2; return 1; }
        fi
        plug_pair || return 1
        tralvo_wait_for "[ \$(lines_since 'Device: the port is open again') -ge $round ]" 50 ||
            { echo "  round $round: not taken again" >&2; show_log; return 1; }
        printf '%s' "$kick" >"$ports/com8"
        tralvo_wait_for "[ \$(count_pulses) -ge $((before + round)) ]" 100 ||
            { echo "  round $round: the command was lost" >&2; return 1; }
    done
    sleep 0.5
    [ "$(count_pulses)" = $((before + 5)) ] || { echo "  $(($(count_pulses) - before)) pulses for 5" >&2; return 1; }
    tralvo_output_has -F '"50d" "6" "501" "5" -> 0' -- tail -n 1 "$pulses" ||
        { echo "  not profile 1" >&2; return 1; }
    end_with_taskkill
}
tralvo_check 'COM9 pulled and plugged again 5 times: taken each time, no command lost, idle while gone' replug

# ESC, DELAY, then the rest of a command. Within the wait (EXPECTED 1) the two are one command,
# one pulse. After it (EXPECTED 0) the ESC was decided alone by its timer, with no other event to
# wake a hidden instance: the rest begins a text of its own, no pulse, and a whole command after it
# pulses once.
esc_then_rest() {
    local delay=$1 expected=$2 before
    fresh
    before=$(count_pulses)
    start_tralvo 1,0
    wait_open || { show_log; return 1; }
    exec 7>"$ports/com8"
    printf '\033' >&7
    sleep "$delay"
    printf 'p\000\031\372' >&7
    if [ "$expected" = 0 ]; then
        sleep 1
        [ "$(count_pulses)" = "$before" ] || { exec 7>&-; echo "  ESC, $delay s, p pulsed" >&2; return 1; }
        printf '\033p\000\031\372' >&7
    fi
    exec 7>&-
    tralvo_wait_for "[ \$(count_pulses) -gt $before ]" 100 || { echo "  no pulse" >&2; return 1; }
    sleep 1
    [ "$(count_pulses)" = $((before + 1)) ] || { echo "  $(($(count_pulses) - before)) pulses" >&2; return 1; }
    end_with_taskkill
}
tralvo_check 'ESC, 5 ms, then p 0 25 250: one pulse' esc_then_rest 0.005 1
tralvo_check 'ESC, 400 ms, then p 0 25 250: no pulse; ESC p 0 25 250 after it: one pulse' \
    esc_then_rest 0.4 0

# A failing drawer library and a missing one: each says why in the log.
library_reason() {
    local situation=$1 reason=$2 found=0
    fresh
    if [ "$situation" = missing ]; then
        mv "$app/CashBox.dll" "$work/CashBox.dll.away"
    fi
    CASHBOX_STANDIN_RESULT=3 start_tralvo 1,0
    wait_open || { show_log; return 1; }
    printf '%s' "$kick" >"$ports/com8"
    tralvo_wait_until 100 log_has -F "$reason" || { echo "  no '$reason'" >&2; show_log; found=1; }
    [ "$situation" = missing ] && mv "$work/CashBox.dll.away" "$app/CashBox.dll"
    end_with_taskkill && return "$found"
}
tralvo_check 'a library returning 3: "the drawer library returned 3" in tralvo.log' \
    library_reason result 'tralvo: Device: the drawer library returned 3'
tralvo_check 'no CashBox.dll: "cannot bind the drawer library" and why in tralvo.log' \
    library_reason missing 'Device: cannot bind the drawer library: Cannot load library '
