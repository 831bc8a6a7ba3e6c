#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt-get and runs the installed
# program the way tralvo.service does: hidden, without a display, as an unprivileged user in the
# dialout group, here against a virtual pair of ports and with the stand-in drawer library chosen
# explicitly. Needs root (apt-get). The package stays installed afterwards.
# Usage: scripts/package-check.sh   (TRALVO_PACKAGE_BUILD_DIR overrides the build folder)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TRALVO_PACKAGE_BUILD_DIR:-$root/build-package}
# The user the program runs as: an unprivileged one, like the service's dynamic user.
run_user=nobody
run_group=nogroup

tralvo_check_name=package-check
# shellcheck source=lib/checks.sh
source "$root/scripts/lib/checks.sh"
# shellcheck source=lib/logged.sh
source "$root/scripts/lib/logged.sh"
# shellcheck source=lib/virtual.sh
source "$root/scripts/lib/virtual.sh"
tmp=
ports=
socat_pid=
tralvo_pid=
com8_fd=

stop_run() {
    local pid
    if [ -n "$com8_fd" ]; then
        exec {com8_fd}>&-
        com8_fd=
    fi
    for pid in $tralvo_pid $socat_pid; do
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    tralvo_pid=
    socat_pid=
}

cleanup() {
    stop_run
    if [ -n "$tmp" ]; then
        # A killed instance leaves its lock files behind.
        rm -f /run/lock/LCK.."${tmp//\//_}"_*
        rm -rf "$tmp"
    fi
}
trap cleanup EXIT

# A step everything after it needs: on failure, stop here.
die() {
    echo "package-check: FAIL: $*" >&2
    failed=$((failed + 1))
    tralvo_check_summary
    exit 1
}

# Runs one named check (a check prints its own reason), then stops what it started.
check() {
    tralvo_check "$@" || true
    stop_run
}

[ "$(id -u)" -eq 0 ] || die "run as root: the package is installed with apt-get"

"$root/scripts/deps.sh" dpkg-dev man-db socat util-linux lintian curl ||
    die "could not install the build and check dependencies"

mkdir -p "$build"
log=$build/package-check.log
: >"$log"

apt_get() {
    tralvo_logged "$log" env DEBIAN_FRONTEND=noninteractive \
        apt-get -y -q -o DPkg::Lock::Timeout=120 "$@"
}

echo "package-check: building the package in $build (output in $log)"
cd "$root"
tralvo_logged "$log" cmake --preset package -B "$build" || die "cmake could not configure $build"
tralvo_logged "$log" cmake --build "$build" || die "the build failed (cmake --build $build)"
rm -f "$build"/tralvo_*.deb
(cd "$build" && tralvo_logged "$log" cpack -G DEB) || die "cpack could not make the Debian package"

debs=("$build"/tralvo_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || die "expected one tralvo_*.deb in $build"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg --print-architecture)

check_package() {
    local contents depends path dep libs
    [ "$(basename "$deb")" = "tralvo_${version}_${arch}.deb" ] ||
        { echo "  unexpected file name $(basename "$deb")" >&2; return 1; }
    contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
    for path in '\./usr/bin/tralvo' '\./usr/share/man/man1/tralvo\.1(\.gz)?' \
        '\./usr/share/applications/tralvo\.desktop' \
        '\./usr/share/icons/hicolor/scalable/apps/tralvo\.svg' \
        '\./(usr/)?lib/systemd/system/tralvo\.service' '\./(usr/)?lib/systemd/system/tralvo\.socket' \
        '\./(usr/)?lib/systemd/system/tralvo-web\.socket' \
        '\./(usr/)?lib/systemd/system/tralvo-https\.socket' \
        '\./usr/lib/[^/]+/tralvo/standin/libCashBox\.so' '\./usr/share/tralvo/tralvo\.default'; do
        grep -Eq "^${path}\$" <<<"$contents" || { echo "  the package lacks $path" >&2; return 1; }
    done
    if libs=$(grep 'libCashBox\.so$' <<<"$contents") &&
        grep -vq '/tralvo/standin/libCashBox\.so$' <<<"$libs"; then
        echo "  a drawer library outside the stand-in folder:" >&2
        grep 'libCashBox\.so$' <<<"$contents" >&2
        return 1
    fi
    depends=$(dpkg-deb -f "$deb" Depends)
    for dep in libc6 'libstdc\+\+6' 'libqt[56]core' 'libqt[56]gui' 'libqt[56]widgets' \
        'libqt[56]serialport'; do
        grep -Eq "(^|, )${dep}" <<<"$depends" ||
            { echo "  Depends lacks $dep: $depends" >&2; return 1; }
    done
    if grep -q 'libqt6core6' <<<"$depends" && ! grep -q 'qt6-qpa-plugins' <<<"$depends"; then
        echo "  Depends lacks qt6-qpa-plugins: $depends" >&2
        return 1
    fi
}
check "package $(basename "$deb") (contents, dependencies)" check_package

