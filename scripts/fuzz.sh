#!/usr/bin/env bash
# Runs the fuzz targets of build-asan/ (scripts/sanitize.sh builds them), two
# at a time, each for a while from its starting inputs, its saved findings and, where
# the shared real-world files are there, the files of its kind. What a run
# adds to the corpus is kept in build-asan/fuzz-corpus/<target>/ for the next.
#   fuzz.sh [--time SECONDS] [--jobs N] [TARGET...]   (default: 30 s, 2, every target)
# A crash, a sanitizer report, an input slower than the timeout or one that
# takes more memory than the limit is a finding: the input is left in
# build-asan/fuzz-findings/ and the script fails. Name it after what broke,
# put it in tests/fuzz/regressions/<target>/, and the regression test replays
# it from then on.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/sanitizer-env.sh"

seconds=30
jobs=2
targets=()
while (($#)); do
    case $1 in
        --time)
            seconds=${2:?}
            shift
            ;;
        --jobs)
            jobs=${2:?}
            shift
            ;;
        -*)
            echo "usage: fuzz.sh [--time SECONDS] [--jobs N] [TARGET...]" >&2
            exit 2
            ;;
        *) targets+=("$1") ;;
    esac
    shift
done
((${#targets[@]})) || targets=(bmp jpeg ico emf wmf ini ext)

# The corpus folder of each kind, where the shared files are.
declare -A shared=([bmp]=bmp [ico]=ico [emf]=emf [wmf]=wmf)
corpus_dir=$top/../shared/corpus

# Limits: a picture may take up to 2 GiB of pixel memory, and the sanitizer
# and the fuzzer add their own, so memory is only a finding well past that;
# the largest claimed sizes take seconds alone and many times that on a
# loaded machine, so only a minute means an input that does not end.
limits=(-rss_limit_mb=3072 -malloc_limit_mb=2560 -timeout=60)

fuzz_one() {
    local name=$1
    local program=$asan_build/fuzz/orvelle_fuzz_$name
    local corpus=$asan_build/fuzz-corpus/$name
    local findings=$asan_build/fuzz-findings
    local log=$asan_build/fuzz-logs/$name.log
    mkdir -p "$corpus" "$findings" "$(dirname "$log")"
    local inputs=("$corpus" "$top/tests/fuzz/inputs/$name")
    [[ -d $top/tests/fuzz/regressions/$name ]] && inputs+=("$top/tests/fuzz/regressions/$name")
    [[ -n ${shared[$name]:-} && -d $corpus_dir/${shared[$name]} ]] && inputs+=("$corpus_dir/${shared[$name]}")
    if "$program" "${inputs[@]}" -max_total_time="$seconds" "${limits[@]}" \
        -artifact_prefix="$findings/$name-" -print_final_stats=1 >"$log" 2>&1; then
        echo "fuzz $name: $(grep -oE 'stat::number_of_executed_units: [0-9]+' "$log" | grep -oE '[0-9]+$') runs," \
            "$(grep -oE 'cov: [0-9]+' "$log" | tail -n 1), no finding"
    else
        echo "fuzz $name: FINDING (log: $log)"
        grep -E -m1 -A30 '^==[0-9]+==|ERROR: libFuzzer|runtime error|SUMMARY' "$log" | head -n 40
        grep -E 'Test unit written to' "$log" || true
        return 1
    fi
}

status=0
running=0
for name in "${targets[@]}"; do
    if [[ ! -x $asan_build/fuzz/orvelle_fuzz_$name ]]; then
        echo "fuzz: no target $name in $asan_build/fuzz" >&2
        exit 2
    fi
    fuzz_one "$name" &
    running=$((running + 1))
    if ((running >= jobs)); then
        wait -n || status=1
        running=$((running - 1))
    fi
done
while ((running > 0)); do
    wait -n || status=1
    running=$((running - 1))
done
exit $status
