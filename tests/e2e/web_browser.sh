#!/usr/bin/env bash
# The web door from a real browser (chromium, headless): a POS page served from a web origin that
# is not loopback (pos.test, listed with --http-origin) opens the drawer with an ePOS <pulse/>,
# prints a receipt of text, a raster image and a cut to a printer on a serial line, byte for
# byte, and opens the drawer through /hw_proxy; the same page from an unlisted origin
# (other.test) is refused; and a no-cors POST of a drawer kick to the network print port neither
# pulses nor prints. Two pulses in all.
# Usage: web_browser.sh <tralvo> <stand-in folder>
set -euo pipefail
tralvo=$1
standin=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/lib/virtual.sh
source "$here/../../scripts/lib/virtual.sh"
trap tralvo_cleanup EXIT

# shellcheck source=browser_lib.sh
source "$here/browser_lib.sh"

tralvo_comdir
ports=$TRALVO_PORTS
tralvo_socat_pair "$ports" 9 8
tralvo_socat_pair "$ports" 3 4
http=$(free_port)
print=$(free_port)
page=$(free_port)
# The printer's end of its line, as it arrives.
socat -u "$ports/com4,raw,echo=0" "CREATE:$ports/printer" &
tralvo_pids+=($!)

mkdir -p "$ports/site"
sed -e "s/@HTTP@/$http/g" -e "s/@PRINT@/$print/g" "$here/web_browser.html" >"$ports/site/pos.html"
python3 -m http.server --bind 127.0.0.1 --directory "$ports/site" "$page" 2>"$ports/page.log" &
tralvo_pids+=($!)

TRALVO_COMDIR=$ports LD_LIBRARY_PATH=$standin CASHBOX_STANDIN_LOG=$ports/pulses \
    "$tralvo" "--http=$http" "--http-origin=http://pos.test:$page" "--listen=$print" \
    --printer=COM3 1,0 2>"$ports/stderr" &
tralvo_pids+=($!)
tralvo_wait_for "grep -q 'Web: Open Success' '$ports/stderr' && grep -q 'Network: Open Success' '$ports/stderr'" 100 ||
    fail "Tralvo did not open its web door and print port"
tralvo_wait_for "python3 -c 'import socket; socket.create_connection((\"127.0.0.1\", $page), 1)'" 100 ||
    fail "the page server did not start"

run_page() { browse "http://$1:$page/pos.html" "$2" "pos.test other.test"; }

run_page pos.test e
[ "$(result a)" = true ] || fail "(a) the ePOS pulse answered $(result a)"
[ "$(result b)" = true ] || fail "(b) the ePOS receipt answered $(result b)"
[ "$(result c)" = true ] || fail "(c) /hw_proxy cashbox answered $(result c)"
tralvo_wait_for "[ \"\$(grep -c pulse '$ports/pulses' 2>/dev/null)\" -ge 2 ]" 100 || fail "fewer than 2 pulses"
grep -q "sent an HTTP request (POST /, Origin: http://pos.test:$page)" "$ports/stderr" ||
    fail "(e) the print port did not refuse the page's POST"

run_page other.test d2
case $(result d) in true*) fail "(d) the unlisted origin was answered" ;; esac
grep -q "refused a request from the web origin http://other.test:$page" "$ports/stderr" ||
    fail "(d) no refusal of other.test in the log"

sleep 0.5
pulses=$(grep -c pulse "$ports/pulses")
[ "$pulses" -eq 2 ] || fail "$pulses pulses, expected 2: (a) and (c)"
# Text, GS v 0 of 8 x 2 dots (FF 81), GS V 66 0: nothing else, the page's kick least of all.
expected='48656c6c6f0a1d76300001000200ff811d564200'
got=$(od -An -v -tx1 "$ports/printer" | tr -d ' \n')
[ "$got" = "$expected" ] || fail "the printer got $got, expected $expected"
echo "web browser: (a) pulse, (b) receipt byte for byte, (c) hw_proxy pulse, (d) other.test refused, (e) print port refused the page; 2 pulses"
