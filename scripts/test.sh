#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root) and runs every check of Tralvo: the test suite on
# Qt 6 and on Qt 5.15, the suite again under AddressSanitizer and UndefinedBehaviorSanitizer, a
# short fuzz run, a short soak through the real program, the static checks, the Debian package
# installed and run as a service would run it, and the 32-bit Windows program cross-built and
# run under Wine (scripts/windows/windows.sh). Safe to run again.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# Everything the steps below need, in one go; each step's own check then finds it there.
"$root/scripts/deps.sh" clang libclang-rt-14-dev llvm-14 libasan8 libubsan1 clang-tidy cppcheck \
    dpkg-dev man-db util-linux coreutils lintian
export TRALVO_APT_UPDATED=1

passed=0
failed=0
failures=()
step() {
    local name=$1
    shift
    echo
    echo "=== $name"
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failures+=("$name")
    fi
}

suite() {
    local build=$1
    shift
    "$root/scripts/build.sh" "$build" "$@" &&
        (cd "$build" && ctest --output-on-failure --timeout 300)
}

step "tests, Qt 6" suite "$root/build-test-qt6" -DTRALVO_QT_MAJOR=6 -DTRALVO_WERROR=ON
step "tests, Qt 5.15" suite "$root/build-test-qt5" -DTRALVO_QT_MAJOR=5 -DTRALVO_WERROR=ON
step "tests under ASan and UBSan" "$root/scripts/sanitize.sh"
step "fuzzing, short run" "$root/scripts/fuzz.sh"
step "soak, short run" "$root/scripts/soak.sh" --short
step "static checks" "$root/scripts/static-checks.sh"
step "Debian package" "$root/scripts/package-check.sh"
step "Windows program under Wine" "$root/scripts/windows/windows.sh"

echo
[ ${#failures[@]} -eq 0 ] || echo "failed: ${failures[*]}"
echo "test.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
