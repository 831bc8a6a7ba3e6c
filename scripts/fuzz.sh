#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) in build-fuzz and runs each for a while.
# Fails on any crash, sanitizer report, invariant violation, hang or memory blow-up.
# Usage: scripts/fuzz.sh [--long SECONDS]    (default: 30 s per target)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-fuzz"
seconds=30

while [ $# -gt 0 ]; do
    case "$1" in
    --long)
        seconds=${2:?--long needs a number of seconds}
        shift 2
        ;;
    -h | --help)
        sed -n '2,4p' "${BASH_SOURCE[0]}"
        exit 0
        ;;
    *)
        echo "fuzz.sh: unknown argument: $1" >&2
        exit 2
        ;;
    esac
done
case "$seconds" in
'' | *[!0-9]*)
    echo "fuzz.sh: --long wants whole seconds, got: $seconds" >&2
    exit 2
    ;;
esac

"$root/scripts/deps.sh" clang libclang-rt-14-dev llvm-14

if ! grep -q 'add_subdirectory(fuzz)' "$root/CMakeLists.txt"; then
    echo "fuzz.sh: the top-level CMakeLists.txt lacks: if(TRALVO_FUZZ) add_subdirectory(fuzz) endif()" >&2
    exit 2
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTRALVO_FUZZ=ON -DTRALVO_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j2 fuzz_receive fuzz_options

symbolizer=$(command -v llvm-symbolizer || command -v llvm-symbolizer-14 || true)
if [ -n "$symbolizer" ]; then
    export ASAN_SYMBOLIZER_PATH="$symbolizer"
fi
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=32:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_LOGGING_RULES='*.debug=false'

# Starting inputs: one small input per interesting shape; the fuzzer grows its own corpus next to them.
# fuzz_receive: byte 0 picks the profile, then frames of header (bits 0-4 length, 5 late half,
# 6 library fails, 7 send event first) and chunk.
corpus_input() { # target name bytes(printf format)
    mkdir -p "$build/corpus/$1"
    # shellcheck disable=SC2059
    printf "$3" >"$build/corpus/$1/start-$2"
}
corpus_input fuzz_receive escp '\x00\x02\x1bp'
corpus_input fuzz_receive kick '\x01\x05\x1bp\x00\x19\xfa'
corpus_input fuzz_receive noise-then-kick '\x00\x03\x00\x1bp\x02\x1bp'
corpus_input fuzz_receive split-esc '\x00\x01\x1b\x01p'
corpus_input fuzz_receive fails '\x00\x42\x1bp\x02\x1bp'
corpus_input fuzz_receive send-event-late-half '\x02\x84\x1bp\x00\x01\x24\x1bpxy'
corpus_input fuzz_receive no-profile '\x03\x02\x1bp\x01\x1b'
corpus_input fuzz_receive flood '\x00\x1f\x1bpppppppppppppppppppppppppppppppppppppp'
corpus_input fuzz_options hidden '\x001,0'
corpus_input fuzz_options profile '\x00 1.0e0 , -2.5 '
corpus_input fuzz_options three '\x00a,b,c'
corpus_input fuzz_options empty '\x00'
corpus_input fuzz_options big '\x001e400,1e-400'
corpus_input fuzz_options int16 '\x00-32768.0,32767'
corpus_input fuzz_options utf16 '\x011\x00,\x00\x60\x06'

mkdir -p "$build/artifacts"
failed=0
for target in fuzz_receive fuzz_options; do
    log="$build/$target.log"
    echo "== $target: $seconds s"
    status=0
    "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=512 -malloc_limit_mb=256 \
        -timeout=10 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$build/corpus/$target" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
    files=$(find "$build/corpus/$target" -type f | wc -l)
    if [ "$status" -eq 0 ]; then
        echo "$target: ok: ${runs:-?} runs, coverage ${cov:-?}, corpus $files files, peak RSS ${rss:-?} MB"
    else
        failed=$((failed + 1))
        echo "$target: FAILED (exit $status); last lines of $log:"
        grep -E 'invariant violated|ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -n 20 || tail -n 30 "$log"
    fi
done

echo "fuzz: $((2 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
