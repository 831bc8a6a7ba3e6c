#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan and runs
# the whole ctest suite there; any sanitizer report fails the test that caused it.
# Usage: scripts/sanitize.sh [extra ctest arguments, e.g. -R receive]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-asan"

"$root/scripts/deps.sh" g++ libasan8 libubsan1 llvm-14

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DTRALVO_SANITIZE=ON -DTRALVO_BUILD_TESTS=ON >/dev/null
ninja -C "$build" -j2

# Leaks are forgiven only inside system libraries, never in our code. A window shown under X
# makes Qt load libdbus, which leaves one buffer of its own unfreed at exit.
suppressions="$build/lsan.supp"
cat >"$suppressions" <<'SUPP'
leak:libdbus-1.so
SUPP
symbolizer=$(command -v llvm-symbolizer || command -v llvm-symbolizer-14 || true)
if [ -n "$symbolizer" ]; then
    export ASAN_SYMBOLIZER_PATH="$symbolizer"
fi
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_odr_violation=2
export LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=1"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# One test at a time: several of them drive pseudo-terminals and real processes.
ctest --test-dir "$build" --output-on-failure --no-tests=error --timeout 300 "$@"