check_lintian() {
    local out
    # Informational tags are allowed; any error or warning fails.
    out=$(lintian --fail-on error,warning "$deb" 2>&1) ||
        { echo "$out" | sed 's/^/  /' >&2; return 1; }
}
check "lintian finds no error or warning" check_lintian

# The stand-in must be chosen explicitly: a vendor library in the private folder comes first in
# the search and would move a real drawer here.
private_dir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)/tralvo
if [ -e "$private_dir/libCashBox.so" ] && ! dpkg -S "$private_dir/libCashBox.so" >/dev/null 2>&1; then
    die "$private_dir/libCashBox.so is installed (a vendor drawer library?); the run below" \
        "would call it and move the drawer. Run this check on a machine without one."
fi

echo "package-check: installing $(basename "$deb")"
apt_get install --reinstall "$deb" || die "apt-get install $deb failed"
[ "$(dpkg-query -W -f='${Status} ${Version}' tralvo)" = "install ok installed $version" ] ||
    die "dpkg does not list tralvo $version as installed"

installed=$(dpkg-query -L tralvo)
unit=$(grep -E '/systemd/system/tralvo\.service$' <<<"$installed") || die "no tralvo.service installed"
standin_dir=$(dirname "$(grep -E '/tralvo/standin/libCashBox\.so$' <<<"$installed")")
[ "$(dirname "$standin_dir")" = "$private_dir" ] ||
    die "the stand-in is in $standin_dir, expected $private_dir/standin"

check_manual() {
    local page text
    page=$(man -w tralvo 2>/dev/null) || {
        echo "  man -w tralvo finds no page" >&2
        if grep -qs 'path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg.d/*; then
            echo "  (dpkg is set to leave out manual pages: see /etc/dpkg/dpkg.cfg.d)" >&2
        fi
        return 1
    }
    [ "$page" = /usr/share/man/man1/tralvo.1.gz ] || { echo "  man -w tralvo gives $page" >&2; return 1; }
    text=$(MANWIDTH=100 man -P cat tralvo 2>/dev/null)
    grep -q 'CashBoxNormalGPIO' <<<"$text" && grep -q 'TRALVO_COMDIR' <<<"$text" ||
        { echo "  man tralvo does not render the page" >&2; return 1; }
}
check "man tralvo" check_manual

