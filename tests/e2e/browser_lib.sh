# shellcheck shell=bash
# What the browser checks share (sourced by web_browser.sh and web_browser_tls.sh after
# scripts/lib/virtual.sh): failing with the logs in $ports, a free port, chromium headless on a
# page until the page reports it is done, and what the page reported.

# $ports is the calling check's folder.
# shellcheck disable=SC2154
fail() {
    echo "FAIL: $*" >&2
    for f in stderr page.log; do
        [ -f "$ports/$f" ] && { echo "--- $f" >&2; cat -v "$ports/$f" | tail -30 >&2; }
    done
    [ -f "$ports/printer" ] && { echo "--- printer" >&2; od -An -tx1 "$ports/printer" | head >&2; }
    exit 1
}
browser=$(command -v chromium || true)
[ -n "$browser" ] || fail "chromium is not installed (scripts/test.sh installs it)"
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# browse URL DONE HOSTS: the page at URL in a fresh profile, the names HOSTS (blank-separated)
# resolving to 127.0.0.1, until it requests /result/DONE/ from the page server.
browse() {
    local profile rules=() host pid
    profile=$(mktemp -d)
    tralvo_tmpdirs+=("$profile")
    for host in $3; do rules+=("MAP $host 127.0.0.1"); done
    "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$profile" --host-resolver-rules="$(IFS=,; echo "${rules[*]}")" \
        "$1" >/dev/null 2>&1 &
    pid=$!
    tralvo_pids+=("$pid")
    tralvo_wait_for "grep -q 'GET /result/$2/' '$ports/page.log'" 300 || fail "the page ($1) did not finish"
    kill "$pid" 2>/dev/null || true
}

# result NAME: what the page reported for NAME.
result() {
    local line
    line=$(grep -o "GET /result/$1/[^ ]*" "$ports/page.log" || true)
    echo "${line#GET /result/"$1"/}"
}
