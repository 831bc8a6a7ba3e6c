#!/usr/bin/env bash
# Checks our own sources (app ui serial network spool web drawer loopback core standin) without
# running them: no folder includes from a folder above it, clang-tidy (checks chosen in
# .clang-tidy) and cppcheck, using the compilation database of the static preset's build
# (build-static); generated moc files are left out. Exits non-zero on any finding.
# Usage: scripts/static-checks.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-static"
cd "$root"

"$root/scripts/deps.sh" clang-tidy cppcheck
# shellcheck source=lib/logged.sh
source "$root/scripts/lib/logged.sh"
tralvo_check_name=static-checks
# shellcheck source=lib/checks.sh
source "$root/scripts/lib/checks.sh"

rm -f "$build/static-checks-build.log"
# A full build, so that every file the database names (generated ones too) exists.
tralvo_logged "$build/static-checks-build.log" cmake --preset static
tralvo_logged "$build/static-checks-build.log" cmake --build --preset static

sources=()
while IFS= read -r file; do
    sources+=("$file")
done < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
    grep -E "^$root/(app|ui|serial|network|spool|web|drawer|loopback|core|standin)/" | grep -v '_autogen/' | sort -u)
if [ ${#sources[@]} -eq 0 ]; then
    echo "static-checks: no sources found in $build/compile_commands.json" >&2
    exit 2
fi
echo "static-checks: ${#sources[@]} files"

# Layers: a folder includes only its own headers and those of the folders below it.
layers() {
    local -A below=(
        [core]="" [serial]="core" [network]="core" [spool]="core" [web]="core" [ui]="core"
        [drawer]="core"
        [loopback]="serial core" [app]="ui drawer loopback serial network spool web core"
    )
    local -A owner=()
    local folder header file line found findings=0
    for folder in "${!below[@]}"; do
        for header in "$folder"/*.h; do
            owner[$(basename "$header")]=$folder
        done
    done
    for folder in "${!below[@]}"; do
        while IFS=: read -r file line header; do
            found=${owner[$header]:-}
            if [ -n "$found" ] && [[ " $folder ${below[$folder]} " != *" $found "* ]]; then
                echo "$file:$line: includes $found/$header, which is not below $folder/"
                findings=$((findings + 1))
            fi
        done < <(grep -n -o -E '^#include "[^"]+"' "$folder"/*.cpp "$folder"/*.h |
            sed -E 's/#include "([^"]+)"/\1/')
    done
    [ "$findings" -eq 0 ] || echo "  $findings includes climb up or sideways"
    [ "$findings" -eq 0 ]
}
tralvo_check "layers: no include climbs up" layers || true

clang_tidy() {
    local log="$build/clang-tidy.log"
    printf '%s\n' "${sources[@]}" |
        xargs -P 2 -n 1 clang-tidy -p "$build" --quiet --warnings-as-errors='*' >"$log" 2>&1 && return
    grep -E '(warning|error):' "$log" | grep -v 'warnings generated' | sort -u
    echo "  full output in $log"
    return 1
}
tralvo_check "clang-tidy: clean" clang_tidy || true

# style/warning/performance/portability; unusedFunction is left out because Qt slots and
# overrides called by Qt look unused to it.
tralvo_check "cppcheck: clean" cppcheck --project="$build/compile_commands.json" -i "$build" \
    --library=qt --std=c++17 --enable=warning,style,performance,portability --inline-suppr \
    --suppress=missingIncludeSystem --error-exitcode=1 --quiet -j 2 \
    --template='{file}:{line}: {severity}: {message} [{id}]' || true

tralvo_check_summary
