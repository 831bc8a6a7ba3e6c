#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh 32-bit prefix of its own with a virtual X server
# and COM9 joined to COM8 by a socat pair: a silent install puts exactly the deploy folder in
# place and registers the uninstall entry; the installed program, with the Wine-only serial
# library and the stand-in put next to it, pulses on ESC p; upgrades in place while it runs
# stop it in order first and keep the integrator's choices and CashBox.dll; a silent uninstall
# removes what the installer added and nothing else. The first install is of a variant built here
# that ships one file more, which the upgrade must remove. The printer line's and the network
# print port's options reach the log-on task's command line, and the installed program, started
# as that task would start it, takes a job over TCP. A Windows printer's name with blanks reaches
# the program as one argument, as Windows splits the task's and the shortcut's command lines (a
# helper built here applies its rules). Prints one line per check.
# Usage: installer-check.sh <setup.exe> <deploy folder> <Wine Qt5SerialPort.dll>
#                           <stand-in CashBox.dll> <work folder>
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
setup=${1:?usage: installer-check.sh <setup.exe> <deploy> <serial dll> <stand-in dll> <work>}
deploy=${2:?}
wine_serial=${3:?}
standin=${4:?}
work=${5:?}
version=$(basename "$setup" | sed -n 's/^tralvo-\(.*\)-win32-setup\.exe$/\1/p')

export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all
# winemenubuilder would copy the Start-menu shortcut into this machine's own desktop menus.
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
inst=$WINEPREFIX/drive_c/"Program Files"/Tralvo
lnk=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/"Start Menu"/Programs/Tralvo.lnk
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tralvo'
settings_key='HKLM\Software\Tralvo'
dir='C:\Program Files\Tralvo'

