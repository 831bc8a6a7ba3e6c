#!/usr/bin/env bash
# Soak: the real tralvo (Release build in build-soak) behind a socat pseudo-terminal pair, with
# the stand-in drawer library; thousands of commands and noise chunks, bursts, failing library
# calls, and the peer vanishing at the end. See tests/soak/soak.cpp for what is checked.
# Usage: scripts/soak.sh [--short] [--run N]
#   default: 10,000 gapped commands and 10 burst rounds (several minutes)
#   --short: 500 gapped commands and 5 burst rounds (under a minute)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-soak"
commands=10000
bursts=10
limit=1800
extra=()

while [ $# -gt 0 ]; do
    case "$1" in
    --short)
        commands=500
        bursts=5
        limit=300
        shift
        ;;
    --run)
        extra+=(--run "${2:?--run needs a number}")
        shift 2
        ;;
    -h | --help)
        sed -n '2,8p' "${BASH_SOURCE[0]}"
        exit 0
        ;;
    *)
        echo "soak.sh: unknown argument: $1" >&2
        exit 2
        ;;
    esac
done

"$root/scripts/deps.sh" socat procps coreutils

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRALVO_BUILD_TESTS=OFF \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
ninja -C "$build" -j2 tralvo cashbox_standin
c++ -std=c++17 -O2 -Wall -Wextra -Wpedantic -Werror -o "$build/soak" "$root/tests/soak/soak.cpp"

work=$(mktemp -d "${TMPDIR:-/tmp}/tralvo-soak.XXXXXX")
driver=
# shellcheck disable=SC2317 # called by the trap below
cleanup() {
    if [ -n "$driver" ] && kill -0 "$driver" 2>/dev/null; then
        kill "$driver" 2>/dev/null || true
        wait "$driver" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The driver ends socat and tralvo itself (and they die with it); timeout bounds the whole run.
timeout --kill-after=10 "$limit" "$build/soak" --tralvo "$build/bin/tralvo" \
    --standin-dir "$build/standin" --workdir "$work" \
    --commands "$commands" --bursts "$bursts" ${extra[@]+"${extra[@]}"} &
driver=$!
status=0
wait "$driver" || status=$?
driver=
if [ "$status" -eq 124 ]; then
    echo "soak: timed out after $limit s"
fi
exit "$status"
