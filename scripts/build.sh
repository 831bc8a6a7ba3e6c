#!/usr/bin/env bash
# Configures and builds Tralvo.
# Usage: scripts/build.sh [build-dir] [cmake options...] [-- ninja targets...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
shift || true
options=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    options+=("$1")
    shift
done
[ "${1:-}" = "--" ] && shift
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
ninja -C "$build" "$@"
