#!/usr/bin/env bash
# Drawer-bridge benchmark of the built program against a minimal C bridge (the floor) and a
# pyserial bridge, each on its own virtual null-modem pair; then the pass-through to a printer
# port against socat bridging the same two pairs; then the network print port (--listen) against
# socat's TCP-LISTEN, both passing one client's job on to the same kind of printer end (the
# sink). Prints markdown tables and writes them to bench/results.md (a part not run keeps its
# section there).
#
# Usage: bench/run.sh [build-dir]   (default: build-release, built first with the release preset)
# Environment: BENCH_ROUNDS (3), BENCH_COMMANDS (500), BENCH_INTERVAL_MS (20), BENCH_IDLE_S (10),
#              BENCH_FLOOD_BYTES (8388608), BENCH_FLOOD_TIMEOUT_S (300), BENCH_KEEP=1 keeps the
#              raw measurements. BENCH_PARTS (drawer,passthrough; also network, web) picks the parts;
#              BENCH_JOB_BYTES (4194304), BENCH_SMALL_WRITES (200), BENCH_SMALL_BYTES (64) are the
#              pass-through's job and its small writes.
#              Part network: BENCH_NET_BYTES (33554432) of receipt text on one connection,
#              BENCH_NET_KICKS (200) drawer commands BENCH_NET_INTERVAL_MS (20) apart, each on a
#              connection of its own, BENCH_NET_PORT (19100; the TCP sink listens one above),
#              BENCH_NET_SINKS (fifo,pty,tcp) the printer ends to measure (see net_sink below).
#              Part web (bench/web.py): BENCH_WEB_PULSES (200) ePOS pulses back to back and as
#              many paced BENCH_NET_INTERVAL_MS apart, with as many print-port kicks beside them,
#              BENCH_WEB_IMAGES (20) requests of a 300 KiB raster image and as many of a JPEG
#              receipt for Odoo's hardware proxy (ImageMagick makes it), BENCH_WEB_PORT (19300;
#              the print port one above, the network printer two above, https three above),
#              BENCH_WEB_CONNECTIONS (500) new connections each over http and https.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=${1:-}
rounds=${BENCH_ROUNDS:-3}
commands=${BENCH_COMMANDS:-500}
interval_ms=${BENCH_INTERVAL_MS:-20}
idle_s=${BENCH_IDLE_S:-10}
flood_bytes=${BENCH_FLOOD_BYTES:-8388608}
flood_timeout_s=${BENCH_FLOOD_TIMEOUT_S:-300}
parts=${BENCH_PARTS:-drawer,passthrough}
net_bytes=${BENCH_NET_BYTES:-33554432}
net_kicks=${BENCH_NET_KICKS:-200}
net_interval_ms=${BENCH_NET_INTERVAL_MS:-20}
net_port=${BENCH_NET_PORT:-19100}
net_sinks=${BENCH_NET_SINKS:-fifo,pty,tcp}
web_pulses=${BENCH_WEB_PULSES:-200}
web_images=${BENCH_WEB_IMAGES:-20}
web_port=${BENCH_WEB_PORT:-19300}
web_connections=${BENCH_WEB_CONNECTIONS:-500}
job_bytes=${BENCH_JOB_BYTES:-4194304}
small_writes=${BENCH_SMALL_WRITES:-200}
small_bytes=${BENCH_SMALL_BYTES:-64}

if [ -z "$build" ]; then
    build=$root/build-release
    (cd "$root" && cmake --preset release >/dev/null &&
        cmake --build --preset release --target tralvo cashbox_standin >/dev/null)
fi
build=$(cd "$build" && pwd)
tralvo=$build/bin/tralvo
standin_dir=$build/standin
standin=$standin_dir/libCashBox.so
if [ ! -x "$tralvo" ] || [ ! -f "$standin" ]; then
    echo "bench: $tralvo or $standin is missing; build them there first" >&2
    exit 2
fi

bash "$root/scripts/deps.sh" python3 python3-serial socat imagemagick
# The system interpreter is the one python3-serial installs for.
python=/usr/bin/python3

