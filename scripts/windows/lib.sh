# What the Windows scripts share; source it (after ../lib/virtual.sh for tralvo_wine_com_pair).

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
