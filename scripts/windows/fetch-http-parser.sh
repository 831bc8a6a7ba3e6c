#!/usr/bin/env bash
# Puts http_parser.c and http_parser.h from Debian's http-parser source package (2.9.4, Debian's
# patches applied) into a folder of the Windows build, where CMake builds that one C file
# (TRALVO_HTTP_PARSER_SOURCE_DIR). No source of it is kept in this tree. Safe to run again: a
# folder that holds both files is left as it is.
# Usage: scripts/windows/fetch-http-parser.sh <folder>
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dest=${1:?usage: fetch-http-parser.sh <folder>}
[ -f "$dest/http_parser.c" ] && [ -f "$dest/http_parser.h" ] && exit 0

# shellcheck source=../lib/debsrc.sh
source "$here/../lib/debsrc.sh"
tralvo_deb_src http-parser
"$here/../deps.sh" dpkg-dev

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tralvo-http-parser.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
echo "fetch-http-parser: fetching Debian's http-parser source"
apt-get source -q http-parser >source.log 2>&1 || { tail -20 source.log >&2; exit 1; }
source_dir=$(find "$scratch" -maxdepth 1 -type d -name 'http-parser-*' -print -quit)
if [ -z "$source_dir" ] || [ ! -f "$source_dir/http_parser.c" ] || [ ! -f "$source_dir/http_parser.h" ]; then
    echo "fetch-http-parser: apt-get source unpacked no http_parser.c and .h" >&2
    exit 1
fi
grep -q '^#define HTTP_PARSER_VERSION_MINOR 9$' "$source_dir/http_parser.h" ||
    { echo "fetch-http-parser: $source_dir is not http-parser 2.9" >&2; exit 1; }
mkdir -p "$dest"
cp "$source_dir/http_parser.c" "$source_dir/http_parser.h" "$dest/"
echo "fetch-http-parser: http_parser.c and .h are in $dest"
