#!/usr/bin/env bash
# Runs clang-tidy (checks chosen in .clang-tidy) and cppcheck over our own sources (app ui serial
# drawer loopback core standin), using the compilation database of build-soak; generated moc files
# are left out. Exits non-zero on any finding.
# Usage: scripts/static-checks.sh
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-soak"

"$root/scripts/deps.sh" clang-tidy cppcheck
# shellcheck source=lib/logged.sh
source "$root/scripts/lib/logged.sh"

tralvo_logged "$build/static-checks-build.log" cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DTRALVO_BUILD_TESTS=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
# A full build, so that every file the database names (generated ones too) exists.
tralvo_logged "$build/static-checks-build.log" ninja -C "$build" -j2

sources=()
while IFS= read -r file; do
    sources+=("$file")
done < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" |
    grep -E "^$root/(app|ui|serial|drawer|loopback|core|standin)/" | grep -v '_autogen/' | sort -u)
if [ ${#sources[@]} -eq 0 ]; then
    echo "static-checks: no sources found in $build/compile_commands.json" >&2
    exit 2
fi
echo "static-checks: ${#sources[@]} files"

failed=0

# Layers: a folder includes only its own headers and those of the folders below it.
declare -A below=(
    [core]="" [serial]="core" [ui]="core" [drawer]="serial core" [loopback]="serial core"
    [app]="ui drawer loopback serial core"
)
declare -A owner=()
for folder in "${!below[@]}"; do
    for header in "$root/$folder"/*.h; do
        owner[$(basename "$header")]=$folder
    done
done
layer_findings=0
for folder in "${!below[@]}"; do
    while IFS=: read -r file line header; do
        found=${owner[$header]:-}
        if [ -n "$found" ] && [[ " $folder ${below[$folder]} " != *" $found "* ]]; then
            echo "$file:$line: includes $found/$header, which is not below $folder/"
            layer_findings=$((layer_findings + 1))
        fi
    done < <(cd "$root" && grep -n -o -E '^#include "[^"]+"' "$folder"/*.cpp "$folder"/*.h |
        sed -E 's/#include "([^"]+)"/\1/')
done
if [ "$layer_findings" -eq 0 ]; then
    echo "layers: no include climbs up"
else
    failed=$((failed + 1))
    echo "layers: $layer_findings includes climb up or sideways"
fi

tidy_log="$build/clang-tidy.log"
if printf '%s\n' "${sources[@]}" |
    xargs -P 2 -n 1 clang-tidy -p "$build" --quiet --warnings-as-errors='*' >"$tidy_log" 2>&1; then
    echo "clang-tidy: clean"
else
    failed=$((failed + 1))
    grep -E '(warning|error):' "$tidy_log" | grep -v 'warnings generated' | sort -u || true
    echo "clang-tidy: findings (full output in $tidy_log)"
fi

# style/warning/performance/portability; unusedFunction is left out because Qt slots and
# overrides called by Qt look unused to it.
if cppcheck --project="$build/compile_commands.json" -i "$build" --library=qt --std=c++17 \
    --enable=warning,style,performance,portability --inline-suppr \
    --suppress=missingIncludeSystem --error-exitcode=1 --quiet -j 2 \
    --template='{file}:{line}: {severity}: {message} [{id}]'; then
    echo "cppcheck: clean"
else
    failed=$((failed + 1))
    echo "cppcheck: findings"
fi

echo "static-checks: $((3 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