# shellcheck source=../lib/virtual.sh
source "$here/../lib/virtual.sh"
# shellcheck source=lib.sh
source "$here/lib.sh"
tralvo_check_name="windows installer"
# shellcheck source=../lib/checks.sh
source "$here/../lib/checks.sh"
tralvo_pid=
cleanup() {
    [ -n "$tralvo_pid" ] && kill "$tralvo_pid" 2>/dev/null
    wineserver -k 2>/dev/null # this prefix's server only
    tralvo_cleanup
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A value as reg prints it (DWORDs as 0x..), empty when missing.
regval() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^    $2    REG_[A-Z_]*    //p"
}
# The command lines of the processes with this image that a WINEDEBUG=trace+process run started.
spawned() {
    grep -F "image L\"C:\\\\windows\\\\system32\\\\$2\"" "$1" |
        sed -n 's/.* cmdline L"\(.*\)" parent .*/\1/p' | sed 's/\\\\/\x01/g; s/\\"/"/g; s/\x01/\\/g'
}
stopped() { ! pgrep -f "$inst/tralvo.exe" >/dev/null; }
# The install folder holds the deploy folder's files ($1, default the one given), byte for byte,
# and uninstall.exe.
as_deployed() {
    local from=${1:-$deploy}
    diff <(cd "$from" && find . -type f | sort) \
        <(cd "$inst" && find . -type f ! -name uninstall.exe ! -name CashBox.dll \
            ! -name tralvo-task.xml ! -name tralvo-files.txt | sort) &&
        [ -f "$inst/uninstall.exe" ] &&
        (cd "$from" && ! find . -type f ! -exec cmp -s {} "$inst/{}" \; -print | grep .)
}
# Setup's list of what it wrote names exactly the files there but CashBox.dll and itself.
listed_as_installed() {
    diff <(tr -d '\r' <"$inst/tralvo-files.txt" | tr '\\' / | sort) \
        <(cd "$inst" && find . -type f ! -name CashBox.dll ! -name tralvo-files.txt | cut -c 3- | sort)
}
# The PE file $1 holds the project's icon (wrestool rebuilds an .ico from its icon group, padded:
# its first bytes are the icon). Read to its end, not through head -c, whose early exit would kill
# wrestool with SIGPIPE and fail the check under pipefail.
has_our_icon() {
    local ico=$here/../../packaging/windows/tralvo.ico got status=1
    [ -f "$1" ] && got=$(mktemp) || return 1
    wrestool -x -t 14 "$1" >"$got" && cmp -s -n "$(stat -c %s "$ico")" "$got" "$ico" && status=0
    rm -f "$got"
    return "$status"
}
# The shortcut's arguments (a string's length goes before it, and may read as a character).
lnk_args() { strings -el -n 3 "$lnk" | grep -oE '[01],[01]( .*)?$'; }
# The task definition's arguments, as XML text unescaped.
task_arguments() {
    task_xml | sed 's/encoding="UTF-16"/encoding="UTF-8"/' |
        xmllint --xpath "string(//*[local-name()='Arguments'])" -
}
# The arguments a program gets from the command line text $1 (what follows the program's name),
# one a line, split by Windows' rules.
split_args() {
    printf '%s' "$1" >"$work/arguments.txt"
    wine "$work/split-args.exe" "$(tralvo_winpath "$work/arguments.txt")" | tr -d '\r'
}
# The shortcut says it has an icon of its own (HasIconLocation in its header), in tralvo.exe.
lnk_icon() {
    [ $(($(od -An -tu4 -j20 -N4 "$lnk") & 0x40)) != 0 ] &&
        tralvo_output_has -F "$dir\tralvo.exe" -- strings -el -n 3 "$lnk"
}
pulses() {
    local log=${1:-$work/pulses}
    [ -f "$log" ] || { echo 0; return; }
    grep -c 'pulse' "$log"
}
# The installed program, hidden, profile 0, with the Wine-only serial library and the stand-in.
start_installed() {
    cp "$wine_serial" "$inst/"
    WINEQT_FORCE_STDERR_LOGGING=1 CASHBOX_STANDIN_LOG=$(tralvo_winpath "$work/pulses") \
        wine "$inst/tralvo.exe" 1,0 >"$1" 2>&1 &
    tralvo_pid=$!
    tralvo_wait_for "grep -qs 'Device: Open Success' '$1'" 300
}
pulse_once() {
    printf '\033p' >"$ports/com8"
    tralvo_wait_for "[ \$(pulses) -ge $1 ]" 100
    sleep 1 # a second pulse would show up by now
    [ "$(pulses)" = "$1" ] &&
        tralvo_output_has -F '"53a" "5" "538" "6" -> 0' -- tail -n 1 "$work/pulses"
}
# The task definition the installer keeps beside the program (UTF-16).
task_xml() { iconv -f UTF-16 -t UTF-8 "$inst/tralvo-task.xml" | tr -d '\r'; }
task_as_asked() {
    local xml
    xml=$(task_xml) || return 1
    grep -qF "<Command>\"$dir\\tralvo.exe\"</Command><Arguments>1,$1${2:-}</Arguments>" <<<"$xml" &&
        grep -qF '<LogonTrigger><Enabled>true</Enabled></LogonTrigger>' <<<"$xml" &&
        grep -qF '<RunLevel>HighestAvailable</RunLevel>' <<<"$xml" &&
        grep -qF '<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>' <<<"$xml" &&
        grep -qF '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>' <<<"$xml" &&
        xmllint --noout <(echo "$xml" | sed 's/encoding="UTF-16"/encoding="UTF-8"/')
}

rm -rf "$work"
mkdir -p "$work"
# The earlier version: the same build with one file more, in a folder of its own.
cp -r "$deploy" "$work/deploy-old"
mkdir "$work/deploy-old/bearer"
echo 'a plugin that the next version no longer ships' >"$work/deploy-old/bearer/qold.dll"
with_openssl=()
[ -f "$deploy/libssl-3.dll" ] && with_openssl=(-DWITH_OPENSSL)
old_setup=$(cd "$work" && pwd)/tralvo-old-setup.exe # makensis works in the script's folder
makensis -V1 -DVERSION="$version" -DDEPLOY_DIR="${old_setup%/*}/deploy-old" -DOUTFILE="$old_setup" \
    -DEXTRA_DIR=bearer -DEXTRA_NAME=qold.dll -DCOMPRESSOR=zlib "${with_openssl[@]}" \
    "$here/../../packaging/windows/tralvo.nsi" >"$work/makensis-old.log" 2>&1 ||
    { cat "$work/makensis-old.log" >&2; exit 1; }