# shellcheck source=../scripts/lib/virtual.sh
source "$root/scripts/lib/virtual.sh"
work=$(mktemp -d /tmp/tralvo-bench.XXXXXX)
cleanup() {
    tralvo_cleanup
    if [ "${BENCH_KEEP:-0}" = 1 ]; then
        echo "bench: raw measurements kept in $work" >&2
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cc=${CC:-cc}
"$cc" -O2 -Wall -Wextra -o "$work/benchtool" "$here/benchtool.c" -lpthread -lutil
"$cc" -O2 -Wall -Wextra -o "$work/floor" "$here/floor.c" -ldl
tool=$work/benchtool

forget_pid() {
    local keep=() p
    for p in "${tralvo_pids[@]}"; do
        [ "$p" = "$1" ] || keep+=("$p")
    done
    tralvo_pids=("${keep[@]+"${keep[@]}"}")
}

# Ends a process we started: SIGTERM, then SIGKILL after 5 s. Sets stopped_rc to its status.
stop_pid() {
    local pid=$1 i rc=0
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 100; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || rc=$?
    forget_pid "$pid"
    stopped_rc=$rc
}

# Starts a socat pair in $1 (com9 for the bridge, com8 for the writer); sets socat_pid.
start_pair() {
    tralvo_socat_pair "$1" 9 8 || return 1
    socat_pid=${tralvo_pids[-1]}
}

pulse_count() {
    if [ -f "$1" ]; then wc -l <"$1"; else echo 0; fi
}

# Waits up to $3 tenths of a second for the log $1 to pass $2 lines.
wait_pulses() { tralvo_wait_for "[ \$(pulse_count '$1') -gt $2 ]" "$3"; }

# One program, one pair: a warm-up command, then the timed commands; for Tralvo also the idle
# period and the flood.
run_program() {
    local name=$1 dir=$2 pid
    mkdir -p "$dir"
    start_pair "$dir"
    local log=$dir/pulses.log
    case $name in
    tralvo)
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TRALVO_COMDIR="$dir" \
            LD_LIBRARY_PATH="$standin_dir" CASHBOX_STANDIN_LOG="$log" \
            "$tralvo" 1,0 2>"$dir/program.err" &
        ;;
    floor)
        CASHBOX_STANDIN_LOG="$log" "$work/floor" "$dir/com9" "$standin" 2>"$dir/program.err" &
        ;;
    pyserial)
        CASHBOX_STANDIN_LOG="$log" "$python" "$here/pyserial_bridge.py" "$dir/com9" "$standin" \
            2>"$dir/program.err" &
        ;;
    esac
    pid=$!
    tralvo_pids+=("$pid")
    "$tool" wait-open "$pid" "$dir/com9" 15000

    # The first command binds the library in Tralvo; it is not part of the timed run.
    "$tool" kick "$dir/com8" 1 0 "$dir/warmup.txt"
    wait_pulses "$log" 0 20 || echo "bench: $name gave no pulse for the warm-up command" >&2
    sleep 0.2

    "$tool" proc "$pid" >"$dir/cpu-before.txt"
    "$tool" kick "$dir/com8" "$commands" "$interval_ms" "$dir/writes.txt" "$dir/com9"
    sleep 0.5
    "$tool" proc "$pid" >"$dir/cpu-after.txt"

    if [ "$name" = tralvo ]; then
        sleep 1
        "$tool" proc "$pid" >"$dir/idle-before.txt"
        sleep "$idle_s"
        "$tool" proc "$pid" >"$dir/idle-after.txt"

        "$tool" flood "$dir/com8" "$flood_bytes" "$pid" "$dir/com9" "$flood_timeout_s" \
            >"$dir/flood.txt" || echo "bench: flood measurement did not finish" >&2
        local before
        before=$(pulse_count "$log")
        "$tool" kick "$dir/com8" 1 0 "$dir/after-flood.txt"
        wait_pulses "$log" "$before" 20 || true
        sleep 0.5 # a second pulse for the one command would show by now
        echo $(($(pulse_count "$log") - before)) >"$dir/after-flood-pulses.txt"
    fi

    stop_pid "$pid"
    echo "$stopped_rc" >"$dir/exit.txt"
    stop_pid "$socat_pid"
}

