# Named checks that count what passed and what failed; source it, set tralvo_check_name, then
# call tralvo_check for each check and tralvo_check_summary at the end.

tralvo_check_name=${tralvo_check_name:-check}
passed=0
failed=0
skipped=0
tralvo_check_failures=()
tralvo_check_skips=()

# tralvo_check <name> <command...>: runs one check; the command prints its own reason and
# returns non-zero on failure. Returns the command's outcome.
tralvo_check() {
    local name=$1
    shift
    if "$@"; then
        echo "$tralvo_check_name: ok: $name"
        passed=$((passed + 1))
    else
        echo "$tralvo_check_name: FAIL: $name" >&2
        failed=$((failed + 1))
        tralvo_check_failures+=("$name")
        return 1
    fi
}

# tralvo_check_unless_not_run <name> <command...>: tralvo_check for a whole step that may find
# this machine unable to run it at all: exit code 77, after saying why, is counted as not run
# here, neither passed nor failed. Any other code counts as tralvo_check counts it.
tralvo_check_unless_not_run() {
    local name=$1 status=0
    shift
    "$@" || status=$?
    if [ "$status" -eq 77 ]; then
        echo "$tralvo_check_name: SKIPPED: $name (this machine cannot run it; the reason is above)" >&2
        skipped=$((skipped + 1))
        tralvo_check_skips+=("$name")
        return 0
    fi
    tralvo_check "$name" test "$status" -eq 0
}

# Prints the count (after the names of the failed checks and those not run); succeeds when
# nothing failed.
tralvo_check_summary() {
    [ "$failed" -eq 0 ] || printf '%s\n' "${tralvo_check_failures[@]/#/$tralvo_check_name: failed: }"
    [ "$skipped" -eq 0 ] || printf '%s\n' "${tralvo_check_skips[@]/#/$tralvo_check_name: not run here: }"
    local not_run=
    [ "$skipped" -eq 0 ] || not_run=", $skipped not run here"
    echo "$tralvo_check_name: $passed passed, $failed failed$not_run"
    [ "$failed" -eq 0 ]
}

# tralvo_epos_pulse <url> <seconds> [origin [curl-argument...]]: POSTs one ePOS-Print request
# that pulses drawer_1, as browser POS software does (from a page of that origin, if given and
# not empty); prints the answer's body and, on its last line, the status code. The arguments
# after the origin go to curl before the URL (for https: --cacert CERT). Fails when curl gets no
# answer, a TLS handshake it refuses too.
tralvo_epos_pulse() {
    local body='<?xml version="1.0" encoding="utf-8"?>'\
'<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>'\
'<epos-print xmlns="http://www.epson-pos.com/schemas/2011/03/epos-print">'\
'<pulse drawer="drawer_1" time="pulse_100"/></epos-print></s:Body></s:Envelope>'
    local url=$1 seconds=$2 origin=${3:-}
    shift $(($# < 3 ? $# : 3))
    curl -sS -m "$seconds" -w '\n%{http_code}' ${origin:+-H "Origin: $origin"} "$@" \
        -H 'Content-Type: text/xml; charset=utf-8' -H 'SOAPAction: ""' --data-binary "$body" "$url"
}