i686-w64-mingw32-gcc -O1 -o "$work/split-args.exe" "$here/split-args.c" -lshell32 || exit 1
tralvo_xvfb || exit 1
wineboot -i >/dev/null 2>&1 && wineserver -w
tralvo_wine_com_pair || exit 1
ports=$TRALVO_PORTS

wine "$setup" /S /AUTOSTART=2
rc=$?
wineserver -w
tralvo_check "/AUTOSTART=2 is refused (exit 2) and installs nothing" test "$rc" = 2 -a ! -e "$inst"
# A Windows printer's name holds no comma and no backslash (but \\SERVER\ before it), and Setup
# takes no control character in one.
for bad in /MATCH=fast '/PRINTER=COM3:9600;x' /PRINTER=LPT1 /PRINTER=socket://printer:ipp \
    /PRINTER=queue: '/PRINTER=queue:Back,Office' '/PRINTER=queue:Back\Office' \
    '/PRINTER=queue:\\server' $'/PRINTER=queue:Receipt\tA' \
    /LISTEN=localhost:9100 /LISTEN=127.0.0.1:65536 '/LISTEN=[::1]9100' /HTTP=localhost:8069 \
    /HTTPS=localhost:8443 /HTTPS=127.0.0.1:65536 '/HTTPS=[::1]8443' \
    /HTTPORIGIN=shop.example.com /HTTPORIGIN=ftp://shop.example.com \
    /HTTPORIGIN=https://shop.example.com/pos '/HTTPORIGIN=https://a.example,' \
    '/HTTPORIGIN=https://a.example, https://b.example' /HTTPORIGIN=https://a.example:65536; do
    wine "$setup" /S "$bad"
    rc=$?
    wineserver -w
    tralvo_check "$bad is refused (exit 2) and installs nothing" test "$rc" = 2 -a ! -e "$inst"
done
# The program cannot listen for both on one address.
wine "$setup" /S /HTTP=8069 /HTTPS=127.0.0.1:8069
rc=$?
wineserver -w
tralvo_check "/HTTP=8069 /HTTPS=127.0.0.1:8069, both doors on one address, is refused (exit 2) and installs nothing" \
    test "$rc" = 2 -a ! -e "$inst"

wine "$old_setup" /S
rc=$?
wineserver -w
tralvo_check "silent install (of the build with one file more) exits 0" test "$rc" = 0
tralvo_check "installed: that build's files, unchanged, and uninstall.exe" as_deployed "$work/deploy-old"
tralvo_check "tralvo-files.txt lists exactly the files Setup installed" listed_as_installed
tralvo_check "no CashBox.dll and no log-on task definition installed" \
    test ! -e "$inst/CashBox.dll" -a ! -e "$inst/tralvo-task.xml"
tralvo_check "Start-menu shortcut for all users, arguments 0,0" test "$(lnk_args)" = 0,0
for kv in "DisplayName=Tralvo" "Publisher=Tralvo" "DisplayVersion=$version" "InstallLocation=$dir" \
    "DisplayIcon=$dir\\tralvo.exe" "UninstallString=\"$dir\\uninstall.exe\"" \
    "QuietUninstallString=\"$dir\\uninstall.exe\" /S" "NoModify=0x1" "NoRepair=0x1"; do
    got=$(regval "$uninst_key" "${kv%%=*}")
    tralvo_check "uninstall entry ${kv%%=*} = ${kv#*=}" test "$got" = "${kv#*=}" || echo "  got: $got" >&2
