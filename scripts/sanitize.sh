#!/usr/bin/env bash
# The sanitizer part of the test command (after setup.sh has built build/):
#   1. build-asan/: clang-14 with AddressSanitizer, UndefinedBehaviorSanitizer
#      and the fuzz targets; the libraries, orvelle-cli and every GoogleTest
#      program are built and run there;
#   2. the window tests (Qt Test) of build/ under LeakSanitizer;
#   3. every fuzz target for a while (scripts/fuzz.sh).
# Prints a line a step, and the failing output only where one fails.
#   sanitize.sh [--window-asan] [--fuzz-time SECONDS]
#     --window-asan   also build the window tests in build-asan/ and run them
#                     under every sanitizer there (slow; by hand)
#     --fuzz-time N   seconds each fuzz target runs (default 30)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/sanitizer-env.sh"

window_asan=false
fuzz_time=30
while (($#)); do
    case $1 in
        --window-asan) window_asan=true ;;
        --fuzz-time)
            fuzz_time=${2:?}
            shift
            ;;
        *)
            echo "usage: sanitize.sh [--window-asan] [--fuzz-time SECONDS]" >&2
            exit 2
            ;;
    esac
    shift
done

# Runs ctest quietly: the failing tests' output and the summary only.
quiet_ctest() {
    local dir=$1
    shift
    local log="$dir/Testing/sanitize-ctest.log"
    mkdir -p "$dir/Testing"
    if (cd "$dir" && ctest --output-on-failure "$@" >"$log" 2>&1); then
        grep -E '^[0-9]+% tests passed' "$log"
    else
        grep -vE '^ +Start +[0-9]+:|^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed' "$log" | tail -n 150
        return 1
    fi
}

# 1. The instrumented build. -O1 with line tables keeps it quick to build
# and its reports readable.
if [[ ! -f $asan_build/build.ninja ]]; then
    cmake -S "$top" -B "$asan_build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only" \
        -DORVELLE_SANITIZE=ON -DORVELLE_FUZZ=ON -DORVELLE_BUILD_BENCH=OFF >/dev/null
fi
targets=(orvelle_library_tests orvelle-cli orvelle_fuzz_targets)
$window_asan && targets+=(orvelle_window_tests)
echo "sanitize: building build-asan (${targets[*]})"
if ! cmake --build "$asan_build" -j "$(nproc)" --target "${targets[@]}" >"$asan_build/build.log" 2>&1; then
    grep -E 'error|FAILED' "$asan_build/build.log" | head -n 40
    exit 1
fi

labels=library
$window_asan && labels='library|window'
echo "sanitize: tests under AddressSanitizer and UndefinedBehaviorSanitizer ($labels)"
quiet_ctest "$asan_build" -j "$(nproc)" -L "$labels"

# 2. LeakSanitizer needs no instrumentation: its runtime, loaded first, takes
# over malloc and checks at exit. It unwinds by the tables, as the normal
# build keeps no frame pointers, so that the suppressions can see the
# libraries' frames.
echo "sanitize: window tests under LeakSanitizer"
lsan_runtime=$(g++ -print-file-name=liblsan.so)
failed=()
count=0
while read -r name; do
    count=$((count + 1))
    log="$top/build/Testing/lsan-$name.log"
    mkdir -p "$top/build/Testing"
    if ! (cd "$top/build/tests" && LD_PRELOAD=$lsan_runtime \
        LSAN_OPTIONS="$LSAN_OPTIONS:fast_unwind_on_malloc=0:exitcode=23" "./$name" >"$log" 2>&1); then
        failed+=("$name")
        grep -E -A25 'ERROR: LeakSanitizer|^FAIL!' "$log" | head -n 80
    fi
done < <(cd "$top/build" && ctest -N -L window | sed -n 's/^ *Test *#[0-9]*: //p')
if ((${#failed[@]})); then
    echo "sanitize: leaks or failures in ${failed[*]} (logs in build/Testing/lsan-*.log)" >&2
    exit 1
fi
echo "sanitize: $count window tests passed, no leak"

# 3. Fuzzing.
"$top/scripts/fuzz.sh" --time "$fuzz_time"
