# Quiet steps that still show why they failed; source it.

# tralvo_logged <log> <command...>: runs the command (or function) with all its output appended
# to the log. When it fails, shows the end of the log (the compiler's error, as a rule) and
# where the rest is.
tralvo_logged() {
    local log=$1 status=0
    shift
    mkdir -p "$(dirname "$log")"
    "$@" >>"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log" >&2
        echo "failed with status $status: $* (whole output in $log)" >&2
    fi
    return "$status"
}