done
kb=$(find "$inst" -type f -printf '%s\n' | awk '{ s += $1 } END { print int(s / 1024) }')
tralvo_check "uninstall entry EstimatedSize = $kb KB (the installed bytes)" \
    test "$(($(regval "$uninst_key" EstimatedSize)))" = "$kb"
tralvo_check "DisplayIcon names an installed file that holds the application's icon" \
    has_our_icon "$(winepath -u "$(regval "$uninst_key" DisplayIcon)" 2>/dev/null)"
tralvo_check "the Start-menu shortcut takes its icon from tralvo.exe" lnk_icon
tralvo_check "Setup and the uninstaller show the application's icon" \
    bash -c "$(declare -f has_our_icon); here='$here'; has_our_icon '$setup' &&
        has_our_icon '$inst/uninstall.exe'"
tralvo_check "choice recorded: no autostart, profile 0" \
    test "$(regval "$settings_key" Autostart)/$(regval "$settings_key" Profile)" = 0x0/0x0

cp "$standin" "$inst/"
tralvo_check "the installed tralvo.exe 1,0 opens COM9" start_installed "$work/tralvo1.out" ||
    cat "$work/tralvo1.out" >&2
tralvo_check "ESC p on COM8 gives one pulse with profile 0's texts" pulse_once 1

WINEDEBUG=trace+process wine "$setup" /S /AUTOSTART=1 /PROFILE=1 2>"$work/upgrade1.trace"
rc=$?
timeout 60 wineserver -w
tralvo_check "upgrade in place with /AUTOSTART=1 /PROFILE=1 exits 0" test "$rc" = 0
tralvo_check "the running Tralvo was asked to close with a plain taskkill first" \
    test "$(spawned "$work/upgrade1.trace" taskkill.exe | head -n 1)" = \
    '"C:\windows\system32\taskkill.exe" /IM tralvo.exe'
tralvo_check "Tralvo no longer runs, and it closed without /F" \
    test "$(stopped && spawned "$work/upgrade1.trace" taskkill.exe | wc -l)" = 1
tralvo_check "the log-on task is registered from its definition" test \
    "$(spawned "$work/upgrade1.trace" schtasks.exe | head -n 1)" = \
    "\"C:\\windows\\system32\\schtasks.exe\" /Create /TN Tralvo /XML \"$dir\\tralvo-task.xml\" /F"
tralvo_check "the task definition: at log-on, highest rights, tralvo.exe 1,1, no time limit" task_as_asked 1
tralvo_check "choice recorded: autostart, profile 1" \
    test "$(regval "$settings_key" Autostart)/$(regval "$settings_key" Profile)" = 0x1/0x1
tralvo_check "the upgrade put the stock Qt5SerialPort.dll back, and removed the file no longer shipped" \
    as_deployed
tralvo_check "the folder of the file no longer shipped is gone" test ! -e "$inst/bearer"
tralvo_check "tralvo-files.txt lists exactly the files of the upgrade, the task definition too" \
    bash -c "$(declare -f listed_as_installed); inst='$inst' listed_as_installed &&
        grep -qx \$'tralvo-task.xml\r' '$inst/tralvo-files.txt'"
tralvo_check "the upgrade kept the integrator's CashBox.dll" cmp -s "$standin" "$inst/CashBox.dll"
tralvo_check "Start-menu shortcut arguments now 0,1" test "$(lnk_args)" = 0,1

printer_line=' --match=escpos --printer=COM3:9600,N,8,1,rtscts'
wine "$setup" /S /MATCH=escpos /PRINTER=COM3:9600,N,8,1,rtscts
rc=$?
wineserver -w
tralvo_check "upgrade with /MATCH and /PRINTER only exits 0 and keeps the choice" test "$rc/$(regval "$settings_key" Autostart)/$(regval "$settings_key" Profile)" = 0/0x1/0x1
tralvo_check "the task definition: tralvo.exe 1,1$printer_line" task_as_asked 1 "$printer_line"
tralvo_check "Start-menu shortcut arguments now 0,1$printer_line" test "$(lnk_args)" = "0,1$printer_line"
wine "$setup" /S /PRINTER=
rc=$?
wineserver -w
tralvo_check "upgrade with an empty /PRINTER= exits 0, keeps --match and drops --printer" \
    test "$rc/$(regval "$settings_key" Match)/$(regval "$settings_key" Printer)" = 0/escpos/