check_service() {
    local link out
    # shellcheck disable=SC2016 # systemd expands it, not the shell
    grep -Fqx 'ExecStart=/usr/bin/tralvo $TRALVO_FLAGS ${TRALVO_OPTIONS}' "$unit" &&
        grep -Fqx 'Environment=TRALVO_OPTIONS=1,0' "$unit" &&
        grep -Fqx 'EnvironmentFile=-/etc/default/tralvo' "$unit" ||
        { echo "  $unit does not run /usr/bin/tralvo 1,0 with /etc/default/tralvo" >&2; return 1; }
    grep -Fqx 'Type=notify' "$unit" && grep -Eqx 'WatchdogSec=[1-9][0-9]*' "$unit" ||
        { echo "  $unit is not a notify service with a watchdog" >&2; return 1; }
    tralvo_output_has 'libsystemd\.so' -- ldd /usr/bin/tralvo ||
        { echo "  /usr/bin/tralvo was built without libsystemd: it cannot notify systemd" >&2; return 1; }
    ! link=$(ls -d /etc/systemd/system/*.wants/tralvo.service 2>/dev/null) ||
        { echo "  the package enabled the service: $link" >&2; return 1; }
    if command -v systemd-analyze >/dev/null; then
        out=$(systemd-analyze verify "$unit" 2>&1) ||
            { echo "  systemd-analyze verify $unit:" >&2; echo "$out" >&2; return 1; }
    fi
}
check "tralvo.service (notify, watchdog) installed, not enabled, verified" check_service

tmp=$(mktemp -d)
chmod 0755 "$tmp"
pulses=$tmp/pulses.log
: >"$pulses"
chmod 0666 "$pulses"
run_count=0

# A fresh virtual pair for every run: a port that a killed instance held keeps its exclusive
# mode, which shuts out the next unprivileged opener.
open_pair() {
    run_count=$((run_count + 1))
    ports=$tmp/ports$run_count
    mkdir "$ports"
    tralvo_socat_pair "$ports" 9 8 ,group=dialout,perm=0660 || return 1
    socat_pid=${tralvo_pids[-1]}
    # Held open so that socat keeps the pair up between writes.
    exec {com8_fd}>"$ports/com8"
}

# Starts the installed program as the service does: hidden, no display, unprivileged, dialout.
# start_installed [NAME=VALUE...] [-- OPTION...]: with those variables and named options.
start_installed() {
    local envs=() options=()
    while [ "$#" -gt 0 ] && [ "$1" != -- ]; do
        envs+=("$1")
        shift
    done
    [ "$#" -eq 0 ] || { shift; options=("$@"); }
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LD_LIBRARY_PATH -u XDG_RUNTIME_DIR \
        -u CASHBOX_STANDIN_RESULT -u CASHBOX_STANDIN_RESULT_FILE -u STATE_DIRECTORY \
        TRALVO_COMDIR="$ports" CASHBOX_STANDIN_LOG="$pulses" "${envs[@]}" \
        setpriv --reuid="$run_user" --regid="$run_group" --groups=dialout --no-new-privs \
        /usr/bin/tralvo "${options[@]}" 1,0 >"$tmp/tralvo.out" 2>"$tmp/tralvo.err" {com8_fd}>&- &
    tralvo_pid=$!
}

device_port_open() {
    local target fd
    target=$(readlink -f "$ports/com9")
    for fd in /proc/"$tralvo_pid"/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "$target" ] && return 0
    done
    return 1
}

lines() {
    wc -l <"$pulses"
}

# Sends SIGTERM and waits (bounded) for the exit, which must be with status 0.
terminate() {
    local status=0
    kill -TERM "$tralvo_pid"
    tralvo_wait_for "! kill -0 $tralvo_pid 2>/dev/null" 100 ||
        { echo "  tralvo did not end within 10 s of SIGTERM" >&2; return 1; }
    wait "$tralvo_pid" || status=$?
    tralvo_pid=
    [ "$status" -eq 0 ] ||
        { echo "  tralvo exited with status $status after SIGTERM" >&2; show_output; return 1; }
}

show_output() {
    echo "  tralvo's output:" >&2
    sed 's/^/    /' "$tmp/tralvo.out" "$tmp/tralvo.err" >&2
}

check_pulse() {
    local line lock
    open_pair || return 1
    start_installed LD_LIBRARY_PATH="$standin_dir"
    tralvo_wait_until 150 device_port_open ||
        { echo "  tralvo did not open the Device port $ports/com9" >&2; show_output; return 1; }
    lock=/run/lock/LCK..${ports//\//_}_com9
    [ -e "$lock" ] ||
        { echo "  no lock file for the Device port in /run/lock" >&2; return 1; }
    printf '\x1bp\x00\x19\xfa' >&"$com8_fd"
    tralvo_wait_until 100 test -s "$pulses" ||
        { echo "  no pulse within 10 s of the drawer command" >&2; show_output; return 1; }
    sleep 1 # room for a second, wrong pulse to show up
    if [ "$(lines)" -ne 1 ]; then
        echo "  expected one pulse, got $(lines):" >&2
        cat "$pulses" >&2
        return 1
    fi
    line=$(cat "$pulses")
    grep -Eqx 'cashbox-standin: pulse t=[0-9.]+ "53a" "5" "538" "6" -> 0' <<<"$line" ||
        { echo "  unexpected pulse line: $line" >&2; return 1; }
    grep -q " $standin_dir/libCashBox.so\$" /proc/"$tralvo_pid"/maps ||
        { echo "  tralvo did not load $standin_dir/libCashBox.so" >&2; return 1; }
    terminate || return 1
    [ ! -e "$lock" ] || { echo "  the lock file $lock outlived tralvo" >&2; return 1; }
}
check "installed tralvo 1,0, headless, as $run_user+dialout: one pulse \"53a\" \"5\" \"538\" \"6\", SIGTERM exits 0" \
    check_pulse

check_standin_needs_choice() {
    local before
    if tralvo_output_has "$standin_dir" -- ldconfig -p; then
        echo "  the dynamic linker's cache lists $standin_dir" >&2
        return 1
    fi
    before=$(lines)
    open_pair || return 1
    start_installed
    tralvo_wait_until 150 device_port_open ||
        { echo "  tralvo did not open the Device port $ports/com9" >&2; show_output; return 1; }
    printf '\x1bp\x00\x19\xfa' >&"$com8_fd"
    sleep 2 # the pulse, had one been made, would have shown up by now
    if [ "$(lines)" -ne "$before" ] || grep -q 'libCashBox\.so' /proc/"$tralvo_pid"/maps; then
        echo "  without LD_LIBRARY_PATH, tralvo still used a libCashBox.so" >&2
        return 1
    fi
    terminate
}
check "installed tralvo without LD_LIBRARY_PATH does not find the stand-in" check_standin_needs_choice

# https_pulses_once PORT CERT: the web door over TLS on 127.0.0.1:PORT refuses curl that trusts
# only the system's store (a failed handshake in the log, no pulse), and answers an ePOS pulse
# from curl that trusts CERT alone with success="true"; the drawer pulses once in all.
https_pulses_once() {
    local url="https://127.0.0.1:$1/cgi-bin/epos/service.cgi" cert=$2 before reply status
    before=$(lines)
    if reply=$(unset CURL_CA_BUNDLE SSL_CERT_FILE SSL_CERT_DIR; tralvo_epos_pulse "$url" 10 2>&1); then
        echo "  curl without --cacert was answered over TLS: $reply" >&2
        return 1
    fi
    tralvo_wait_until 100 grep -Eq \
        '^tralvo: Web: 127\.0\.0\.1:[0-9]+: the TLS handshake failed \(.+\); closed$' "$tmp/tralvo.err" ||
        { echo "  no failed handshake in the log for curl without --cacert" >&2; show_output; return 1; }
    reply=$(tralvo_epos_pulse "$url" 10 "" --cacert "$cert") ||
        { echo "  curl --cacert $cert could not POST to $url: $reply" >&2; show_output; return 1; }
    status=${reply##*$'\n'}
    [ "$status" = 200 ] && grep -q 'success="true"' <<<"$reply" ||
        { echo "  the ePOS pulse over TLS got $status: ${reply%$'\n'*}" >&2; show_output; return 1; }
    tralvo_wait_for "[ \$(lines) -gt $before ]" 100 ||
        { echo "  no pulse within 10 s" >&2; show_output; return 1; }
    sleep 1 # room for a second, wrong pulse to show up
    [ "$(lines)" -eq $((before + 1)) ] && [[ $(tail -n 1 "$pulses") == *' -> 0' ]] ||
        { echo "  expected one pulse over TLS, got $(($(lines) - before)):" >&2; cat "$pulses" >&2; return 1; }
}

# The web door over TLS with the till's own certificate, run as the service runs it, with the
# state directory systemd gives it: --https-certificate-path, as that user, makes the pair there
# with a key of that user's alone, and the door (--https=PORT, so on 127.0.0.1) shows it.
check_https_run() {
    local state=$tmp/state-run cert key out port=$((20000 + RANDOM % 20000))
    install -d -m 0700 -o "$run_user" -g "$run_group" "$state"
    cert=$(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/ STATE_DIRECTORY="$state" \
        setpriv --reuid="$run_user" --regid="$run_group" --groups=dialout --no-new-privs \
        /usr/bin/tralvo --https-certificate-path 2>"$tmp/path.err") ||
        { echo "  tralvo --https-certificate-path as $run_user failed:" >&2; cat "$tmp/path.err" >&2; return 1; }
    [ "$cert" = "$state/https-certificate.pem" ] ||
        { echo "  tralvo --https-certificate-path printed '$cert', not $state/https-certificate.pem" >&2; return 1; }
    key=$(dirname "$cert")/https-key.pem
    out=$(stat -c '%a %U' "$key" 2>&1) && [ "$out" = "600 $run_user" ] ||
        { echo "  the key $key is '$out', not 600 $run_user" >&2; return 1; }
    open_pair || return 1
    start_installed LD_LIBRARY_PATH="$standin_dir" STATE_DIRECTORY="$state" -- "--https=$port"
    tralvo_wait_until 150 grep -q '^tralvo: Web: Open Success$' "$tmp/tralvo.err" ||
        { echo "  the web door over TLS did not open on $port" >&2; show_output; return 1; }
    https_pulses_once "$port" "$cert" || return 1
    terminate
}
check "installed tralvo --https=PORT as $run_user: its own certificate, key 0600; curl trusting it pulses once, without it fails" \
    check_https_run

# The service's sandbox, rated the way systemd rates it; without systemd as PID 1 this is static.
check_sandbox() {
    local out figure
    command -v systemd-analyze >/dev/null || { echo "  systemd-analyze is missing" >&2; return 1; }
    out=$(systemd-analyze verify "$unit" 2>&1) && [ -z "$out" ] ||
        { echo "  systemd-analyze verify $unit:" >&2; echo "$out" >&2; return 1; }
    out=$(systemd-analyze security --offline=true "$unit" 2>&1) || true
    figure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9][0-9.]*\).*/\1/p' <<<"$out")
    [ -n "$figure" ] || { echo "  no exposure figure in:" >&2; echo "$out" >&2; return 1; }
    echo "package-check: exposure of tralvo.service (systemd-analyze security --offline=true): $figure"
    awk -v e="$figure" 'BEGIN { exit !(e <= 2.5) }' ||
        { echo "  exposure $figure is above 2.5:" >&2; grep -v '^✓' <<<"$out" >&2; return 1; }
}
check "tralvo.service verified without a warning, exposure 2.5 or lower" check_sandbox

# An example drop-in with every one of its settings taken at once: valid, and read (the security
# report shows the mark of a setting only it makes); its exposure is printed.
check_drop_in() {
    local name=$1 mark=$2 example out dir=$tmp/units-$1
    example=$(grep -E "/tralvo\.service\.d/$name\.conf\$" <<<"$installed") ||
        { echo "  the package installed no tralvo.service.d/$name.conf" >&2; return 1; }
    mkdir -p "$dir/tralvo.service.d"
    cp "$unit" "$dir/"
    sed -E 's/^#([A-Za-z]+=)/\1/' "$example" >"$dir/tralvo.service.d/$name.conf"
    out=$(systemd-analyze verify "$dir/tralvo.service" 2>&1) && [ -z "$out" ] ||
        { echo "  systemd-analyze verify with $example:" >&2; echo "$out" >&2; return 1; }
    out=$(systemd-analyze security --offline=true "$dir/tralvo.service" 2>&1) || true
    tralvo_output_has -F "$mark" -- echo "$out" ||
        { echo "  systemd-analyze did not apply $example" >&2; return 1; }
    echo "package-check: exposure of tralvo.service with $name.conf:" \
        "$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9][0-9.]*\).*/\1/p' <<<"$out")"
}
check "the example drop-in vendor-library.conf is installed, valid with all its settings" \
    check_drop_in vendor-library '✗ CapabilityBoundingSet=~CAP_SYS_RAWIO'
check "the example drop-in network-printer.conf is installed, valid with all its settings" \
    check_drop_in network-printer '✗ IPAddressDeny='

# The unit's ExecStart with its variables expanded as systemd does for plain words ($NAME: split
# at blanks, nothing when empty; ${NAME}: one argument), from its Environment= lines and then a
# defaults file made from the template as the commissioning steps say; run in the unit's groups,
# with its umask and, where the kernel lets us, without a network.
check_execstart() {
    local -A vars=()
    local line word words split argv=() envs=() net=() groups
    open_pair || return 1
    while IFS= read -r line; do
        [[ $line =~ ^([A-Za-z_][A-Za-z0-9_]*)=(.*)$ ]] && vars[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
    done < <(sed -n 's/^Environment=//p' "$unit"
        sed -E 's/^#(LD_LIBRARY_PATH=)/\1/' /usr/share/tralvo/tralvo.default
        echo "TRALVO_COMDIR=$ports")
    read -ra words <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
    for word in "${words[@]}"; do
        if [[ $word =~ ^\$([A-Za-z_][A-Za-z0-9_]*)$ ]]; then
            read -ra split <<<"${vars[${BASH_REMATCH[1]}]-}"
            argv+=("${split[@]}")
        elif [[ $word =~ ^\$\{([A-Za-z_][A-Za-z0-9_]*)\}$ ]]; then
            argv+=("${vars[${BASH_REMATCH[1]}]-}")
        elif [[ $word == *[\$\"\'\\]* || $word == [-@:+!]* ]]; then
            echo "  this check cannot expand the ExecStart word $word" >&2; return 1
        else argv+=("$word"); fi
    done
    [ "${#argv[@]}" -eq 2 ] && [ "${argv[*]}" = "/usr/bin/tralvo 1,0" ] ||
        { echo "  ExecStart expands to ${#argv[@]} words: ${argv[*]}" >&2; return 1; }
    for word in "${!vars[@]}"; do envs+=("$word=${vars[$word]}"); done
    groups=$(sed -n 's/^SupplementaryGroups=//p' "$unit" | tr ' ' ',')
    unshare -n true 2>/dev/null && net=(unshare -n)
    echo "package-check: ExecStart runs as: ${argv[*]} (groups $groups, ${net[*]:-host network})"
    (umask 0077 && exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/ "${envs[@]}" "${net[@]}" \
        setpriv --reuid="$run_user" --regid="$run_group" --groups="$groups" --no-new-privs \
        "${argv[@]}") >"$tmp/tralvo.out" 2>"$tmp/tralvo.err" {com8_fd}>&- &
    tralvo_pid=$!
    tralvo_wait_until 150 device_port_open ||
        { echo "  tralvo did not open the Device port $ports/com9" >&2; show_output; return 1; }
    [ -e "/run/lock/LCK..${ports//\//_}_com9" ] || { echo "  no lock file in /run/lock" >&2; return 1; }
    printf '\x1bp\x00\x19\xfa' >&"$com8_fd"
    tralvo_wait_until 100 grep -q '^cashbox-standin: pulse .*"53a" "5" "538" "6" -> 0$' "$tmp/tralvo.err" ||
        { echo "  no pulse on standard error within 10 s" >&2; show_output; return 1; }
    terminate
}
check "the unit's ExecStart with its environment and the template's stand-in: a pulse, SIGTERM exits 0" \
    check_execstart

# The socket unit: valid, installed but not enabled, and what it hands over is taken. The service
# it starts is the same unit, sandbox and all (its private network too), so its exposure is the
# one above. Started the way systemd starts it for the socket (systemd-socket-activate hands over
# the listening socket alike), a job over TCP gets Tralvo's status answer and its kick pulses.
check_socket_unit() {
    local socket_unit out answer port=$((20000 + RANDOM % 20000))
    socket_unit=$(grep -E '/systemd/system/tralvo\.socket$' <<<"$installed") ||
        { echo "  the package installed no tralvo.socket" >&2; return 1; }
    out=$(systemd-analyze verify "$socket_unit" 2>&1) && [ -z "$out" ] ||
        { echo "  systemd-analyze verify $socket_unit:" >&2; echo "$out" >&2; return 1; }
    grep -qx 'ListenStream=127.0.0.1:9100' "$socket_unit" ||
        { echo "  tralvo.socket does not listen on 127.0.0.1:9100 alone" >&2; return 1; }
    ! out=$(ls -d /etc/systemd/system/*.wants/tralvo.socket 2>/dev/null) ||
        { echo "  installing enabled the socket: $out" >&2; return 1; }
    out=$(systemd-analyze security --offline=true "$unit" 2>&1) || true
    echo "package-check: exposure of tralvo.service started by tralvo.socket:" \
        "$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9][0-9.]*\).*/\1/p' <<<"$out")"
    (exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/ LD_LIBRARY_PATH="$standin_dir" \
        systemd-socket-activate -E LD_LIBRARY_PATH -l "127.0.0.1:$port" /usr/bin/tralvo 1,0) \
        >"$tmp/tralvo.out" 2>"$tmp/tralvo.err" &
    tralvo_pid=$!
    tralvo_wait_until 50 grep -q "Listening on 127.0.0.1:$port" "$tmp/tralvo.err" ||
        { echo "  systemd-socket-activate did not listen" >&2; show_output; return 1; }
    answer=$(printf 'Total 2.40\n\x10\x04\x01\ep\x00\x19\xfa' |
        timeout 10 socat -t 3 - "TCP:127.0.0.1:$port,shut-none" | od -An -tx1 | tr -d ' \n')
    [ "$answer" = 12 ] || { echo "  status answer '$answer', not 12" >&2; show_output; return 1; }
    tralvo_wait_until 100 grep -q '^cashbox-standin: pulse .*-> 0$' "$tmp/tralvo.err" ||
        { echo "  no pulse within 10 s" >&2; show_output; return 1; }
    grep -q "tralvo: Network: Open Success" "$tmp/tralvo.err" ||
        { echo "  the handed-over socket was not taken" >&2; show_output; return 1; }
    terminate
}
check "tralvo.socket verified and not enabled; the socket it hands over is served" check_socket_unit

# socket_unit_as_shipped UNIT ADDRESS NAME: the socket unit is valid, listens on ADDRESS alone,
# names its socket NAME, hands it to tralvo.service, and installing did not enable it.
socket_unit_as_shipped() {
    local unit_name out
    unit_name=$(basename "$1")
    out=$(systemd-analyze verify "$1" 2>&1) && [ -z "$out" ] ||
        { echo "  systemd-analyze verify $1:" >&2; echo "$out" >&2; return 1; }
    out=$(sed -n 's/^ListenStream=//p' "$1")
    [ "$out" = "$2" ] || { echo "  $unit_name listens on '$out', not $2 alone" >&2; return 1; }
    grep -qx 'Service=tralvo.service' "$1" ||
        { echo "  $unit_name does not start tralvo.service" >&2; return 1; }
    out=$(sed -n 's/^FileDescriptorName=//p' "$1")
    [ "$out" = "$3" ] || { echo "  $unit_name names its socket '$out', not $3" >&2; return 1; }
    ! out=$(ls -d "/etc/systemd/system/"*.wants/"$unit_name" 2>/dev/null) ||
        { echo "  installing enabled $unit_name: $out" >&2; return 1; }
}

# The web door's socket unit: valid, installed but not enabled, named apart from the print port's
# and handed to the same service (so the exposure is that unit's, as above). Both sockets are
# handed over, each with its unit's name, as systemd does with both units started, the web
# door's on its unit's own address: an ePOS pulse POSTed there is answered as done and pulses
# once, and the print port still answers as one.
check_web_socket_unit() {
    local web_unit print_unit out web print_name web_name reply status
    local print_port=$((20000 + RANDOM % 20000))
    web_unit=$(grep -E '/systemd/system/tralvo-web\.socket$' <<<"$installed") ||
        { echo "  the package installed no tralvo-web.socket" >&2; return 1; }
    print_unit=$(grep -E '/systemd/system/tralvo\.socket$' <<<"$installed") ||
        { echo "  the package installed no tralvo.socket" >&2; return 1; }
    web=127.0.0.1:8069
    web_name=web
    socket_unit_as_shipped "$web_unit" "$web" "$web_name" || return 1
    print_name=$(sed -n 's/^FileDescriptorName=//p' "$print_unit")
    [ -n "$print_name" ] && [ "$print_name" != web ] ||
        { echo "  the print port's socket is named '$print_name', not apart from web" >&2; return 1; }
    out=$(systemd-analyze security --offline=true "$unit" 2>&1) || true
    echo "package-check: exposure of tralvo.service started by tralvo-web.socket:" \
        "$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9][0-9.]*\).*/\1/p' <<<"$out")"
    (exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/ LD_LIBRARY_PATH="$standin_dir" \
        systemd-socket-activate -E LD_LIBRARY_PATH -l "127.0.0.1:$print_port" -l "$web" \
        --fdname="$print_name:$web_name" /usr/bin/tralvo 1,0) >"$tmp/tralvo.out" 2>"$tmp/tralvo.err" &
    tralvo_pid=$!
    tralvo_wait_until 50 grep -q "Listening on $web" "$tmp/tralvo.err" ||
        { echo "  systemd-socket-activate did not listen on $web" >&2; show_output; return 1; }
    reply=$(tralvo_epos_pulse "http://$web/cgi-bin/epos/service.cgi" 10) ||
        { echo "  curl could not POST to $web" >&2; show_output; return 1; }
    status=${reply##*$'\n'}
    [ "$status" = 200 ] && grep -q 'success="true"' <<<"$reply" ||
        { echo "  the ePOS pulse got $status: ${reply%$'\n'*}" >&2; show_output; return 1; }
    tralvo_wait_until 100 grep -q '^cashbox-standin: pulse .*-> 0$' "$tmp/tralvo.err" ||
        { echo "  no pulse within 10 s" >&2; show_output; return 1; }
    reply=$(printf '\x10\x04\x01' | timeout 10 socat -t 3 - "TCP:127.0.0.1:$print_port,shut-none" |
        od -An -tx1 | tr -d ' \n')
    [ "$reply" = 12 ] || { echo "  print port status answer '$reply', not 12" >&2; show_output; return 1; }
    sleep 1 # room for a second, wrong pulse to show up
    out=$(grep -c '^cashbox-standin: pulse' "$tmp/tralvo.err") || true
    [ "$out" -eq 1 ] || { echo "  expected one pulse, got $out" >&2; show_output; return 1; }
    grep -q "tralvo: Web: Open Success" "$tmp/tralvo.err" &&
        grep -q "tralvo: Network: Open Success" "$tmp/tralvo.err" ||
        { echo "  the handed-over sockets were not both taken" >&2; show_output; return 1; }
    terminate
}
check "tralvo-web.socket verified and not enabled; an ePOS pulse through it is served, once" \
    check_web_socket_unit

# The TLS web door's socket unit, as the web door's: valid, not enabled, named apart and handed
# to the same service, which gives the key a state directory of its own. Its three sockets are
# handed over as systemd does with all the units started, the TLS one on a port of this check's
# (443 may be a web server's here). Started by a request to the plain door, the door over TLS
# makes the till's pair in the state directory and shows it, --https-certificate-path there
# names it, and an ePOS pulse over TLS is served once.
check_https_socket_unit() {
    local https_unit name out cert key reply state=$tmp/state-socket
    local print_port=$((20000 + RANDOM % 20000)) web_port https_port
    web_port=$((print_port + 1))
    https_port=$((print_port + 2))
    https_unit=$(grep -E '/systemd/system/tralvo-https\.socket$' <<<"$installed") ||
        { echo "  the package installed no tralvo-https.socket" >&2; return 1; }
    name=https
    socket_unit_as_shipped "$https_unit" 127.0.0.1:443 "$name" || return 1
    # Under ProtectSystem=strict and DynamicUser=, the key can be written nowhere else.
    grep -qx 'StateDirectory=tralvo' "$unit" && grep -qx 'StateDirectoryMode=0700' "$unit" ||
        { echo "  $unit gives the key no private state directory" >&2; return 1; }
    out=$(systemd-analyze security --offline=true "$unit" 2>&1) || true
    echo "package-check: exposure of tralvo.service started by tralvo-https.socket:" \
        "$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9][0-9.]*\).*/\1/p' <<<"$out")"
    install -d -m 0700 "$state"
    (exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/ LD_LIBRARY_PATH="$standin_dir" \
        STATE_DIRECTORY="$state" CASHBOX_STANDIN_LOG="$pulses" \
        systemd-socket-activate -E LD_LIBRARY_PATH -E STATE_DIRECTORY -E CASHBOX_STANDIN_LOG \
        -l "127.0.0.1:$print_port" -l "127.0.0.1:$web_port" -l "127.0.0.1:$https_port" \
        --fdname="print:web:$name" /usr/bin/tralvo 1,0) >"$tmp/tralvo.out" 2>"$tmp/tralvo.err" &
    tralvo_pid=$!
    tralvo_wait_until 50 grep -q "Listening on 127.0.0.1:$https_port" "$tmp/tralvo.err" ||
        { echo "  systemd-socket-activate did not listen" >&2; show_output; return 1; }
    # The first connection starts the program, as systemd does; the plain door answers it.
    reply=$(curl -sS -m 20 "http://127.0.0.1:$web_port/hw_proxy/hello" 2>&1) && [ "$reply" = ping ] ||
        { echo "  the handed-over web door answered '$reply', not ping" >&2; show_output; return 1; }
    tralvo_wait_until 100 grep -q '^tralvo: Web: Open Success$' "$tmp/tralvo.err" ||
        { echo "  the handed-over web door did not open" >&2; show_output; return 1; }
    cert=$(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/ STATE_DIRECTORY="$state" \
        /usr/bin/tralvo --https-certificate-path 2>"$tmp/path.err") ||
        { echo "  tralvo --https-certificate-path failed:" >&2; cat "$tmp/path.err" >&2; return 1; }
    key=$(dirname "$cert")/https-key.pem
    out=$(stat -c '%a %U' "$key" 2>&1) && [ "$out" = "600 root" ] ||
        { echo "  the key $key is '$out', not 600 root" >&2; return 1; }
    https_pulses_once "$https_port" "$cert" || return 1
    reply=$(printf '\x10\x04\x01' | timeout 10 socat -t 3 - "TCP:127.0.0.1:$print_port,shut-none" |
        od -An -tx1 | tr -d ' \n')
    [ "$reply" = 12 ] || { echo "  print port status answer '$reply', not 12" >&2; show_output; return 1; }
    ! grep -q 'left unused' "$tmp/tralvo.err" && grep -q "tralvo: Network: Open Success" "$tmp/tralvo.err" ||
        { echo "  the handed-over sockets were not all taken" >&2; show_output; return 1; }
    terminate
}
check "tralvo-https.socket verified and not enabled; an ePOS pulse over TLS through it is served, once" \
    check_https_socket_unit

# Removing masks the unit (the Debian way); installing again must leave it usable and disabled.
check_remove_and_reinstall() {
    local unit_link=/etc/systemd/system/tralvo.service link
    apt_get remove tralvo || { echo "  apt-get remove tralvo failed" >&2; return 1; }
    [ ! -e /usr/bin/tralvo ] || { echo "  /usr/bin/tralvo is still there after remove" >&2; return 1; }
    apt_get install "$deb" || { echo "  installing $deb again failed" >&2; return 1; }
    if [ -L "$unit_link" ] && [ "$(readlink "$unit_link")" = /dev/null ]; then
        echo "  tralvo.service is still masked after installing again" >&2
        return 1
    fi
    ! link=$(ls -d /etc/systemd/system/*.wants/tralvo.service 2>/dev/null) ||
        { echo "  installing again enabled the service: $link" >&2; return 1; }
}
check "remove, then install again: the service is not masked and not enabled" check_remove_and_reinstall

echo "package-check: tralvo $version stays installed (apt-get remove tralvo takes it away)"
tralvo_check_summary