# Pass-through: POS -> pair -> bridge -> pair -> printer, the pairs pseudo-terminals the tool
# holds (no process relays inside them). The bridge is Tralvo with --printer=COM3, or socat
# joining com9 to com3; "pair" is no bridge, one pair's own hop.
run_passthrough() {
    local name=$1 dir=$2 bridge=()
    mkdir -p "$dir"
    case $name in
    tralvo)
        bridge=(-- env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TRALVO_COMDIR="$dir"
            LD_LIBRARY_PATH="$standin_dir" CASHBOX_STANDIN_LOG="$dir/pulses.log"
            "$tralvo" --printer=COM3 1,0)
        ;;
    socat) bridge=(-- socat "$dir/com9,raw,echo=0" "$dir/com3,raw,echo=0") ;;
    esac
    "$tool" bridge "$dir" "$job_bytes" "$small_writes" "$small_bytes" "$dir/latency.txt" \
        "${bridge[@]}" >"$dir/through.txt" 2>"$dir/program.err" ||
        echo "bench: $name: $(tr '\n' ' ' <"$dir/through.txt")$(tail -3 "$dir/program.err")" >&2
}

# The printer's end of the network part, KIND in DIR: sets net_sink_name (what benchtool makes
# and reads), net_printer (Tralvo's --printer) and net_socat_sink (socat's second address).
#   fifo: a named pipe; Tralvo writes it as a character device, socat opens it write-only.
#   pty:  a pseudo-terminal, its far end linked as DIR/printer (a serial printer).
#   tcp:  a socket listening one port above the print port (a network printer).
net_sink() {
    local kind=$1 dir=$2
    case $kind in
    fifo)
        net_sink_name=fifo:$dir/printer net_printer=$dir/printer
        net_socat_sink=OPEN:$dir/printer,wronly
        ;;
    pty)
        net_sink_name=pty:$dir/printer net_printer=$dir/printer
        net_socat_sink=$dir/printer,raw,echo=0
        ;;
    tcp)
        net_sink_name=tcp:127.0.0.1:$((net_port + 1)) net_printer=socket://127.0.0.1:$((net_port + 1))
        net_socat_sink=TCP:127.0.0.1:$((net_port + 1))
        ;;
    *)
        echo "bench: unknown network sink $kind" >&2
        return 2
        ;;
    esac
}

# The programs measured against a sink: both, on every sink.
net_programs() {
    echo tralvo socat
}

# Network print port: one client -> TCP 127.0.0.1:net_port -> bridge -> sink ($net_kind). The
# bridge is Tralvo (--listen, --printer to the sink; its Device port an idle pair) or socat
# (TCP-LISTEN, one connection, to the same sink). Tralvo also takes the kicks, each on a new
# connection, which pulse the stand-in library.
run_network() {
    local name=$1 dir=$2 bridge=() kicks=0
    mkdir -p "$dir"
    net_sink "$net_kind" "$dir"
    case $name in
    tralvo)
        start_pair "$dir"
        kicks=$net_kicks
        bridge=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TRALVO_COMDIR="$dir"
            LD_LIBRARY_PATH="$standin_dir" CASHBOX_STANDIN_LOG="$dir/pulses.log"
            "$tralvo" --listen=127.0.0.1:"$net_port" --printer="$net_printer" 1,0)
        ;;
    socat) bridge=(socat "TCP-LISTEN:$net_port,reuseaddr,bind=127.0.0.1" "$net_socat_sink") ;;
    esac
    "$tool" net "$net_sink_name" "$net_port" "$net_bytes" "$kicks" "$net_interval_ms" \
        "$dir/writes.txt" -- "${bridge[@]}" >"$dir/net.txt" 2>"$dir/program.err" ||
        echo "bench: network $net_kind $name: $(tr '\n' ' ' <"$dir/net.txt")$(tail -3 "$dir/program.err")" >&2
    if [ "$name" = tralvo ]; then
        stop_pid "$socat_pid"
    fi
}