tralvo_check "the task definition: tralvo.exe 1,1 --match=escpos" task_as_asked 1 ' --match=escpos'
# The network print port, with a network printer that has two slashes in its address.
net_port=$(tralvo_free_tcp_port 19180) || exit 1
net_line=" --match=any --printer=socket://[::1]:9100 --listen=127.0.0.1:$net_port"
wine "$setup" /S /MATCH=any '/PRINTER=socket://[::1]:9100' "/LISTEN=127.0.0.1:$net_port"
rc=$?
wineserver -w
tralvo_check "upgrade with /MATCH=any /PRINTER=socket://[::1]:9100 /LISTEN=127.0.0.1:$net_port exits 0 and stores them" \
    test "$rc/$(regval "$settings_key" Match)/$(regval "$settings_key" Printer)/$(regval "$settings_key" Listen)" = \
    "0/any/socket://[::1]:9100/127.0.0.1:$net_port"
tralvo_check "the task definition: tralvo.exe 1,1$net_line" task_as_asked 1 "$net_line"
tralvo_check "Start-menu shortcut arguments now 0,1$net_line" test "$(lnk_args)" = "0,1$net_line"
wine "$setup" /S /LISTEN=127.0.0.1:0
rc=$?
wineserver -w
tralvo_check "/LISTEN=127.0.0.1:0 on an upgrade is refused (exit 2) and changes nothing" \
    test "$rc/$(regval "$settings_key" Listen)" = "2/127.0.0.1:$net_port"
wine "$setup" /S /PRINTER=
rc=$?
wineserver -w
net_line=" --match=any --listen=127.0.0.1:$net_port"
tralvo_check "upgrade with an empty /PRINTER= exits 0 and keeps --match=any and --listen" \
    test "$rc/$(regval "$settings_key" Match)/$(regval "$settings_key" Listen)" = "0/any/127.0.0.1:$net_port"
tralvo_check "the task definition: tralvo.exe 1,1$net_line" task_as_asked 1 "$net_line"

# The installed program, started with the task's arguments while the function CHECK OUT LOG runs
# (OUT its output, LOG the stand-in's pulses); ended whatever it did, so that COM9 is free for the
# next start.
as_the_task_starts_it() {
    local check=$1 arguments status=1 out=$work/tralvo-$1.out log=$work/pulses-$1
    read -ra arguments < <(task_xml | sed -n 's:.*<Arguments>\(.*\)</Arguments>.*:\1:p')
    cp "$wine_serial" "$inst/"
    WINEQT_FORCE_STDERR_LOGGING=1 CASHBOX_STANDIN_LOG=$(tralvo_winpath "$log") \
        wine "$inst/tralvo.exe" "${arguments[@]}" >"$out" 2>&1 &
    tralvo_pid=$!
    "$check" "$out" "$log" && status=0
    [ "$status" = 0 ] || { echo "  pulses: $(cat "$log" 2>/dev/null)"; cat "$out"; } >&2
    kill "$tralvo_pid" 2>/dev/null
    wait "$tralvo_pid" 2>/dev/null
    tralvo_pid=
    return "$status"
}
# One pulse, the last, with profile 1's texts.
one_pulse_of_profile_1() {
    sleep 1 # a second pulse would show up by now
    [ "$(pulses "$1")" = 1 ] && tralvo_output_has -F '"50d" "6" "501" "5" -> 0' -- tail -n 1 "$1"
}
# One TCP job on the print port: one pulse.
print_port_job() {
    local out=$1 log=$2
    tralvo_wait_for "grep -qs 'Network: Open Success' '$out'" 300 &&
        printf 'Total 2.40\n\ep\x00\x19\xfa' | timeout 10 socat -u - "TCP:127.0.0.1:$net_port" &&
        tralvo_wait_for "[ \$(pulses '$log') -ge 1 ]" 100 && one_pulse_of_profile_1 "$log"
}
tralvo_check "tralvo.exe with the task's arguments takes a job on 127.0.0.1:$net_port: one pulse, profile 1" \
    as_the_task_starts_it print_port_job

