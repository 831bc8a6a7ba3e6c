#!/usr/bin/env bash
# Installs what building, running and testing Tralvo need on Debian 12, only what is missing.
# Safe to run again. Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config libsystemd-dev libcups2-dev libhttp-parser-dev libssl-dev
    qt6-base-dev qt6-serialport-dev qt6-qpa-plugins
    qtbase5-dev libqt5serialport5-dev
    socat xvfb xauth x11-utils xdotool imagemagick procps
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    # The state is read whole before grep looks at it: "dpkg-query | grep -q" would fail under
    # pipefail when grep's early exit killed dpkg-query with SIGPIPE.
    if ! state=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) ||
        ! grep -q 'install ok installed' <<<"$state"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
else
    sudo=
fi
echo "Installing: ${missing[*]}"
# A top-level script that has run this already sets TRALVO_APT_UPDATED for the ones it calls.
# A mirror caught mid-sync fails the update ("File has unexpected size"): a later try finds it
# whole. Should it stay so, the lists that did come (and the older ones) may still hold every
# package asked for; the install says so if they do not.
if [ -z "${TRALVO_APT_UPDATED:-}" ]; then
    for try in 1 2 3 4; do
        $sudo apt-get update -q && break
        if [ "$try" -eq 4 ]; then
            echo "deps.sh: apt-get update failed four times; installing from the lists there are" >&2
            break
        fi
        echo "deps.sh: apt-get update failed; trying again in $((try * 20)) s" >&2
        sleep $((try * 20))
    done
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
