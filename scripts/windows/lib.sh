# What the Windows scripts share; source it (after ../lib/virtual.sh, which tralvo_wine_com_pair and
# tralvo_free_tcp_port use).

# A Linux path as a Windows program under Wine names it (drive Z: is the root).
tralvo_winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# COM9 and COM8 of the Wine prefix $WINEPREFIX joined by a socat pair, through its dosdevices
# links; sets TRALVO_PORTS to the folder that holds the Linux ends (com9, com8).
tralvo_wine_com_pair() {
    tralvo_comdir
    tralvo_socat_pair "$TRALVO_PORTS" 9 8 || return 1
    ln -sfn "$TRALVO_PORTS/com9" "$WINEPREFIX/dosdevices/com9"
    ln -sfn "$TRALVO_PORTS/com8" "$WINEPREFIX/dosdevices/com8"
}

# A TCP port from $1 up (19100 by default) that nothing on this machine listens on now; prints it.
tralvo_free_tcp_port() {
    local port=${1:-19100}
    local last=$((port + 99))
    # POSIX sh: wine-run.sh sources this file under dash.
    while [ "$port" -le "$last" ]; do
        if ! tralvo_output_has . -- ss -Hltn "sport = :$port"; then
            echo "$port"
            return 0
        fi
        port=$((port + 1))
    done
    echo "no free TCP port up to $last" >&2
    return 1
}
