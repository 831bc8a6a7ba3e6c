# Debian source packages for the Windows build; source it.

# tralvo_deb_src <source-package>: makes sure apt-get source can fetch that package, adding
# source entries beside the binary ones (Debian's mirrors, as deb-src) when there are none.
tralvo_deb_src() {
    apt-get source --print-uris "$1" >/dev/null 2>&1 && return
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            >/etc/apt/sources.list.d/tralvo-deb-src.sources
    else
        grep -E '^deb .*debian' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
            >/etc/apt/sources.list.d/tralvo-deb-src.list
    fi
    apt-get update -q
}
