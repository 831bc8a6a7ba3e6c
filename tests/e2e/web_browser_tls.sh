#!/usr/bin/env bash
# The web door over TLS from a real browser (chromium, headless): a POS page served over https
# from another origin (https://pos.test, listed with --http-origin) sends an ePOS <pulse/> to
# https://127.0.0.1. (a) With the till's own certificate trusted in the browser's NSS database
# the drawer opens once and the page sees success="true"; (b) with only the page's certificate
# trusted the fetch fails, nothing pulses, and Tralvo logs the failed handshake. One pulse in all.
# Usage: web_browser_tls.sh <tralvo> <stand-in folder>
set -euo pipefail
tralvo=$1
standin=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/lib/virtual.sh
source "$here/../../scripts/lib/virtual.sh"
trap tralvo_cleanup EXIT

# shellcheck source=browser_lib.sh
source "$here/browser_lib.sh"
command -v certutil >/dev/null || fail "certutil is not installed (libnss3-tools; scripts/test.sh installs it)"

tralvo_comdir
ports=$TRALVO_PORTS
tralvo_socat_pair "$ports" 9 8
https=$(free_port)
page=$(free_port)
# The till's own certificate, made in a state folder of the test's.
export STATE_DIRECTORY=$ports/state
mkdir -p "$STATE_DIRECTORY"
till_cert=$("$tralvo" --https-certificate-path 2>>"$ports/stderr")
[ -s "$till_cert" ] || fail "--https-certificate-path printed '$till_cert', no certificate there"
# The page's server: a certificate of its own, of the same kind as the till's.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=pos.test \
    -addext subjectAltName=DNS:pos.test -addext basicConstraints=critical,CA:FALSE \
    -addext extendedKeyUsage=serverAuth -keyout "$ports/page-key.pem" -out "$ports/page.pem" \
    2>/dev/null || fail "openssl could not make the page's certificate"

mkdir -p "$ports/site"
sed -e "s/@HTTPS@/$https/g" "$here/web_browser_tls.html" >"$ports/site/pos.html"
# The handshake is left to the handler's thread, so that a connection that never speaks cannot
# hold up the next one.
python3 - "$ports/site" "$page" "$ports/page.pem" "$ports/page-key.pem" 2>"$ports/page.log" <<'EOF' &
import functools, http.server, ssl, sys
site, port, cert, key = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=site)
server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
server.serve_forever()
EOF
tralvo_pids+=($!)

TRALVO_COMDIR=$ports LD_LIBRARY_PATH=$standin CASHBOX_STANDIN_LOG=$ports/pulses \
    "$tralvo" "--https=$https" "--http-origin=https://pos.test:$page" 1,0 2>>"$ports/stderr" &
tralvo_pids+=($!)
tralvo_wait_for "grep -q 'Web: Open Success' '$ports/stderr'" 100 || fail "Tralvo did not open its web door"
tralvo_wait_for "python3 -c 'import socket; socket.create_connection((\"127.0.0.1\", $page), 1)'" 100 ||
    fail "the page server did not start"

# run_page NAME CERT...: the page, in a browser whose NSS database trusts those certificates.
run_page() {
    local name=$1 home cert n=0
    shift
    home=$(mktemp -d)
    tralvo_tmpdirs+=("$home")
    mkdir -p "$home/.pki/nssdb"
    certutil -d "sql:$home/.pki/nssdb" -N --empty-password
    for cert in "$@"; do
        # A self-signed certificate that is no authority, trusted as the server it names.
        certutil -d "sql:$home/.pki/nssdb" -A -t "P,," -n "server$((n++))" -i "$cert"
    done
    HOME=$home browse "https://pos.test:$page/pos.html?run=$name" "$name" pos.test
}
pulse_count() { grep -c pulse "$ports/pulses" 2>/dev/null || true; }
handshake_failures() { grep -c "Web: 127\.0\.0\.1:[0-9]*: the TLS handshake failed (" "$ports/stderr" || true; }

run_page a "$till_cert" "$ports/page.pem"
[ "$(result a)" = true ] || fail "(a) with the till's certificate trusted the ePOS pulse answered $(result a)"
tralvo_wait_for "[ \"\$(pulse_count)\" -ge 1 ]" 100 || fail "(a) no pulse"

failures=$(handshake_failures)
run_page b "$ports/page.pem"
[ "$(result b)" = failed ] || fail "(b) with the till's certificate untrusted the fetch gave $(result b)"
tralvo_wait_for "[ \"\$(handshake_failures)\" -gt $failures ]" 100 || fail "(b) no failed handshake in the log"

sleep 0.5
pulses=$(pulse_count)
[ "$pulses" -eq 1 ] || fail "$pulses pulses, expected 1: (a)"
echo "web browser over https: (a) till's certificate trusted: pulse, success=\"true\"; (b) untrusted: fetch failed, handshake failure logged; 1 pulse"
