#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root) and runs every check of Tralvo: the test suite on
# Qt 6 and on Qt 5.15, the suite again under AddressSanitizer and UndefinedBehaviorSanitizer, a
# short fuzz run, a short soak through the real program (those five through the CMake presets and
# ctest), a raw CUPS job through the network print port, the static checks, the Debian package
# installed and run as a service would run it, and the 32-bit Windows program cross-built and run
# under Wine (scripts/windows/windows.sh). Safe to run again.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# Everything the steps below need, in one go; each step's own check then finds it there.
"$root/scripts/deps.sh" clang libclang-rt-14-dev llvm-14 libasan8 libubsan1 clang-tidy cppcheck \
    dpkg-dev man-db util-linux coreutils lintian cups cups-client cups-bsd chromium python3 \
    libnss3-tools openssl
export TRALVO_APT_UPDATED=1

tralvo_check_name=test.sh
# shellcheck source=lib/checks.sh
source "$root/scripts/lib/checks.sh"
step() {
    echo
    echo "=== $1"
    tralvo_check_unless_not_run "$@" || true
}

step "tests, Qt 6" cmake --workflow --preset default
step "tests, Qt 5.15" cmake --workflow --preset qt5
step "tests under ASan and UBSan" cmake --workflow --preset sanitize
step "fuzzing, short run" cmake --workflow --preset fuzz
step "soak, short run" cmake --workflow --preset release
step "CUPS to the network print port" "$root/scripts/cups-check.sh"
step "static checks" "$root/scripts/static-checks.sh"
step "Debian package" "$root/scripts/package-check.sh"
step "Windows program under Wine" "$root/scripts/windows/windows.sh"

echo
tralvo_check_summary