# The web door: bench/web.py drives Tralvo (--http, --https with the till's own certificate,
# made in the round's folder, --listen, --printer to its own listener).
run_web() {
    local name=$1 dir=$2 cert
    mkdir -p "$dir/state"
    start_pair "$dir"
    cert=$(STATE_DIRECTORY=$dir/state "$tralvo" --https-certificate-path 2>/dev/null)
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TRALVO_COMDIR="$dir" \
        LD_LIBRARY_PATH="$standin_dir" CASHBOX_STANDIN_LOG="$dir/pulses.log" \
        STATE_DIRECTORY="$dir/state" \
        "$python" "$here/web.py" measure --https-port $((web_port + 3)) --cafile "$cert" \
        --connections "$web_connections" "$dir" "$web_port" $((web_port + 1)) $((web_port + 2)) \
        "$web_pulses" "$net_interval_ms" "$web_images" "$work/receipt.jpg" -- \
        "$tralvo" --http=127.0.0.1:"$web_port" --https=127.0.0.1:$((web_port + 3)) \
        --listen=127.0.0.1:$((web_port + 1)) --printer=socket://127.0.0.1:$((web_port + 2)) 1,0 ||
        echo "bench: web $name: $(tail -3 "$dir/program.err")" >&2
    stop_pid "$socat_pid"
}

# run_rounds LABEL RUNNER FOLDER NAME...: each NAME once a round, as RUNNER NAME
# $work/FOLDER<round>/NAME. Rotating the order keeps a slow spell of the machine from always
# hitting the same one.
run_rounds() {
    local label=$1 runner=$2 folder=$3 r k name
    shift 3
    for ((r = 1; r <= rounds; r++)); do
        for ((k = 0; k < $#; k++)); do
            name=${*:$(((k + r - 1) % $# + 1)):1}
            echo "bench: ${label}round $r/$rounds: $name" >&2
            "$runner" "$name" "$work/$folder$r/$name"
        done
    done
}

if [[ ,$parts, == *,drawer,* ]]; then
    run_rounds '' run_program round tralvo floor pyserial
    "$python" "$here/report.py" "$work" "$here/results.md" \
        --command "bench/run.sh${1:+ $1}" --rounds "$rounds" --commands "$commands" \
        --interval-ms "$interval_ms" --idle-s "$idle_s" --flood-bytes "$flood_bytes"
fi

if [[ ,$parts, == *,passthrough,* ]]; then
    run_rounds 'pass-through ' run_passthrough through tralvo socat pair
    "$python" "$here/report.py" "$work" "$here/results.md" --passthrough \
        --command "BENCH_PARTS=passthrough bench/run.sh${1:+ $1}" --rounds "$rounds" \
        --job-bytes "$job_bytes" --small-writes "$small_writes" --small-bytes "$small_bytes"
fi

if [[ ,$parts, == *,network,* ]]; then
    IFS=, read -ra kinds <<<"$net_sinks"
    for net_kind in "${kinds[@]}"; do
        # shellcheck disable=SC2046 # the program names are single words
        run_rounds "network $net_kind " run_network "net-$net_kind-" $(net_programs "$net_kind")
    done
    "$python" "$here/report.py" "$work" "$here/results.md" --network \
        --command "BENCH_PARTS=network bench/run.sh${1:+ $1}" --rounds "$rounds" \
        --net-sinks "$net_sinks" --net-bytes "$net_bytes" --net-kicks "$net_kicks" \
        --net-interval-ms "$net_interval_ms"
fi

if [[ ,$parts, == *,web,* ]]; then
    # A receipt picture 512 dots wide as Odoo sends one, of noise (the decoder's and the dither's
    # hardest case), about 290 KiB as JPEG.
    convert -size 512x1200 xc:white +noise Random -colorspace Gray -quality 75 \
        "$work/receipt.jpg"
    run_rounds 'web ' run_web web tralvo
    "$python" "$here/web.py" report "$work" "$here/results.md" \
        --command "BENCH_PARTS=web bench/run.sh${1:+ $1}" --rounds "$rounds" \
        --pulses "$web_pulses" --images "$web_images" --interval-ms "$net_interval_ms" \
        --connections "$web_connections"
fi
