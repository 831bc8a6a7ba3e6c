# Virtual ports and a virtual display for Tralvo's scripts; source it, then call the functions.
# Everything started here is stopped by tralvo_cleanup (set it as an EXIT trap).

tralvo_pids=()
tralvo_tmpdirs=()

tralvo_cleanup() {
    local pid
    for pid in "${tralvo_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${tralvo_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    tralvo_pids=()
    local d
    for d in "${tralvo_tmpdirs[@]}"; do
        rm -rf "$d"
    done
    tralvo_tmpdirs=()
}

# tralvo_wait_until <tenths> <command...>: polls the command every 0.1 s, for at most that many
# tenths of a second, until it succeeds.
tralvo_wait_until() {
    local tenths=$1 i
    shift
    for ((i = 0; i < tenths; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# The same for a line of shell: waits up to $2 tenths of a second for $1 to succeed.
tralvo_wait_for() { tralvo_wait_until "$2" eval "$1"; }

# tralvo_output_has <grep options...> <pattern> -- <command...>: succeeds when the command
# succeeds and grep -q with those options finds a line of its output. Unlike piping the command
# into grep -q, the output is read to its end first: under pipefail such a pipe fails when grep
# stops reading early and the command dies of SIGPIPE.
tralvo_output_has() {
    local options=() out
    while [ "$#" -gt 0 ] && [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    [ "$#" -gt 1 ] || { echo "tralvo_output_has: no -- <command> after grep's options" >&2; return 2; }
    shift
    # The dot keeps the output's own trailing newlines, so that grep sees the very same lines.
    out=$("$@" && echo .) || return
    out=${out%.}
    [ -n "$out" ] || return 1 # no line at all: grep finds nothing, even with -v
    grep -q "${options[@]}" <<<"${out%$'\n'}"
}

# A private folder for port links and logs, removed by tralvo_cleanup; sets TRALVO_PORTS.
tralvo_comdir() {
    TRALVO_PORTS=$(mktemp -d "${TMPDIR:-/tmp}/tralvo-ports.XXXXXX")
    tralvo_tmpdirs+=("$TRALVO_PORTS")
}

# A virtual null-modem cable: $1/com$2 joined to $1/com$3; $4 adds options to both ends (such as
# ",group=dialout,perm=0660").
tralvo_socat_pair() {
    local dir=$1 a=$2 b=$3 more=${4:-}
    # In a session of its own, so that Ctrl-C reaches Tralvo alone and cleanup ends the rest.
    setsid socat "pty,raw,echo=0,link=$dir/com$a$more" "pty,raw,echo=0,link=$dir/com$b$more" \
        2>/dev/null &
    tralvo_pids+=($!)
    tralvo_wait_for "[ -e '$dir/com$a' ] && [ -e '$dir/com$b' ]" 50 || {
        echo "socat did not make the port pair in $dir" >&2
        return 1
    }
}

# A virtual X server on the first free display; exports DISPLAY.
tralvo_xvfb() {
    local n
    for ((n = 99; n < 140; n++)); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    setsid Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
    tralvo_pids+=($!)
    tralvo_wait_for "[ -e /tmp/.X11-unix/X$n ]" 100 || {
        echo "Xvfb did not start on :$n" >&2
        return 1
    }
    export DISPLAY=":$n"
}

# A CUPS scheduler: Debian's cupsd in the foreground (no systemd needed), unless one runs
# already. One started here is stopped by tralvo_cleanup.
tralvo_cups_running() { tralvo_output_has -x 'scheduler is running' -- lpstat -r; }
tralvo_cupsd() {
    tralvo_cups_running && return 0
    mkdir -p /run/cups
    cupsd -f >/dev/null 2>&1 &
    tralvo_pids+=($!)
    tralvo_wait_until 100 tralvo_cups_running
}