# The web door and the pages that may call it.
web_port=$(tralvo_free_tcp_port 19280) || exit 1
web_origins=https://shop.example.com,http://pos.test:8000
wine "$setup" /S "/HTTP=127.0.0.1:$web_port" "/HTTPORIGIN=$web_origins"
rc=$?
wineserver -w
tralvo_check "upgrade with /HTTP=127.0.0.1:$web_port /HTTPORIGIN=$web_origins exits 0 and stores them" \
    test "$rc/$(regval "$settings_key" Http)/$(regval "$settings_key" HttpOrigin)" = \
    "0/127.0.0.1:$web_port/$web_origins"
web_line="$net_line --http=127.0.0.1:$web_port --http-origin=$web_origins"
tralvo_check "the task definition: tralvo.exe 1,1$web_line" task_as_asked 1 "$web_line"
# The ePOS pulse from a page of ORIGIN: the body, then the status code.
post_pulse() {
    tralvo_epos_pulse "http://127.0.0.1:$web_port/cgi-bin/epos/service.cgi?devid=local_printer&timeout=10000" 20 "$1"
}
# A listed page's ePOS pulse pulses once and is answered success="true"; another page's is
# refused with 403, pulses nothing, and its origin is in the log.
web_door_pulse() {
    local out=$1 log=$2 reply refused
    tralvo_wait_for "grep -qs 'Web: Open Success' '$out'" 300 &&
        reply=$(post_pulse http://pos.test:8000) &&
        tralvo_wait_for "[ \$(pulses '$log') -ge 1 ]" 100 &&
        refused=$(post_pulse https://evil.example) || { echo "  replies: ${reply:-} / ${refused:-}" >&2; return 1; }
    [ "${reply##*$'\n'}" = 200 ] && grep -q 'success="true"' <<<"$reply" &&
        [ "${refused##*$'\n'}" = 403 ] && one_pulse_of_profile_1 "$log" &&
        tralvo_output_has -F 'https://evil.example' -- cat "$out" ||
        { echo "  replies: $reply / $refused" >&2; return 1; }
}
tralvo_check "tralvo.exe with the task's arguments: a listed page's ePOS pulse on 127.0.0.1:$web_port pulses once, success=\"true\"; another page's is refused (403)" \
    as_the_task_starts_it web_door_pulse
# The door over https too: Setup has the installed program make its certificate, then hands it to
# certutil, which Wine lacks; that fails nothing else.
tls_port=$(tralvo_free_tcp_port 19380) || exit 1
WINEDEBUG=trace+process wine "$setup" /S "/HTTPS=127.0.0.1:$tls_port" 2>"$work/upgrade-https.trace"
rc=$?
timeout 120 wineserver -w
tralvo_check "upgrade with /HTTPS=127.0.0.1:$tls_port exits 0 and stores it" \
    test "$rc/$(regval "$settings_key" Https)" = "0/127.0.0.1:$tls_port"
tralvo_check "Setup had the installed tralvo.exe make its certificate (--https-certificate-path)" \
    grep -qF -- '--https-certificate-path' "$work/upgrade-https.trace"
tls_line="$net_line --http=127.0.0.1:$web_port --https=127.0.0.1:$tls_port --http-origin=$web_origins"
tralvo_check "the task definition: tralvo.exe 1,1$tls_line" task_as_asked 1 "$tls_line"
wine "$setup" /S /HTTP= /HTTPS= /HTTPORIGIN=
rc=$?
wineserver -w
tralvo_check "upgrade with an empty /HTTP=, /HTTPS= and /HTTPORIGIN= exits 0 and drops them" \
    test "$rc/$(regval "$settings_key" Http)/$(regval "$settings_key" Https)/$(regval "$settings_key" HttpOrigin)" = 0///
tralvo_check "the task definition: tralvo.exe 1,1$net_line again" task_as_asked 1 "$net_line"

# A Windows printer whose name has blanks, and characters that XML writes as entities.
queue='queue:Counter 2 Receipt & Bar'
wine "$setup" /S "/PRINTER=$queue"
rc=$?
wineserver -w
tralvo_check "upgrade with \"/PRINTER=$queue\" (quoted) exits 0 and stores it" \
    test "$rc/$(regval "$settings_key" Printer)" = "0/$queue"
queue_line=$(printf '%s\n' 1,1 --match=any "--printer=$queue" "--listen=127.0.0.1:$net_port")
tralvo_check "the task's arguments, split as Windows does: 1,1, --match=any, \"--printer=$queue\" as one, --listen" \
    test "$(split_args "$(task_arguments)")" = "$queue_line"
tralvo_check "the Start-menu shortcut's arguments, split as Windows does: the same after 0,1" \
    test "$(split_args "$(lnk_args)")" = "${queue_line/1,1/0,1}"

tralvo_check "the installed tralvo.exe 1,0 opens COM9 after the upgrade" start_installed "$work/tralvo2.out" ||
    cat "$work/tralvo2.out" >&2
tralvo_check "ESC p gives one more pulse" pulse_once 2

# A list that names files outside the folder, or CashBox.dll, moves the uninstaller to neither.
echo outside >"$inst/../outside.txt"
printf '%s\r\n' '..\outside.txt' 'C:\Program Files\outside.txt' CashBox.dll >>"$inst/tralvo-files.txt"
# _?= must come last and unquoted; wine would quote an argument with blanks, so cmd runs it.
printf '@echo off\r\n%s _?=%s\r\nexit /b %%errorlevel%%\r\n' \
    "$(regval "$uninst_key" QuietUninstallString)" "$(regval "$uninst_key" InstallLocation)" \
    >"$WINEPREFIX/drive_c/uninstall-tralvo.bat"
WINEDEBUG=trace+process wine cmd /c 'C:\uninstall-tralvo.bat' 2>"$work/uninstall.trace"
rc=$?
timeout 60 wineserver -w
tralvo_check "silent uninstall while Tralvo runs exits 0" test "$rc" = 0
tralvo_check "Tralvo no longer runs, and it closed without /F" \
    test "$(stopped && spawned "$work/uninstall.trace" taskkill.exe | wc -l)" = 1
tralvo_check "the uninstaller asked Tralvo to close with a plain taskkill first" \
    test "$(spawned "$work/uninstall.trace" taskkill.exe | head -n 1)" = \
    '"C:\windows\system32\taskkill.exe" /IM tralvo.exe'
tralvo_check "the uninstaller removed the log-on task" \
    test "$(spawned "$work/uninstall.trace" schtasks.exe)" = \
    '"C:\windows\system32\schtasks.exe" /Delete /TN Tralvo /F'
# uninstall.exe stays after a _?= run: it is the running program (on Windows as well).
tralvo_check "left: only the integrator's CashBox.dll, unchanged, and the running uninstall.exe" bash -c \
    "[ \"\$(cd '$inst' && find . | sort | tr '\n' ' ')\" = '. ./CashBox.dll ./uninstall.exe ' ] &&
     cmp -s '$standin' '$inst/CashBox.dll'"
tralvo_check "a list line outside the install folder removed nothing" test -f "$inst/../outside.txt"
tralvo_check "shortcut, uninstall entry and settings removed" bash -c \
    "[ ! -e '$lnk' ] && ! wine reg query '$uninst_key' >/dev/null 2>&1 &&
     ! wine reg query '$settings_key' >/dev/null 2>&1"

tralvo_check_summary
